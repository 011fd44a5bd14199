// The console's message table: every number reaches its handler, unknown numbers are ignored,
// and a message posted to the console's window by title arrives the same way.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "console/console.h"
#include "console_rig.h"
#include "log/log_book.h"

namespace kestrava::console::testing {
namespace {

class MessagesTest : public ::testing::Test {
protected:
    MessagesTest() {
        auto record = [this](const char* name) {
            return [this, name](CKestravaDlg&) { calls.emplace_back(name); };
        };
        auto report = [this](const char* name) {
            return [this, name](CKestravaDlg&, std::uint32_t w, std::int32_t l) {
                calls.push_back(std::string(name) + " " + std::to_string(w) + " " + std::to_string(l));
            };
        };
        auto& h = rig.hooks;
        h.installUpdate = record("installUpdate");
        h.installQuietUpdate = record("installQuietUpdate");
        h.smartCalibrate = record("smartCalibrate");
        h.saveStrategy = record("saveStrategy");
        h.startUpdateCheck = record("startUpdateCheck");
        h.pageReport = report("pageReport");
        h.serverReport = report("serverReport");
        h.jamSignal = report("jamSignal");
        h.scheduleAnswer = report("scheduleAnswer");
        h.codeDialog = report("codeDialog");
        h.sendToSync = [this](CKestravaDlg&, std::string_view text) { calls.push_back("sendToSync " + std::string(text)); };
        rig.AddPage();
        rig.UserConf({{"moniornot", "1"}});
        rig.Make();
        rig.console->state.moniornot = 1;
        rig.console->state.pageWindow = rig.page;
    }

    ConsoleRig rig;
    std::vector<std::string> calls;
};

TEST_F(MessagesTest, EveryNumberReachesItsHandler) {
    struct Case {
        std::uint32_t msg;
        std::uint32_t wParam;
        std::int32_t lParam;
        std::vector<std::string> calls;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {0x464, 0, 0, {"installUpdate"}, {}},
        {0x493, 0, 0, {"installQuietUpdate"}, {}},
        {0x465, 0, 0, {"smartCalibrate"}, {}},
        {0x466, 0, 0, {"saveStrategy", "startUpdateCheck"}, {"服务器配置需要更新，立即自动更新"}},
        {0x46e, 92300, 112958, {"pageReport 92300 112958"}, {}},
        {0x46f, 92400, 1129581, {"serverReport 92400 1129581"}, {}},
        {0x492, 0, 0, {"smartCalibrate"}, {"==============mute==============="}},
        {0x49a, 0, 0, {"sendToSync 6_0"}, {}},
        {0x49c, 3, 0, {"jamSignal 3 0"}, {}},
        {0x4ad, 7, 2, {"scheduleAnswer 7 2"}, {}},
        {0x4b1, 89900, 1, {"codeDialog 89900 1"}, {}},
        // The practice page's accounts go to the console's own guide (practice_guide_test.cpp).
        {0x4ae, 1234567, 41394431, {}, {}},
        {0x4af, 89900, 1, {}, {}},
        {0x4b0, 89700, 1, {}, {}},
        {0x49d, 0, 0, {}, {}},
    };
    std::set<std::uint32_t> covered;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.msg);
        calls.clear();
        const auto before = rig.LogMessages().size();
        EXPECT_TRUE(rig.console->HandleMessage({c.msg, c.wParam, c.lParam}));
        EXPECT_EQ(calls, c.calls);
        const auto lines = rig.LogMessages();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + std::min(before, lines.size()), lines.end()), c.log);
        covered.insert(c.msg);
    }
    // Every row of the table is covered above.
    for (const MessageRow& row : CKestravaDlg::MessageTable()) EXPECT_TRUE(covered.count(row.msg)) << row.msg;

    auto& con = *rig.console;
    EXPECT_EQ(con.controls.Text(1128), "版本8.2");
    EXPECT_EQ(con.state.pageLoginSeen.load(), 1);
    // 0x49d in a simulation run: the run starts now and lasts 190 s.
    const std::int64_t now = rig.fp.clock.EpochMillis() / 1000;
    EXPECT_EQ(con.state.runState.load(), 1);
    EXPECT_EQ(con.state.auctionStart.load(), now);
    EXPECT_EQ(con.state.auctionEnd.load(), now + 190);
}

TEST_F(MessagesTest, AProgressBarSightingIsPassedOnOnceAndPrinted) {
    log::SetDebugConsole(true);
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(rig.console->HandleMessage({msg::ProgressBarSeen, 0, 0}));
    const std::string printed = ::testing::internal::GetCapturedStdout();
    log::SetDebugConsole(false);
    EXPECT_EQ(calls, (std::vector<std::string>{"sendToSync 6_0"}));
    EXPECT_EQ(printed, "6_0 屏幕有进度条 \n");
}

TEST_F(MessagesTest, UnknownNumbersAreIgnored) {
    for (const std::uint32_t m : {0x10u, 0x463u, 0x467u, 0x46du, 0x49bu, 0x49eu, 0xFFFFu}) {
        SCOPED_TRACE(m);
        EXPECT_FALSE(rig.console->HandleMessage({m, 1, 2}));
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(rig.console->state.runState.load(), 0);
}

TEST_F(MessagesTest, PageLoginCalibratesOnceAndNotInTheLastSeconds) {
    auto& con = *rig.console;
    con.state.remainingSeconds = 2;
    con.HandleMessage({0x465, 0, 0});
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(con.state.pageLoginSeen.load(), 0);
    con.state.remainingSeconds = 3;
    con.HandleMessage({0x465, 0, 0});
    con.HandleMessage({0x465, 0, 0});
    EXPECT_EQ(calls, std::vector<std::string>{"smartCalibrate"});
}

TEST_F(MessagesTest, UpdateCheckIsNotStartedWhileTheUpdaterRuns) {
    rig.fp.desktop.AddWindow(kUpdaterTitle, "Updater", platform::Rect{0, 0, 10, 10});
    rig.console->HandleMessage({0x466, 0, 0});
    EXPECT_EQ(calls, std::vector<std::string>{"saveStrategy"});
}

TEST_F(MessagesTest, PostedMessagesArriveThroughTheConsoleWindow) {
    ASSERT_TRUE(rig.console->OpenMessageWindow());
    const auto window = rig.fp.desktop.FindWindowByTitle(kConsoleTitle);
    ASSERT_NE(window, 0u);
    rig.fp.desktop.PostMessage(window, {0x46f, 91000, 7});
    EXPECT_EQ(calls, std::vector<std::string>{"serverReport 91000 7"});
    rig.console->OnClose();
    EXPECT_EQ(rig.fp.desktop.FindWindowByTitle(kConsoleTitle), 0u);
}

}  // namespace
}  // namespace kestrava::console::testing
