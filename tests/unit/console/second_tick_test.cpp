// The one-second tick and its run-state machine, real and simulated, with a page window that
// comes and goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "console/console.h"
#include "console_rig.h"
#include "shell/page_commands.h"

namespace kestrava::console::testing {
namespace {

class SecondTickTest : public ::testing::Test {
protected:
    // Starts the console `msIntoSecond` before a whole second so the ticks land on whole seconds.
    CKestravaDlg& Start(const Settings& userconf = {}) {
        rig.UserConf(userconf);
        rig.hooks.clearRunRecords = [this](CKestravaDlg&) { ++resets; };
        auto& con = rig.Start();
        resets = 0;  // the start-up's own reset
        return con;
    }
    void Tick() { rig.fp.clock.Advance(1000); }

    ConsoleRig rig{MakeLocal(2026, 12, 10, 11, 20, 0)};
    int resets = 0;
};

TEST_F(SecondTickTest, RealRunStartsOnTheFirstTickWithThePageAndResetsOnce) {
    rig.AddPage();
    auto& con = Start();
    EXPECT_EQ(con.state.runState.load(), 0);
    Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(con.state.pageSeen.load(), 1);
    EXPECT_EQ(con.state.auctionPhase.load(), 3);  // 11:20:01 lies in the revision phase
    EXPECT_TRUE(con.state.infoBarVisible.load());
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_EQ(resets, 1);
}

TEST_F(SecondTickTest, AFinishedRealRunStaysBlankUntilThePageIsReopened) {
    rig.fp.clock.SetNow(MakeLocal(2026, 12, 10, 11, 32, 58));
    rig.AddPage();
    auto& con = Start();
    Tick();  // 11:32:59: the run starts
    EXPECT_EQ(con.state.runState.load(), 2);
    Tick();  // 11:33:00: three minutes after the end the day is over
    EXPECT_EQ(con.state.auctionPhase.load(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        con.controls.SetText(1104, "92300");  // as a tick of the engine might
        con.SetInfoBody("body");
        Tick();
        EXPECT_EQ(con.state.runState.load(), 0);
        EXPECT_EQ(con.state.auctionPhase.load(), 4);
        for (int id : {1104, 1105, 1106}) EXPECT_EQ(con.controls.Text(id), "---") << id;
        EXPECT_EQ(con.state.infoBody.Get(), "");
        EXPECT_EQ(con.controls.Text(1043), "00:00:00");
    }
    EXPECT_EQ(resets, 1);

    rig.RemovePage();
    Tick();
    EXPECT_EQ(con.state.runState.load(), 0);
    EXPECT_EQ(con.state.auctionPhase.load(), 0);
    EXPECT_EQ(con.state.infoHeader.Get(), "提示：点击软件界面上的“打开国拍”");
    rig.AddPage();
    Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_EQ(resets, 2);
}

// The day's log reaches its file every minute, so a console ended without its close loses at most
// a minute of lines; in the auction's last minute it waits in memory (no tick there waits for the
// disk) until the minute is over.
TEST_F(SecondTickTest, TheLogIsWrittenEveryMinuteButNotInTheLastOne) {
    rig.AddPage();
    auto& con = Start();
    const auto written = [&](const std::string& text) {
        std::ifstream in(rig.book.DayFilePath("12345678"), std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return file.find(text) != std::string::npos;
    };
    Tick();
    ASSERT_EQ(con.state.auctionPhase.load(), 3);
    con.state.remainingSeconds = 598;
    con.WriteLogLine("first minute");
    for (int i = 0; i < 58; ++i) Tick();
    EXPECT_FALSE(written("first minute"));
    Tick();
    EXPECT_TRUE(written("first minute")) << "a minute after the console started";

    con.WriteLogLine("second minute");
    for (int i = 0; i < 59; ++i) Tick();
    EXPECT_FALSE(written("second minute"));
    con.state.remainingSeconds = 60;
    for (int i = 0; i < 60; ++i) Tick();
    EXPECT_FALSE(written("second minute")) << "not in the last minute";
    con.state.remainingSeconds = -1;
    Tick();
    EXPECT_TRUE(written("second minute")) << "the first tick after it";
}

// The page shell killed in the middle of a real run: the run goes on waiting for it, with its state
// (no new auction day when the shell is back, whose reset would drop an armed submission), and
// the shell's new window is sent the command to open the auction page. Nothing else is stopped.
TEST_F(SecondTickTest, APageWindowThatVanishesMidRunKeepsTheRunUntilTheShellIsBack) {
    rig.AddPage();
    int scans = 0;
    int lost = 0;
    rig.hooks.scanTick = [&](CKestravaDlg&) { ++scans; };
    rig.hooks.pageShellLost = [&](CKestravaDlg&) { ++lost; };
    auto& con = Start();
    Tick();
    ASSERT_EQ(con.state.runState.load(), 2);
    const int resetsOfTheRun = resets;
    const platform::WindowId first = rig.page;
    rig.RemovePage();
    Tick();
    Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_EQ(con.state.auctionPhase.load(), 3);
    EXPECT_EQ(con.state.pageWindow.load(), 0u);
    EXPECT_EQ(con.state.pageShellLost.load(), 1);
    EXPECT_EQ(con.state.infoHeader.Get(), "提示：国拍页面已关闭，请点击“打开国拍”，本场的状态已保留");
    EXPECT_EQ(lost, 1);
    const int before = scans;
    Tick();
    EXPECT_EQ(scans - before, 10);
    EXPECT_EQ(rig.fp.clock.ActiveTimers(), 5);

    rig.AddPage();  // started by hand: a new window, which has not been told to open the page
    ASSERT_NE(rig.page, first);
    Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_EQ(con.state.pageShellLost.load(), 0);
    EXPECT_EQ(resets, resetsOfTheRun) << "no new auction day";
    int opens = 0;
    for (const auto& p : rig.fp.desktop.PostedTo(rig.page)) opens += p.message.msg == shell::cmd::OpenRealPage;
    EXPECT_EQ(opens, 1);
    const std::vector<std::string> log = rig.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), kShellGoneText), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), kShellBackText), 1);
}

// The page shell killed and started again between two ticks: the page window is never missing at
// a tick, but it is another window, of another id or (when the display server hands the new shell
// the old ids) of another process. Within a real run the run is kept and the new window is told to
// open the auction page at once; outside one the run stops as for a vanished window.
TEST_F(SecondTickTest, AShellRestartedWithinASecondIsNoticedByItsWindowId) {
    struct Case {
        const char* name;
        Settings userconf;
        bool sameIds;            // the new shell's windows get the ids of the old one's
        bool openedByTheBidder;  // "打开国拍" clicked once the new window is there
        int runStateAfter;
        int opens;  // open commands to the new window after the restart
        bool keptRun;
    };
    const Case cases[] = {
        {"real run", {}, false, false, 2, 1, true},
        {"real run, the old ids again: told by the process", {}, true, false, 2, 1, true},
        {"real run, the new window opened by \"打开国拍\" before the tick: not opened twice", {}, false, true, 2, 1, true},
        {"practice run", {{"moniornot", "1"}}, false, false, 0, 0, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ConsoleRig local{MakeLocal(2026, 12, 10, 11, 20, 0)};
        local.AddPage();
        local.fp.desktop.SetWindowProcess(local.page, 4100);
        local.UserConf(k.userconf);
        int resetsHere = 0;
        local.hooks.clearRunRecords = [&](CKestravaDlg&) { ++resetsHere; };
        local.hooks.findStartMark = [](CKestravaDlg&) -> std::optional<shell::PagePoint> { return shell::PagePoint{5, 5}; };
        auto& con = local.Start();
        local.fp.clock.Advance(1000);
        ASSERT_EQ(con.state.runState.load(), 2);
        const int resetsOfTheRun = resetsHere;
        const platform::WindowId first = local.page;

        local.fp.clock.Advance(300);
        local.fp.desktop.ClearPosted();  // the open at the start went to the old window (maybe of the same id)
        local.RemovePage();
        local.fp.clock.Advance(300);
        if (k.sameIds) local.fp.desktop.SetNextWindowId(first);
        local.AddPage();
        local.fp.desktop.SetWindowProcess(local.page, 4200);
        ASSERT_EQ(local.page == first, k.sameIds);
        if (!k.sameIds) {
            EXPECT_FALSE(con.state.PageWindowTakenIn(local.page)) << "the other ticks leave it alone until then";
        }
        if (k.openedByTheBidder) con.OnCommand(1060);
        local.fp.clock.Advance(400);

        EXPECT_EQ(con.state.runState.load(), k.runStateAfter);
        EXPECT_EQ(con.state.pageShellLost.load(), 0);
        EXPECT_TRUE(con.state.PageWindowTakenIn(local.page));
        int opens = 0;
        for (const auto& p : local.fp.desktop.PostedTo(local.page)) opens += p.message.msg == shell::cmd::OpenRealPage;
        EXPECT_EQ(opens, k.opens);
        const std::vector<std::string> log = local.LogMessages();
        EXPECT_EQ(std::count(log.begin(), log.end(), kShellGoneText), k.keptRun ? 1 : 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), kShellBackText), k.keptRun ? 1 : 0);
        EXPECT_NE(std::find_if(log.begin(), log.end(),
                               [](const std::string& l) { return l.find("of process 4100 is now") != std::string::npos; }),
                  log.end());
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& l) { return l.find("page shell restarted within a second") == 0; }),
                  1);
        if (k.keptRun) {
            EXPECT_EQ(resetsHere, resetsOfTheRun) << "no new auction day";
        }
    }
}

// Without a run under way (the page never seen, or a practice run) a vanished page window ends
// the run as before: the next window starts a new one.
TEST_F(SecondTickTest, APageWindowThatVanishesOutsideARealRunStopsTheRunOnly) {
    rig.AddPage();
    auto& con = Start({{"moniornot", "1"}});
    Tick();
    con.controls.SetText(1046, "00:09:59");
    rig.RemovePage();
    Tick();
    EXPECT_EQ(con.state.runState.load(), 0);
    EXPECT_EQ(con.state.auctionPhase.load(), 0);
    EXPECT_EQ(con.state.pageShellLost.load(), 0);
    for (int id : {1043, 1045, 1046}) EXPECT_EQ(con.controls.Text(id), "00:00:00") << id;
    EXPECT_EQ(con.state.infoHeader.Get(), "提示：点击软件界面上的“打开国拍”");
}

TEST_F(SecondTickTest, SimulationStartsWhenTheStartMarkIsFound) {
    struct Case {
        const char* name;
        bool markVisible;
        bool voice;
        int runState;
        std::vector<int> sounds;
        std::string label1143;
    };
    const Case cases[] = {
        {"mark found, voice on", true, true, 2, {187}, "OK"},
        {"mark found, voice off", true, false, 2, {}, "OK"},
        {"no mark yet", false, true, 0, {}, "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRig local;
        local.AddPage();
        local.UserConf({{"moniornot", "1"}});
        int resetsHere = 0;
        local.hooks.clearRunRecords = [&](CKestravaDlg&) { ++resetsHere; };
        local.hooks.findStartMark = [&](CKestravaDlg&) -> std::optional<shell::PagePoint> {
            if (!c.markVisible) return std::nullopt;
            return shell::PagePoint{40, 50};
        };
        auto& con = local.Start();
        con.controls.SetCheck(CKestravaDlg::kVoiceBox, c.voice ? 1 : 0);
        local.fp.clock.Advance(1000);
        EXPECT_EQ(con.state.runState.load(), c.runState);
        EXPECT_EQ(con.controls.Text(1143), c.label1143);
        EXPECT_EQ(local.fp.sound.Played(), c.sounds);
        EXPECT_EQ(con.state.startMarkFound.load(), c.markVisible ? 1 : 0);
        EXPECT_EQ(resetsHere, c.markVisible ? 2 : 1);
        if (c.markVisible) {
            EXPECT_EQ(con.state.Geometry().lvwf_x, 40);
            EXPECT_EQ(con.state.Geometry().lvwf_y, 50);
            EXPECT_EQ(con.controls.Text(1158), "");  // the run's labels start empty
        } else {
            EXPECT_EQ(con.state.infoHeader.Get(), "提示：已进入投标竞拍，拍牌尚未开始");
        }
    }
}

TEST_F(SecondTickTest, SimulationRunPlaysItsPhaseSoundsOnceAndEndsInStateFour) {
    rig.AddPage();
    auto& con = Start({{"moniornot", "1"}});
    con.controls.SetCheck(CKestravaDlg::kVoiceBox, 1);
    con.HandleMessage({msg::StartSimulationRun, 0, 0});  // the run's 190 s start now
    EXPECT_EQ(con.state.runState.load(), 1);
    for (int i = 0; i < 200; ++i) Tick();
    // 187 at the start, 178 ten seconds in (phase 2), 188 at seventy (phase 3).
    EXPECT_EQ(rig.fp.sound.Played(), (std::vector<int>{187, 178, 188}));
    EXPECT_EQ(con.state.runState.load(), 4);
    EXPECT_EQ(con.state.auctionPhase.load(), 4);
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(con.state.runState.load(), 4);
    EXPECT_EQ(resets, 1);
    // A new start begins a new run.
    con.OnCommand(1138);
    Tick();
    EXPECT_EQ(con.state.runState.load(), 2);
    EXPECT_EQ(resets, 2);
}

TEST_F(SecondTickTest, HintThreeShowsOnceAfterThePageLoginInTheFirstHalfHour) {
    rig.fp.clock.SetNow(MakeLocal(2026, 12, 10, 10, 40, 0));
    rig.AddPage();
    std::vector<int> hints;
    rig.hooks.showHint = [&](CKestravaDlg&, int n) { hints.push_back(n); };
    auto& con = Start();
    Tick();
    con.HandleMessage({msg::PageLoggedIn, 0, 0});
    con.state.remainingSeconds = 600;
    Tick();
    Tick();
    EXPECT_EQ(hints, std::vector<int>{3});
}

TEST_F(SecondTickTest, OpeningTheSimulationPageSendsTheRunBackToWaiting) {
    rig.AddPage();
    auto& con = Start({{"moniornot", "1"}});
    con.OnCommand(1138);
    Tick();
    ASSERT_EQ(con.state.runState.load(), 2);
    rig.fp.desktop.ClearPosted();
    con.OnCommand(1060);
    EXPECT_EQ(con.state.runState.load(), 0);
    EXPECT_EQ(con.state.auctionPhase.load(), 0);
    const auto posted = rig.fp.desktop.PostedTo(rig.page);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message.msg, 0x468u);
    const auto lines = rig.LogMessages();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"鼠标点击_打开国拍", "打开国拍_模拟拍牌"}));
}

}  // namespace
}  // namespace kestrava::console::testing
