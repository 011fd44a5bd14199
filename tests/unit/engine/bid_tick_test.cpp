// The bid tick: the gear ladder, the second lows, the two remedies, both forced submissions (run
// by the submit tick), the page clearing, the scheduled and the analysis bids. Timelines run the scan and submit
// ticks on the virtual clock over a short price curve.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine_rig.h"

namespace kestrava::engine::testing {
namespace {

namespace cmd = shell::cmd;

// A price curve by remaining seconds: the lowest price from the key's second downwards, read
// at the start of every bid tick as the screen or the feed would give it.
using PriceCurve = std::map<int, int, std::greater<>>;

EngineOptions CurveReader(const PriceCurve& curve) {
    EngineOptions options;
    options.readLowestPrice = [curve](console::CKestravaDlg& c) {
        const int r = c.state.remainingSeconds.load();
        int price = curve.begin()->second;
        for (const auto& [from, p] : curve)
            if (r <= from) price = p;
        c.state.lowestPrice = price;
        c.state.lowestText.Set(std::to_string(price));
    };
    return options;
}

// The virtual time (HH:MM:SS.mmm) of the first post of `msg`, or "" when there is none.
std::string FirstPostTime(EngineRig& rig, const std::vector<Post>& posts, std::uint32_t msg) {
    for (const Post& p : posts) {
        if (p.msg != msg) continue;
        const platform::LocalTime t = rig.fp.clock.EpochMillisToLocal(rig.startMillis + p.at);
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
        return text;
    }
    return "";
}

// One bid tick at `r` seconds left, without a new per-second pass unless asked.
void TickAt(EngineRig& rig, int r, bool newSecond = false) {
    rig.c().state.remainingSeconds = r;
    if (!newSecond) rig.rec().lastTickSecond = r;
    rig.e().BidTick(rig.c());
}

TEST(GearStepTest, MovesAtMostOneGearPerSecond) {
    struct Case {
        const char* name;
        int index, seconds, price;
        int indexAfter, secondsAfter, previousAfter;
    };
    // Ladder 90800 + 300·i: gear 3 runs from 91700 to 92000.
    const Case cases[] = {
        {"on the lower level", 3, 4, 91700, 3, 4, 0},
        {"below it", 3, 4, 91400, 3, 4, 0},
        {"inside", 3, 4, 91800, 3, 5, 0},
        {"on the upper level", 3, 4, 92000, 4, 0, 4},
        {"two gears up at once", 3, 4, 92600, 4, 1, 4},
        {"index beyond the ladder is clamped", 25, 2, 96500, 19, 0, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.rec().gearIndex = k.index;
        rig.rec().gearSeconds = k.seconds;
        rig.SetPrices(k.price, 0);
        TickAt(rig, 40, true);
        EXPECT_EQ(rig.rec().gearIndex.load(), k.indexAfter);
        EXPECT_EQ(rig.rec().gearSeconds.load(), k.secondsAfter);
        EXPECT_EQ(rig.rec().previousGearSeconds.load(), k.previousAfter);
        EXPECT_EQ(rig.LogMessages().front(), "目前最低成交价：" + std::to_string(k.price) + " ,剩余时间40.");
    }
}

TEST(SecondLowsTest, OneEachSecondAndMissedSecondsFilled) {
    EngineRig rig;
    // Passes at these seconds only: an application held the scan thread over 13, 11 and 10.
    for (const auto& [r, price] : std::vector<std::pair<int, int>>{{16, 90000}, {15, 90000}, {14, 90100}, {12, 90200}, {9, 90300}}) {
        rig.SetPrices(price, 0);
        TickAt(rig, r, true);
    }
    const auto& low = rig.rec().lowAt;
    EXPECT_EQ(low[43].load(), 200);  // 17 s left was never seen
    const std::vector<std::pair<int, int>> expected = {{45, 90000}, {46, 90100}, {47, 90200}, {48, 90200},
                                                       {49, 90300}, {50, 90300}, {51, 90300}, {52, 0}};
    for (const auto& [second, price] : expected) EXPECT_EQ(low[second].load(), price) << second;
    EXPECT_TRUE(rig.Logged("45秒最低成交价：90000"));
    EXPECT_TRUE(rig.Logged("48秒最低成交价：90200"));
    EXPECT_TRUE(rig.Logged("51秒最低成交价：90300"));
    EXPECT_FALSE(rig.Logged("50秒最低成交价：90300"));
}

TEST(SecondLowsTest, ALateStartLeavesTheEarlyLowsUnknown) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 47, 950), CurveReader({{60, 90500}}));
    rig.StartTicks();
    rig.AdvanceTo(11, 29, 49, 50);
    const auto& low = rig.rec().lowAt;
    EXPECT_EQ(low[45].load(), 0);
    EXPECT_EQ(low[46].load(), 0);
    EXPECT_EQ(low[47].load(), 0);
    EXPECT_EQ(low[48].load(), 90500);
    EXPECT_EQ(low[49].load(), 90500);

    // With no low of second 45, the one of 46 seconds stands in for it: its line is logged twice.
    EngineRig late(MakeLocal(2026, 12, 10, 11, 29, 45, 950), CurveReader({{60, 90500}}));
    late.StartTicks();
    late.AdvanceTo(11, 29, 46, 50);
    EXPECT_EQ(late.LoggedCount("46秒最低成交价：90500"), 2);
    EXPECT_EQ(late.rec().lowAt[45].load(), 90500);
}

TEST(SevenSecondRemedyTest, WithdrawsAnOverHighApplicationOnce) {
    struct Case {
        const char* name;
        int gap;
        int r;
        bool forcedBox;
        int variant;  // 0: none
        int limitAfter, delayAfter, mandatoryAfter;
        std::string label;
    };
    const Case cases[] = {
        {"gap at margin 1", 1000, 8, true, 1, 300, 0, 58, "11:29:59.10"},
        {"gap above margin 1, later", 1200, 6, false, 1, 300, 0, 100, "11:29:59.9"},
        {"gap at margin 2 on the second itself", 800, 8, true, 2, 500, 400, 55, "11:29:59.10"},
        {"gap of 400", 400, 8, false, 2, 500, 400, 100, "11:29:59.9"},
        {"margin-2 gap one second late", 600, 7, false, 0, 500, 400, 100, "11:29:59.9"},
        {"gap between the margins", 900, 8, false, 0, 500, 400, 100, "11:29:59.9"},
        {"gap below 400", 350, 8, false, 0, 500, 400, 100, "11:29:59.9"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        auto& v = rig.e().strategy;
        v.ctrlXpricelimit = 500;
        v.DelayBidTime = 400;
        rig.c().controls.SetText(box::ForcedTimeLabel, "11:29:59.9");
        rig.Tick(box::Remedy);
        rig.Tick(box::RebidChoice);
        rig.Tick(box::AntiFluke);
        rig.Tick(box::ForcedByTime, k.forcedBox);
        rig.SetPrices(90000, 90000 + k.gap);
        rig.e().ArmSubmission();
        TickAt(rig, 9);
        EXPECT_EQ(rig.rec().remedyChecked.load(), 0);
        TickAt(rig, k.r);
        TickAt(rig, k.r - 1);
        const std::vector<Post> posts = rig.Posts();
        const std::string n = std::to_string(k.variant);
        EXPECT_EQ(rig.rec().remedyChecked.load(), 1);
        EXPECT_EQ(rig.rec().remedyFired.load(), k.variant ? 1 : 0);
        EXPECT_EQ(rig.LoggedCount("7秒补救开启" + n + "，被撤销的价格：" + std::to_string(90000 + k.gap)), k.variant ? 1 : 0);
        EXPECT_EQ(rig.LoggedCount("操作执行申请加价"), k.variant ? 1 : 0);
        EXPECT_EQ(v.ctrlXpricelimit.load(), k.limitAfter);
        EXPECT_EQ(v.DelayBidTime.load(), k.delayAfter);
        EXPECT_EQ(v.mandatory_bid.load(), k.mandatoryAfter);
        EXPECT_EQ(rig.c().controls.Text(box::ForcedTimeLabel), k.label);
        if (k.variant) {
            EXPECT_EQ(rig.c().state.appliedPrice.load(), 90000 + (k.variant == 1 ? 400 : 600));
            EXPECT_EQ(rig.rec().smartSubmitArmed.load(), 0);
            EXPECT_FALSE(rig.c().controls.IsChecked(box::RebidChoice));
            EXPECT_FALSE(rig.c().controls.IsChecked(box::AntiFluke));
            EXPECT_EQ(rig.rec().lastHint.Get().n, 4);
            EXPECT_EQ(posts.front().msg, cmd::ClickAt);  // the cancel points come first
            EXPECT_EQ(rig.c().state.infoBody.Get(), " 加价" + std::to_string(k.variant == 1 ? 400 : 600) +
                                                        "，请输入验证码，然后按一次回车");
        } else {
            EXPECT_TRUE(posts.empty());
            EXPECT_TRUE(rig.c().controls.IsChecked(box::AntiFluke));
        }
    }
}

TEST(AntiFlukeTest, RowsAndAmountsByStartDigit) {
    struct Case {
        const char* name;
        int r;
        int gap;
        int price;  // lowAt43 90000, lowAt46 90100, lowAt47 90200, lowAt50 90300
        int gearSeconds;
        int thirdBidTime;
        int digit;
        bool acts;
        std::string label;
        int amount;
        int thirdBidTimeAfter;
    };
    const Case cases[] = {
        {"9 s, unchanged since 43", 9, 900, 90000, 0, 15, 2, true, "防幺蛾子915A", 400, 9},
        {"9 s, digit 5", 9, 900, 90000, 0, 15, 5, true, "防幺蛾子915B", 500, 9},
        {"9 s, no clock digit", 9, 900, 90000, 0, 15, -1, true, "防幺蛾子915C", 600, 9},
        {"9 s needs the third bid at 15 or later", 9, 900, 90000, 0, 10, 2, false, "", 0, 10},
        {"9 s needs a gap of 900", 9, 800, 90000, 0, 15, 2, false, "", 0, 15},
        {"8 s, unchanged since 43", 8, 1000, 90000, 0, 14, 8, true, "防幺蛾子814C", 500, 8},
        {"8 s, no digit: acts without a new application", 8, 1000, 90000, 0, 14, -1, true, "", 0, 8},
        {"8 s, unchanged since 46", 8, 900, 90100, 0, 14, 0, true, "防幺蛾子814A.", 400, 8},
        {"7 s, unchanged since 47", 7, 900, 90200, 0, 13, 9, true, "防幺蛾子功能预测 7>-13C", 600, 13},
        {"7 s, unchanged since 50 in a long gear", 7, 900, 90300, 8, 13, 4, true, "防幺蛾子功能预测 7dw>-13B", 500, 13},
        {"7 s, since 50 but a short gear", 7, 900, 90300, 7, 13, 4, false, "", 0, 13},
        {"6 s is too late", 6, 900, 90200, 0, 13, 4, false, "", 0, 13},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.rec().lowAt[43] = 90000;
        rig.rec().lowAt[46] = 90100;
        rig.rec().lowAt[47] = 90200;
        rig.rec().lowAt[50] = 90300;
        rig.rec().gearSeconds = k.gearSeconds;
        rig.e().strategy.ThirdBidTime = k.thirdBidTime;
        rig.c().state.startSecondDigit = k.digit;
        rig.Tick(box::AntiFluke);
        rig.SetPrices(k.price, k.price + k.gap);
        TickAt(rig, k.r);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(rig.rec().antiFlukeFired.load(), k.acts ? 1 : 0);
        EXPECT_EQ(rig.e().strategy.ThirdBidTime.load(), k.thirdBidTimeAfter);
        EXPECT_EQ(!posts.empty() && posts[3].msg == cmd::CancelCodeElement, k.acts);  // Escape first
        if (!k.label.empty()) {
            EXPECT_EQ(rig.LogMessages().back(), k.label);
            EXPECT_EQ(rig.e().strategy.ThirdBidPricePlus.load(), k.amount);
            EXPECT_EQ(rig.c().state.appliedPrice.load(), k.price + k.amount);
        } else {
            EXPECT_EQ(rig.LoggedCount("操作执行申请加价"), 0);
        }
    }
}

TEST(ForcedSubmissionTest, TimeBasedFiresAtItsMoment) {
    struct Case {
        const char* name;
        int mandatoryBid;
        bool gapBox;  // 1098
        int gapLimit;
        int gap;
        std::string firesAt;
        std::string startLine;
        std::string info, log;
    };
    const std::string lowest = "，目前国拍最低价：90000";
    const Case cases[] = {
        {"the default 100 ms", 100, false, 0, 900, "11:29:59.900", " QZ" + lowest, "开始自动强制提交", "软件强制提交 完毕"},
        {"1500 ms starts at 2 s and waits 500", 1500, false, 0, 900, "11:29:58.500", " QZ" + lowest, "开始自动强制提交",
         "软件强制提交 完毕"},
        {"a whole second", 1000, false, 0, 900, "11:29:59.000", " QZ" + lowest, "开始自动强制提交", "软件强制提交 完毕"},
        {"gap within DisconSecBid", 100, true, 900, 900, "11:29:59.900", " QZ900" + lowest, "开始自动强制提交",
         "软件强制提交 完毕"},
        {"gap within DisconSecBid, whole second", 2000, true, 900, 900, "11:29:58.000", "QZ900" + lowest,
         "开始自动强制提交", "软件强制提交 完毕"},
        {"gap above DisconSecBid: at 58", 100, true, 800, 900, "11:29:58.000", "", "开始自动58强制提交", "58强制提交"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 55, 0), CurveReader({{60, 90000}}));
        rig.e().strategy.mandatory_bid = k.mandatoryBid;
        rig.e().strategy.DisconSecBid = k.gapLimit;
        rig.Tick(box::ForcedByTime);
        rig.Tick(box::ForcedByGap, k.gapBox);
        rig.SetPrices(90000, 90000 + k.gap);
        rig.e().ArmSubmission();
        rig.StartTicks();
        rig.AdvanceTo(11, 30, 0, 500);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(EngineRig::Confirmations(posts), 1);
        EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), k.firesAt);
        if (!k.startLine.empty()) {
            EXPECT_EQ(rig.LoggedCount(k.startLine), 1);
        }
        EXPECT_TRUE(rig.Logged(k.log));
        EXPECT_EQ(rig.c().state.infoBody.Get(), k.info);
        EXPECT_EQ(rig.rec().forcedSubmitDone.load(), 1);
        EXPECT_EQ(rig.c().state.appliedPrice.load(), 0);
        EXPECT_EQ(rig.rec().lastHint.Get().n, 1);
    }
}

// The countdown has one owner, the submit tick. The scan tick, due at the same instants (its
// period is a multiple of the submit tick's), never takes part: whichever runs first when one
// second is left, or when the scan tick alone runs, the confirmation is at 11:29:59.900 or none.
// (Both ticks used to run it; the scan tick could sample the clock before the submit tick stored
// the countdown's start, and the unsigned difference wrapped: a confirmation at 11:29:59.0.)
TEST(ForcedSubmissionTest, OnlyTheSubmitTickCountsDown) {
    enum class Ticks { SubmitFirst, ScanFirst, ScanOnly, ScanHeldAcrossTheStart };
    struct Case {
        const char* name;
        Ticks ticks;
        std::string confirmedAt;  // "" none
    };
    const Case cases[] = {
        {"submit tick first at each instant", Ticks::SubmitFirst, "11:29:59.900"},
        {"scan tick first at each instant", Ticks::ScanFirst, "11:29:59.900"},
        {"scan tick alone", Ticks::ScanOnly, ""},
        // A bid application holds the scan thread from 11:29:58.9 to 11:29:59.9.
        {"scan tick held across the countdown's start", Ticks::ScanHeldAcrossTheStart, "11:29:59.900"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 58, 0), CurveReader({{60, 90000}}));
        rig.Tick(box::ForcedByTime);
        rig.SetPrices(90000, 90900);
        rig.e().ArmSubmission();
        const auto scan = [&] {
            const platform::LocalTime t = rig.fp.clock.Now();
            if (k.ticks == Ticks::ScanHeldAcrossTheStart && t.second == 58 && t.millisecond == 900)
                rig.fp.clock.SleepMs(1000);
            rig.Remaining();
            rig.e().BidTick(rig.c());
        };
        const auto submit = [&] { rig.e().SubmitTick(rig.c()); };
        if (k.ticks == Ticks::ScanFirst) rig.scanTimer = rig.fp.clock.StartPeriodic(100, scan);
        if (k.ticks != Ticks::ScanOnly) rig.submitTimer = rig.fp.clock.StartPeriodic(10, submit);
        if (k.ticks != Ticks::ScanFirst) rig.scanTimer = rig.fp.clock.StartPeriodic(100, scan);
        rig.AdvanceTo(11, 30, 0, 500);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), k.confirmedAt);
        EXPECT_EQ(EngineRig::Confirmations(posts), k.confirmedAt.empty() ? 0 : 1);
        EXPECT_EQ(rig.LoggedCount(" QZ，目前国拍最低价：90000"), k.confirmedAt.empty() ? 0 : 1);
    }
}

// The moments the time-based forced submission announces to the page shell: the set moment
// (mandatory_bid 100: 11:29:59.900) and, with box 1098 and a gap above DisconSecBid, 11:29:58.
struct ForcedMoment {
    const char* name;
    bool at58;
    int armSecond;                // 11:29:SS, the submission armed
    int announcedSecond, announcedMs;  // just after the announcement
    std::int32_t aheadMs;         // the moment, seen from then
    std::string due;              // the moment
    std::string log;              // the rule's line
};
const ForcedMoment kForcedAt599{"forced at the set moment", false, 58, 59, 20, 880, "11:29:59.900", "软件强制提交 完毕"};
const ForcedMoment kForcedAt58{"forced at 58, gap above the limit", true, 56, 57, 20, 980, "11:29:58.000", "58强制提交"};

// A submission armed with the forced box ticked, in element mode, run up to just after the
// announcement; returns the one message posted by then (the schedule).
Post ArmForcedAndStartCountdown(EngineRig& rig, const ForcedMoment& k = kForcedAt599) {
    rig.c().state.divmode = 1;  // element mode: the shell can click by itself
    rig.Tick(box::ForcedByTime);
    if (k.at58) {
        rig.Tick(box::ForcedByGap);
        rig.e().strategy.DisconSecBid = 800;
    }
    rig.SetPrices(90000, 90900);
    rig.e().ArmSubmission();
    rig.StartTicks();
    rig.AdvanceTo(11, 29, k.announcedSecond, k.announcedMs);
    const std::vector<Post> posts = rig.Posts(true);
    EXPECT_EQ(posts.size(), 1u);
    return posts.empty() ? Post{} : posts[0];
}

// In element mode the page shell is told the forced moment within the second before it. With its
// acknowledgement the shell clicks and the console sends no confirm command of its own; without
// one the console cancels in time and confirms at the moment itself. Either way: one click.
TEST(ForcedSubmissionTest, TheShellClicksAnAcknowledgedMomentAndOtherwiseTheConsoleDoes) {
    for (const ForcedMoment& k : {kForcedAt599, kForcedAt58}) {
        for (const bool acknowledged : {true, false}) {
            SCOPED_TRACE(std::string(k.name) + (acknowledged ? ", acknowledged" : ", no answer from the shell"));
            EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, k.armSecond, 0), CurveReader({{60, 90000}}));
            const Post schedule = ArmForcedAndStartCountdown(rig, k);
            ASSERT_EQ(schedule.msg, shell::cmd::ScheduleConfirm);
            // The moment travels on the shared clock.
            EXPECT_EQ(shell::DueMoment{schedule.wParam}.MillisFrom(rig.fp.clock.EpochMillis()), k.aheadMs);
            const std::int32_t token = schedule.lParam;
            if (acknowledged) rig.e().OnScheduleAnswer(rig.c(), static_cast<std::uint32_t>(token), 1);
            rig.AdvanceTo(11, 30, 0, 500);
            const std::vector<Post> posts = rig.Posts(true);
            EXPECT_EQ(rig.LoggedCount(k.log), 1);
            EXPECT_EQ(rig.rec().forcedSubmitDone.load(), 1);
            if (acknowledged) {
                EXPECT_EQ(EngineRig::Confirmations(posts), 0) << "the shell's click stands for the console's";
                EXPECT_TRUE(posts.empty());
            } else {
                ASSERT_EQ(posts.size(), 2u);
                EXPECT_EQ(posts[0].msg, shell::cmd::CancelScheduledConfirm);
                EXPECT_EQ(posts[0].lParam, token);
                // At least the acknowledgement's margin before the moment.
                const std::int64_t cancelToDue = posts[1].at - posts[0].at;
                EXPECT_GE(cancelToDue, static_cast<std::int64_t>(shell::ConfirmSchedule::kAckMarginMs));
                EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), k.due);
                EXPECT_EQ(EngineRig::Confirmations(posts), 1);
            }
        }
    }
}

// The 58 moment is announced while the gap is above the limit. When the lowest price rises into
// the limit before 58, the set moment applies instead: the shell is told to drop 58 at once, and
// the one confirmation comes at 11:29:59.900.
TEST(ForcedSubmissionTest, TheFiftyEightMomentIsWithdrawnWhenTheGapComesWithinTheLimit) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 56, 0));
    const Post schedule = ArmForcedAndStartCountdown(rig, kForcedAt58);
    ASSERT_EQ(schedule.msg, shell::cmd::ScheduleConfirm);
    rig.e().OnScheduleAnswer(rig.c(), static_cast<std::uint32_t>(schedule.lParam), 1);
    rig.AdvanceTo(11, 29, 57, 500);
    rig.SetPrices(90100, 90900);  // gap 800: within DisconSecBid
    rig.AdvanceTo(11, 29, 57, 510);
    std::vector<Post> posts = rig.Posts(true);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].msg, shell::cmd::CancelScheduledConfirm);
    EXPECT_EQ(posts[0].lParam, schedule.lParam);
    rig.AdvanceTo(11, 30, 0, 500);
    posts = rig.Posts();
    EXPECT_EQ(EngineRig::Confirmations(posts), 1);
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), "11:29:59.900");
    EXPECT_EQ(rig.LoggedCount("58强制提交"), 0);
    EXPECT_EQ(rig.LoggedCount("软件强制提交 完毕"), 1);
}

// Between the shell's acknowledgement and the moment:
// - the bidder's Escape cancels the submission, and its schedule with it: the shell is told;
// - the shell restarts and forgets the moment with its old window. As soon as the console sees the
//   new page window it gives the schedule up, announces the moment to the new shell and, with no
//   answer from it, cancels in time and confirms at the moment itself.
// Either way the old token is cancelled first, and there is at most one click.
TEST(ForcedSubmissionTest, EscapeOrARestartedShellBetweenAcknowledgementAndMoment) {
    struct Case {
        const char* name;
        bool restart;  // else Escape
        std::string confirmedAt;  // "" none
    };
    const Case cases[] = {
        {"Escape at 11:29:59.500", false, ""},
        {"shell restarted at 11:29:59.300", true, "11:29:59.900"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 58, 0), CurveReader({{60, 90000}}));
        const Post schedule = ArmForcedAndStartCountdown(rig);
        ASSERT_EQ(schedule.msg, shell::cmd::ScheduleConfirm);
        rig.e().OnScheduleAnswer(rig.c(), static_cast<std::uint32_t>(schedule.lParam), 1);
        if (k.restart) {
            rig.AdvanceTo(11, 29, 59, 300);
            rig.RemovePage();
            rig.AddPage();
            rig.c().state.pageWindow = rig.page;
            rig.c().state.pageView = rig.view;
        } else {
            rig.AdvanceTo(11, 29, 59, 500);
            rig.e().HandleKey(rig.c(), platform::vk::Escape);
        }
        rig.AdvanceTo(11, 30, 0, 500);
        const std::vector<Post> posts = rig.Posts(true);
        ASSERT_FALSE(posts.empty());
        EXPECT_EQ(posts[0].msg, shell::cmd::CancelScheduledConfirm);
        EXPECT_EQ(posts[0].lParam, schedule.lParam);
        EXPECT_EQ(EngineRig::Confirmations(posts), k.confirmedAt.empty() ? 0 : 1);
        EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), k.confirmedAt);
        EXPECT_EQ(rig.LoggedCount("软件强制提交 完毕"), k.confirmedAt.empty() ? 0 : 1);
    }
}

TEST(ForcedSubmissionTest, PcClockTakesOverWhenItRunsAhead) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 55, 0), CurveReader({{60, 90000}}));
    // The page time stands 2 s behind the PC clock.
    rig.c().state.auctionEnd = rig.c().state.auctionEnd.load() + 2;
    rig.Tick(box::ForcedByTime);
    rig.Tick(box::PcClock);
    rig.SetPrices(90000, 90900);
    rig.e().ArmSubmission();
    rig.StartTicks();
    rig.AdvanceTo(11, 30, 2, 0);
    const std::vector<Post> posts = rig.Posts();
    ASSERT_EQ(EngineRig::Confirmations(posts), 1);
    // Without box 1097 it would be 11:30:01.900.
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), "11:30:01.900");
}

TEST(ForcedSubmissionTest, RiseBasedLeadFollowsTheRiseFromFiftyToFiftyFive) {
    struct Case {
        const char* name;
        int rise;
        int armSecond, armMs;  // of 11:29
        std::string firesAt;
        std::string info, log;
    };
    const Case cases[] = {
        // The scan tick records the low of second 55 at 11:29:55.000; the submit tick, which owns
        // the countdown, acts on its next period.
        {"300 or more: 5000 ms", 300, 50, 0, "11:29:55.010", "开始自动涨幅强制提交", "涨幅强制提交 完毕"},
        {"200: 3900 ms", 200, 50, 0, "11:29:56.100", "开始自动涨幅强制提交", "涨幅强制提交 完毕"},
        {"100: 2800 ms", 100, 50, 0, "11:29:57.200", "开始自动涨幅强制提交", "涨幅强制提交 完毕"},
        {"none: 2000 ms", 0, 50, 0, "11:29:58.000", "开始自动涨幅强制提交", "涨幅强制提交 完毕"},
        {"250 keeps the previous lead (none yet)", 250, 50, 0, "11:30:00.000", "开始自动涨幅强制提交",
         "涨幅强制提交 完毕"},
        // The next submit tick finds it.
        {"armed after the moment: at once", 200, 57, 450, "11:29:57.460", "开始自动强制提交", "软件强制提交 完毕"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 49, 900),
                      CurveReader({{60, 90000}, {9, 90000 + k.rise / 2}, {5, 90000 + k.rise}}));
        rig.Tick(box::ForcedByRise);
        rig.SetPrices(90000, 93000);
        rig.StartTicks();
        rig.AdvanceTo(11, 29, k.armSecond, k.armMs);
        rig.rec().smartSubmitArmed = 1;
        rig.AdvanceTo(11, 30, 0, 500);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(EngineRig::Confirmations(posts), 1);
        EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), k.firesAt);
        EXPECT_EQ(rig.LoggedCount(" ZF，目前国拍最低价：" + std::to_string(90000 + k.rise)), 1);
        EXPECT_TRUE(rig.Logged(k.log));
        EXPECT_EQ(rig.c().state.infoBody.Get(), k.info);
        EXPECT_EQ(rig.rec().riseSubmitDone.load(), 1);
    }
}

// The clock the remaining time is counted by, as the forced submissions see it.
enum class RemainingClock {
    Pc,           // the PC clock, with its milliseconds
    PageFraction, // the page clock of ten-digit reports every 100 ms, 370 ms behind the PC clock
    WholeSecond,  // a practice page's clock: whole seconds only, 370 ms behind the PC clock
};
constexpr int kPageLagMs = 370;

// A rig whose remaining time runs on `clock`, started `phaseMs` past a whole PC second so that
// the scan tick (and the submit tick) meet the second boundaries at that phase.
struct ClockedRig {
    ClockedRig(RemainingClock clock, int startSecond, int phaseMs, EngineOptions options)
        : clock(clock), rig(MakeLocal(2026, 12, 10, 11, 29, startSecond, phaseMs), WithClock(clock, std::move(options))) {
        auto& s = rig.c().state;
        if (clock != RemainingClock::Pc) s.systime_screentime = 1;
        if (clock == RemainingClock::WholeSecond) s.moniornot = 1;
        if (clock == RemainingClock::PageFraction) {
            feed = rig.fp.clock.StartPeriodic(100, [this] { Report(); });
            Report();
        }
    }
    ~ClockedRig() { feed.reset(); }

    // The PC time at which the page shows `pageTime`.
    std::int64_t PcMillisOf(const LocalTime& pageTime) {
        const std::int64_t page = rig.fp.clock.LocalToEpochSeconds(pageTime) * 1000 + pageTime.millisecond;
        return clock == RemainingClock::Pc ? page : page + kPageLagMs;
    }

    EngineOptions WithClock(RemainingClock k, EngineOptions options) {
        if (k == RemainingClock::PageFraction) {
            options.updateRemainingTime = [this](console::CKestravaDlg& c) {
                c.state.remainingSeconds = static_cast<int>(c.state.auctionEnd.load() - rig.rec().pageClock.load());
                return true;
            };
        } else if (k == RemainingClock::WholeSecond) {
            options.updateRemainingTime = [this](console::CKestravaDlg& c) {
                const std::int64_t pageMillis = rig.fp.clock.EpochMillis() - kPageLagMs;
                c.state.remainingSeconds = static_cast<int>(c.state.auctionEnd.load() - pageMillis / 1000);
                return true;
            };
        }
        return options;
    }

    // A page report: the lowest price and the page time as a ten-digit code.
    void Report() {
        const LocalTime t = rig.fp.clock.EpochMillisToLocal(rig.fp.clock.EpochMillis() - kPageLagMs);
        const int code = ((t.hour * 100 + t.minute) * 100 + t.second) * 10000 + t.millisecond * 10;
        rig.e().OnPageReport(rig.c(), 90000, code);
    }

    RemainingClock clock;
    EngineRig rig;
    std::unique_ptr<platform::PeriodicTimer> feed;
};

// How far after `moment` (page time) the first message of the confirmation was posted, in ms.
std::int64_t LandingAfter(ClockedRig& k, const std::vector<Post>& posts, const LocalTime& moment) {
    if (posts.empty()) return INT64_MIN;
    return k.rig.startMillis + posts.front().at - k.PcMillisOf(moment);
}

const char* ClockName(RemainingClock k) {
    switch (k) {
        case RemainingClock::Pc: return "PC clock";
        case RemainingClock::PageFraction: return "page clock with fraction";
        case RemainingClock::WholeSecond: return "whole-second clock";
    }
    return "";
}

constexpr RemainingClock kClocks[] = {RemainingClock::Pc, RemainingClock::PageFraction, RemainingClock::WholeSecond};
// Where the scan tick falls within each second of the PC clock.
constexpr int kTickPhasesMs[] = {0, 30, 70, 95};
// The confirmation may land this long after its moment (two submit ticks), never before it.
constexpr std::int64_t kLandingSlackMs = 20;
constexpr std::int64_t kScanPeriodMs = 100;

TEST(ForcedSubmissionTest, TimeBasedLandsAtItsMomentWhateverTheTickPhase) {
    struct Case {
        int mandatoryBid;
        LocalTime moment;  // on the clock the remaining time is counted by
    };
    const Case cases[] = {
        {100, MakeLocal(2026, 12, 10, 11, 29, 59, 900)},
        {900, MakeLocal(2026, 12, 10, 11, 29, 59, 100)},
        {1500, MakeLocal(2026, 12, 10, 11, 29, 58, 500)},
        {1000, MakeLocal(2026, 12, 10, 11, 29, 59, 0)},
    };
    // A whole-second lead fires when the remaining time reaches it; on the page clock that is when
    // the report showing the new second arrives, one report period at most after it.
    constexpr std::int64_t kReportPeriodMs = 100;
    for (const RemainingClock clock : kClocks) {
        for (const Case& k : cases) {
            for (const int phase : kTickPhasesMs) {
                SCOPED_TRACE(std::string(ClockName(clock)) + ", mandatory_bid " + std::to_string(k.mandatoryBid) +
                             ", scan tick at ." + std::to_string(phase));
                ClockedRig run(clock, 55, phase, CurveReader({{60, 90000}}));
                EngineRig& rig = run.rig;
                rig.e().strategy.mandatory_bid = k.mandatoryBid;
                rig.Tick(box::ForcedByTime);
                rig.SetPrices(90000, 90900);
                rig.e().ArmSubmission();
                rig.StartTicks();
                rig.AdvanceTo(11, 30, 1, 500);
                const std::vector<Post> posts = rig.Posts();
                const std::int64_t late = LandingAfter(run, posts, k.moment);
                const bool waitsForReport = clock == RemainingClock::PageFraction && k.mandatoryBid % 1000 == 0;
                EXPECT_GE(late, 0);
                EXPECT_LE(late, kLandingSlackMs + (waitsForReport ? kReportPeriodMs : 0));
                EXPECT_EQ(rig.LoggedCount("软件强制提交 完毕"), 1);
                EXPECT_EQ(rig.LoggedCount(" QZ，目前国拍最低价：90000"), 1);
                if (clock != RemainingClock::WholeSecond) {
                    EXPECT_EQ(EngineRig::Confirmations(posts), 1);
                }
            }
        }
    }
}

TEST(ForcedSubmissionTest, RiseBasedLandsAtItsMomentWhateverTheTickPhase) {
    struct Case {
        int rise;
        LocalTime moment;  // on the PC clock
    };
    const Case cases[] = {
        {300, MakeLocal(2026, 12, 10, 11, 29, 55, 0)},
        {200, MakeLocal(2026, 12, 10, 11, 29, 56, 100)},
        {100, MakeLocal(2026, 12, 10, 11, 29, 57, 200)},
        {0, MakeLocal(2026, 12, 10, 11, 29, 58, 0)},
    };
    for (const Case& k : cases) {
        for (const int phase : kTickPhasesMs) {
            SCOPED_TRACE("rise " + std::to_string(k.rise) + ", scan tick at ." + std::to_string(phase));
            ClockedRig run(RemainingClock::Pc, 49, phase,
                           CurveReader({{60, 90000}, {9, 90000 + k.rise / 2}, {5, 90000 + k.rise}}));
            EngineRig& rig = run.rig;
            rig.Tick(box::ForcedByRise);
            rig.SetPrices(90000, 93000);
            rig.StartTicks();
            rig.AdvanceTo(11, 29, 50, 0);
            rig.rec().smartSubmitArmed = 1;
            rig.Posts();
            rig.AdvanceTo(11, 30, 0, 500);
            const std::vector<Post> posts = rig.Posts();
            const std::int64_t late = LandingAfter(run, posts, k.moment);
            // A lead of whole seconds waits for the low of second 55, which the scan tick records.
            const std::int64_t slack = k.rise >= 300 ? kScanPeriodMs + kLandingSlackMs : kLandingSlackMs;
            EXPECT_GE(late, 0);
            EXPECT_LE(late, slack);
            EXPECT_EQ(EngineRig::Confirmations(posts), 1);
            EXPECT_EQ(rig.LoggedCount("涨幅强制提交 完毕"), 1);
        }
    }
}

// After a rise of 300 or more the rise-based forced submission is due the moment 5 s remain. With
// a fresh page feed the low of second 55 is the fed price at that moment, so nothing waits for the
// scan tick's per-second pass: on the page clock the first report of second 55 confirms, on the PC
// clock the first submit step (tick or report) at 11:29:55.000 or after. Page reports every 100 ms,
// the page 370 ms behind the PC clock; the phases of the reports and of the ticks vary.
TEST(ForcedSubmissionTest, RiseBasedFiresWhenTheFeedShowsSecondFiftyFive) {
    constexpr int kReportPhasesMs[] = {0, 30, 70};
    constexpr int kTickPhasesMs[] = {0, 45, 95};
    for (const RemainingClock clock : {RemainingClock::Pc, RemainingClock::PageFraction}) {
        for (const int reportPhase : kReportPhasesMs) {
            for (const int tickPhase : kTickPhasesMs) {
                SCOPED_TRACE(std::string(ClockName(clock)) + ", reports at ." + std::to_string(reportPhase) +
                             ", ticks at ." + std::to_string(tickPhase));
                EngineOptions options;
                std::unique_ptr<EngineRig> holder;
                // The scan tick reads what the fresh feed gives, as the screen perception does.
                options.readLowestPrice = [&holder](console::CKestravaDlg& c) {
                    c.state.lowestPrice = holder->rec().feedLowestPrice.load();
                };
                if (clock == RemainingClock::PageFraction) {
                    options.updateRemainingTime = [&holder](console::CKestravaDlg& c) {
                        c.state.remainingSeconds =
                            static_cast<int>(c.state.auctionEnd.load() - holder->rec().pageClock.load());
                        return true;
                    };
                }
                holder = std::make_unique<EngineRig>(MakeLocal(2026, 12, 10, 11, 29, 49, 0), options);
                EngineRig& rig = *holder;
                if (clock == RemainingClock::PageFraction) rig.c().state.systime_screentime = 1;
                rig.Tick(box::ForcedByRise);
                rig.SetPrices(90000, 93000);
                rig.e().ArmSubmission();
                // The page's lowest price rose 300 at its 11:29:54.500.
                const auto report = [&] {
                    const std::int64_t pageMs = rig.fp.clock.EpochMillis() - kPageLagMs;
                    const LocalTime t = rig.fp.clock.EpochMillisToLocal(pageMs);
                    const int code = ((t.hour * 100 + t.minute) * 100 + t.second) * 10000 + t.millisecond * 10;
                    const bool risen = t.second > 54 || (t.second == 54 && t.millisecond >= 500);
                    rig.e().OnPageReport(rig.c(), risen ? 90300 : 90000, code);
                };
                rig.AdvanceTo(11, 29, 49, reportPhase);
                std::unique_ptr<platform::PeriodicTimer> feed = rig.fp.clock.StartPeriodic(100, report);
                report();
                rig.AdvanceTo(11, 29, 49, 100 + tickPhase);
                rig.StartTicks();
                rig.AdvanceTo(11, 29, 54, 900);
                rig.Posts();
                rig.AdvanceTo(11, 30, 0, 500);
                const std::vector<Post> posts = rig.Posts();
                feed.reset();

                // The first report after `pcMs` (ms past 11:29:55.000 on the PC clock), and the first tick.
                const auto firstReportFrom = [&](int pcMs) { return pcMs + (reportPhase - pcMs % 100 + 100) % 100; };
                const int firstTick = (tickPhase % 10 + 10) % 10;
                const int expected = clock == RemainingClock::Pc ? std::min(firstReportFrom(0), firstTick)
                                                                 : firstReportFrom(kPageLagMs);
                char at[32];
                std::snprintf(at, sizeof at, "11:29:55.%03d", expected);
                EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), at);
                EXPECT_EQ(EngineRig::Confirmations(posts), 1);
                EXPECT_EQ(rig.rec().lowAt[55].load(), 90300);
                EXPECT_EQ(rig.LoggedCount("涨幅强制提交 完毕"), 1);
                EXPECT_EQ(rig.LoggedCount("55秒最低成交价：90300"), 1);
            }
        }
    }
}

TEST(ScheduledBidsTest, CountdownClearingAndBothBidsAtTheirSeconds) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 29, 900), CurveReader({{60, 90000}, {15, 90300}}));
    auto& v = rig.e().strategy;
    v.SecondBidTime = 20;
    v.SecondPlus = 700;
    v.ThirdBidTime = 10;
    v.ThirdBidPricePlus = 500;
    for (int id : {box::SecondBid, box::SecondPlusLowest, box::ThirdBid, box::ThirdPlusLowest}) rig.Tick(id);
    rig.StartTicks();
    rig.AdvanceTo(11, 29, 35, 50);
    EXPECT_EQ(rig.c().state.infoBody.Get(), "软件将在5秒后自动申请价格");
    rig.AdvanceTo(11, 29, 39, 50);  // 21 s left: the page is cleared once
    std::vector<Post> posts = rig.Posts();
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::CancelCodeElement), "11:29:39.000");
    rig.AdvanceTo(11, 29, 45, 0);
    posts = rig.Posts();
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::CodeBoxPoint), "11:29:41.120");  // applied from 11:29:40
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::CancelCodeElement), "");
    EXPECT_EQ(rig.LoggedCount("第二次申请价格"), 1);
    EXPECT_TRUE(rig.Logged("国拍最低价：90000，用户申请价格：90700"));
    rig.AdvanceTo(11, 29, 52, 0);
    posts = rig.Posts();
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::CancelCodeElement), "11:29:48.000");  // 12 s left
    EXPECT_EQ(FirstPostTime(rig, posts, cmd::CodeBoxPoint), "11:29:51.120");
    EXPECT_EQ(rig.LoggedCount("第三次申请价格"), 1);
    EXPECT_TRUE(rig.Logged("国拍最低价：90300，用户申请价格：90800"));
    EXPECT_TRUE(rig.fp.sound.Played().empty());  // a real run plays no prompts
}

TEST(ScheduledBidsTest, NothingWhileArmedOrAfterTheWindowOrWithoutLowestPlus) {
    struct Case {
        const char* name;
        int startSecond;  // of 11:29
        bool armed;
        bool plusLowest;
        int applications;
        int logged;
    };
    const Case cases[] = {
        {"armed: no new application", 39, true, true, 0, 0},
        {"started after the window", 45, false, true, 0, 0},
        {"started inside the window", 41, false, true, 1, 1},
        {"another price choice: the window is used, nothing applied", 35, false, false, 0, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, k.startSecond, 950), CurveReader({{60, 90000}}));
        rig.c().state.moniornot = 1;
        rig.Tick(box::Voice);
        rig.e().strategy.SecondBidTime = 20;
        rig.Tick(box::SecondBid);
        rig.Tick(box::SecondPlusLowest, k.plusLowest);
        rig.SetPrices(90000, 91000);
        if (k.armed) rig.e().ArmSubmission();
        rig.StartTicks();
        rig.AdvanceTo(11, 29, 48, 0);
        EXPECT_EQ(rig.LoggedCount("操作执行申请加价"), k.applications);
        EXPECT_EQ(rig.LoggedCount("第二次申请价格"), k.logged);
        EXPECT_EQ(rig.fp.sound.Played(), k.logged ? std::vector<int>{186} : std::vector<int>{});
    }
}

// The last half minute with both ticks, the forced box and the clearing and application rows:
// while the bidder's code waits (armed) nothing may cancel its dialog or replace its bid, and a
// bid moment at the end or later (0 is the default of both) schedules nothing at all.
TEST(ScheduledBidsTest, AnArmedSubmissionIsLeftAloneAndMomentsAtTheEndScheduleNothing) {
    constexpr int kOff = -1;
    struct Case {
        const char* name;
        int secondAt, thirdAt;  // bid moments with their box and "最低成交价 +" ticked; kOff: box off
        bool analysis;          // box 1165
        bool armed;             // the bidder pressed Enter before 11:29:20
        std::vector<std::string> escapes;       // when the page was cleared
        std::vector<std::string> applications;  // when an application began (the plus box clicked)
        std::string confirmedAt;                // "" none
        bool countdown;                         // the info bar counted down to a scheduled bid
    };
    const Case cases[] = {
        {"default third bid (0) after a second bid at 48, armed: the forced submission confirms", 48, 0, false, true,
         {}, {}, "11:29:59.900", false},
        // The armed bid is 1000 above the lowest price when the third bid's moment comes: confirmed
        // later by the forced submission it would be invalid, so the third bid replaces it.
        {"third bid at 5, armed out of the window: cleared at 7 s, the third applied at 5 s", kOff, 5, false, true,
         {"11:29:53.050"}, {"11:29:55.050"}, "", false},
        // A third bid due within 2 s of the forced moment leaves the armed bid to it.
        {"third bid at 1, armed: no clearing at 3 and 2 s, the forced submission confirms", kOff, 1, false, true, {}, {},
         "11:29:59.900", false},
        {"analysis bids, armed: no clearing at 37 and 9, no bid", kOff, kOff, true, true, {}, {}, "11:29:59.900", false},
        {"third bid at 0 after a second bid at 48, not armed: no countdown, nothing at 1 s or after the end", 48, 0,
         false, false, {}, {}, "", false},
        {"second bid at 0, not armed: nothing", 0, kOff, false, false, {}, {}, "", false},
        {"third bid at 1, not armed: cleared at 3 s, applied at 1 s", 48, 1, false, false, {"11:29:57.050"},
         {"11:29:59.050"}, "", true},
        {"third bid at 5, not armed: cleared at 7 s, applied at 5 s", 48, 5, false, false, {"11:29:53.050"},
         {"11:29:55.050"}, "", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 19, 950), CurveReader({{60, 90000}}));
        auto& v = rig.e().strategy;
        rig.c().state.loginSecond = 10;
        if (k.secondAt != kOff) {
            v.SecondBidTime = k.secondAt;
            v.SecondPlus = 700;
            rig.Tick(box::SecondBid);
            rig.Tick(box::SecondPlusLowest);
        }
        if (k.thirdAt != kOff) {
            v.ThirdBidTime = k.thirdAt;
            v.ThirdBidPricePlus = 800;
            rig.Tick(box::ThirdBid);
            rig.Tick(box::ThirdPlusLowest);
        }
        rig.Tick(box::Analysis, k.analysis);
        rig.Tick(box::ForcedByTime);
        rig.SetPrices(90000, k.armed ? 91000 : 0);
        if (k.armed) rig.e().ArmSubmission();

        rig.StartTicks();
        bool countdownShown = false;
        while (rig.fp.clock.Now().minute == 29 || rig.fp.clock.Now().second < 3) {
            rig.fp.clock.Advance(10);
            countdownShown = countdownShown || rig.c().state.infoBody.Get().find("秒后自动申请价格") != std::string::npos;
        }
        // The page cleared (Escape), an application began (the plus box clicked), when.
        const std::vector<Post> posts = rig.Posts();
        std::vector<std::string> escapes, applications;
        for (const Post& p : posts) {
            if (p.msg == cmd::CancelCodeElement) escapes.push_back(FirstPostTime(rig, {p}, p.msg));
            if (p.msg == cmd::ClickPlusBoxAt) applications.push_back(FirstPostTime(rig, {p}, p.msg));
        }

        EXPECT_EQ(escapes, k.escapes);
        EXPECT_EQ(rig.LoggedCount("检查是否有页面干扰申请价格 "), static_cast<int>(k.escapes.size()));
        EXPECT_EQ(applications, k.applications);
        EXPECT_EQ(FirstPostTime(rig, posts, cmd::ConfirmCodeElement), k.confirmedAt);
        EXPECT_EQ(EngineRig::Confirmations(posts), k.confirmedAt.empty() ? 0 : 1);
        if (k.thirdAt == 0) {
            EXPECT_EQ(rig.LoggedCount("第三次申请价格"), 0);
        }
        if (k.secondAt == 0) {
            EXPECT_EQ(rig.LoggedCount("第二次申请价格"), 0);
        }
        EXPECT_EQ(countdownShown, k.countdown);
    }
}

TEST(AnalysisBidsTest, SecondBidAmountByLoginSecond) {
    struct Case {
        int loginSecond;
        int amount;  // 0: none
    };
    for (const Case k : {Case{0, 1200}, Case{14, 1200}, Case{15, 1300}, Case{44, 1500}, Case{45, 1600}, Case{59, 1600},
                         Case{-1, 0}}) {
        SCOPED_TRACE(k.loginSecond);
        EngineRig rig;
        rig.c().state.loginSecond = k.loginSecond;
        rig.Tick(box::Analysis);
        rig.SetPrices(90000, 0);
        TickAt(rig, 36);
        EXPECT_EQ(rig.c().state.infoBody.Get(), "软件将在1秒后自动分析后申请价格");
        TickAt(rig, 35);
        TickAt(rig, 34);
        EXPECT_EQ(rig.LoggedCount("操作执行申请加价"), k.amount ? 1 : 0);
        EXPECT_EQ(rig.rec().analysisSecondDone.load(), k.amount ? 1 : 0);
        if (k.amount) {
            EXPECT_TRUE(rig.Logged("自动分析后申请加价" + std::to_string(k.amount)));
            EXPECT_EQ(rig.c().state.appliedPrice.load(), 90000 + k.amount);
        }
    }
}

TEST(AnalysisBidsTest, TrendBidAmountByRiseAndLoginSecond) {
    struct Case {
        int riseSince00;  // A
        int riseLastTwo;  // B
        int loginSecond;
        int amount;
    };
    const Case cases[] = {
        {900, 300, 19, 1000}, {900, 300, 20, 1200}, {900, 300, 59, 1300},
        {500, 200, 0, 900},   {500, 299, 39, 1100}, {500, 250, 40, 1200},
        {500, 101, 29, 500},  {500, 199, 30, 700},
        {500, 100, 19, 500},  {500, 0, 20, 700},    {500, 100, 40, 800},
        {901, 200, 19, 900},  {1200, 500, 39, 1000}, {1200, 300, 59, 1200},
        {901, 199, 29, 500},  {1500, 0, 30, 700},
        {500, 300, -1, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.riseSince00) + "/" + std::to_string(k.riseLastTwo) + " login " +
                     std::to_string(k.loginSecond));
        EngineRig rig;
        rig.c().state.loginSecond = k.loginSecond;
        rig.Tick(box::Analysis);
        const int low52 = 92000;
        rig.rec().lowAt[0] = low52 - k.riseSince00;
        rig.rec().lowAt[50] = low52 - k.riseLastTwo;
        rig.rec().lowAt[52] = low52;
        rig.rec().analysisSecondDone = 1;
        rig.SetPrices(low52, 0);
        TickAt(rig, 9);
        EXPECT_EQ(rig.c().state.infoBody.Get(), "软件将在1秒后自动分析后申请价格");
        TickAt(rig, 8);
        EXPECT_EQ(rig.rec().analysisThirdDone.load(), k.amount ? 1 : 0);
        EXPECT_EQ(rig.LoggedCount("软件依据走势分析，自动申请 "), k.amount ? 1 : 0);
        if (k.amount) {
            EXPECT_EQ(rig.c().state.appliedPrice.load(), low52 + k.amount);
            EXPECT_EQ(rig.e().strategy.ThirdBidPricePlus.load(), k.amount);
            EXPECT_EQ(rig.e().strategy.ThirdBidTime.load(), 8);
        }
    }
}

}  // namespace
}  // namespace kestrava::engine::testing
