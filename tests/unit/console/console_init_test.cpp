// The console's start-up: what it reads, writes, starts and logs, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/settings.h"
#include "console/console.h"
#include "console_rig.h"

namespace kestrava::console::testing {
namespace {

TEST(ConsoleInitTest, PriceLadderHasTwentyLevelsThreeHundredApart) {
    struct Case {
        Settings userconf;
        int first;
        int last;
    };
    const Case cases[] = {
        {{}, 90800, 96500},
        {{{"dwbase", "88000"}}, 88000, 93700},
        {{{"dwbase", "91000yuan"}}, 91000, 96700},  // leading digits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        ConsoleRig rig;
        rig.AddPage();
        rig.UserConf(c.userconf);
        auto& con = rig.Start();
        EXPECT_EQ(con.state.priceLadder.front().load(), c.first);
        EXPECT_EQ(con.state.priceLadder.back().load(), c.last);
        for (std::size_t i = 1; i < con.state.priceLadder.size(); ++i)
            EXPECT_EQ(con.state.priceLadder[i] - con.state.priceLadder[i - 1], 300);
    }
}

TEST(ConsoleInitTest, DebugModePrintsTheLadderOnTheDebugConsole) {
    ConsoleRig rig;
    rig.AddPage();
    rig.UserConf({{"debg", "99"}});
    ::testing::internal::CaptureStdout();
    rig.Start({"12345678", "8.2", 1, 42});
    const std::string out = ::testing::internal::GetCapturedStdout();
    log::SetDebugConsole(false);
    std::string expected = "yushu 0\nyushu2 42\n档位价列表初始化\n";
    for (int level = 90800; level <= 96500; level += 300) expected += std::to_string(level) + "\n";
    EXPECT_NE(out.find(expected), std::string::npos) << out;

    // Any other value leaves the console closed.
    ConsoleRig quiet;
    quiet.AddPage();
    quiet.UserConf({{"debg", "1"}});
    quiet.Start();
    EXPECT_FALSE(log::DebugConsoleOn());
}

TEST(ConsoleInitTest, AutoUpdateIsWrittenBackToZero) {
    ConsoleRig rig;
    rig.AddPage();
    rig.Conf({{"auto_update", "1"}, {"starttimehour", "10"}});
    rig.Start();
    EXPECT_EQ(config::Read(config::conf::auto_update), 0);
    EXPECT_EQ(config::Read(config::conf::starttimehour), 10);  // the rest of the file is kept
}

TEST(ConsoleInitTest, UpdateCheckStaysAwayFromElevenOhTwoToElevenOhSeven) {
    struct Case {
        int hour, minute, second;
        bool updaterWindow;
        bool checks;
    };
    const Case cases[] = {
        {10, 0, 0, false, true},  {11, 2, 0, false, true},  {11, 2, 1, false, false},
        {11, 6, 59, false, false}, {11, 7, 0, false, true}, {9, 0, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.hour) + ":" + std::to_string(c.minute) + ":" + std::to_string(c.second) +
                     (c.updaterWindow ? " with updater" : ""));
        ConsoleRig rig(MakeLocal(2026, 12, 10, c.hour, c.minute, c.second, 500));
        rig.AddPage();
        if (c.updaterWindow) rig.fp.desktop.AddWindow(kUpdaterTitle, "Updater", platform::Rect{0, 0, 10, 10});
        int checks = 0;
        rig.hooks.startUpdateCheck = [&](CKestravaDlg&) { ++checks; };
        rig.Start();
        EXPECT_EQ(checks, c.checks ? 1 : 0);
    }
}

TEST(ConsoleInitTest, TimersRunWithTheirPeriods) {
    ConsoleRig rig;
    rig.AddPage();
    rig.UserConf({{"scanInterval", "120"}, {"jamInterval", "15"}});
    int pageState = 0, scan = 0, submit = 0, heartbeat = 0;
    rig.hooks.pageStateTick = [&](CKestravaDlg&) { ++pageState; };
    rig.hooks.scanTick = [&](CKestravaDlg&) { ++scan; };
    rig.hooks.submitTick = [&](CKestravaDlg&) { ++submit; };
    rig.hooks.heartbeatTick = [&](CKestravaDlg&) { ++heartbeat; };
    rig.Start();
    EXPECT_EQ(rig.fp.clock.ActivePeriods(), (std::vector<std::uint32_t>{1000, 900, 120, 15, 30000}));
    // The submit tick alone runs at a real-time priority.
    using platform::TickPriority;
    EXPECT_EQ(rig.fp.clock.ActivePriorities(),
              (std::vector<TickPriority>{TickPriority::Normal, TickPriority::Normal, TickPriority::Normal,
                                         TickPriority::RealTime, TickPriority::Normal}));
    rig.fp.clock.Advance(60000);
    EXPECT_EQ(pageState, 66);
    EXPECT_EQ(scan, 500);
    EXPECT_EQ(submit, 4000);
    EXPECT_EQ(heartbeat, 2);
}

TEST(ConsoleInitTest, HeaderLinesOpenTheLog) {
    struct Case {
        const char* moniornot;
        int ispClass;
        std::vector<std::string> header;
        std::uint32_t openCommand;
    };
    const Case cases[] = {
        {"0", 1, {"==============定制v8.3===============", "投标号：87654321", "DX", "正式拍牌开始"}, 0x467},
        {"1", 0, {"==============定制v8.3===============", "投标号：87654321", "FDX", "模拟拍牌开始"}, 0x468},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moniornot);
        ConsoleRig rig;
        rig.AddPage();
        rig.UserConf({{"moniornot", c.moniornot}});
        auto& con = rig.Start({"87654321", "8.3", c.ispClass, 17});
        const auto lines = rig.LogMessages();
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), c.header);
        EXPECT_EQ(lines.back(), "yu 0 yu2 17");
        EXPECT_EQ(con.controls.Text(1128), "版本8.3");
        EXPECT_EQ(con.controls.Text(1060), c.moniornot[0] == '1' ? "打开模拟" : "打开国拍");
        EXPECT_EQ(con.controls.Visible(1138), c.moniornot[0] == '1');
        EXPECT_EQ(con.state.windowTitle.Get(), kConsoleTitle);
        const auto posted = rig.fp.desktop.PostedTo(rig.page);
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].message.msg, c.openCommand);
        EXPECT_EQ(rig.fp.desktop.Foreground(), rig.page);
    }
}

TEST(ConsoleInitTest, TheShellIsStartedOrItsAbsenceEndsTheStart) {
    {
        SCOPED_TRACE("shell file present, window missing");
        ConsoleRig rig;
        const std::int64_t t0 = rig.fp.clock.EpochMillis();
        auto& con = rig.Make();
        EXPECT_TRUE(con.OnInitDialog().ok);
        ASSERT_EQ(rig.fp.programs.Started().size(), 1u);
        EXPECT_EQ(rig.fp.programs.Started()[0].path, shell::kShellPath);
        EXPECT_GE(rig.fp.clock.EpochMillis() - t0, 2000);
        EXPECT_TRUE(rig.fp.desktop.Posted().empty());  // no open command without a window found first
    }
    for (const auto& [moniornot, open] : {std::pair{"1", 0x468u}, std::pair{"0", 0x467u}}) {
        SCOPED_TRACE(std::string("window appears while the start waits, moniornot ") + moniornot);
        ConsoleRig rig;
        rig.UserConf({{"moniornot", moniornot}});
        // The shell's window comes up 2.5 s after the start began: the console opens the page in it
        // and starts no second shell.
        auto appear = rig.fp.clock.StartPeriodic(2500, [&] {
            if (!rig.page) rig.AddPage();
        });
        EXPECT_TRUE(rig.Make().OnInitDialog().ok);
        EXPECT_EQ(rig.fp.programs.Started().size(), 1u);
        const auto posted = rig.fp.desktop.PostedTo(rig.page);
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].message.msg, open);
    }
    {
        SCOPED_TRACE("shell file missing");
        ConsoleRig rig;
        rig.fp.programs.RemoveFile(shell::kShellPath);
        auto& con = rig.Make();
        const InitResult r = con.OnInitDialog();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitCode, 0);
        ASSERT_EQ(rig.fp.notices.Shown().size(), 1u);
        EXPECT_EQ(rig.fp.notices.Shown()[0].first, shell::kShellMissingText);
        EXPECT_EQ(rig.fp.clock.ActiveTimers(), 0);
    }
    {
        SCOPED_TRACE("text recognition fails");
        ConsoleRig rig;
        rig.AddPage();
        rig.hooks.initOcr = [](CKestravaDlg&) { return false; };
        const InitResult r = rig.Make().OnInitDialog();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitCode, 1);
        ASSERT_EQ(rig.fp.notices.Shown().size(), 1u);
        EXPECT_EQ(rig.fp.notices.Shown()[0].first, "Tess Init failed");
    }
}

TEST(ConsoleInitTest, StartStateSyncUrlUploadQueueAndKeepAwake) {
    ConsoleRig rig(MakeLocal(2026, 12, 10, 11, 20, 7));
    rig.AddPage();
    rig.UserConf({{"synchostip", "127.0.0.1"}, {"SelPolicy", "2"}, {"divmode", "1"}});
    WriteIni("bin/coordinatebaseline.ini", "Position", {{"lvwf_x", "31"}, {"lvwf_y", "42"}});
    WriteIni("bin/strategy.ini", "RevEvudar", {{"pricelimitStartTime", "12"}, {"ctrlXpricelimit", "500"}});
    int selected = -1;
    rig.hooks.applyStrategySelection = [&](CKestravaDlg&, int index) { selected = index; };
    auto& con = rig.Start();
    auto& s = con.state;
    EXPECT_EQ(s.syncUrl.Get(), "ws://127.0.0.1:9002/?id=12345678&type=101");
    const auto queue = s.uploadQueue.Get();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front(), rig.book.DayFilePath("12345678"));
    EXPECT_TRUE(rig.fp.power.Awake());
    EXPECT_EQ(s.startSecondDigit.load(), 7);
    EXPECT_EQ(s.loginSecond.load(), 17);
    EXPECT_EQ(s.divmode.load(), 1);
    EXPECT_EQ(s.Geometry().lvwf_x, 31);
    EXPECT_EQ(s.Geometry().lvwf_y, 42);
    EXPECT_EQ(s.pricelimitStartTime.load(), 12);
    EXPECT_EQ(s.ctrlXpricelimit.load(), 500);
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(con.controls.Selection(1175), 2);
    EXPECT_EQ(con.controls.Snapshot(1175).items.size(), 20u);
    EXPECT_EQ(con.controls.Snapshot(1175).items[1], "策略02");
    EXPECT_EQ(s.runState.load(), 0);
    EXPECT_EQ(s.remainingSeconds.load(), 60);
    EXPECT_EQ(s.lowestText.Get(), "0");
    EXPECT_EQ(s.statusText.Get(), "----");
    EXPECT_EQ(con.controls.Text(1141), "调试日志：\r\n");
    EXPECT_EQ(con.controls.Text(1046), "00:00:00");
    for (int id : {1139, 1140, 1145, 1146}) EXPECT_FALSE(con.controls.Visible(id)) << id;
    // Real run: the day's instants from the default hours.
    EXPECT_EQ(s.auctionStart.load(), rig.fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 10, 30, 0)));
    EXPECT_EQ(s.auctionEnd.load(), rig.fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 30, 0)));
    con.OnClose();
    EXPECT_FALSE(rig.fp.power.Awake());
}

TEST(ConsoleInitTest, SimulationWithVoiceGreetsAndLowersTheWarningPrice) {
    ConsoleRig rig;
    rig.AddPage();
    rig.UserConf({{"moniornot", "1"}});
    int warning = 0;
    rig.hooks.setSimulationWarningPrice = [&](CKestravaDlg&) { ++warning; };
    // The voice box is set by the strategy import, which runs before the timers start.
    rig.hooks.applyStrategySelection = [](CKestravaDlg& c, int) { c.controls.SetCheck(CKestravaDlg::kVoiceBox, 1); };
    auto& con = rig.Start();
    EXPECT_EQ(warning, 1);
    EXPECT_EQ(rig.fp.sound.Played(), std::vector<int>{177});
    EXPECT_EQ(con.state.auctionStart.load(), 0);  // a simulation's instants come from its start
}

TEST(ConsoleInitTest, StepsOfTheLaterRolesRunInTheStartUpOrder) {
    ConsoleRig rig;
    rig.AddPage();
    rig.UserConf({{"moniornot", "1"}, {"SelPolicy", "4"}});
    std::vector<std::string> order;
    auto note = [&](const char* name) {
        return [&order, &rig, name](CKestravaDlg& c) {
            // Each step also notes how far the console's own steps had come.
            order.push_back(std::string(name) + " timers=" + std::to_string(rig.fp.clock.ActiveTimers()) +
                            " lines=" + std::to_string(rig.LogMessages().size()) +
                            " page=" + std::to_string(c.state.pageWindow.load() != 0));
        };
    };
    auto& h = rig.hooks;
    h.readDisplayScale = note("displayScale");
    h.startUpdateCheck = note("updateCheck");
    h.clearRunRecords = note("reset");
    h.resetSmartBidTimes = note("smartBidTimes");
    h.clearDisplayFlags = note("displayFlags");
    h.initOcr = [f = note("ocr")](CKestravaDlg& c) { f(c); return true; };
    h.placeConsole = note("place");
    h.createPatchNotice = note("patchNotice");
    h.createFonts = note("fonts");
    h.smartCalibrate = note("calibrate");
    h.createHintWindows = note("hintWindows");
    h.createBalloons = note("balloons");
    h.applyStrategySelection = [f = note("strategy")](CKestravaDlg& c, int) { f(c); };
    h.setSimulationWarningPrice = note("warningPrice");
    h.startSync = [f = note("sync")](CKestravaDlg& c) -> std::unique_ptr<Worker> { f(c); return nullptr; };
    rig.Start();
    const std::vector<std::string> expected = {
        "displayScale timers=0 lines=0 page=0", "updateCheck timers=0 lines=0 page=0",
        "reset timers=0 lines=0 page=0",        "smartBidTimes timers=0 lines=0 page=0",
        "displayFlags timers=0 lines=0 page=0", "ocr timers=0 lines=0 page=1",
        "place timers=0 lines=0 page=1",        "patchNotice timers=0 lines=0 page=1",
        "fonts timers=0 lines=4 page=1",        "calibrate timers=0 lines=4 page=1",
        "hintWindows timers=0 lines=4 page=1",  "balloons timers=0 lines=4 page=1",
        "strategy timers=0 lines=4 page=1",     "warningPrice timers=0 lines=4 page=1",
        "sync timers=4 lines=4 page=1",
    };
    EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace kestrava::console::testing
