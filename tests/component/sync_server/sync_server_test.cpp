// One sync server node with real WebSocket clients on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>

#include "protocol.h"
#include "raw_websocket.h"
#include "sync_test_support.h"
#include "ws_clients.h"

namespace kestrava::sync::testing {
namespace {

using namespace std::chrono_literals;

TEST(SyncServerTest, RelaysReportsAndJamSignalsBetweenConsoles) {
    ServerSettings s;
    s.rules.jamQuorum = 2;
    RunningNode server(s);
    ASSERT_TRUE(server.Ok());
    WsClients clients;
    const int a = clients.Open(server.Url("10000001"));
    const int b = clients.Open(server.Url("10000002"));
    const int c = clients.Open(server.Url("10000003"));
    for (int i : {a, b, c}) ASSERT_TRUE(clients.WaitOpen(i));

    clients.Send(a, "hbeat");
    EXPECT_TRUE(clients.WaitFor(a, "hbeat"));

    // The first report of the room needs a second bid number; the second relays it to the others.
    const std::string t1 = NowCode(), t2 = NowCode(10);
    clients.Send(a, "1_" + t1 + ",89300");
    std::this_thread::sleep_for(100ms);
    clients.Send(b, "1_" + t2 + ",89300");
    const std::string relayed = "1_" + t2 + ",89300";
    EXPECT_TRUE(clients.WaitFor(a, relayed));
    EXPECT_TRUE(clients.WaitFor(c, relayed));
    // A rise within the limit goes at once; the sender never hears its own report.
    const std::string rise = "1_" + NowCode(20) + ",89400";
    clients.Send(c, rise);
    EXPECT_TRUE(clients.WaitFor(a, rise));
    EXPECT_TRUE(clients.WaitFor(b, rise));

    clients.Send(a, "6_0");
    clients.Send(b, "6_0");
    for (int i : {a, b, c}) EXPECT_TRUE(clients.WaitFor(i, "6_2"));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Reports(clients.Received(a)), (std::vector<std::string>{relayed, rise, "6_2"}));
    EXPECT_EQ(Reports(clients.Received(b)), (std::vector<std::string>{rise, "6_2"}));
    EXPECT_EQ(Reports(clients.Received(c)), (std::vector<std::string>{relayed, "6_2"}));
}

TEST(SyncServerTest, RefusesOtherTargetsBidNumbersOffTheListAndCrowdedAddresses) {
    const std::string allow = ::testing::TempDir() + "sync-allow.txt";
    std::ofstream(allow) << "# the club\n10000001\n10000002\n";
    ServerSettings s;
    ASSERT_TRUE(LoadAllowList(allow, s.rules.allowList, nullptr));
    s.rules.connectionsPerAddress = 2;
    RunningNode server(s);
    ASSERT_TRUE(server.Ok());
    const std::string base = "ws://127.0.0.1:" + std::to_string(server.Node().Port());
    WsClients clients;
    struct Row { std::string url; bool open; int status; };
    const std::vector<Row> rows = {
        {server.Url("10000001"), true, 0},
        {base + "/?id=10000001&type=102", false, 400},
        {base + "/?id=1000000&type=101", false, 400},
        {base + "/sync?id=10000001&type=101", false, 400},
        {server.Url("10000003"), false, 403},
        {server.Url("10000002"), true, 0},
        {server.Url("10000002"), false, 429},
    };
    std::vector<int> opened;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.url);
        const int i = clients.Open(r.url);
        EXPECT_EQ(clients.WaitOpen(i), r.open);
        EXPECT_EQ(clients.Status(i), r.status);
        if (r.open) opened.push_back(i);
    }
    // A closed connection frees its place.
    clients.Close(opened[0]);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(clients.WaitOpen(clients.Open(server.Url("10000001"))));
    EXPECT_EQ(server.LogCount("refused bad-target"), 1) << "one line for the streak";
    EXPECT_EQ(server.LogCount("refused not-allowed from 127.0.0.1: 10000003"), 1);
    EXPECT_EQ(server.LogCount("refused address-full"), 1);
}

// Many clients sending nothing but bad frames: the server stays up, a good report still goes
// through to every other console, and nothing else reaches them.
TEST(SyncServerTest, FloodOfBadFramesRelaysNothingBadAndKeepsServing) {
    ServerSettings s;
    s.rules.connectionsPerAddress = 0;
    s.rules.ratePerSecond = 1000000;  // every bad frame reaches the parser and the rules
    s.rules.dropAfterRefusals = 0;    // and no flooder is closed for it
    RunningNode server(s);
    ASSERT_TRUE(server.Ok());
    WsClients flood(false);
    WsClients consoles;
    const int kFlooders = 40, kFrames = 250;
    std::vector<int> flooders;
    for (int i = 0; i < kFlooders; ++i) flooders.push_back(flood.Open(server.Url(std::to_string(20000000 + i))));
    for (int i : flooders) ASSERT_TRUE(flood.WaitOpen(i));
    const int a = consoles.Open(server.Url("10000001"));
    const int b = consoles.Open(server.Url("10000002"));
    const int watcher = consoles.Open(server.Url("10000003"));
    for (int i : {a, b, watcher}) ASSERT_TRUE(consoles.WaitOpen(i));

    std::thread flooding([&] {
        const std::string big(1000, 'x');
        const std::string huge(100000, 'y');  // beyond what the server reads: the connection ends
        for (int k = 0; k < kFrames; ++k) {
            for (int n = 0; n < kFlooders; ++n) {
                const int i = flooders[n];
                switch ((k + n) % 9) {
                    case 0: flood.Send(i, std::string("\x01\xff garbage ") + std::to_string(k)); break;
                    case 1: flood.Send(i, big); break;
                    case 2: flood.Send(i, "1_" + NowCode() + ",89300,1"); break;
                    case 3: flood.Send(i, "1_" + NowCode() + ",50000"); break;                    // fake low
                    case 4: flood.Send(i, "1_" + NowCode() + "," + std::to_string(100000 + 100 * n)); break;  // fake high
                    case 5: flood.Send(i, "1_" + NowCode(-60000) + ",89300"); break;             // old time
                    case 6: flood.Send(i, "6_9"); break;
                    case 7: flood.Send(i, "1_" + NowCode() + ",89350"); break;                   // off the grid
                    case 8: if (k == 8 && n == 0) flood.Send(i, huge); else flood.Send(i, "1_abc"); break;
                }
            }
        }
    });
    // Meanwhile two consoles agree on a price.
    std::this_thread::sleep_for(50ms);
    const std::string good = "1_" + NowCode(10) + ",89300";
    consoles.Send(a, "1_" + NowCode() + ",89300");
    std::this_thread::sleep_for(20ms);
    consoles.Send(b, good);
    EXPECT_TRUE(consoles.WaitFor(watcher, good, 10s));
    flooding.join();

    // The flood's last frames may still be on their way through the server (slowly, under a
    // sanitizer): read its counts until they have caught up or a deadline passes.
    std::uint64_t refused = 0, oversize = 0;
    const auto until = std::chrono::steady_clock::now() + 20s;
    do {
        ASSERT_TRUE(server.Node().Inspect([&](const RelayRules& r, bool) {
            refused = r.Refusals().Total();
            oversize = r.Refusals().Count(Refusal::Oversize);
        }));
        if (refused > static_cast<std::uint64_t>(kFlooders * kFrames / 2)) break;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < until);

    // Still serving: a new console is answered.
    const int late = consoles.Open(server.Url("10000004"));
    ASSERT_TRUE(consoles.WaitOpen(late));
    consoles.Send(late, "hbeat");
    EXPECT_TRUE(consoles.WaitFor(late, "hbeat"));
    EXPECT_EQ(Reports(consoles.Received(watcher)), std::vector<std::string>{good});
    EXPECT_EQ(Reports(consoles.Received(a)), std::vector<std::string>{good});
    EXPECT_GT(refused, static_cast<std::uint64_t>(kFlooders * kFrames / 2));
    EXPECT_GT(oversize, 0u);
    EXPECT_LT(server.Log().size(), 40u) << "refusals are logged once per streak";
}

// A client that keeps sending what the rules refuse is closed (1008) after the limit within a
// second, logged once; the consoles beside it go on being served.
TEST(SyncServerTest, AFlooderIsClosedAndTheConsolesGoOn) {
    ServerSettings s;
    s.rules.connectionsPerAddress = 0;
    s.rules.dropAfterRefusals = 50;
    RunningNode server(s);
    ASSERT_TRUE(server.Ok());
    WsClients clients;
    const int flooder = clients.Open(server.Url("20000001"));
    const int a = clients.Open(server.Url("10000001"));
    const int watcher = clients.Open(server.Url("10000002"));
    for (int i : {flooder, a, watcher}) ASSERT_TRUE(clients.WaitOpen(i));
    for (int k = 0; k < 200; ++k) clients.Send(flooder, "1_" + NowCode() + ",50000");
    ASSERT_TRUE(clients.WaitEnded(flooder));
    EXPECT_EQ(clients.CloseCode(flooder), 1008);

    std::uint64_t dropped = 0, refused = 0;
    ASSERT_TRUE(server.Node().Inspect([&](const RelayRules& r, bool) {
        dropped = r.Refusals().Count(Refusal::Dropped);
        refused = r.Refusals().Total();
    }));
    EXPECT_EQ(dropped, 1u);
    EXPECT_EQ(refused, 52u) << "51 frames and the drop; nothing the flooder sent after it was looked at";

    // The consoles beside it are still served: two bid numbers agree on a price.
    const std::string first = "1_" + NowCode() + ",89300", good = "1_" + NowCode(10) + ",89300";
    clients.Send(watcher, first);
    std::this_thread::sleep_for(20ms);
    clients.Send(a, good);
    EXPECT_TRUE(clients.WaitFor(watcher, good));
    EXPECT_EQ(server.LogCount("refused dropped from 20000001: 51 refused frames within a second"), 1);
}

// A console on a plain socket with a small receive buffer, which can stop reading for a while.
class SlowConsole {
public:
    SlowConsole(int port, const std::string& bid) : fd_(ConnectLoopback(port, 4096)) {
        open_ = fd_ >= 0 && Upgrade(fd_, bid, 5s, &buffered_);
    }
    ~SlowConsole() {
        if (fd_ >= 0) close(fd_);
    }
    bool Open() const { return open_; }

    bool Send(int opcode, const std::string& payload) {
        const std::string f = MaskedFrame(opcode, payload);
        return ::send(fd_, f.data(), f.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(f.size());
    }

    // Reads and splits the server's frames until `count` have come or nothing comes for 5 s:
    // (opcode, payload) each; a frame that is not a whole, well-formed server frame ends the list
    // with (-1, what was left).
    std::vector<std::pair<int, std::string>> Frames(std::size_t count) {
        std::vector<std::pair<int, std::string>> out;
        std::string& b = buffered_;
        while (out.size() < count) {
            if (b.size() >= 2) {
                const bool fin = (b[0] & 0x80) != 0, masked = (b[1] & 0x80) != 0;
                const std::size_t len = static_cast<std::size_t>(b[1] & 0x7f);
                if (!fin || masked || (b[0] & 0x70) != 0 || len > 125) {
                    out.emplace_back(-1, b.substr(0, 40));
                    return out;
                }
                if (b.size() >= 2 + len) {
                    out.emplace_back(b[0] & 0x0f, b.substr(2, len));
                    b.erase(0, 2 + len);
                    continue;
                }
            }
            if (!ReadSome(fd_, b, 5s)) break;
        }
        return out;
    }

private:
    int fd_;
    bool open_ = false;
    std::string buffered_;
};

// A server with a slow console (10000009) and two ordinary ones (a, b) in its room.
struct SlowRoom {
    explicit SlowRoom(const ServerSettings& s) : server(s), slow(server.Node().Port(), "10000009") {
        a = clients.Open(server.Url("10000001"));
        b = clients.Open(server.Url("10000002"));
    }
    bool Ok() { return server.Ok() && slow.Open() && clients.WaitOpen(a) && clients.WaitOpen(b); }

    RunningNode server;
    SlowConsole slow;
    WsClients clients;
    int a = 0;
    int b = 0;
};

// A console that stops reading while the server has much to send it gets everything later,
// whole and in order: the pongs to its own pings and the reports relayed to it, between them.
TEST(SyncServerTest, AConsoleThatFallsBehindGetsEveryFrameWholeAndInOrder) {
    ServerSettings s;
    s.rules.clockSkewMs = 0;
    s.rules.ratePerSecond = 1000000;
    s.rules.dropAfterRefusals = 0;
    s.rules.backlogLimit = 0;  // however far behind
    SlowRoom room(s);
    ASSERT_TRUE(room.Ok());
    auto& [server, slow, clients, a, b] = room;
    clients.Send(a, "1_1129000000,89300");  // the room's first price, agreed by two bid numbers
    clients.Send(b, "1_1129000001,89300");
    ASSERT_TRUE(clients.WaitFor(a, "1_1129000001,89300"));

    // Far more than the socket buffers hold (6.3 MB of pongs; the send buffer grows to 4 MB at
    // most), reports among them.
    const int kPings = 50000, kReports = 200;
    std::vector<std::string> reports;
    std::thread reporting([&] {
        for (int r = 0; r < kReports; ++r) {
            reports.push_back(ReportText(1129000002 + r, 89300));
            clients.Send(a, reports.back());
            std::this_thread::sleep_for(1ms);
        }
    });
    const std::string pad(119, 'p');  // 125-byte pings, the most a control frame carries
    for (int k = 0; k < kPings; ++k) ASSERT_TRUE(slow.Send(0x9, pad + std::to_string(100000 + k)));
    reporting.join();
    ASSERT_TRUE(clients.WaitFor(b, reports.back(), 10s));

    const auto frames = slow.Frames(1 + kPings + kReports);
    ASSERT_FALSE(frames.empty());
    std::vector<std::string> pongs, texts;
    for (const auto& [opcode, payload] : frames) {
        ASSERT_NE(opcode, -1) << "a broken frame after " << pongs.size() << " pongs and " << texts.size()
                              << " texts: " << Printable(payload);
        (opcode == 0xa ? pongs : texts).push_back(payload);
    }
    ASSERT_EQ(pongs.size(), static_cast<std::size_t>(kPings));
    for (int k = 0; k < kPings; ++k) ASSERT_EQ(pongs[k], pad + std::to_string(100000 + k)) << "pong " << k;
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(1 + kReports));
    EXPECT_EQ(texts.front(), "1_1129000001,89300");
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()), reports);
}

// A console that never reads is closed once more than the backlog limit waits for it in the
// server (beyond what the socket buffers hold), counted and logged once; the others go on.
TEST(SyncServerTest, AConsoleThatStopsReadingIsClosedOnceItsBacklogPassesTheLimit) {
    ServerSettings s;
    s.rules.ratePerSecond = 1000000;
    s.rules.dropAfterRefusals = 0;
    s.rules.backlogLimit = 64 * 1024;
    SlowRoom room(s);
    ASSERT_TRUE(room.Ok());
    auto& [server, slow, clients, a, b] = room;

    // Pings (125 bytes each) until the server has given up on the console: the kernel's buffers
    // take a few MB of pongs first, then the limit's 64 KB queue in the server.
    const std::string pad(119, 'p');
    std::uint64_t closed = 0;
    int local = 0;
    for (int k = 0; k < 200000 && closed == 0; ++k) {
        if (!slow.Send(0x9, pad + std::to_string(100000 + k))) break;  // already gone
        if (k % 1000 != 999) continue;
        ASSERT_TRUE(server.Node().Inspect([&](const RelayRules& r, bool) { closed = r.Refusals().Count(Refusal::Backlog); }));
    }
    // The close frame waits behind the backlog; the close handshake's timeout ends the connection.
    const auto until = std::chrono::steady_clock::now() + 10s;
    do {
        ASSERT_TRUE(server.Node().Inspect([&](const RelayRules& r, bool) {
            closed = r.Refusals().Count(Refusal::Backlog);
            local = r.LocalClients();
        }));
        if (closed > 0 && local == 2) break;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < until);
    EXPECT_EQ(closed, 1u);
    EXPECT_EQ(local, 2) << "the console's connection has ended";
    EXPECT_EQ(server.LogCount("refused backlog from 10000009:"), 1);

    const std::string first = "1_" + NowCode() + ",89300", good = "1_" + NowCode(10) + ",89300";
    clients.Send(a, first);
    std::this_thread::sleep_for(20ms);
    clients.Send(b, good);
    EXPECT_TRUE(clients.WaitFor(a, good));
}

}  // namespace
}  // namespace kestrava::sync::testing
