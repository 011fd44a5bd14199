// A console with the real network wiring and the real engine against servers on 127.0.0.1: the
// sync server's reports reach the engine and the engine's page reports reach the server; the
// update check's answer starts the updater; the clock command sets the clock from a Time
// Protocol server.
#include "net/net_attach.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "engine/cloud_submit.h"
#include "engine/engine.h"
#include "log/log_book.h"
#include "platform/keys.h"
#include "shell/page_commands.h"
#include "eventually.h"
#include "tcp_test_server.h"
#include "unit/console/console_rig.h"
#include "ws_test_server.h"

namespace kestrava::net {
namespace {

using console::CKestravaDlg;
using console::testing::ConsoleRig;
using platform::fake::MakeLocal;
using test::TcpTestServer;
using test::WsTestServer;
using test::Eventually;

std::string Bytes(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// The console of a real run in its last seconds, its engine and its network role; the console's
// window takes the messages other programs and the sync client post. The rig's scratch folder is
// the installation folder from construction on, so a test can write files before the start.
struct WiredConsole {
    explicit WiredConsole(platform::LocalTime start = MakeLocal(2026, 12, 10, 11, 29, 52)) : rig(start) { rig.AddPage(); }
    ~WiredConsole() {
        if (role) {
            EXPECT_TRUE(role->WaitForWorkers(15000));
        }
    }

    CKestravaDlg& Start(NetworkOptions options) {
        role = std::make_shared<NetworkRole>(rig.fp.Get(), std::move(options));
        engine::EngineOptions engineOptions;
        engineOptions.sendToSync = role->SyncSender();
        engine = std::make_shared<engine::Engine>(std::move(engineOptions));
        engine::Engine::Attach(engine, rig.hooks);
        engine::AttachCloud(engine, rig.hooks);
        AttachNetwork(role, rig.hooks);
        auto& con = rig.Make();
        EXPECT_TRUE(con.OpenMessageWindow());
        EXPECT_TRUE(con.OnInitDialog().ok);
        return con;
    }

    ConsoleRig rig;
    std::shared_ptr<NetworkRole> role;
    std::shared_ptr<engine::Engine> engine;
};

TEST(NetAttachComponentTest, ServerReportsReachTheEngineAndPageReportsReachTheServer) {
    WsTestServer server;
    NetworkOptions options;
    options.syncUrl = "ws://127.0.0.1:" + std::to_string(server.Port()) + "/?id=12345678&type=101";
    WiredConsole wired;
    CKestravaDlg& con = wired.Start(options);
    ASSERT_TRUE(server.WaitForOpened(1));
    ASSERT_TRUE(Eventually([&] { return wired.role->SyncState() == LinkState::Open; }));
    con.state.remainingSeconds = 8;

    // Another bidder's console saw a higher price than this page shows.
    server.SendToAll("1_1129571234,89500");
    ASSERT_TRUE(Eventually([&] { return wired.engine->records.feedLowestPrice.load() == 89500; }));

    // The page shell reports its own price and clock: the report carries the highest price seen.
    con.HandleMessage({console::msg::PageReport, 89300, 1129575678});
    EXPECT_TRUE(server.WaitForReceived("1_1129575678,89500"));

    // A progress-bar sighting goes out as "6_0", once: the report sent after it arrives behind
    // anything the sighting sent.
    con.HandleMessage({console::msg::ProgressBarSeen, 0, 0});
    con.HandleMessage({console::msg::PageReport, 89600, 1129576000});
    EXPECT_TRUE(server.WaitForReceived("1_1129576000,89600"));
    const std::vector<std::string> received = server.Received();
    EXPECT_EQ(std::count(received.begin(), received.end(), "6_0"), 1);

    // The shutdown ends the connection; nothing is sent afterwards.
    con.OnClose();
    EXPECT_TRUE(Eventually([&] { return server.ConnectionsOpen() == 0; }));
    EXPECT_EQ(wired.role->SyncState(), LinkState::None);
    EXPECT_FALSE(wired.role->SyncSender()("1_1129575999,89500"));
}

// The sync server dies eight seconds before the end and comes back on its port a second later.
// While it is away the console's sends are dropped at once (nothing blocks the interface thread,
// nothing is kept to be sent late), the price a server report brought stays, and the page's own
// reports go on feeding the engine. The console's own heartbeat tick (the 30-second timer started
// at 11:29:25) reconnects at 11:29:55, inside the quiet last half minute, without a keep-alive;
// the new server then gets the report of 57.6 s (not the one made while it was away) and its jam
// signal confirms the armed submission, once.
TEST(NetAttachComponentTest, ASyncServerKilledInTheLastSecondsIsReachedAgainByTheHeartbeat) {
    auto server = std::make_unique<WsTestServer>();
    const std::uint16_t port = server->Port();
    NetworkOptions options;
    options.syncUrl = "ws://127.0.0.1:" + std::to_string(port) + "/?id=12345678&type=101";
    WiredConsole wired(MakeLocal(2026, 12, 10, 11, 29, 25));
    CKestravaDlg& con = wired.Start(options);
    ASSERT_TRUE(server->WaitForOpened(1));
    ASSERT_TRUE(Eventually([&] { return wired.role->SyncState() == LinkState::Open; }));
    auto& clock = wired.rig.fp.clock;
    auto& records = wired.engine->records;
    auto confirmations = [&] {
        int n = 0;
        for (const auto& p : wired.rig.fp.desktop.PostedTo(wired.rig.page))
            n += p.message.msg == shell::cmd::ConfirmCodeElement;
        return n;
    };

    clock.AdvanceTo(MakeLocal(2026, 12, 10, 11, 29, 51));
    // After the day's reset of the first ticks: the bidder's submission is armed at a gap the price
    // never closes; past 57.5 a jam signal confirms it.
    con.controls.SetCheck(engine::box::CloudSubmit, 1);
    con.state.lowestPrice = 89000;
    con.state.remainingSeconds = 9;  // no perception role here: the test keeps the remaining time
    wired.engine->Fire(con, engine::SubmissionInput::Apply, 91000);
    wired.engine->Fire(con, engine::SubmissionInput::Enter);
    records.past575 = 1;
    server->SendToAll("1_1129510000,89500");
    ASSERT_TRUE(Eventually([&] { return records.feedLowestPrice.load() == 89500; }));

    server.reset();  // killed: no closing handshake
    ASSERT_TRUE(Eventually([&] { return wired.role->SyncState() == LinkState::None; }));
    clock.AdvanceTo(MakeLocal(2026, 12, 10, 11, 29, 52));
    con.state.remainingSeconds = 8;
    con.HandleMessage({console::msg::PageReport, 89600, 1129520000});
    con.HandleMessage({console::msg::ProgressBarSeen, 0, 0});
    EXPECT_EQ(records.feedLowestPrice.load(), 89600);  // the page's own feed goes on
    EXPECT_EQ(confirmations(), 0);

    server = std::make_unique<WsTestServer>(port);
    clock.AdvanceTo(MakeLocal(2026, 12, 10, 11, 29, 55, 10));
    ASSERT_TRUE(server->WaitForOpened(1));
    ASSERT_TRUE(Eventually([&] { return wired.role->SyncState() == LinkState::Open; }));

    clock.AdvanceTo(MakeLocal(2026, 12, 10, 11, 29, 57, 600));
    con.state.remainingSeconds = 3;
    con.HandleMessage({console::msg::PageReport, 89700, 1129576000});
    EXPECT_TRUE(server->WaitForReceived("1_1129576000,89700"));
    server->SendToAll("6_2");
    ASSERT_TRUE(Eventually([&] { return confirmations() == 1; }));
    server->SendToAll("6_3");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(confirmations(), 1);
    // Nothing sent while the server was away arrives late, and no keep-alive in the quiet window.
    EXPECT_EQ(server->Received(), std::vector<std::string>{"1_1129576000,89700"});
    const std::vector<std::string> log = wired.rig.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "ABC  2 ，点击确定"), 1);
    con.OnClose();
}

TEST(NetAttachComponentTest, ANewerVersionOnTheUpdateServerStartsTheUpdaterAndClosesTheRun) {
    TcpTestServer updateServer([](int fd) {
        TcpTestServer::ReadRequest(fd);
        const std::string body = "[MAINVER]\r\nmainver=8.41\r\nupdaterestart=1\r\n";
        TcpTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
    WiredConsole wired;
    std::ofstream("Update.ini") << "[MAINVER]\r\nmainver=8.401\r\n[URL]\r\n"
                                   "iniurl0=http://127.0.0.1/v/Updater.ini\r\niniurl1=http://127.0.0.1/v/Updater.ini\r\n"
                                   "iniurl2=http://127.0.0.1/v/Updater.ini\r\niniurl3=http://127.0.0.1/v/Updater.ini\r\n"
                                   "iniurl4=http://127.0.0.1/v/Updater.ini\r\n";
    wired.rig.fp.programs.AddFile("./Updater.exe");
    NetworkOptions options;
    options.syncUrl = "no url";
    options.updateCheck.download.port = updateServer.Port();
    options.updateCheck.download.connectTimeoutMs = 2000;
    options.updateCheck.download.receiveTimeoutMs = 2000;

    // 11:29:52 lies outside the quiet minutes: the start-up runs the check.
    wired.Start(options);
    ASSERT_TRUE(wired.role->WaitForWorkers(10000));

    const auto started = wired.rig.fp.programs.Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].path, "./Updater.exe");
    EXPECT_EQ(started[0].args, std::vector<std::string>{"-p"});
    std::vector<std::uint32_t> toConsole;
    const platform::WindowId consoleWindow = wired.rig.fp.desktop.FindWindowByTitle(console::kConsoleTitle);
    for (const auto& p : wired.rig.fp.desktop.PostedTo(consoleWindow)) toConsole.push_back(p.message.msg);
    EXPECT_EQ(toConsole, (std::vector<std::uint32_t>{console::msg::UpdateReady, platform::wm::Close}));
    EXPECT_TRUE(wired.rig.fp.notices.Shown().empty());
}

TEST(NetAttachComponentTest, ClockCommandSetsTheClockFromATimeServer) {
    constexpr std::uint32_t k2024 = 3913056000u;  // 2024-01-01 00:00:00 UTC as RFC 868 seconds
    TcpTestServer timeServer([](int fd) { TcpTestServer::SendAll(fd, Bytes(k2024)); });
    NetworkOptions options;
    options.syncUrl = "no url";
    options.clockSync.servers = {"127.0.0.1:" + std::to_string(timeServer.Port())};
    options.clockSync.notBefore = 1577836800;  // 2020
    WiredConsole wired;
    CKestravaDlg& con = wired.Start(options);

    con.OnCommand(1137);
    ASSERT_TRUE(wired.role->WaitForWorkers(10000));
    EXPECT_EQ(wired.rig.fp.systemTime.Sets(), std::vector<std::int64_t>{1704067200});
    EXPECT_EQ(timeServer.Accepted(), 1);
}

}  // namespace
}  // namespace kestrava::net
