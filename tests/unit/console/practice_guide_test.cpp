// A practice run's guide: the step it tells the bidder at each point of a run, the rule a
// confirmation line names, the outcome it puts together from the console's lines and the page's
// accounts, and the console around it (messages, the one-second tick, "开始模拟" after the end).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "console/practice_guide.h"
#include "console_rig.h"

namespace kestrava::console::testing {
namespace {

// ---- the rule a day-log line names (the lines as the engine writes them)

TEST(PracticeGuideRules, EachConfirmationLineNamesItsRule) {
    struct Case {
        const char* line;
        const char* rule;  // nullptr: not a confirmation
    };
    const Case cases[] = {
        {"国拍最低价：89600，软件点击\"确定\"按钮", "差额规则"},
        {"国拍最低价：89500，软件点击确定提交", "差额规则"},
        {"国拍最低价：89500，延时达到", "差额延时规则"},
        {"软件强制提交 完毕", "强制提交"},
        {"涨幅强制提交 完毕", "涨幅强制提交"},
        {"上涨2功能点击确定", "上涨规则"},
        {"云提交确定", "云提交"},
        {"ABC  3 ，点击确定", "云端信号"},
        {"59秒客户按回车，软件点击“确定”按钮", "最后一秒回车"},
        {"国拍最低价：89600 强制提交价格 ..", "强制提交价格"},
        {"客户按了回车，智能提交开启，等待价格上涨到差价范围", nullptr},
        {"国拍最低价：89500，延时300毫秒", nullptr},
        {"第二次申请价格", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto rule = ConfirmingRule(c.line);
        if (c.rule) {
            ASSERT_TRUE(rule.has_value());
            EXPECT_EQ(*rule, c.rule);
        } else {
            EXPECT_FALSE(rule.has_value());
        }
    }
}

// ---- the steps of a run, in the order a practice run passes them

TEST(PracticeGuideSteps, ARunPassesEveryStepInOrder) {
    PracticeGuide guide;
    struct Step {
        const char* what;
        GuideRun run;
        const char* logLine;  // written before the decision, or nullptr
        GuideStep expected;
        const char* textHas;
    };
    const Step steps[] = {
        {"page not started", {0, 0, 0, 300}, nullptr, GuideStep::NotStarted, "等待模拟拍卖开始"},
        {"first-bid period", {2, 2, 0, 300}, nullptr, GuideStep::BeforeRevision, "等待修改出价阶段"},
        {"revision phase", {2, 3, 0, 300}, nullptr, GuideStep::AwaitingApplication, "等待策略设定的时刻"},
        {"a price left from an earlier run", {2, 3, 89900, 300}, nullptr, GuideStep::AwaitingApplication,
         "等待策略设定的时刻"},
        {"applied", {2, 3, 89900, 300}, "操作执行申请加价", GuideStep::CodeDialog, "请输入图片中的四位数字，然后按回车"},
        {"Enter", {2, 3, 89900, 300}, "客户按了回车，智能提交开启，等待价格上涨到差价范围", GuideStep::AwaitingGap,
         "价格进入300以内时软件自动确认"},
        {"confirmed", {2, 3, 0, 300}, "国拍最低价：89600，软件点击\"确定\"按钮", GuideStep::Confirmed,
         "软件已确认出价"},
        {"ended", {4, 4, 0, 300}, nullptr, GuideStep::Confirmed, "等待页面的判定和拍卖结果"},
    };
    std::vector<std::uint32_t> serials;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.logLine) guide.OnLogLine(s.logLine, 1000);
        const Guidance g = guide.Decide(s.run);
        EXPECT_EQ(g.step, s.expected);
        EXPECT_NE(g.text.find(s.textHas), std::string::npos) << g.text;
        serials.push_back(g.serial);
    }
    // Each new step is told anew; the same step twice is not.
    for (std::size_t i = 1; i + 1 < serials.size(); ++i)
        if (steps[i].expected != steps[i - 1].expected) {
            EXPECT_NE(serials[i], serials[i - 1]) << i;
        }
    EXPECT_EQ(serials.back(), serials[serials.size() - 2]);

    guide.OnResult(89700, true);
    EXPECT_EQ(guide.Decide({4, 4, 0, 300}).step, GuideStep::Outcome);
}

TEST(PracticeGuideSteps, AnEndWithoutConfirmationSaysSoAndTheGapLimitIsTheConsoles) {
    PracticeGuide guide;
    guide.OnLogLine("客户按了回车，智能提交开启，等待价格上涨到差价范围", 1000);
    EXPECT_NE(guide.Decide({2, 3, 90100, 200}).text.find("价格进入200以内"), std::string::npos);
    EXPECT_EQ(guide.Decide({4, 4, 90100, 200}).step, GuideStep::EndedUnconfirmed);
}

TEST(PracticeGuideSteps, ANewRunForgetsTheLastAndIsToldAnew) {
    PracticeGuide guide;
    guide.OnLogLine("客户按了回车，智能提交开启", 1000);
    guide.OnLogLine("国拍最低价：89600，软件点击\"确定\"按钮", 2000);
    guide.OnResult(89700, true);
    const Guidance before = guide.Decide({2, 2, 0, 300});
    ASSERT_EQ(before.step, GuideStep::Outcome);
    guide.Reset();
    const Guidance after = guide.Decide({2, 2, 0, 300});
    EXPECT_EQ(after.step, GuideStep::BeforeRevision);
    EXPECT_EQ(guide.Outcome(), "");
    // The first step of the new run is not the serial of the last run's same step.
    guide.Reset();
    EXPECT_NE(guide.Decide({2, 2, 0, 300}).serial, after.serial);
}

// ---- the outcome

TEST(PracticeGuideOutcome, SaysWhichRuleWhenHowLateValidAndWon) {
    struct Case {
        const char* what;
        const char* confirmLine;       // nullptr: nothing confirmed
        bool seen;                     // the page saw the click
        std::int64_t confirmedAt;      // the console's clock at the confirmation line
        std::uint32_t seenEpochLow;    // the page's clock at the click
        int pageClockMs;
        int verdictPrice;              // 0: no verdict
        bool valid;
        bool won;
        std::vector<std::string> has;
    };
    const std::int64_t t = 0x1'2345'6789LL;  // past 2^32: only the low bits travel
    const int at = (11 * 3600 + 29 * 60 + 54) * 1000 + 412;
    const Case cases[] = {
        {"gap rule, valid, won", "国拍最低价：89600，软件点击\"确定\"按钮", true, t, static_cast<std::uint32_t>(t + 12), at,
         89900, true, true,
         {"由差额规则确认", "页面于11:29:54.412（离结束5.6秒）收到点击", "比软件确认晚12毫秒", "出价89900有效",
          "已成交（最低成交价89700）"}},
        {"forced, refused, lost", "软件强制提交 完毕", true, t, static_cast<std::uint32_t>(t + 3), at, 90100, false,
         false, {"由强制提交确认", "晚3毫秒", "出价90100无效", "未成交"}},
        {"confirmed, the click never seen", "国拍最低价：89500，软件点击确定提交", false, t, 0, 0, 0, false, false,
         {"由差额规则确认", "页面没有收到确认点击", "页面没有收到出价"}},
        {"nothing confirmed", nullptr, false, t, 0, 0, 0, false, false, {"软件没有确认出价", "未成交"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PracticeGuide guide;
        if (c.confirmLine) {
            guide.OnLogLine(c.confirmLine, c.confirmedAt);
            // A second rule that finds the submission confirmed does not take it over.
            guide.OnLogLine("上涨2功能点击确定", c.confirmedAt + 500);
        }
        if (c.seen) guide.OnConfirmSeen(c.seenEpochLow, c.pageClockMs);
        if (c.verdictPrice) guide.OnVerdict(c.verdictPrice, c.valid);
        EXPECT_EQ(guide.Outcome(), "") << "no outcome before the result";
        EXPECT_FALSE(guide.TakeOutcomeToPrint().has_value());
        guide.OnResult(89700, c.won);
        const std::string outcome = guide.Outcome();
        for (const std::string& h : c.has) EXPECT_NE(outcome.find(h), std::string::npos) << h << " in " << outcome;
        EXPECT_EQ(guide.Decide({4, 4, 0, 300}).text, outcome);
        const auto printed = guide.TakeOutcomeToPrint();
        ASSERT_TRUE(printed.has_value());
        EXPECT_EQ(*printed, outcome);
        EXPECT_FALSE(guide.TakeOutcomeToPrint().has_value()) << "printed once";
    }
}

TEST(PracticeGuideOutcome, HowLateCountsFromTheCommandOrTheScheduledMoment) {
    struct Case {
        const char* what;
        std::uint32_t msg;       // 0: no command seen
        std::uint32_t wParam;
        std::int64_t sentAt;
        std::int64_t lineAt;     // the rule's line
        std::uint32_t seenAt;    // the page's handler
        const char* has;
    };
    const Case cases[] = {
        {"the command, its line written later", 0x4a3, 0, 100000, 100009, 100004, "比软件确认晚4毫秒"},
        {"a schedule names its moment ahead", 0x4ab, 101000, 100000, 101001, 101002, "比软件确认晚2毫秒"},
        {"another command is no confirmation", 0x4a5, 0, 100000, 100009, 100012, "比软件确认晚3毫秒"},
        {"no command seen: the line's time", 0, 0, 0, 100009, 100012, "比软件确认晚3毫秒"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PracticeGuide guide;
        if (c.msg) guide.OnCommandSent(c.msg, c.wParam, c.sentAt);
        guide.OnLogLine("国拍最低价：89600，软件点击\"确定\"按钮", c.lineAt);
        // Commands after the confirmation do not move its moment.
        guide.OnCommandSent(0x4a3, 0, c.lineAt + 50);
        guide.OnConfirmSeen(c.seenAt, (11 * 3600 + 29 * 60 + 54) * 1000);
        guide.OnResult(89700, true);
        EXPECT_NE(guide.Outcome().find(c.has), std::string::npos) << guide.Outcome();
    }
}

// ---- the console around the guide

class ConsoleGuideTest : public ::testing::Test {
protected:
    CKestravaDlg& Start() {
        rig.UserConf({{"moniornot", "1"}});
        rig.AddPage();
        return rig.Start();
    }
    void Tick() { rig.fp.clock.Advance(1000); }

    ConsoleRig rig{MakeLocal(2026, 12, 10, 11, 20, 0)};
};

TEST_F(ConsoleGuideTest, TheRunsStepsAndTheOutcomeReachTheShownState) {
    auto& con = Start();
    con.HandleMessage({msg::StartSimulationRun, 0, 0});
    Tick();
    EXPECT_NE(con.state.guideText.Get().find("等待修改出价阶段"), std::string::npos) << con.state.guideText.Get();
    const std::uint32_t waiting = con.state.guideSerial.load();

    con.WriteLogLine("操作执行申请加价");  // as the engine's application writes it
    con.state.appliedPrice = 89900;
    Tick();
    EXPECT_NE(con.state.guideText.Get().find("验证码框已打开"), std::string::npos);
    EXPECT_NE(con.state.guideSerial.load(), waiting);

    con.WriteLogLine("客户按了回车，智能提交开启，等待价格上涨到差价范围");
    Tick();
    EXPECT_NE(con.state.guideText.Get().find("软件自动确认"), std::string::npos);

    // The rule's command goes to the page, its line a moment later.
    const auto confirmedAt = static_cast<std::uint32_t>(rig.fp.clock.EpochMillis());
    ASSERT_TRUE(con.shell.ConfirmCodeElement());
    rig.fp.clock.Advance(9);
    con.WriteLogLine("国拍最低价：89600，软件点击\"确定\"按钮");
    con.HandleMessage({msg::PageConfirmSeen, confirmedAt + 7, (11 * 3600 + 29 * 60 + 54) * 1000});
    con.HandleMessage({msg::PageVerdict, 89900, 1});
    Tick();
    EXPECT_NE(con.state.guideText.Get().find("软件已确认出价"), std::string::npos);
    // The result shows at once, without waiting for the tick.
    con.HandleMessage({msg::PageResult, 89700, 1});
    const std::string outcome = con.state.guideText.Get();
    for (const char* h : {"由差额规则确认", "比软件确认晚7毫秒", "出价89900有效", "已成交"})
        EXPECT_NE(outcome.find(h), std::string::npos) << h << " in " << outcome;
}

TEST_F(ConsoleGuideTest, StartSimulationAfterTheEndRestartsThePageAndTheGuide) {
    auto& con = Start();
    con.HandleMessage({msg::StartSimulationRun, 0, 0});
    for (int i = 0; i < 150; ++i) Tick();
    con.WriteLogLine("操作执行申请加价");
    con.state.appliedPrice = 89900;  // a confirmation by the gap rule leaves it
    for (int i = 0; i < 50; ++i) Tick();
    con.HandleMessage({msg::PageResult, 89700, 0});
    ASSERT_EQ(con.state.runState.load(), 4);
    ASSERT_NE(con.state.guideText.Get().find("练习结果"), std::string::npos);

    rig.fp.desktop.ClearPosted();
    con.OnCommand(1138);
    const auto posted = rig.fp.desktop.PostedTo(rig.page);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message.msg, 0x468u) << "the practice page opened afresh: its timeline starts again";
    EXPECT_EQ(con.guide.Outcome(), "");
    EXPECT_EQ(con.state.guideText.Get().find("练习结果"), std::string::npos) << con.state.guideText.Get();
    EXPECT_EQ(con.state.appliedPrice.load(), 0) << "the last auction's bid is not this one's";

    // The page reloads meanwhile; its start message, a tick or two later, times the new run.
    Tick();
    Tick();
    con.HandleMessage({msg::StartSimulationRun, 0, 0});
    Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_NE(con.state.auctionPhase.load(), 4);
    EXPECT_NE(con.state.guideText.Get().find("等待修改出价阶段"), std::string::npos) << con.state.guideText.Get();
}

TEST_F(ConsoleGuideTest, ARealRunHasNoGuideAndStartSimulationOpensNoPage) {
    rig.UserConf({{"moniornot", "0"}});
    rig.AddPage();
    auto& con = rig.Start();
    Tick();
    con.WriteLogLine("客户按了回车，智能提交开启");
    Tick();
    EXPECT_EQ(con.state.guideText.Get(), "");
    rig.fp.desktop.ClearPosted();
    con.OnCommand(1138);
    EXPECT_TRUE(rig.fp.desktop.PostedTo(rig.page).empty());
}

}  // namespace
}  // namespace kestrava::console::testing
