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

}  // namespace
}  // namespace kestrava::net
