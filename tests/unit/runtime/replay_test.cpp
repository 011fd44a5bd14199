// Whole last minutes of an auction replayed through the console with every role the program
// composes: what the page receives and when, what the log says, and when the confirm button is
// pressed at what gap. The example scenarios in scenarios/ are the fixtures; a case may change a
// line of one to show what the rule depends on.
#include "runtime/replay.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "platform/keys.h"
#include "runtime/replay_page.h"
#include "runtime/scenario.h"
#include "shell/page_commands.h"
#include "shell/scheduled_confirm.h"

namespace kestrava::runtime {
namespace {

std::string ExampleText(const std::string& file) {
    std::ifstream in(std::string(KESTRAVA_SCENARIO_DIR) + "/" + file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `text` with `from` replaced by `to` (an empty `from` adds `to` as a last line).
std::string Edit(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text + "\n" + to + "\n";
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string Edited(const std::string& file, const std::string& from, const std::string& to) {
    return Edit(ExampleText(file), from, to);
}

ReplayResult Replay(const std::string& text) {
    const ParseResult parsed = ParseScenario(text);
    EXPECT_TRUE(parsed.scenario) << (parsed.error ? parsed.error->message : "");
    if (!parsed.scenario) return {};
    ReplayResult r = RunReplay(*parsed.scenario);
    EXPECT_TRUE(r.started) << r.failure;
    return r;
}

DayMs At(const char* clock) { return ParseClock(clock).value_or(-1); }

bool Logged(const ReplayResult& r, const std::string& text) {
    for (const TimelineEntry& e : r.timeline)
        if (e.kind == TimelineEntry::Kind::Log && e.text.find(text) != std::string::npos) return true;
    return false;
}

std::vector<DayMs> ConfirmTimes(const ReplayResult& r) {
    std::vector<DayMs> out;
    for (const Confirmation& c : r.confirmations) out.push_back(c.at);
    return out;
}

struct Expected {
    std::vector<DayMs> confirmedAt;
    int gap = 0;
    int remaining = 0;
    const char* logLine = nullptr;
};

struct Case {
    const char* why;
    std::string text;
    Expected expected;
};

void Check(const Case& t) {
    SCOPED_TRACE(t.why);
    const ReplayResult r = Replay(t.text);
    EXPECT_EQ(ConfirmTimes(r), t.expected.confirmedAt);
    if (!r.confirmations.empty() && !t.expected.confirmedAt.empty()) {
        EXPECT_EQ(r.confirmations[0].Gap(), t.expected.gap);
        EXPECT_EQ(r.confirmations[0].remainingSeconds, t.expected.remaining);
    }
    if (t.expected.logLine) {
        EXPECT_TRUE(Logged(r, t.expected.logLine)) << t.expected.logLine << "\n" << FormatReplay(Scenario{}, r);
    }
}

TEST(Replay, ScheduledSecondBidIsTypedAndConfirmedWhenThePriceComesWithin300) {
    const ReplayResult r = Replay(ExampleText("second_bid_confirm_on_rise.scn"));
    // The application at 48 s before the end: the amount typed into the page view, the add and
    // bid buttons, then the code box pointed out.
    std::vector<std::string> application;
    for (const TimelineEntry& e : r.timeline)
        if (e.kind == TimelineEntry::Kind::Post && e.at >= At("11:29:12") && e.at < At("11:29:14"))
            application.push_back(e.text);
    EXPECT_EQ(application, (std::vector<std::string>{"close the info dialog (element)",
                                                     "focus the plus-amount box (element)", "key down Delete",
                                                     "key up Delete", "char '7'", "char '0'", "char '0'",
                                                     "press the add button (element)",
                                                     "press the bid button (element)", "the code box is at (140,91)"}));
    EXPECT_TRUE(Logged(r, "国拍最低价：89000，用户申请价格：89700"));
    EXPECT_TRUE(Logged(r, "客户按了回车，智能提交开启，等待价格上涨到差价范围"));
    // 89400 is the first price within 300 of 89700: confirmed in the report that brings it. The
    // line names the price it acts on, the report's.
    EXPECT_TRUE(Logged(r, "国拍最低价：89400，软件点击\"确定\"按钮"));
    ASSERT_EQ(ConfirmTimes(r), (std::vector<DayMs>{At("11:29:45")}));
    EXPECT_EQ(r.confirmations[0].Gap(), 300);
    EXPECT_EQ(r.confirmations[0].remainingSeconds, 15);

    const std::string printed = FormatReplay(Scenario{}, r);
    EXPECT_NE(printed.find("11:29:12.360  view   0x0102     55      0  char '7'"), std::string::npos) << printed;
    EXPECT_NE(printed.find("confirm 1 at 11:29:45.000: applied 89700, lowest 89400, gap 300, 15 s remaining"),
              std::string::npos);
}

TEST(Replay, TheBiddersKeysDecideWhetherAndWhenTheSubmissionIsArmed) {
    const std::string file = "second_bid_confirm_on_rise.scn";
    const Case cases[] = {
        {"no Enter: the price comes within 300 and nothing is confirmed",
         Edited(file, "at 11:29:20 key enter", ""), {{}}},
        {"Enter after the price is already within 300: confirmed on that scan",
         Edited(file, "at 11:29:20 key enter", "at 11:29:46 key enter"),
         {{At("11:29:46.100")}, 300, 14, "软件点击\"确定\"按钮"}},
        {"Ctrl+Enter confirms at once whatever the gap",
         Edited(file, "at 11:29:20 key enter", "at 11:29:20 key ctrl+enter"),
         {{At("11:29:20.100")}, 700, 40, "强制提交价格 .."}},
        {"Escape after Enter cancels the submission", Edited(file, "", "at 11:29:25 key escape"),
         {{}, 0, 0, "检查是否有页面干扰申请价格"}},
    };
    for (const Case& t : cases) Check(t);
}

TEST(Replay, ForcedSubmissionConfirmsAtTheSetMomentWhenTheGapStaysWide) {
    const ReplayResult r = Replay(ExampleText("forced_submission.scn"));
    ASSERT_EQ(r.confirmations.size(), 1u);
    // mandatory_bid 100: 11:29:59.9, whichever tick finds it, within two submit ticks.
    EXPECT_GE(r.confirmations[0].at, At("11:29:59.900"));
    EXPECT_LE(r.confirmations[0].at, At("11:29:59.920"));
    EXPECT_EQ(r.confirmations[0].Gap(), 900);
    EXPECT_TRUE(Logged(r, " QZ，目前国拍最低价：89000"));
    EXPECT_TRUE(Logged(r, "软件强制提交 完毕"));

    Check({"box 1061 clear: nothing confirms", Edited("forced_submission.scn", "set policy 1 check4 1", ""), {{}}});
}

// The rise-based forced submission is due the moment 5 s remain after a rise of 300: on the page
// clock that is the first report of second 55, whatever the scan tick's phase.
TEST(Replay, RiseBasedForcedSubmissionConfirmsOnTheFirstReportOfSecond55) {
    const std::string file = "rise_forced_at_55.scn";
    const Case cases[] = {
        {"reports 30 ms into each tenth", ExampleText(file), {{At("11:29:55.030")}, 700, 5, "涨幅强制提交 完毕"}},
        {"reports 80 ms into each tenth", Edited(file, "feed 11:29:00.030", "feed 11:29:00.080"),
         {{At("11:29:55.080")}, 700, 5, "涨幅强制提交 完毕"}},
        {"a rise of 200: 3900 ms before the end", Edited(file, "price 89300", "price 89200"),
         {{At("11:29:56.100")}, 800, 4, "涨幅强制提交 完毕"}},
        {"box 1065 clear: nothing confirms", Edited(file, "box 1065 on", ""), {{}}},
    };
    for (const Case& t : cases) Check(t);
}

TEST(Replay, ScreenPathConfirmsThroughChain58WithTwoSecondsLeft) {
    const std::string file = "screen_path_58.scn";
    const Case cases[] = {
        {"feed gone at 11:29:50: the screen table's chain 58 at 2 s", ExampleText(file),
         {{At("11:29:58")}, 1000, 2, "A云提交58c"}},
        {"a console started at a second ending in 3 is group B, 10 ms later",
         Edit(Edited(file, "start 11:29:00", "start 11:28:53"), "at 11:29:02 login", "at 11:28:55 login"),
         {{At("11:29:58.010")}, 1000, 2, "B云提交58c"}},
        {"box 1196 clear: no cloud confirmation", Edited(file, "set policy 1 check_bigdata 1", ""), {{}}},
    };
    for (const Case& t : cases) Check(t);
}

TEST(Replay, ScreenPathConfirmsByRule58dWhenThePriceHasFallenBelowASecondLow) {
    const std::string file = "screen_path_58d.scn";
    const std::string without = Edited(file, "at 11:28:55 screen 89000", "");
    // Rule 58d confirms at once for every group; 58c, its neighbour, delays B and C.
    const Case cases[] = {
        {"the screen's figure 89000 lies below the 89300 of second 45",
         ExampleText(file), {{At("11:29:58")}, 1000, 2, "A云提交58d"}},
        {"a console started at a second ending in 3 is group B, also at once",
         Edited(file, "start 11:28:50", "start 11:28:53"), {{At("11:29:58")}, 1000, 2, "B云提交58d"}},
        {"a console started at a second ending in 7 is group C, also at once",
         Edited(file, "start 11:28:50", "start 11:28:47"), {{At("11:29:58")}, 1000, 2, "C云提交58d"}},
        {"the screen's figure is the lowest price of the last seconds",
         Edited(file, "at 11:28:55 screen 89000", "at 11:28:55 screen 88800"), {{At("11:29:58")}, 1200, 2, "A云提交58d"}},
        {"a figure that catches up with its feed before the feed stops: no fall",
         Edited(file, "at 11:29:30 price 89300", "at 11:29:30 price 89300\nat 11:29:40 screen 89300"),
         {{At("11:29:58")}, 700, 2, "A云提交58c"}},
        {"no figure on the screen: the price stays at the feed's 89300 and rule 58c applies", without,
         {{At("11:29:58")}, 700, 2, "A云提交58c"}},
        {"a figure of 89350 is no price: the same as none",
         Edited(file, "at 11:28:55 screen 89000", "at 11:28:55 screen 89350"), {{At("11:29:58")}, 700, 2, "A云提交58c"}},
    };
    for (const Case& t : cases) Check(t);
}

// A warning price left in the policy file from another day (92000, above today's prices) gives
// way to the page, once, with a line in the log: the feed's price below it, or, in a run that
// takes its price from the screen alone, ten seconds of one figure below it.
TEST(Replay, AStaleStoredWarningPriceGivesWayToThePage) {
    const std::string file = "stale_warning_price.scn";
    const Case cases[] = {
        {"the feed reports 89000", ExampleText(file),
         {{At("11:29:53.100")}, 300, 7, "stored warning price 92000 ignored: the page feed reports 89000"}},
        {"screen only: the figure 89000 from 11:29:00 on", Edited(file, "set conf launchp 1", "set conf swbidmode 2"),
         {{At("11:29:53.100")}, 300, 7, "stored warning price 92000 ignored: the page has shown 89000 for 10 s"}},
        {"today's warning price holds, and nothing is said", Edited(file, "WarningPrice 92000", "WarningPrice 89000"),
         {{At("11:29:53.100")}, 300, 7, nullptr}},
    };
    for (const Case& t : cases) Check(t);
    EXPECT_FALSE(Logged(Replay(Edited(file, "WarningPrice 92000", "WarningPrice 89000")), "stored warning price"));
}

TEST(Replay, JamSignalIsHonouredOnlyAfterPageSecond57AndAHalf) {
    const std::string file = "jam_signal.scn";
    const Case cases[] = {
        {"57.0 ignored, 57.6 confirms at once", ExampleText(file),
         {{At("11:29:57.600")}, 1000, 3, "ABC  3 ，点击确定"}},
        // The feed's rule of second 59 acts on the report of 59 itself, which runs the submit step.
        {"only the early signal: nothing before the feed's rule of second 59",
         Edited(file, "at 11:29:57.600 jam 3", ""), {{At("11:29:59.000")}, 1000, 1, "云提交59"}},
        {"box 1196 clear: the signal is ignored", Edited(file, "set policy 1 check_bigdata 1", ""), {{}}},
    };
    for (const Case& t : cases) Check(t);
}

TEST(Replay, PracticeRunConfirmsByItselfWithThreeSecondsLeft) {
    const ReplayResult r = Replay(ExampleText("simulation_forced_at_3s.scn"));
    EXPECT_TRUE(r.simulation);
    // Started by 0x49d at 11:20:00, the practice auction ends at 11:23:10.
    ASSERT_EQ(ConfirmTimes(r), (std::vector<DayMs>{At("11:23:07")}));
    EXPECT_EQ(r.confirmations[0].Gap(), 1000);
    EXPECT_EQ(r.confirmations[0].remainingSeconds, 3);
    EXPECT_TRUE(Logged(r, "软件强制提交 完毕"));
    EXPECT_TRUE(Logged(r, "模拟拍牌开始"));
}

// The Log folder cannot be written from the last half minute on, so the flush of the auction's
// end (five seconds after it) fails: no line is lost, and the flush at the close, once the folder
// is back, writes every one of them; while it stays away they are all still in memory.
TEST(Replay, AnUnwritableLogFolderAtTheFlushLosesNoLine) {
    const std::string base = Edited("jam_signal.scn", "stop 11:30:02", "stop 11:30:08");
    const ReplayResult plain = Replay(base);
    const ReplayResult restored = Replay(base + "at 11:29:30 log unwritable\nat 11:30:06 log writable\n");
    const ReplayResult away = Replay(base + "at 11:29:30 log unwritable\n");
    ASSERT_FALSE(plain.logLines.empty());
    EXPECT_EQ(plain.unwrittenLogLines, 0u);
    EXPECT_EQ(restored.logLines, plain.logLines);
    EXPECT_EQ(restored.unwrittenLogLines, 0u);
    EXPECT_EQ(away.logLines, plain.logLines);
    EXPECT_GT(away.unwrittenLogLines, 0u);
    EXPECT_EQ(ConfirmTimes(restored), ConfirmTimes(plain));  // the run itself goes on unchanged
}

// What the page received and what the log says until the auction's end, in true time, without the
// scenario's inputs and without the PC clock of the log stamps. (After the end the console times
// its screenshots and uploads by the PC clock.)
std::vector<std::string> SeenUntilTheEnd(const ReplayResult& r) {
    std::vector<std::string> out;
    for (const TimelineEntry& e : r.timeline)
        if (e.kind != TimelineEntry::Kind::Input && e.at < At("11:30:00")) out.push_back(FormatClock(e.at) + " " + e.text);
    return out;
}

// A network-time correction steps the PC clock in the last minute. With the page clock as the
// clock of the remaining time (systime_screentime 1) and a live feed, nothing the page receives
// or the log says moves by a millisecond, whichever way and however late the step: the ticks keep
// their periods and the remaining time follows the page. With the PC clock chosen
// (systime_screentime 0) the remaining time follows the corrected PC clock, as that setting asks.
TEST(Replay, AClockStepInTheLastMinuteLeavesThePageClockedRunUnchanged) {
    const char* files[] = {"second_bid_confirm_on_rise.scn", "forced_submission.scn", "jam_signal.scn"};
    const char* steps[] = {"at 11:29:40 clock 11:29:45", "at 11:29:40 clock 11:29:35",
                           "at 11:29:58.5 clock 11:29:50.250", "at 11:29:59.5 clock 11:30:01"};
    for (const char* file : files) {
        const std::string pageClocked = ExampleText(file) + "\nset conf systime_screentime 1\n";
        const ReplayResult plain = Replay(pageClocked);
        ASSERT_FALSE(plain.confirmations.empty()) << file;
        for (const char* step : steps) {
            SCOPED_TRACE(std::string(file) + ": " + step);
            const ReplayResult stepped = Replay(pageClocked + step + "\n");
            EXPECT_EQ(SeenUntilTheEnd(stepped), SeenUntilTheEnd(plain));
            EXPECT_EQ(ConfirmTimes(stepped), ConfirmTimes(plain));
        }
    }

    // The PC clock chosen: the forced submission at 11:29:59.9 comes 5 s early in true time, when
    // the PC clock, set 5 s ahead, reads it.
    const ReplayResult pcClocked = Replay(ExampleText("forced_submission.scn") + "\nat 11:29:40 clock 11:29:45\n");
    ASSERT_EQ(pcClocked.confirmations.size(), 1u);
    EXPECT_GE(pcClocked.confirmations[0].at, At("11:29:54.900"));
    EXPECT_LE(pcClocked.confirmations[0].at, At("11:29:54.920"));
}

int Posts(const ReplayResult& r, std::uint32_t msg) {
    int n = 0;
    for (const TimelineEntry& e : r.timeline) n += e.kind == TimelineEntry::Kind::Post && e.message.msg == msg;
    return n;
}

// The page shell's process is killed in the last minute and started again by hand. The console
// keeps the run (its next window is not a new auction day, whose reset would forget the prices
// seen), says so in its log and sends the new window the command to open the auction page. The
// armed bid went with the old page and its code dialog: it is withdrawn, and nothing is clicked
// into the new page, which holds no dialog. Back after the end, nothing is confirmed either.
TEST(Replay, APageShellKilledInTheLastMinuteGetsThePageBackAndTheRunGoesOn) {
    struct ShellCase {
        const char* why;
        std::string text;
        std::vector<DayMs> confirmedAt;
        int opens;  // open commands, the console's start included
        bool droppedAfterEnd;
    };
    const std::string rise = ExampleText("second_bid_confirm_on_rise.scn") + "\n";
    const std::string forced = ExampleText("forced_submission.scn") + "\n";
    const ShellCase cases[] = {
        {"gone for ten seconds before the price comes within 300: the bid went with the old page",
         rise + "at 11:29:30 shell killed\nat 11:29:40 shell started\n", {}, 2, false},
        {"killed and started again within 0.3 s, between two of the console's checks: noticed by the new window's id",
         rise + "at 11:29:30.2 shell killed\nat 11:29:30.5 shell started\n", {}, 2, false},
        {"killed twice: nothing confirmed into either new page",
         rise + "at 11:29:30 shell killed\nat 11:29:32 shell started\nat 11:29:34 shell killed\nat 11:29:36 shell started\n",
         {}, 3, false},
        {"gone from 11:29:44 until after the end: nothing confirmed",
         rise + "at 11:29:44 shell killed\nat 11:30:00.5 shell started\n", {}, 2, true},
        {"gone over the forced submission's moment, back after the end: nothing confirmed late",
         forced + "at 11:29:59.5 shell killed\nat 11:30:00.5 shell started\n", {}, 2, true},
    };
    for (const ShellCase& t : cases) {
        SCOPED_TRACE(t.why);
        const ReplayResult r = Replay(t.text);
        EXPECT_EQ(ConfirmTimes(r), t.confirmedAt);
        EXPECT_EQ(Posts(r, shell::cmd::OpenRealPage), t.opens);
        EXPECT_TRUE(Logged(r, console::kShellGoneText));
        EXPECT_TRUE(Logged(r, console::kShellBackText));
        EXPECT_EQ(Logged(r, console::kShellBackAfterEndText), t.droppedAfterEnd);
        if (!t.droppedAfterEnd) {
            EXPECT_TRUE(Logged(r, "页面已重新打开，申请价格89700的验证码框已不在"));
        }
    }
}

// The shell's messages to the console, in order: (message, lParam).
std::vector<std::pair<std::uint32_t, std::int32_t>> ShellSaid(const ReplayResult& r) {
    std::vector<std::pair<std::uint32_t, std::int32_t>> out;
    for (const TimelineEntry& e : r.timeline)
        if (e.kind == TimelineEntry::Kind::Shell) out.emplace_back(e.message.msg, e.message.lParam);
    return out;
}

// The page's side answers as the real shell does: the code dialog opens on the bid button and
// closes on the press, a schedule is accepted and clicked at its moment by the shell (the console
// sends no confirm command of its own then), and a shell that finds no button answers 5, upon
// which the console presses by its command.
TEST(Replay, ThePageAndItsShellAnswerTheConsole) {
    constexpr std::uint32_t kDialog = console::msg::CodeDialog, kAnswer = 0x4ad;
    const ReplayResult shellClicks = Replay(ExampleText("forced_submission.scn"));
    EXPECT_EQ(ShellSaid(shellClicks), (std::vector<std::pair<std::uint32_t, std::int32_t>>{
                                          {kDialog, 1}, {kAnswer, 1}, {kAnswer, 2}, {kDialog, 2}}));
    EXPECT_EQ(Posts(shellClicks, shell::cmd::ConfirmCodeElement), 0);
    ASSERT_EQ(shellClicks.page.size(), 1u);
    EXPECT_EQ(FormatPageOutcome(shellClicks.page[0]), "page: refused 89900 at 11:29:59.900, page price 89000, gap 900");

    const ReplayResult fails = Replay(ExampleText("forced_submission.scn") + "\nat 11:29:50 shell fails confirm\n");
    EXPECT_EQ(ShellSaid(fails), (std::vector<std::pair<std::uint32_t, std::int32_t>>{
                                    {kDialog, 1}, {kAnswer, 1}, {kAnswer, 5}, {kDialog, 2}}));
    EXPECT_EQ(Posts(fails, shell::cmd::ConfirmCodeElement), 1);
    ASSERT_EQ(fails.page.size(), 1u);
    EXPECT_EQ(fails.page[0].at, At("11:29:59.900"));

    // A press of the bid at the page's price + 300 is accepted; the page's own close is reported.
    const ReplayResult closed = Replay(ExampleText("second_bid_confirm_on_rise.scn") + "\nat 11:29:30 page closes dialog\n");
    EXPECT_EQ(ShellSaid(closed), (std::vector<std::pair<std::uint32_t, std::int32_t>>{{kDialog, 1}, {kDialog, 0}}));
    const ReplayResult open = Replay(ExampleText("second_bid_confirm_on_rise.scn"));
    ASSERT_EQ(open.page.size(), 1u);
    EXPECT_EQ(FormatPageOutcome(open.page[0]), "page: accepted 89700 at 11:29:45.000, page price 89400, gap 300");
}

// A feed's reports that reach the console late, in bursts, or with the page's clock running ahead.
TEST(Replay, AFeedCanBeLateBurstyOrOnAClockOfItsOwn) {
    const std::string file = "second_bid_confirm_on_rise.scn";
    const std::string feed = "feed 11:29:00 11:30:00 every 100";
    const Case cases[] = {
        {"each report 400 ms late: the rise to 89400 at 11:29:45 is seen at 45.400", Edited(file, feed, feed + " delay 400"),
         {{At("11:29:45.400")}, 300, 15}},
        {"reports handed over every 700 ms: the one of 45.000 goes with those up to 45.500",
         Edited(file, feed, feed + " burst 700"), {{At("11:29:45.500")}, 300, 15}},
        {"bursts of 700, then 200 ms late", Edited(file, feed, feed + " burst 700 delay 200"), {{At("11:29:45.700")}, 300, 15}},
    };
    for (const Case& t : cases) Check(t);

    // The page clock (the clock of the remaining time) a second ahead: the forced submission's
    // moment, 100 ms before the end on the page, comes a second early in true time.
    const std::string forced = ExampleText("forced_submission.scn") + "\nset conf systime_screentime 1\n";
    for (const std::string& text : {forced + "page clock +1000\n", Edit(forced, "every 100", "every 100 clock +1000")}) {
        const ReplayResult r = Replay(text);
        ASSERT_EQ(r.confirmations.size(), 1u) << text;
        EXPECT_GE(r.confirmations[0].at, At("11:29:58.900"));
        EXPECT_LE(r.confirmations[0].at, At("11:29:58.920"));
    }
}

// The page model on its own: one press for a burst of the command and the confirm points at one
// instant, one click for a schedule and the command naming its token, and the cancel after the
// click answered too late.
TEST(PageModel, OnePressPerBurstAndOneClickPerToken) {
    PageModel page(false, [](DayMs at) { return Confirmation{at, 0, 0, 0}; });
    auto post = [&](DayMs at, std::uint32_t msg, std::uint32_t w = 0, std::int32_t l = 0, bool toView = false,
                    PagePointRole role = PagePointRole::None, std::int64_t pc = 0) {
        PostRecord r;
        r.message = {msg, w, l};
        r.role = role;
        page.OnPost(r, toView, at, pc);
    };
    auto bid = [&](DayMs at, const char* amount) {
        post(at, platform::wm::KeyDown, platform::vk::Delete, 1, true);
        for (const char* c = amount; *c; ++c) post(at, platform::wm::Char, static_cast<std::uint32_t>(*c), 0, true);
        post(at, shell::cmd::PressAddElement);
        post(at, shell::cmd::PressBidElement);
    };
    page.SetPrice(89000);
    bid(1000, "300");
    post(1500, shell::cmd::ConfirmCodeElement);
    for (int n = 0; n < 3; ++n) post(1500, shell::cmd::ClickAt, 0, 0, false, PagePointRole::Confirm);
    post(2000, shell::cmd::ClickAt, 0, 0, false, PagePointRole::Confirm);  // a press of its own, no dialog

    page.SetPrice(89200);
    bid(3000, "500");  // 89700, above the page's 89200 + 300
    post(3000, shell::cmd::ScheduleConfirm, 500, 7, false, PagePointRole::None, 0);
    page.Poll(3499, 499);
    page.Poll(3500, 500);
    post(3600, shell::cmd::ConfirmCodeElement, 0, 7);  // stands in for the schedule that clicked
    post(3700, shell::cmd::CancelScheduledConfirm, 0, 7, false, PagePointRole::None, 700);

    std::vector<std::string> lines;
    for (const PageOutcome& p : page.Outcomes()) lines.push_back(FormatPageOutcome(p));
    EXPECT_EQ(lines, (std::vector<std::string>{"page: accepted 89300 at 00:00:01.500, page price 89000, gap 300",
                                               "page: click with no dialog open at 00:00:02.000",
                                               "page: refused 89700 at 00:00:03.500, page price 89200, gap 500"}));
    std::vector<std::int32_t> answers;
    for (const PageModel::ToConsole& m : page.TakeDue(4000))
        if (m.message.msg == shell::kScheduleAnswerMessage) answers.push_back(m.message.lParam);
    EXPECT_EQ(answers, (std::vector<std::int32_t>{1, 2, 4}));
    EXPECT_EQ(page.ShellClicks().size(), 1u);
}

}  // namespace
}  // namespace kestrava::runtime
