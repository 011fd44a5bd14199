// The scan tick on the fake platform with the real engine behind it: the hot keys, the control
// table, the displays of each phase, the gap classes, the end-of-auction sequence and its
// one-shot actions, and the timing of a tick held by a bid application.
#include "perception_role/scan_tick.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/keys.h"
#include "shell/page_commands.h"
#include "unit/perception_role/perception_rig.h"

namespace kestrava::perception {
namespace {

namespace fs = std::filesystem;
namespace vk = platform::vk;
using testing::PerceptionRig;

constexpr char kEscapeLine[] = "检查是否有页面干扰申请价格 ";

TEST(ScanTickKeys, EachPressReachesTheKeyHandlerOnce) {
    // What the keyboard does during two seconds of scan ticks (every 100 ms from 100 ms on).
    struct Step {
        int atMs;
        enum { Tap, Down, Up } what;
    };
    struct Case {
        const char* name;
        bool withPage;
        std::vector<Step> steps;
        int expected;  // handler calls
    };
    const Case cases[] = {
        {"quick tap between polls", true, {{50, Step::Tap}}, 1},
        {"held for one second", true, {{50, Step::Down}, {1050, Step::Up}}, 1},
        {"held across a single poll", true, {{50, Step::Down}, {150, Step::Up}}, 1},
        {"held, released, pressed again", true, {{50, Step::Down}, {550, Step::Up}, {750, Step::Down}, {950, Step::Up}}, 2},
        // The keyboard repeats a held key: still the one press.
        {"held with the keyboard repeating it", true,
         {{50, Step::Down}, {250, Step::Tap}, {450, Step::Tap}, {650, Step::Tap}, {850, Step::Up}}, 1},
        {"tapped twice, a poll between", true, {{50, Step::Tap}, {150, Step::Tap}}, 2},
        {"tap without a page window", false, {{50, Step::Tap}}, 1},
        {"held without a page window", false, {{50, Step::Down}, {1050, Step::Up}}, 1},
        {"nothing pressed", true, {}, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig;
        if (!k.withPage) rig.RemovePage();
        rig.scanTimer = rig.fp.clock.StartPeriodic(100, [&] { rig.hooks.scanTick(rig.c()); });
        int now = 0;
        for (const Step& step : k.steps) {
            rig.fp.clock.Advance(static_cast<std::uint32_t>(step.atMs - now));
            now = step.atMs;
            if (step.what == Step::Tap) rig.fp.keyboard.Tap(vk::Escape);
            if (step.what != Step::Tap) rig.fp.keyboard.SetDown(vk::Escape, step.what == Step::Down);
        }
        rig.fp.clock.Advance(static_cast<std::uint32_t>(2000 - now));
        EXPECT_EQ(rig.LoggedCount(kEscapeLine), k.expected);
    }
}

// A held Enter confirms once: with the applied price inside the window, and with one second left.
TEST(ScanTickKeys, AHeldEnterConfirmsOnce) {
    struct Case {
        const char* name;
        int remaining;
        int applied;  // the lowest price is 90000
    };
    const Case cases[] = {
        {"gap 300 with 40 s left", 40, 90300},
        {"one second left, gap 900", 1, 90900},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig(testing::MakeLocal(2026, 12, 10, 11, 29, 60 - k.remaining));
        auto& s = rig.s();
        s.auctionPhase = 3;
        s.remainingSeconds = k.remaining;
        s.lowestPrice = 90000;
        s.lowestText.Set("90000");
        rig.engine->Fire(rig.c(), engine::SubmissionInput::Apply, k.applied);
        rig.fp.desktop.ClearPosted();
        rig.scanTimer = rig.fp.clock.StartPeriodic(100, [&] {
            s.remainingSeconds = k.remaining;  // the moment stands still; only the key matters
            rig.hooks.scanTick(rig.c());
        });
        rig.fp.keyboard.SetDown(vk::Return, true);
        rig.fp.clock.Advance(950);
        rig.fp.keyboard.SetDown(vk::Return, false);
        rig.fp.clock.Advance(500);
        const std::vector<std::uint32_t> posts = rig.PagePosts();
        EXPECT_EQ(std::count(posts.begin(), posts.end(), shell::cmd::ConfirmCodeElement), 1);
        EXPECT_EQ(rig.LoggedCount("..."), 1);
    }
}

TEST(ScanTickKeys, EveryHotKeyIsPolledOncePerPress) {
    PerceptionRig rig;
    for (int key : kHotKeys) rig.fp.keyboard.Tap(key);
    rig.hooks.scanTick(rig.c());
    // Enter finds no bid waiting; Escape is the one key with its own log line. Each was consumed:
    // a second tick sees none of them.
    const auto before = rig.LogMessages().size();
    EXPECT_EQ(rig.LoggedCount(kEscapeLine), 1);
    EXPECT_EQ(rig.LoggedCount("没有等待提交的出价"), 1);  // Enter
    rig.hooks.scanTick(rig.c());
    EXPECT_EQ(rig.LogMessages().size(), before);
}

TEST(ScanTickTables, GapClass) {
    struct Case {
        int applied;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {90300, 2}, {90000, 2},  {90400, 3}, {90500, 4}, {90600, 1},
        {89900, 1}, {0, 1},      {90350, std::nullopt},  {90450, std::nullopt},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.applied);
        EXPECT_EQ(GapClass(k.applied, 90000), k.expected);
    }
    EXPECT_EQ(GapClass(2147483647, 2147483600), 2) << "no wrap-around near the int limit";
}

TEST(ScanTickTables, ControlsFollowTheirBoxes) {
    struct Case {
        int box;
        bool ticked;
        int control;
        bool enabled;
    };
    const Case cases[] = {
        {1010, true, 1094, true}, {1010, false, 1094, false}, {1010, false, 1050, false},
        {1125, true, 1132, true}, {1125, false, 1053, false}, {1061, true, 1167, true},
        {1061, false, 1170, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.box) + (k.ticked ? " ticked" : " clear") + " -> " + std::to_string(k.control));
        PerceptionRig rig;
        rig.c().controls.Enable(k.control, !k.enabled);
        rig.c().controls.SetCheck(k.box, k.ticked ? 1 : 0);
        rig.hooks.scanTick(rig.c());
        EXPECT_EQ(rig.c().controls.Enabled(k.control), k.enabled);
    }

    PerceptionRig rig;
    rig.c().controls.SetCheck(1150, 1);
    rig.c().controls.SetCheck(1125, 0);
    rig.c().controls.Enable(1222, false);
    rig.hooks.scanTick(rig.c());
    EXPECT_EQ(rig.c().controls.Check(1150), 0) << "clearing the third application clears the rebid choice";
    EXPECT_TRUE(rig.c().controls.Enabled(1222)) << "the rise rows are enabled while 1150 exists";
}

TEST(ScanTickPhases, DisplaysOfEachPhase) {
    PerceptionRig rig;
    auto& s = rig.s();
    auto& ctl = rig.c().controls;
    s.lowestPrice = 90000;
    s.appliedPrice = 90400;
    s.gapClass = 2;

    s.auctionPhase = 0;
    rig.hooks.scanTick(rig.c());
    EXPECT_EQ(ctl.Text(1105), "0");
    EXPECT_EQ(ctl.Text(1106), "300");
    EXPECT_EQ(ctl.Text(1104), "-----");
    EXPECT_EQ(s.gapClass.load(), 0);

    s.auctionPhase = 2;
    rig.hooks.scanTick(rig.c());
    EXPECT_EQ(ctl.Text(1104), "修改阶段显示");
    EXPECT_EQ(s.infoHeader.Get(), "请用户操作首次出价，到修改阶段，软件开始工作");
    EXPECT_EQ(s.infoHeaderStyle.load(), 1);  // black

    s.auctionPhase = 3;
    rig.hooks.scanTick(rig.c());
    EXPECT_EQ(ctl.Text(1104), "90400");
    EXPECT_EQ(s.gapClass.load(), 3);
    s.appliedPrice = 0;
    rig.hooks.scanTick(rig.c());
    EXPECT_EQ(ctl.Text(1104), "-----");
    EXPECT_EQ(s.gapClass.load(), 1);
}

TEST(ScanTickPhases, DebugMarkersOnlyInDebugMode) {
    for (int debg : {0, 99}) {
        SCOPED_TRACE(debg);
        PerceptionRig rig;
        rig.s().debg = debg;
        rig.role->geometry()->Update([](PageGeometry& g) {
            g.lvwf_x = 100, g.lvwf_y = 50;
            g.bidbutton_picPot_x = 30, g.bidbutton_picPot_y = 31;
            g.SyncPotPoints();
        });
        rig.hooks.scanTick(rig.c());
        if (debg != 99) {
            EXPECT_TRUE(rig.markers.empty());
            continue;
        }
        ASSERT_EQ(rig.markers.size(), 7u);
        // Marker 6 stands for the bid button: view origin (0, 30) + anchor + its offset.
        EXPECT_EQ(rig.markers[5].first, 6);
        EXPECT_EQ(rig.markers[5].second, (Point{130, 111}));
    }
}

// The end of a real auction: the log written more than 5 s after the end, the end screenshot, the
// uploads after the drawn delay, the information dialog confirmed, the result dialog watched for.
class EndOfAuction : public ::testing::Test {
protected:
    void SetUp() override {
        rig_.AdvanceTo(11, 29, 58);
        auto& s = rig_.s();
        s.auctionPhase = 3;
        s.jitterSeconds = 20;
        s.jitterCoin = 1;  // uploads later than E + 80 s
        rig_.role->geometry()->Update([](PageGeometry& g) {
            g.lvwf_x = 100, g.lvwf_y = 50;
            g.youdoufugan_left = 600, g.youdoufugan_top = 100;
            g.youdoufugan_width = 300, g.youdoufugan_height = 200;
        });
        ASSERT_TRUE(SaveBitmapFile(testing::StatusIcon(90), "ScreenShot/ok.bmp"));
        rig_.StartTicks();
        phaseTimer_ = rig_.fp.clock.StartPeriodic(1000, [this] { rig_.c().UpdateAuctionPhase(); });
        dayLog_ = rig_.book.DayFilePath("12345678");
        // The console queues the day's log first at start-up.
        rig_.s().uploadQueue.With([this](auto& q) { q.push_back(dayLog_); });
    }
    void TearDown() override { phaseTimer_.reset(); }

    void DrawResultDialog() { rig_.fp.screen.Blit(testing::StatusIcon(90), 0 + 100 + 700, 30 + 50 + 150); }

    PerceptionRig rig_;
    std::unique_ptr<platform::PeriodicTimer> phaseTimer_;
    std::string dayLog_;
};

TEST_F(EndOfAuction, RealRunStepsEachOnceInTimeOrder) {
    const std::string endShot = ".//ScreenShot//del1//samples//12345678_BidEnd.bmp";
    const std::string finalShot = ".//ScreenShot//del1//samples//12345678_BidFinal.bmp";

    rig_.AdvanceTo(11, 30, 5);
    EXPECT_FALSE(fs::exists(dayLog_)) << "written only later than five seconds after the end";
    EXPECT_FALSE(fs::exists(endShot));
    rig_.AdvanceTo(11, 30, 5, 100);
    EXPECT_TRUE(fs::exists(dayLog_));
    EXPECT_TRUE(fs::exists(dayLog_ + "_2026-12-10_11-30-05"));
    EXPECT_TRUE(fs::exists(endShot));
    EXPECT_EQ(rig_.LoggedCount("pinmushot301"), 1);
    EXPECT_EQ(rig_.s().uploadQueue.Get().back(), endShot);

    rig_.AdvanceTo(11, 31, 20);
    EXPECT_TRUE(rig_.uploads.empty());
    rig_.AdvanceTo(11, 31, 20, 100);
    ASSERT_EQ(rig_.uploads.size(), 1u);
    EXPECT_EQ(rig_.uploads[0].logCopy, dayLog_ + "_2026-12-10_11-30-05");
    EXPECT_EQ(rig_.uploads[0].queue.back(), endShot);
    EXPECT_EQ(rig_.uploads[0].ieLog, "./Log/12345678_2026-12-10_ie.log");
    EXPECT_EQ(rig_.LoggedCount("upload rizhi"), 1);

    rig_.AdvanceTo(11, 33, 5, 100);
    EXPECT_EQ(rig_.role->records.finalShotState.load(), 1);
    EXPECT_EQ(rig_.LoggedCount("upload zhongpic midenter"), 1);
    EXPECT_EQ(rig_.s().auctionPhase.load(), 4);

    DrawResultDialog();
    rig_.AdvanceTo(11, 33, 15);
    EXPECT_FALSE(fs::exists(finalShot)) << "the result dialog is looked for only after E + 195 s";
    rig_.AdvanceTo(11, 33, 16);
    EXPECT_TRUE(fs::exists(finalShot));
    EXPECT_EQ(rig_.role->records.finalShotState.load(), 4);
    EXPECT_EQ(rig_.finalUploads, std::vector<std::string>{"12345678"});

    rig_.AdvanceTo(11, 40, 0);
    EXPECT_EQ(rig_.LoggedCount("pinmushot301"), 1);
    EXPECT_EQ(rig_.LoggedCount("zhongpic dialog popup"), 1);
    EXPECT_EQ(rig_.uploads.size(), 1u);
    EXPECT_EQ(rig_.finalUploads.size(), 1u);

    // The auction-day reset clears the one-shot actions: the next tick takes them again.
    fs::remove(endShot);
    rig_.c().ResetAuctionDay();
    EXPECT_EQ(rig_.role->records.finalShotState.load(), 0);
    rig_.hooks.scanTick(rig_.c());
    EXPECT_TRUE(fs::exists(endShot));
}

TEST_F(EndOfAuction, NoResultDialogKeepsWatching) {
    rig_.AdvanceTo(11, 36, 0);
    EXPECT_EQ(rig_.role->records.finalShotState.load(), 1);
    EXPECT_TRUE(rig_.finalUploads.empty());
    EXPECT_FALSE(fs::exists(".//ScreenShot//del1//samples//12345678_BidFinal.bmp"));
}

TEST_F(EndOfAuction, SimulationRunHasNoEndSequence) {
    auto& s = rig_.s();
    s.moniornot = 1;
    s.auctionStart = rig_.At(11, 26, 50);
    s.auctionEnd = rig_.At(11, 30, 0);
    DrawResultDialog();
    rig_.AdvanceTo(11, 40, 0);
    EXPECT_FALSE(fs::exists(dayLog_));
    EXPECT_EQ(rig_.LoggedCount("pinmushot301"), 0);
    EXPECT_TRUE(rig_.uploads.empty());
    EXPECT_TRUE(rig_.finalUploads.empty());
    EXPECT_EQ(rig_.role->records.finalShotState.load(), 0);
}

TEST(ScanTickRevision, FirstRevisionCalibrationWaitsForTheFeed) {
    PerceptionRig rig(platform::fake::MakeLocal(2026, 12, 10, 11, 0, 2));
    auto& s = rig.s();
    s.auctionPhase = 3;
    s.remainingSeconds = 1798;
    for (int i = 0; i < 5; ++i) rig.hooks.scanTick(rig.c());
    EXPECT_EQ(rig.LoggedCount("鼠标点击_智能校正"), 0);
    rig.engine->records.feedLowestPrice = 90000;
    for (int i = 0; i < 5; ++i) rig.hooks.scanTick(rig.c());
    EXPECT_EQ(rig.LoggedCount("鼠标点击_智能校正"), 1);
}

// After the end the submission's balloons come down and no countdown stays in the info bar. The
// end is the time left running out, or the PC clock well past the end when the page's clock
// stopped short of it (the practice page sends no time after its end).
TEST(ScanTickRevision, BalloonsAndCountdownClearedAfterTheEnd) {
    struct Case {
        const char* name;
        int moniornot;
        int remaining;
        int minute, second, ms;  // the PC clock, 11:mm:ss.ms
        bool over;
    };
    const Case cases[] = {
        {"one second left", 0, 1, 29, 59, 0, false},
        {"none left", 0, 0, 29, 59, 0, true},
        {"practice page stopped at one second, just past the end", 1, 1, 30, 1, 900, false},
        {"practice page stopped at one second, two seconds past the end", 1, 1, 30, 2, 0, true},
        {"real run, page clock stopped, two seconds past the end", 0, 1, 30, 2, 0, true},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        PerceptionRig rig(platform::fake::MakeLocal(2026, 12, 10, 11, 29, 0));
        rig.s().moniornot = tc.moniornot;
        rig.s().auctionPhase = 3;
        rig.s().remainingSeconds = tc.remaining;
        rig.c().SetInfoBody("软件将在1秒后自动申请价格");
        rig.AdvanceTo(11, tc.minute, tc.second, tc.ms);
        rig.hooks.scanTick(rig.c());
        EXPECT_EQ(rig.hidden, (tc.over ? std::vector<int>{1, 2} : std::vector<int>{}));
        EXPECT_EQ(rig.s().infoBody.Get(), tc.over ? "" : "软件将在1秒后自动申请价格");
    }
}

// F3 in the revision phase runs a test bid inside the scan tick, which sleeps through its waits.
// The scan timer skips the ticks that fall due meanwhile; the submit tick keeps its rhythm.
TEST(ScanTickTiming, BidApplicationDelaysTheScanTickNotTheSubmitTick) {
    PerceptionRig rig(platform::fake::MakeLocal(2026, 12, 10, 11, 29, 0));
    rig.s().auctionPhase = 3;
    rig.s().remainingSeconds = 60;
    std::vector<std::pair<std::int64_t, std::int64_t>> scans;  // start, end
    std::vector<std::int64_t> submits;
    const std::int64_t t0 = rig.fp.clock.EpochMillis();
    rig.scanTimer = rig.fp.clock.StartPeriodic(100, [&] {
        const std::int64_t start = rig.fp.clock.EpochMillis() - t0;
        rig.hooks.scanTick(rig.c());
        scans.emplace_back(start, rig.fp.clock.EpochMillis() - t0);
    });
    rig.submitTimer = rig.fp.clock.StartPeriodic(10, [&] {
        submits.push_back(rig.fp.clock.EpochMillis() - t0);
        rig.hooks.submitTick(rig.c());
    });
    // A press within 400 ms of the day's reset counts as the same press.
    rig.fp.clock.Advance(550);
    rig.fp.keyboard.Tap(vk::F3);
    rig.fp.clock.Advance(3000);

    const auto longest = std::max_element(scans.begin(), scans.end(), [](const auto& a, const auto& b) {
        return a.second - a.first < b.second - b.first;
    });
    ASSERT_NE(longest, scans.end());
    EXPECT_GE(longest->second - longest->first, 300) << "the test bid held the scan tick";
    EXPECT_EQ(rig.calibrations, 1) << "F3 calibrates before its test bid";
    for (std::size_t i = 1; i < scans.size(); ++i) EXPECT_GE(scans[i].first, scans[i - 1].second) << "no overlap";
    for (std::size_t i = 1; i < submits.size(); ++i) EXPECT_EQ(submits[i] - submits[i - 1], 10) << "at " << submits[i];
    int duringApplication = 0;
    for (std::int64_t t : submits) duringApplication += t > longest->first && t < longest->second;
    EXPECT_GE(duringApplication, (longest->second - longest->first) / 10 - 1);
}

}  // namespace
}  // namespace kestrava::perception
