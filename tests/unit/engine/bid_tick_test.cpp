// The bid tick: the gear ladder, the second lows, the two remedies, the page clearing, the
// scheduled and the analysis bids (the forced submissions have a file of their own). Timelines run
// the scan and submit ticks on the virtual clock over a short price curve.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bid_tick_rig.h"

namespace kestrava::engine::testing {
namespace {

namespace cmd = shell::cmd;

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
        rig.Arm();
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
            EXPECT_FALSE(rig.Armed());
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
        if (k.armed) rig.Arm();
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
        if (k.armed) rig.Arm();

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
