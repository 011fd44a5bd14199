#include "net/http_get.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <thread>

#include "log/log_book.h"
#include "tcp_test_server.h"

namespace kestrava::net {
namespace {

using test::ClosedPort;
using test::TcpTestServer;

TEST(HttpGetTest, RequestsPathAndQueryAndReturnsTheWholeBody) {
    std::string request;
    TcpTestServer server([&](int fd) {
        request = TcpTestServer::ReadRequest(fd);
        // The body comes in three pieces with pauses between them.
        TcpTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: close\r\n\r\n8230");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        TcpTestServer::SendAll(fd, "0\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        TcpTestServer::SendAll(fd, "xyz\n\n");
    });
    const std::string body = HttpGet("http://127.0.0.1:" + std::to_string(server.Port()) + "/conf/get.jsp?hpbase");
    EXPECT_EQ(body, "82300\r\nxyz\n\n");
    EXPECT_TRUE(request.starts_with("GET /conf/get.jsp?hpbase HTTP/1.1\r\n")) << request;
    EXPECT_NE(request.find("User-Agent: HttpGet\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("Content-type: application/x-www-form-urlencoded\r\n"), std::string::npos) << request;
}

TEST(HttpGetTest, ReturnsTheBodyWhateverTheStatusAfterRedirects) {
    httplib::Server server;
    server.Get("/notice", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("没有通知", "text/plain");
    });
    server.Get("/old", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/notice"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(HttpGet("http://127.0.0.1:" + std::to_string(port) + "/notice"), "没有通知");
    EXPECT_EQ(HttpGet("http://127.0.0.1:" + std::to_string(port) + "/old"), "没有通知");
    server.stop();
    thread.join();
}

TEST(HttpGetTest, FailuresAreErrorTexts) {
    TcpTestServer silentClose([](int fd) { TcpTestServer::ReadRequest(fd); });
    TcpTestServer cutShort([](int fd) {
        TcpTestServer::ReadRequest(fd);
        TcpTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n82300");
    });
    struct Case {
        const char* name;
        std::string url;
        const char* result;
    };
    const Case cases[] = {
        {"closed port", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/ip.jsp", "Error:SendRequest failed!\n"},
        {"closed without an answer", "http://127.0.0.1:" + std::to_string(silentClose.Port()) + "/ip.jsp",
         "Error:EndRequest failed!\n"},
        {"body cut short", "http://127.0.0.1:" + std::to_string(cutShort.Port()) + "/?dwbase",
         "Error:EndRequest failed!\n"},
        {"not an address", "no address at all", "Error:Connect failed!\n"},
        {"not http", "ftp://127.0.0.1/x", "Error:Connect failed!\n"},
    };
    log::SetDebugConsole(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        EXPECT_EQ(HttpGet(c.url), c.result);
        const std::string out = testing::internal::GetCapturedStdout();
        if (std::string_view(c.result) == "Error:Connect failed!\n") {
            EXPECT_NE(out.find("Error:WinHttpCrackUrl failed!\n"), std::string::npos) << out;
        }
    }
}

// A server that never quite stalls, or that sends without end, is cut off: the whole transfer
// has a deadline and the body a cap. A body of exactly the cap still arrives whole.
TEST(HttpGetTest, ATransferEndsAtItsDeadlineAndItsBodyAtItsCap) {
    constexpr int kTrickleMs = 100;
    constexpr int kServerGivesUpMs = 8000;
    const std::string headers = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    const std::string thousand(1000, '7');
    struct Case {
        const char* name;
        TcpTestServer::Script script;
        std::string result;
    };
    const Case cases[] = {
        {"headers trickle",
         [](int fd) {
             TcpTestServer::ReadRequest(fd);
             TcpTestServer::Trickle(fd, "HTTP/1.1 200 OK\r\nX-Slow: ", kTrickleMs, kServerGivesUpMs);
         },
         "Error:EndRequest failed!\n"},
        {"body trickles",
         [&](int fd) {
             TcpTestServer::ReadRequest(fd);
             TcpTestServer::Trickle(fd, headers + "82", kTrickleMs, kServerGivesUpMs);
         },
         "Error:EndRequest failed!\n"},
        {"body without end",
         [&](int fd) {
             TcpTestServer::ReadRequest(fd);
             TcpTestServer::SendAll(fd, headers);
             for (int i = 0; i < 1000; ++i) TcpTestServer::SendAll(fd, std::string(4096, '9'));
         },
         "Error:EndRequest failed!\n"},
        {"declared length over the cap",
         [&](int fd) {
             TcpTestServer::ReadRequest(fd);
             TcpTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\n" + thousand + "7");
         },
         "Error:EndRequest failed!\n"},
        {"body of exactly the cap",
         [&](int fd) {
             TcpTestServer::ReadRequest(fd);
             TcpTestServer::SendAll(fd, headers + thousand);
         },
         thousand},
    };
    HttpGetOptions options;
    options.limits = {std::chrono::milliseconds(600), 1000};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TcpTestServer server(c.script);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(HttpGet("http://127.0.0.1:" + std::to_string(server.Port()) + "/?notice", options), c.result);
        // Not a speed goal: without a deadline the trickling cases would take the server's 8 s.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    }
}

}  // namespace
}  // namespace kestrava::net
