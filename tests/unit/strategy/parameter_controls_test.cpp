// The console's strategy controls as the bidder works them: spin arrows with their steps and
// bounds, the coupled bid moments, the remedy and smart-analysis rules, the clock labels and the
// check boxes with click rules. Everything goes in through the console's entry points (OnSpin,
// OnCommand) and is read back from the control model, as the view would show it.
#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

#include "strategy_rig.h"

namespace kestrava::strategy::testing {
namespace {

using Field = std::atomic<int> StrategyValues::*;
using console::SpinArrow;
constexpr SpinArrow kUp = SpinArrow::Up;
constexpr SpinArrow kDown = SpinArrow::Down;

struct SpinCase {
    const char* name;
    int spin;
    Field field;
    int edit;  // where the value is shown
    int start;
    SpinArrow arrow;
    int expected;
};

TEST(ParameterControlsTest, SpinsStepWithinTheirBounds) {
    const SpinCase cases[] = {
        {"second plus up", 1096, &StrategyValues::SecondPlus, 1095, 3400, kUp, 3500},
        {"second plus up at the top", 1096, &StrategyValues::SecondPlus, 1095, 3500, kUp, 3500},
        {"second plus down at the bottom", 1096, &StrategyValues::SecondPlus, 1095, 300, kDown, 300},
        {"second plus down", 1096, &StrategyValues::SecondPlus, 1095, 400, kDown, 300},
        {"third plus up at the top", 1123, &StrategyValues::ThirdBidPricePlus, 1133, 3500, kUp, 3500},
        {"third plus down at the bottom", 1123, &StrategyValues::ThirdBidPricePlus, 1133, 300, kDown, 300},
        {"third plus up", 1123, &StrategyValues::ThirdBidPricePlus, 1133, 600, kUp, 700},
        {"gap start up", 1174, &StrategyValues::pricelimitStartTime, 1173, 59, kUp, 60},
        {"gap start up at the top", 1174, &StrategyValues::pricelimitStartTime, 1173, 60, kUp, 60},
        {"gap start down at the bottom", 1174, &StrategyValues::pricelimitStartTime, 1173, 0, kDown, 0},
        {"gap limit up", 1149, &StrategyValues::ctrlXpricelimit, 1148, 700, kUp, 800},
        {"gap limit up at the top", 1149, &StrategyValues::ctrlXpricelimit, 1148, 800, kUp, 800},
        {"gap limit down at the bottom", 1149, &StrategyValues::ctrlXpricelimit, 1148, 300, kDown, 300},
        {"gap limit down", 1149, &StrategyValues::ctrlXpricelimit, 1148, 400, kDown, 300},
        {"delay down to zero", 1172, &StrategyValues::DelayBidTime, 1171, 100, kDown, 0},
        {"delay up at the top", 1172, &StrategyValues::DelayBidTime, 1171, 3500, kUp, 3500},
        {"forced moment up means later", 1170, &StrategyValues::mandatory_bid, 1168, 100, kUp, 0},
        {"forced moment up at the end", 1170, &StrategyValues::mandatory_bid, 1168, 0, kUp, 0},
        {"forced moment down", 1170, &StrategyValues::mandatory_bid, 1168, 12900, kDown, 13000},
        {"forced moment down at the earliest", 1170, &StrategyValues::mandatory_bid, 1168, 13000, kDown, 13000},
        {"forced gap up", 1091, &StrategyValues::DisconSecBid, 1090, 3400, kUp, 3500},
        {"forced gap down at the bottom", 1091, &StrategyValues::DisconSecBid, 1090, 300, kDown, 300},
        {"warning price up without bound", 1121, &StrategyValues::WarningPrice, 1119, 100000, kUp, 100100},
        {"warning price up at the end of the range", 1121, &StrategyValues::WarningPrice, 1119, 2147483600, kUp,
         2147483600},
        {"warning price down at zero", 1121, &StrategyValues::WarningPrice, 1119, 0, kDown, 0},
        {"remedy moment up", 1191, &StrategyValues::bamiao_time, 1192, 8, kUp, 9},
        {"remedy moment up at the top", 1191, &StrategyValues::bamiao_time, 1192, 9, kUp, 9},
        {"remedy moment down at the bottom", 1191, &StrategyValues::bamiao_time, 1192, 5, kDown, 5},
        {"remedy margin 1 up at the top", 1184, &StrategyValues::bamiao_margin1, 1180, 2000, kUp, 2000},
        {"remedy margin 1 down", 1184, &StrategyValues::bamiao_margin1, 1180, 100, kDown, 0},
        {"remedy plus 1 down at the bottom", 1185, &StrategyValues::bamiao_plus1, 1181, 300, kDown, 300},
        {"remedy margin 2 up", 1186, &StrategyValues::bamiao_margin2, 1182, 1900, kUp, 2000},
        {"remedy plus 2 down", 1187, &StrategyValues::bamiao_plus2, 1183, 100, kDown, 0},
        {"rise limit 55 up at the top", 1085, &StrategyValues::SmartBidTime1, 1074, 900, kUp, 900},
        {"rise limit 56 up", 1086, &StrategyValues::SmartBidTime2, 1075, 600, kUp, 700},
        {"rise limit 57 down at zero", 1087, &StrategyValues::SmartBidTime3, 1076, 0, kDown, 0},
        {"rise limit 58 down", 1207, &StrategyValues::SmartBidTime4, 1202, 900, kDown, 800},
        {"a sideways arrow changes nothing", 1096, &StrategyValues::SecondPlus, 1095, 1000, SpinArrow::Right, 1000},
    };
    StrategyRig rig;
    for (const SpinCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        rig.v().*tc.field = tc.start;
        rig.Spin(tc.spin, tc.arrow);
        EXPECT_EQ((rig.v().*tc.field).load(), tc.expected);
        if (tc.edit != ctl::DelayEdit) {
            EXPECT_EQ(rig.ctl().Text(tc.edit), std::to_string(tc.expected));
        }
    }
}

TEST(ParameterControlsTest, DelayEditShowsSeconds) {
    StrategyRig rig;
    const struct {
        int start;
        SpinArrow arrow;
        const char* shown;
    } cases[] = {{100, kDown, "0"}, {3400, kUp, "3.5"}, {0, kUp, "0.1"}, {1100, kUp, "1.2"}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.shown);
        rig.v().DelayBidTime = tc.start;
        rig.Spin(1172, tc.arrow);
        EXPECT_EQ(rig.ctl().Text(ctl::DelayEdit), tc.shown);
    }
}

TEST(ParameterControlsTest, BidMomentsMoveTogether) {
    struct Case {
        const char* name;
        int second, third;
        int spin;
        SpinArrow arrow;
        int expectSecond, expectThird;
    };
    const Case cases[] = {
        {"second later, third follows", 20, 13, 1048, kDown, 19, 12},
        {"second later, far from third", 25, 13, 1048, kDown, 24, 13},
        {"second later, third at the end", 5, 0, 1048, kDown, 5, 0},
        {"second earlier", 20, 13, 1048, kUp, 21, 13},
        {"third earlier pushes second", 20, 13, 1122, kUp, 21, 14},
        {"third earlier, second far enough", 20, 12, 1122, kUp, 20, 13},
        {"third later", 20, 13, 1122, kDown, 20, 12},
        {"third later at the end", 20, 0, 1122, kDown, 20, 0},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        StrategyRig rig;
        rig.v().SecondBidTime = tc.second;
        rig.v().ThirdBidTime = tc.third;
        rig.Spin(tc.spin, tc.arrow);
        EXPECT_EQ(rig.v().SecondBidTime.load(), tc.expectSecond);
        EXPECT_EQ(rig.v().ThirdBidTime.load(), tc.expectThird);
        EXPECT_EQ(rig.ctl().Text(1025), std::to_string(tc.expectSecond));
        EXPECT_EQ(rig.ctl().Text(1120), std::to_string(tc.expectThird));
        EXPECT_EQ(rig.ctl().Text(ctl::SecondBidClock), ReferenceClockLabel(tc.expectSecond));
        EXPECT_EQ(rig.ctl().Text(ctl::ThirdBidClock), ReferenceClockLabel(tc.expectThird));
    }
}

// A moved bid moment may run again, unless it now falls within a second of the time left (60 s
// in the rig); a moment the rule moved along with it may run again in any case.
TEST(ParameterControlsTest, MovedBidMomentsMayRunAgain) {
    struct Case {
        const char* name;
        int second, third;
        int spin;
        SpinArrow arrow;
        bool secondFreed, thirdFreed;
    };
    const Case cases[] = {
        {"second moved far from now", 20, 5, 1048, kUp, true, false},
        {"second moved to within a second of now", 60, 5, 1048, kUp, false, false},
        {"second moved, third dragged along", 20, 13, 1048, kDown, true, true},
        {"third moved far from now", 40, 5, 1122, kUp, false, true},
        {"third moved to within a second of now", 80, 60, 1122, kDown, false, false},
        {"second dragged along is freed even next to now", 59, 52, 1122, kUp, true, true},
        {"third moved, second dragged along", 20, 15, 1122, kUp, true, true},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        StrategyRig rig;
        auto& r = rig.rec();
        rig.v().SecondBidTime = tc.second;
        rig.v().ThirdBidTime = tc.third;
        r.secondBidDone = r.thirdBidDone = r.secondPrepDone = r.thirdPrepDone = 1;
        rig.Spin(tc.spin, tc.arrow);
        EXPECT_EQ(r.secondBidDone.load(), tc.secondFreed ? 0 : 1);
        EXPECT_EQ(r.thirdBidDone.load(), tc.thirdFreed ? 0 : 1);
        EXPECT_EQ(r.secondPrepDone.load(), tc.spin == 1048 ? 0 : 1);
        EXPECT_EQ(r.thirdPrepDone.load(), tc.spin == 1122 ? 0 : 1);
    }
}

TEST(ParameterControlsTest, RiseDelaysStepInTenthsAndShowInTheirStatics) {
    using Table = std::array<std::atomic<int>, engine::kRiseSeconds> engine::EngineState::*;
    constexpr Table kFirst = &engine::EngineState::riseDelay1;
    constexpr Table kSecond = &engine::EngineState::riseDelay2;
    struct Case {
        int spin;
        Table table;
        int index;
        int label;
        int start;
        SpinArrow arrow;
        int expected;
        const char* shown;
    };
    const Case cases[] = {
        {1216, kFirst, 0, 1212, 5, kUp, 6, "0.6"},     {1217, kFirst, 1, 1213, 9, kUp, 9, "0.9"},
        {1218, kFirst, 2, 1214, 0, kDown, 0, "0.0"},   {1219, kFirst, 3, 1215, 3, kDown, 2, "0.2"},
        {1081, kSecond, 0, 1208, 7, kDown, 6, "延0.6"}, {1220, kSecond, 1, 1209, 8, kUp, 9, "延0.9"},
        {1221, kSecond, 2, 1210, 0, kDown, 0, "延0.0"}, {1222, kSecond, 3, 1211, 9, kUp, 9, "延0.9"},
    };
    StrategyRig rig;
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.spin);
        std::atomic<int>& delay = (rig.rec().*tc.table)[tc.index];
        delay = tc.start;
        rig.Spin(tc.spin, tc.arrow);
        EXPECT_EQ(delay.load(), tc.expected);
        EXPECT_EQ(rig.ctl().Text(tc.label), tc.shown);
    }
}

TEST(ParameterControlsTest, OtherControlsGoOnToTheirOwners) {
    StrategyRig rig;
    // The hooks as a later role finds them: the strategy attached over a role's recorders.
    std::vector<std::pair<int, SpinArrow>> spins;
    std::vector<int> clicks;
    console::ConsoleHooks hooks;
    hooks.spinMoved = [&](console::CKestravaDlg&, int id, SpinArrow arrow) { spins.emplace_back(id, arrow); };
    hooks.controlClicked = [&](console::CKestravaDlg&, int id) { clicks.push_back(id); };
    AttachStrategy(rig.engine, hooks);
    rig.c().hooks().spinMoved = hooks.spinMoved;
    rig.c().hooks().controlClicked = hooks.controlClicked;

    rig.v().SecondPlus = 1000;
    rig.Spin(1156, kUp);    // the clock-reading region
    rig.Spin(1139, kDown);  // refresh only
    rig.Spin(1096, kUp);
    rig.Click(1093);        // a box without a rule
    rig.Click(ctl::Analysis);
    EXPECT_EQ(spins, (std::vector<std::pair<int, SpinArrow>>{{1156, kUp}}));
    EXPECT_EQ(clicks, std::vector<int>{1093});
    EXPECT_EQ(rig.v().SecondPlus.load(), 1100);
}

TEST(ParameterControlsTest, RemedyFollowsTheDistanceToTheThirdBid) {
    StrategyRig rig;
    rig.v().ThirdBidTime = 15;
    rig.v().bamiao_time = 8;
    rig.ctl().SetCheck(ctl::Remedy, 1);
    rig.Spin(1191, kDown);  // 7 → distance 8
    rig.Spin(1191, kUp);    // 8 → distance 7
    EXPECT_TRUE(rig.ctl().Enabled(ctl::Remedy));
    EXPECT_TRUE(rig.ctl().IsChecked(ctl::Remedy));
    EXPECT_TRUE(rig.ctl().Enabled(ctl::RemedyTimeEdit));

    rig.Spin(1191, kUp);  // 9 → distance 6
    EXPECT_FALSE(rig.ctl().Enabled(ctl::Remedy));
    EXPECT_FALSE(rig.ctl().IsChecked(ctl::Remedy));
    EXPECT_FALSE(rig.ctl().Enabled(ctl::RemedyTimeEdit));

    rig.Spin(1191, kDown);  // back to 7: usable again, but not ticked again
    EXPECT_TRUE(rig.ctl().Enabled(ctl::Remedy));
    EXPECT_FALSE(rig.ctl().IsChecked(ctl::Remedy));
    EXPECT_TRUE(rig.ctl().Enabled(ctl::RemedyTimeEdit));

    // The third bid's spin applies the same rule.
    rig.v().bamiao_time = 8;
    rig.Spin(1122, kDown);  // 15 → 14, distance 6
    EXPECT_FALSE(rig.ctl().Enabled(ctl::Remedy));
    rig.Spin(1122, kUp);
    EXPECT_TRUE(rig.ctl().Enabled(ctl::Remedy));
}

TEST(ParameterControlsTest, ImportAppliesTheRemedyRule) {
    struct Case {
        const char* third;
        const char* check6;
        bool checked, enabled;
    };
    for (const Case& tc : {Case{"10", "1", false, false}, Case{"20", "1", true, true}, Case{"20", "0", false, true}}) {
        SCOPED_TRACE(std::string("ThirdBidTime ") + tc.third + " check6 " + tc.check6);
        StrategyRig rig;
        WritePolicy(PolicyFilePath(1), {{"ThirdBidTime", tc.third}, {"bamiao_time", "8"}, {"check6", tc.check6}});
        rig.Select(0);
        rig.c().OnCommand(ctl::Combo);
        EXPECT_EQ(rig.ctl().IsChecked(ctl::Remedy), tc.checked);
        EXPECT_EQ(rig.ctl().Enabled(ctl::Remedy), tc.enabled);
        EXPECT_EQ(rig.ctl().Enabled(ctl::RemedyTimeEdit), tc.enabled);
    }
}

constexpr int kTakenOver[] = {1025, 1120, 1048, 1122, 1198, 1199};

TEST(ParameterControlsTest, SmartAnalysisTakesOverTheBidMomentsAndGivesThemBack) {
    StrategyRig rig;
    rig.v().ThirdBidTime = 20;
    rig.v().bamiao_time = 8;
    for (int id : {1010, 1125, 1066, 1021}) rig.ctl().SetCheck(id, 1);

    rig.Click(ctl::Analysis);
    EXPECT_EQ(rig.hints, std::vector<int>{kAnalysisHint});
    for (int id : {1010, 1125, 1066, 1021}) {
        EXPECT_FALSE(rig.ctl().IsChecked(id)) << id;
        EXPECT_FALSE(rig.ctl().Enabled(id)) << id;
    }
    for (int id : kTakenOver) EXPECT_FALSE(rig.ctl().Enabled(id)) << id;
    // Raising the remedy's moment does not hand the remedy back while the analysis runs.
    rig.Spin(1191, kDown);
    EXPECT_FALSE(rig.ctl().Enabled(ctl::Remedy));

    rig.Click(ctl::Analysis);
    for (int id : {1010, 1125}) {
        EXPECT_TRUE(rig.ctl().IsChecked(id)) << id;
        EXPECT_TRUE(rig.ctl().Enabled(id)) << id;
    }
    for (int id : kTakenOver) EXPECT_TRUE(rig.ctl().Enabled(id)) << id;
    for (int id : {1066, 1021}) {
        EXPECT_TRUE(rig.ctl().Enabled(id)) << id;
        EXPECT_FALSE(rig.ctl().IsChecked(id)) << id;
    }
    EXPECT_EQ(rig.hints.size(), 1u);
}

TEST(ParameterControlsTest, EndingTheAnalysisLeavesTheRemedyToItsOwnRule) {
    StrategyRig rig;
    rig.v().ThirdBidTime = 10;
    rig.v().bamiao_time = 8;
    rig.Click(ctl::Analysis);
    rig.Click(ctl::Analysis);
    EXPECT_FALSE(rig.ctl().Enabled(ctl::Remedy));
    EXPECT_FALSE(rig.ctl().Enabled(ctl::RemedyTimeEdit));
}

TEST(ParameterControlsTest, ImportEndsWithTheSmartAnalysisRule) {
    struct Case {
        const char* enlarge;
        bool bidBoxes;
    };
    for (const Case& tc : {Case{"0", true}, Case{"1", false}}) {
        SCOPED_TRACE(std::string("check_qrenlarge ") + tc.enlarge);
        StrategyRig rig;
        WritePolicy(PolicyFilePath(1), {{"check_qrenlarge", tc.enlarge}, {"check1", "0"}, {"check11", "0"}});
        rig.Select(0);
        rig.c().OnCommand(ctl::Combo);
        EXPECT_EQ(rig.ctl().IsChecked(1010), tc.bidBoxes);
        EXPECT_EQ(rig.ctl().IsChecked(1125), tc.bidBoxes);
        EXPECT_EQ(rig.ctl().Enabled(1010), tc.bidBoxes);
        EXPECT_EQ(rig.hints.size(), tc.bidBoxes ? 0u : 1u);
    }
}

TEST(ParameterControlsTest, BidBoxClicksEndTheAnalysisOnly) {
    for (int box : {ctl::SecondBid, ctl::ThirdBid}) {
        SCOPED_TRACE(box);
        StrategyRig rig;
        rig.ctl().SetCheck(ctl::Analysis, 1);
        rig.ctl().SetCheck(box, 0);
        rig.Click(box);
        EXPECT_FALSE(rig.ctl().IsChecked(ctl::Analysis));
        EXPECT_TRUE(rig.ctl().IsChecked(box));
        rig.Click(box);
        EXPECT_FALSE(rig.ctl().IsChecked(box));
    }
}

TEST(ParameterControlsTest, ManualCalibrationStartsThePageLearningView) {
    StrategyRig rig;
    const auto changes = rig.ctl().Changes();
    rig.c().OnCommand(ctl::ManualCalibrate);
    EXPECT_TRUE(rig.Logged("鼠标点击_人工校正"));
    EXPECT_EQ(rig.ctl().Changes(), changes);
    // A real run (the rig's) learns the operator's page.
    const auto started = rig.fp.programs.Started();
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started.back().path, shell::kShellPath);
    EXPECT_EQ(started.back().args, (std::vector<std::string>{"--learn", "real"}));
}

TEST(ParameterControlsTest, ForcedMomentLabel) {
    const struct {
        int ms;
        const char* label;
    } cases[] = {{100, "11:29:59.9"}, {900, "11:29:59.1"}, {1000, "11:29:59.0"}, {1500, "11:29:58.5"},
                 {0, "11:30:00.0"},   {13000, "11:29:47.0"}};
    StrategyRig rig;
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.ms);
        rig.v().mandatory_bid = tc.ms + 100;
        rig.Spin(1170, kUp);  // lands on tc.ms
        EXPECT_EQ(rig.ctl().Text(ctl::ForcedClock), tc.label);
    }
}

TEST(ParameterControlsTest, DayResetSimulationAndTheSecondTickRefresh) {
    StrategyRig rig;
    rig.v().SmartBidTime1 = 100;
    rig.v().SmartBidTime4 = 100;
    rig.c().ResetAuctionDay();
    EXPECT_EQ(rig.v().SmartBidTime1.load(), 600);
    EXPECT_EQ(rig.v().SmartBidTime2.load(), 600);
    EXPECT_EQ(rig.v().SmartBidTime3.load(), 600);
    EXPECT_EQ(rig.v().SmartBidTime4.load(), 900);
    rig.c().hooks().setSimulationWarningPrice(rig.c());
    EXPECT_EQ(rig.v().WarningPrice.load(), 100);
    // The one-second tick's refresh shows what the engine changed meanwhile.
    rig.v().ctrlXpricelimit = 600;
    rig.v().ThirdBidTime = 8;
    rig.c().hooks().refreshControls(rig.c());
    EXPECT_EQ(rig.ctl().Text(1148), "600");
    EXPECT_EQ(rig.ctl().Text(1120), "8");
    EXPECT_EQ(rig.ctl().Text(ctl::ThirdBidClock), "11:29:52");
    EXPECT_EQ(rig.ctl().Text(1202), "900");
}

}  // namespace
}  // namespace kestrava::strategy::testing
