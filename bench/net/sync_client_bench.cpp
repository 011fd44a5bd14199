// How fast a server's text becomes a console message: the jam signal matters within the last
// half second of the auction.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/sync_client.h"
#include "net/window_messages.h"
#include "platform/fake/fake_platform.h"
#include "ws_test_server.h"

namespace kestrava::net {
namespace {

void BM_ParseSyncMessage(benchmark::State& state) {
    const std::string text = "1_1129571234,89300";
    for (auto _ : state) benchmark::DoNotOptimize(ParseSyncMessage(text));
}
BENCHMARK(BM_ParseSyncMessage);

// Server send → message handled by the console window, over a loopback WebSocket.
void BM_ServerTextToConsoleMessage(benchmark::State& state) {
    platform::fake::FakeClock clock;
    platform::fake::FakeDesktop desktop(&clock);
    std::atomic<int> handled{0};
    auto console = desktop.CreateMessageWindow(kConsoleTitle, "#32770", [&](const platform::Message&) { ++handled; });
    test::WsTestServer server;
    SyncClient::Options options;
    options.url = "ws://127.0.0.1:" + std::to_string(server.Port()) + "/?id=1&type=101";
    SyncClient client(clock, desktop, options);
    client.StartSyncClient();
    if (!server.WaitForOpened(1)) {
        state.SkipWithError("no connection");
        return;
    }
    while (client.State() != LinkState::Open) std::this_thread::yield();
    for (auto _ : state) {
        const int before = handled.load();
        server.SendToAll("6_3");
        while (handled.load() == before) {
        }
    }
}
BENCHMARK(BM_ServerTextToConsoleMessage)->UseRealTime();

}  // namespace
}  // namespace kestrava::net
