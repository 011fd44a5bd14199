// The sync client's posts through the real window protocol: a server report reaches an X11
// window found by the console's title, as the console will receive it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "net/sync_client.h"
#include "net/window_messages.h"
#include "platform/fake/fake_platform.h"
#include "platform/x11/x11_desktop.h"
#include "ws_test_server.h"

namespace kestrava::net {
namespace {

TEST(SyncClientX11Test, ServerTextsArriveAtTheConsoleWindowFoundByItsTitle) {
    auto desktop = platform::x11::X11Desktop::Open();
    if (!desktop) GTEST_SKIP() << "no X display";

    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<platform::Message> received;
    auto console = desktop->CreateMessageWindow(
        kConsoleTitle, "#32770",
        [&](const platform::Message& m) {
            std::lock_guard lock(mutex);
            received.push_back(m);
            arrived.notify_all();
        },
        /*mapped=*/true);
    ASSERT_TRUE(console);

    test::WsTestServer server;
    platform::fake::FakeClock clock;
    SyncClient::Options options;
    options.url = "ws://127.0.0.1:" + std::to_string(server.Port()) + "/?id=12345678&type=101";
    SyncClient client(clock, *desktop, options);
    client.StartSyncClient();
    ASSERT_TRUE(server.WaitForOpened(1));

    // The window may take a moment to be mapped and found; the server repeats until it is.
    std::unique_lock lock(mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        lock.unlock();
        server.SendToAll("1_1129571234,89300");
        server.SendToAll("6_3");
        lock.lock();
        arrived.wait_for(lock, std::chrono::milliseconds(200), [&] { return received.size() >= 2; });
    }
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0].msg, kMsgServerPriceReport);
    EXPECT_EQ(received[0].wParam, 89300u);
    EXPECT_EQ(received[0].lParam, 1129571234);
    EXPECT_EQ(received[1].msg, kMsgJamSignal);
    EXPECT_EQ(received[1].wParam, 3u);
    EXPECT_EQ(received[1].lParam, 0);
}

}  // namespace
}  // namespace kestrava::net
