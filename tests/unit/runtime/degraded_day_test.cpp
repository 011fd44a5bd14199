// Degraded auction days, one scenario each in scenarios/degraded_*.scn: the feed dies, a schedule
// outlives its rule, the shell cannot click, an F3 test bid meets the real ones, an armed bid
// outside the window meets the third bid's moment, a rise comes a minute early. Each must end in
// exactly one confirmation, at the moment and gap its rules give, with the log saying what
// happened.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/replay.h"
#include "runtime/scenario.h"
#include "shell/page_commands.h"
#include "shell/scheduled_confirm.h"

namespace kestrava::runtime {
namespace {

std::string ScenarioText(const std::string& file) {
    std::ifstream in(std::string(KESTRAVA_SCENARIO_DIR) + "/" + file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int LogCount(const ReplayResult& r, const std::string& text) {
    int n = 0;
    for (const TimelineEntry& e : r.timeline)
        if (e.kind == TimelineEntry::Kind::Log && e.text.find(text) != std::string::npos) ++n;
    return n;
}

TEST(DegradedDay, EachScenarioEndsInOneConfirmationOnItsRule) {
    struct Case {
        const char* file;
        const char* outcome;                 // the outcome line kestrava-replay prints
        std::vector<const char*> logged;     // lines the day's log must hold (once each)
        std::vector<const char*> notLogged;  // lines it must not hold
        // A schedule the page shell accepted and would click at its moment unless cancelled: the
        // cancel (0x4ac) must have been posted by then ("" none).
        const char* cancelledBefore = "";
    };
    const Case cases[] = {
        {"degraded_feed_dies.scn", "confirm 1 at 11:29:59.900: applied 89900, lowest 89000, gap 900, 1 s remaining",
         {"剩余时间改用电脑时间", "软件强制提交 完毕"},
         {}},
        {"degraded_delay_outlived.scn",
         "confirm 1 at 11:29:55.000: applied 89900, lowest 89600, gap 300, 5 s remaining",
         {"延时900毫秒", "差价超出延时条件，取消延时", "软件点击\"确定\"按钮"},
         {"延时达到"},
         "11:29:50.400"},
        {"degraded_shell_cannot_click.scn",
         "confirm 1 at 11:29:59.900: applied 89900, lowest 89000, gap 900, 1 s remaining",
         {"页面未能按预约点击确定，软件立即点击确定 申请价格：89900"},
         {}},
        {"degraded_f3_test_bid.scn", "confirm 1 at 11:29:45.100: applied 89300, lowest 89000, gap 300, 15 s remaining",
         {"F3测试价格已自动取消，不再等待提交", "F3测试未执行：离自动申请价格不足5秒", "国拍最低价：89000，用户申请价格：89300"},
         {}},
        {"degraded_armed_second_replaced.scn",
         "confirm 1 at 11:29:54.100: applied 89400, lowest 89100, gap 300, 6 s remaining",
         {"不在差价范围内，由第三次申请价格替换", "国拍最低价：89100，用户申请价格：89400"},
         {"软件强制提交 完毕"}},
        {"degraded_rise_last_minute_only.scn",
         "confirm 1 at 11:29:55.500: applied 89900, lowest 89600, gap 300, 5 s remaining",
         {},
         {"功能55延触发", "上涨1功能点击确定", "上涨2功能点击确定"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        const ParseResult parsed = ParseScenario(ScenarioText(k.file));
        ASSERT_TRUE(parsed.scenario) << (parsed.error ? parsed.error->message : "");
        const ReplayResult r = RunReplay(*parsed.scenario);
        ASSERT_TRUE(r.started) << r.failure;
        const std::string printed = FormatReplay(*parsed.scenario, r);
        EXPECT_EQ(r.confirmations.size(), 1u) << printed;
        EXPECT_NE(printed.find(k.outcome), std::string::npos) << printed;
        for (const char* line : k.logged) EXPECT_EQ(LogCount(r, line), 1) << line;
        for (const char* line : k.notLogged) EXPECT_EQ(LogCount(r, line), 0) << line;
        if (*k.cancelledBefore) {
            bool cancelled = false;
            for (const TimelineEntry& e : r.timeline)
                cancelled = cancelled || (e.kind == TimelineEntry::Kind::Post &&
                                          e.message.msg == shell::cmd::CancelScheduledConfirm &&
                                          e.at < ParseClock(k.cancelledBefore).value_or(0));
            EXPECT_TRUE(cancelled) << printed;
        }
    }
}

}  // namespace
}  // namespace kestrava::runtime
