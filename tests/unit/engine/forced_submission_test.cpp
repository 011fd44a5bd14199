// The two forced submissions, run by the submit tick alone: by time (and at 58 when the gap stays
// wide) and by the rise from page second 50 to 55; their moments to the millisecond whatever the
// tick's phase, and the page shell's click for a moment it acknowledged.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bid_tick_rig.h"

namespace kestrava::engine::testing {
namespace {

namespace cmd = shell::cmd;

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
        rig.Arm();
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
        EXPECT_EQ(rig.rec().submission.State(), SubmissionState::Confirming);
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
        rig.Arm();
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
    rig.Arm();
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

// The shell's click for the moment reaches the page, and the page's report of its closed dialog
// reaches the console, a few milliseconds before the submit tick reaches the moment: the forced
// submission still takes the confirmation as its own (the shell's click stands in for its
// commands), once. Without a schedule, the same report is a confirmation the console did not make.
TEST(ForcedSubmissionTest, ThePagesReportOfTheShellsClickLeavesTheConfirmationToTheRule) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 58, 0), CurveReader({{60, 90000}}));
    const Post schedule = ArmForcedAndStartCountdown(rig);
    ASSERT_EQ(schedule.msg, shell::cmd::ScheduleConfirm);
    rig.e().OnScheduleAnswer(rig.c(), static_cast<std::uint32_t>(schedule.lParam), 1);
    rig.AdvanceTo(11, 29, 59, 895);
    rig.e().OnScheduleAnswer(rig.c(), static_cast<std::uint32_t>(schedule.lParam), 2);
    rig.c().HandleMessage({console::msg::CodeDialog, 90900, static_cast<std::int32_t>(console::CodeDialog::ClosedByConfirm)});
    rig.AdvanceTo(11, 30, 0, 500);
    EXPECT_EQ(rig.LoggedCount("软件强制提交 完毕"), 1);
    EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 0) << "the shell's click was the one";
    EXPECT_FALSE(rig.Armed());
}

// Between the shell's acknowledgement and the moment:
// - the bidder's Escape cancels the submission, and its schedule with it: the shell is told;
// - the shell restarts: its new page holds no code dialog, so the bid is gone with the old page.
//   The console gives the schedule up and clicks nothing on the new page.
// Either way the old token is cancelled first, and nothing is clicked.
TEST(ForcedSubmissionTest, EscapeOrARestartedShellBetweenAcknowledgementAndMoment) {
    struct Case {
        const char* name;
        bool restart;  // else Escape
        std::string confirmedAt;  // "" none
    };
    const Case cases[] = {
        {"Escape at 11:29:59.500", false, ""},
        {"shell restarted at 11:29:59.300", true, ""},
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
        EXPECT_EQ(rig.rec().submission.State(), SubmissionState::Withdrawn);
        if (k.restart) {
            EXPECT_TRUE(rig.Logged("页面已重新打开，申请价格90900的验证码框已不在"));
        }
    }
}

TEST(ForcedSubmissionTest, PcClockTakesOverWhenItRunsAhead) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 55, 0), CurveReader({{60, 90000}}));
    // The page time stands 2 s behind the PC clock.
    rig.c().state.auctionEnd = rig.c().state.auctionEnd.load() + 2;
    rig.Tick(box::ForcedByTime);
    rig.Tick(box::PcClock);
    rig.SetPrices(90000, 90900);
    rig.Arm();
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
        rig.Arm();
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
                rig.Arm();
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
            rig.Arm();
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
                rig.Arm();
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

}  // namespace
}  // namespace kestrava::engine::testing
