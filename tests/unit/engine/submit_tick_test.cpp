// The submit tick's two rise rules of page seconds 55 … 58: when the fed price stands a step
// above the previous second's low and the applied price close enough above it, a confirmation is
// scheduled after the second's delay; the first rule to run out confirms.
#include <gtest/gtest.h>

#include <thread>

#include "engine_rig.h"

namespace kestrava::engine::testing {
namespace {

TEST(RiseRulesTest, ScheduleAndConfirmAtTheSecondsDelay) {
    struct Case {
        const char* name;
        int second;       // page second of the feed
        int riseOverLow;  // fed price − the previous second's low
        int gapToFed;     // applied price − fed price
        bool boxTicked;
        int rise2Delay;   // tenths for that second (rule 1 keeps its start values)
        std::vector<std::string> log;
        int confirmAfterMs;  // −1: no confirmation
    };
    const Case cases[] = {
        {"400 exactly: both schedule, rule 1 first", 55, 100, 400, true, 7,
         {"上涨1功能55延触发", "上涨2功能55延触发", "上涨1功能点击确定"}, 500},
        {"400 exactly: rule 2 shorter", 55, 100, 400, true, 3,
         {"上涨1功能55延触发", "上涨2功能55延触发", "上涨2功能点击确定"}, 300},
        {"within SmartBidTime1 only", 55, 200, 500, true, 7, {"上涨2功能55延触发", "上涨2功能点击确定"}, 700},
        {"second 56: rule 1 after 100 ms", 56, 100, 400, true, 5,
         {"上涨1功能56延触发", "上涨2功能56延触发", "上涨1功能点击确定"}, 100},
        // A zero delay confirms on the evaluation that found the rise.
        {"second 58: rule 2 up to 900, no delay", 58, 100, 900, true, 0, {"上涨2功能58延触发", "上涨2功能点击确定"}, 0},
        {"second 57, 400 exactly: rule 1 without delay, rule 2 never scheduled", 57, 100, 400, true, 3,
         {"上涨1功能57延触发", "上涨1功能点击确定"}, 0},
        {"gap above SmartBidTime1", 55, 100, 700, true, 7, {}, -1},
        {"no rise", 55, 0, 400, true, 7, {}, -1},
        {"box unticked", 55, 100, 400, false, 7, {}, -1},
        {"second 54 is not a rise second", 54, 100, 400, true, 7, {}, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, k.second));
        const int low = 90000;
        rig.rec().lowAt[k.second - 1] = low;
        rig.rec().feedLowestPrice = low + k.riseOverLow;
        rig.rec().pageClock = rig.fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 29, k.second));
        rig.rec().riseDelay2[k.second >= 55 && k.second <= 58 ? k.second - 55 : 0] = k.rise2Delay;
        rig.SetPrices(low + k.riseOverLow, low + k.riseOverLow + k.gapToFed);
        if (k.boxTicked && k.second >= 55) rig.Tick(box::Rise55 + k.second - 55);
        rig.Arm();
        rig.submitTimer = rig.fp.clock.StartPeriodic(10, [&] { rig.e().SubmitTick(rig.c()); });
        rig.fp.clock.Advance(990);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(rig.LogMessages(), k.log);
        EXPECT_EQ(EngineRig::Confirmations(posts), k.confirmAfterMs < 0 ? 0 : 1);
        if (k.confirmAfterMs >= 0 && !posts.empty()) {
            // Scheduled on the first tick (10 ms), confirmed on the first tick the delay has run out.
            EXPECT_EQ(posts.front().at, 10 + k.confirmAfterMs);
            EXPECT_FALSE(rig.Armed());
            EXPECT_EQ(rig.rec().rise1Pending.load() + rig.rec().rise2Pending.load(), 0);
        }
    }
}

// Both rules waiting for their delays announce one moment to the page shell, the earlier one:
// neither replaces the other's schedule on the ticks in between (they used to, every tick). With
// the shell's acknowledgement its click is the one confirmation.
TEST(RiseRulesTest, TwoWaitingRulesAnnounceTheEarlierMomentOnce) {
    struct Case {
        const char* name;
        int rise2Delay;  // tenths; rule 1 waits 500 ms at second 55
        std::int32_t announcedMs;
        std::string log;
    };
    const Case cases[] = {
        {"rule 1 first", 7, 500, "上涨1功能点击确定"},
        {"rule 2 first", 3, 300, "上涨2功能点击确定"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 55));
        rig.c().state.divmode = 1;
        rig.rec().lowAt[54] = 90000;
        rig.rec().feedLowestPrice = 90100;
        rig.rec().pageClock = rig.fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 29, 55));
        rig.rec().riseDelay2[0] = k.rise2Delay;
        rig.SetPrices(90100, 90500);  // 400 above the fed price: both rules
        rig.Tick(box::Rise55);
        rig.Arm();
        rig.submitTimer = rig.fp.clock.StartPeriodic(10, [&] { rig.e().SubmitTick(rig.c()); });
        rig.fp.clock.Advance(10);
        std::vector<Post> posts = rig.Posts(true);
        ASSERT_FALSE(posts.empty());
        const Post& last = posts.back();
        ASSERT_EQ(last.msg, shell::cmd::ScheduleConfirm);
        EXPECT_EQ(shell::DueMoment{last.wParam}.MillisFrom(rig.fp.clock.EpochMillis()), k.announcedMs);
        rig.e().OnScheduleAnswer(rig.c(), static_cast<std::uint32_t>(last.lParam), 1);
        rig.fp.clock.Advance(980);
        posts = rig.Posts(true);
        EXPECT_TRUE(posts.empty()) << posts.size() << " more messages, first " << posts.front();
        EXPECT_EQ(rig.LoggedCount(k.log), 1);
        EXPECT_FALSE(rig.Armed());
    }
}

// A page report runs the submit step on its own thread while the submit timer runs it on another:
// a rise rule without delay that both find confirms once. (Run under ThreadSanitizer too.)
TEST(RiseRulesTest, AReportAndTheSubmitTimerTogetherConfirmOnce) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 58, 37));
        rig.rec().lowAt[57] = 90000;
        rig.SetPrices(90000, 90900);
        rig.Tick(box::Rise55 + 3);
        rig.Arm();
        std::thread timer([&] {
            for (int i = 0; i < 20; ++i) rig.e().SubmitTick(rig.c());
        });
        rig.e().OnPageReport(rig.c(), 90100, 1129580370);  // page second 58, 800 below the bid
        timer.join();
        EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 1);
        EXPECT_EQ(rig.LoggedCount("上涨2功能点击确定"), 1);
    }
}

TEST(RiseRulesTest, NothingWithoutAnArmedSubmissionOrOutsideTheRevisionPhase) {
    for (const int phase : {2, 3, 4}) {
        SCOPED_TRACE(phase);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 55));
        rig.c().state.auctionPhase = phase;
        rig.rec().lowAt[54] = 90000;
        rig.rec().feedLowestPrice = 90100;
        rig.rec().pageClock = rig.fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 29, 55));
        rig.SetPrices(90100, 90500);
        rig.Tick(box::Rise55);
        if (phase != 3) rig.Arm();
        rig.submitTimer = rig.fp.clock.StartPeriodic(10, [&] { rig.e().SubmitTick(rig.c()); });
        rig.fp.clock.Advance(900);
        for (const std::string& line : rig.LogMessages()) EXPECT_EQ(line.find("上涨"), std::string::npos) << line;
        EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 0);
    }
}

TEST(SubmitTickTest, CloudStepRunsInTheLastTenSecondsArmedOrNot) {
    std::vector<int> remainingAtCloud;
    EngineOptions options;
    options.cloudStep = [&](console::CKestravaDlg& c, Engine&) { remainingAtCloud.push_back(c.state.remainingSeconds.load()); };
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 49, 980), options);
    rig.submitTimer = rig.fp.clock.StartPeriodic(10, [&] { rig.e().SubmitTick(rig.c()); });
    rig.fp.clock.Advance(30);
    ASSERT_EQ(remainingAtCloud.size(), 2u);  // 11:29:49.990 has 11 s left; 11:29:50.000 and .010 have 10
    EXPECT_EQ(remainingAtCloud.front(), 10);
}

}  // namespace
}  // namespace kestrava::engine::testing
