#include "net/sync_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "log/log_book.h"
#include "net/window_messages.h"
#include "platform/fake/fake_platform.h"
#include "eventually.h"
#include "ws_test_server.h"

namespace kestrava::net {
namespace {

using platform::fake::FakeClock;
using platform::fake::FakeDesktop;
using platform::fake::MakeLocal;
using platform::fake::PostedMessage;
using test::WsTestServer;
using test::Eventually;

class SyncClientTest : public ::testing::Test {
protected:
    void SetUp() override { log::SetDebugConsole(true); }

    void StartClient(std::uint32_t stopWaitMs = 500) {
        SyncClient::Options options;
        options.url = "ws://127.0.0.1:" + std::to_string(server_->Port()) + "/?id=12345678&type=101";
        options.stopWaitMs = stopWaitMs;
        client_ = std::make_unique<SyncClient>(clock_, desktop_, options);
        client_->StartSyncClient();
        ASSERT_TRUE(server_->WaitForOpened(1));
        ASSERT_TRUE(Eventually([&] { return client_->State() == LinkState::Open; }));
    }

    std::vector<PostedMessage> Posted() { return desktop_.PostedTo(console_); }

    // Declared in this order so the client goes before the desktop and the clock it uses.
    FakeClock clock_{MakeLocal(2026, 12, 10, 10, 0, 0)};
    FakeDesktop desktop_{&clock_};
    platform::WindowId console_ = desktop_.AddWindow(std::string(kConsoleTitle), "#32770", {0, 0, 300, 900});
    std::unique_ptr<WsTestServer> server_ = std::make_unique<WsTestServer>();
    std::unique_ptr<SyncClient> client_;
};

TEST_F(SyncClientTest, ServerReportsAndJamSignalsArePostedToTheConsole) {
    StartClient();
    server_->SendToAll("1_1129571234,89300");
    server_->SendToAll("hbeat");
    server_->SendToAll("6_3");
    ASSERT_TRUE(Eventually([&] { return Posted().size() == 2; }));
    const auto posted = Posted();
    EXPECT_EQ(posted[0].message.msg, kMsgServerPriceReport);
    EXPECT_EQ(posted[0].message.wParam, 89300u);
    EXPECT_EQ(posted[0].message.lParam, 1129571234);
    EXPECT_EQ(posted[1].message.msg, kMsgJamSignal);
    EXPECT_EQ(posted[1].message.wParam, 3u);
    EXPECT_EQ(posted[1].message.lParam, 0);
}

TEST_F(SyncClientTest, NoSyncHostConfiguredNeverConnectsToThisMachine) {
    // Without a sync host the URL is "ws://:9002/..."; a listener on this machine's port 9002
    // must not be taken for the sync server.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(9002);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 4) != 0) {
        ::close(listener);
        GTEST_SKIP() << "port 9002 is in use on this machine";
    }
    SyncClient::Options options;
    options.url = BuildSyncUrl("", "12345678");
    client_ = std::make_unique<SyncClient>(clock_, desktop_, options);
    client_->StartSyncClient();
    pollfd pfd{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&pfd, 1, 500), 0) << "the client connected to port 9002 of this machine";
    EXPECT_NE(client_->State(), LinkState::Open);
    client_.reset();
    ::close(listener);
}

TEST_F(SyncClientTest, MalformedTextsAreDroppedAndTheConnectionIsKept) {
    StartClient();
    testing::internal::CaptureStdout();
    const std::string malformed[] = {"1_abc", "1_", "6_", "", "1_9999999999,89300",
                                     "6_" + std::string(1 << 20, '7'), std::string("6_\0\x01", 4)};
    for (const std::string& text : malformed) {
        server_->SendToAll(text);
    }
    server_->SendToAll(std::string("\x81\x00\xff\x10", 4), /*binary=*/true);
    server_->SendToAll("6_7");
    ASSERT_TRUE(Eventually([&] { return !Posted().empty(); }));
    const std::string out = testing::internal::GetCapturedStdout();

    const auto posted = Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message.msg, kMsgJamSignal);
    EXPECT_EQ(posted[0].message.wParam, 7u);
    EXPECT_EQ(client_->State(), LinkState::Open);
    EXPECT_EQ(server_->ConnectionsOpened(), 1);
    EXPECT_TRUE(server_->CloseCodes().empty());
    EXPECT_NE(out.find("sync message dropped (too short): 1_abc\n"), std::string::npos) << out;
    EXPECT_NE(out.find("sync message dropped (no number): 6_..\n"), std::string::npos) << out;
    EXPECT_NE(out.find("sync_jindutiao:7"), std::string::npos) << out;
}

TEST_F(SyncClientTest, SendsReportsOnlyOnAnOpenConnection) {
    SyncClient::Options options;
    options.url = "ws://127.0.0.1:" + std::to_string(server_->Port()) + "/?id=1&type=101";
    SyncClient idle(clock_, desktop_, options);
    EXPECT_FALSE(idle.Send("6_0"));
    EXPECT_EQ(idle.State(), LinkState::None);

    StartClient();
    EXPECT_TRUE(client_->Send("1_1129571234,89300"));
    EXPECT_TRUE(client_->Send("6_0"));
    EXPECT_TRUE(server_->WaitForReceived("6_0"));
    EXPECT_EQ(server_->Received(), (std::vector<std::string>{"1_1129571234,89300", "6_0"}));
}

TEST_F(SyncClientTest, AConsoleHandlerRunInsideThePostMaySend) {
    // The fake desktop runs a message window's handler inside the post, on the sync thread.
    auto window = desktop_.CreateMessageWindow("Vonter沪牌抢拍助手", "#32770", [&](const platform::Message& m) {
        if (m.msg == kMsgJamSignal) client_->Send("6_0");
    });
    desktop_.RemoveWindow(console_);
    StartClient();
    server_->SendToAll("6_1");
    EXPECT_TRUE(server_->WaitForReceived("6_0"));
    EXPECT_EQ(client_->State(), LinkState::Open);
}

TEST_F(SyncClientTest, AKilledServerIsReachedAgainByTheNextHeartbeat) {
    StartClient();
    const std::uint16_t port = server_->Port();
    server_.reset();
    ASSERT_TRUE(Eventually([&] { return client_->State() == LinkState::None; }));
    EXPECT_FALSE(client_->Send("6_0"));

    // Unreachable: the tick starts a worker that fails; the link stays empty.
    client_->HeartbeatTick();
    ASSERT_TRUE(Eventually([&] { return client_->State() == LinkState::None; }));

    server_ = std::make_unique<WsTestServer>(port);
    client_->HeartbeatTick();
    ASSERT_TRUE(server_->WaitForOpened(1));
    ASSERT_TRUE(Eventually([&] { return client_->State() == LinkState::Open; }));
    clock_.Advance(30000);
    client_->HeartbeatTick();
    EXPECT_TRUE(server_->WaitForReceived("hbeat"));
    EXPECT_EQ(server_->ConnectionsOpened(), 1);
}

TEST_F(SyncClientTest, SilenceOfMoreThanAMinuteClosesWithGoingAwayAndReconnects) {
    StartClient();
    clock_.Advance(30000);
    client_->HeartbeatTick();
    clock_.Advance(30000);  // exactly 60 s of silence: still fine
    client_->HeartbeatTick();
    ASSERT_TRUE(Eventually([&] { return server_->Received().size() == 2; }));
    EXPECT_TRUE(server_->CloseCodes().empty());

    clock_.Advance(1);
    client_->HeartbeatTick();
    EXPECT_TRUE(server_->WaitForCloseCode(1001));
    EXPECT_TRUE(server_->WaitForOpened(2));
    EXPECT_TRUE(Eventually([&] { return client_->State() == LinkState::Open; }));
}

TEST_F(SyncClientTest, AServerMessageResetsTheSilenceWatch) {
    StartClient();
    clock_.Advance(50000);
    server_->SendToAll("hbeat");
    const std::uint32_t before = client_->LastMessageTick();
    ASSERT_TRUE(Eventually([&] { return client_->LastMessageTick() != before; }));
    clock_.Advance(50000);
    client_->HeartbeatTick();
    EXPECT_TRUE(server_->WaitForReceived("hbeat"));
    EXPECT_TRUE(server_->CloseCodes().empty());
    EXPECT_EQ(server_->ConnectionsOpened(), 1);
}

TEST_F(SyncClientTest, NoHeartbeatAndNoTimeoutInTheAuctionsLastSeconds) {
    clock_.SetNow(MakeLocal(2026, 12, 10, 11, 28, 50));
    StartClient();
    clock_.Advance(65000);  // 11:29:55, 65 s of silence
    client_->HeartbeatTick();
    clock_.Advance(15000);  // 11:30:10 still inside
    client_->HeartbeatTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(server_->Received().empty());
    EXPECT_TRUE(server_->CloseCodes().empty());

    clock_.Advance(1000);  // 11:30:11
    client_->HeartbeatTick();
    EXPECT_TRUE(server_->WaitForReceived("hbeat"));
    EXPECT_TRUE(server_->WaitForCloseCode(1001));
    EXPECT_TRUE(server_->WaitForOpened(2));
}

TEST_F(SyncClientTest, AWorkerLeftBehindNeverPostsAfterTheRestart) {
    StartClient(/*stopWaitMs=*/0);
    clock_.Advance(61000);
    client_->HeartbeatTick();  // closes, abandons the old worker at once, starts a new one
    ASSERT_TRUE(server_->WaitForOpened(2));
    ASSERT_TRUE(Eventually([&] { return client_->State() == LinkState::Open; }));
    // The old worker, whenever it ends, must not clear the new link.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(client_->State(), LinkState::Open);
    server_->SendToAll("6_5");
    ASSERT_TRUE(Eventually([&] { return !Posted().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Posted().size(), 1u);

    // Gone with its worker abandoned: nothing reaches the console afterwards.
    client_.reset();
    const std::size_t count = Posted().size();
    server_->SendToAll("6_6");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Posted().size(), count);
}

}  // namespace
}  // namespace kestrava::net
