#include "net/network_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/fake/fake_platform.h"
#include "tcp_test_server.h"

namespace kestrava::net {
namespace {

using test::ClosedPort;
using test::TcpTestServer;

constexpr std::int64_t k2020 = 1577836800;
constexpr std::uint32_t k2024 = 3913056000u;  // 2024-01-01 00:00:00 UTC as RFC 868 seconds

std::string Bytes(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// An RFC 868 server that sends `pieces` with a pause between them.
TcpTestServer::Script Sends(std::vector<std::string> pieces, int pauseMs = 30) {
    return [pieces, pauseMs](int fd) {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            TcpTestServer::SendAll(fd, pieces[i]);
        }
    };
}

std::string Loopback(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

TEST(NetworkClockTest, TheFirstServerThatAnswersFourBytesSetsTheClock) {
    const std::string answer = Bytes(k2024);
    struct Case {
        const char* name;
        std::vector<TcpTestServer::Script> servers;  // null: a refusing port
        std::optional<std::int64_t> set;
        std::vector<int> asked;  // connections each server accepted
    };
    const std::vector<Case> cases = {
        {"first refuses, second answers", {nullptr, Sends({answer}), Sends({answer})}, 1704067200, {0, 1, 0}},
        {"three bytes are no answer", {Sends({answer.substr(0, 3)}), Sends({answer})}, 1704067200, {1, 1}},
        {"five bytes, four of them read", {Sends({answer + "x"})}, 1704067200, {1}},
        {"four bytes in two pieces are an answer", {Sends({answer.substr(0, 2), answer.substr(2)}), Sends({answer})},
         1704067200, {1, 0}},
        {"silence is no answer", {Sends({"", answer}, 400), Sends({answer})}, 1704067200, {1, 1}},
        {"an answer before the floor is skipped", {Sends({Bytes(3786739200u)}), Sends({answer})}, 1704067200, {1, 1}},
        {"nobody answers", {nullptr, Sends({answer.substr(0, 1)}), Sends({""})}, std::nullopt, {0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<TcpTestServer>> servers;
        ClockSyncOptions options;
        options.servers.clear();
        options.notBefore = k2020;
        options.query.answerTimeoutMs = 200;
        for (const auto& script : c.servers) {
            if (script) {
                servers.push_back(std::make_unique<TcpTestServer>(script));
                options.servers.push_back(Loopback(servers.back()->Port()));
            } else {
                servers.push_back(nullptr);
                options.servers.push_back(Loopback(ClosedPort()));
            }
        }
        platform::fake::FakeSystemTime systemTime;
        EXPECT_EQ(SyncClockFromNetwork(systemTime, options), c.set);
        EXPECT_EQ(systemTime.Sets(), c.set ? std::vector<std::int64_t>{*c.set} : std::vector<std::int64_t>{});
        for (std::size_t i = 0; i < servers.size(); ++i) {
            if (servers[i]) {
                EXPECT_EQ(servers[i]->Accepted(), c.asked[i]) << "server " << i;
            }
        }
    }
}

TEST(NetworkClockTest, AnswersFromBeforeTheBuildNeverSetTheClock) {
    TcpTestServer server(Sends({Bytes(k2024)}));
    ClockSyncOptions options;
    options.servers = {Loopback(server.Port())};
    platform::fake::FakeSystemTime systemTime;
    EXPECT_EQ(SyncClockFromNetwork(systemTime, options), std::nullopt);
    EXPECT_TRUE(systemTime.Sets().empty());
}

TEST(NetworkClockTest, QueryReadsTheNetworkByteOrder) {
    TcpTestServer server(Sends({std::string("\x01\x02\x03\x04", 4)}));
    EXPECT_EQ(QueryTimeServer(Loopback(server.Port())), 0x01020304u);
    EXPECT_EQ(QueryTimeServer("127.0.0.1:0"), std::nullopt);
    EXPECT_EQ(QueryTimeServer(""), std::nullopt);
}

// A time server whose name never resolves costs no more than one that never accepts: the look-up
// counts against the connection time, and the next server is asked.
TEST(NetworkClockTest, ANameThatNeverResolvesCostsOnlyTheConnectionTime) {
    TcpTestServer answering(Sends({Bytes(k2024)}));
    // Never answers while the test runs; let go at its end, so the look-up's thread can finish.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    std::vector<std::string> looked;
    std::mutex lookedMutex;
    ClockSyncOptions options;
    options.servers = {"time.never.invalid", Loopback(answering.Port())};
    options.notBefore = k2020;
    options.query.connectTimeoutMs = 300;
    options.query.resolver = [released, &looked, &lookedMutex](const std::string& host) -> std::optional<Ipv4> {
        {
            std::lock_guard lock(lookedMutex);
            looked.push_back(host);
        }
        released.wait();
        return std::nullopt;
    };
    platform::fake::FakeSystemTime systemTime;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SyncClockFromNetwork(systemTime, options), 1704067200);
    // Not a speed goal: without a bound the look-up would never return.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(systemTime.Sets(), std::vector<std::int64_t>{1704067200});
    {
        std::lock_guard lock(lookedMutex);
        EXPECT_EQ(looked, std::vector<std::string>{"time.never.invalid"}) << "a dotted address needs no look-up";
    }
    release->set_value();
}

}  // namespace
}  // namespace kestrava::net
