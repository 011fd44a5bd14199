#include "net/update_check.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "net/http_socket.h"
#include "net/window_messages.h"
#include "platform/fake/fake_platform.h"
#include "tcp_test_server.h"

namespace kestrava::net {
namespace {

namespace fs = std::filesystem;
using test::ClosedPort;
using test::TcpTestServer;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrava_download_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        options_.outputPath = (dir_ / "Updater.ini").string();
        options_.receiveTimeoutMs = 300;
    }
    void TearDown() override { fs::remove_all(dir_); }

    bool Download(std::uint16_t port, const std::string& object = "/v/Updater.ini") {
        options_.port = port;
        return DownloadToFile("http://127.0.0.1" + object, notices_, options_);
    }
    std::vector<std::string> Notices() {
        std::vector<std::string> texts;
        for (const auto& [text, caption] : notices_.Shown()) texts.push_back(text);
        return texts;
    }

    fs::path dir_;
    DownloadOptions options_;
    platform::fake::FakeNotices notices_;
};

TEST_F(DownloadTest, SendsTheRequestByteForByteAndStoresABodyThatComesInPieces) {
    std::string request;
    TcpTestServer server([&](int fd) {
        request = TcpTestServer::ReadRequest(fd);
        TcpTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 27\r\n\r\n[MAINVER]\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        TcpTestServer::SendAll(fd, "mainver=8.41\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        TcpTestServer::SendAll(fd, "\r\nextra bytes past the length");
    });
    ASSERT_TRUE(Download(server.Port(), "/v/Updater.ini?x=1"));
    EXPECT_EQ(request, CHttpSocket::FormatRequestHeader("127.0.0.1", "/v/Updater.ini?x=1"));
    EXPECT_EQ(ReadFile(options_.outputPath), "[MAINVER]\r\nmainver=8.41\r\n\r\n");
    EXPECT_TRUE(Notices().empty());
}

TEST_F(DownloadTest, OddServersGiveAnEmptyFileOrAClearFailure) {
    struct Case {
        const char* name;
        TcpTestServer::Script script;
        bool result;
        bool fileKept;
        std::vector<std::string> notices;
    };
    const auto respond = [](std::string bytes, int stallMs = 0) {
        return [bytes, stallMs](int fd) {
            TcpTestServer::ReadRequest(fd);
            TcpTestServer::SendAll(fd, bytes);
            if (stallMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
        };
    };
    const Case cases[] = {
        {"no Content-Length", respond("HTTP/1.1 200 OK\r\n\r\n[MAINVER]\r\nmainver=9.0\r\n"), true, true, {}},
        {"absurd Content-Length", respond("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n[MAINVER]\r\n"), true,
         true, {}},
        {"negative Content-Length", respond("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nx"), true, true, {}},
        {"closed before the header", respond("HTTP/1.1 200 OK\r\nContent-Le"), true, true, {}},
        {"silent after accepting", respond("", 500), true, true, {}},
        {"closed early", respond("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n[MAINVER]\r\nmainver=9"), false, false,
         {"服务器已经关闭连接."}},
        {"stalled body", respond("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n[MAINVER]\r\n", 500), false, false,
         {"接收数据超时."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::fake::FakeNotices notices;
        std::ofstream(options_.outputPath) << "[MAINVER]\nmainver=1.0\n";  // an old file is emptied
        TcpTestServer server(c.script);
        options_.port = server.Port();
        EXPECT_EQ(DownloadToFile("http://127.0.0.1/v/Updater.ini", notices, options_), c.result);
        EXPECT_EQ(fs::exists(options_.outputPath), c.fileKept);
        if (c.fileKept) {
            EXPECT_EQ(ReadFile(options_.outputPath), "");
        }
        std::vector<std::string> shown;
        for (const auto& [text, caption] : notices.Shown()) shown.push_back(text);
        EXPECT_EQ(shown, c.notices);
    }
}

TEST_F(DownloadTest, AnUnreachableServerGivesAnEmptyFile) {
    ASSERT_TRUE(Download(ClosedPort()));
    EXPECT_EQ(ReadFile(options_.outputPath), "");
    EXPECT_TRUE(Notices().empty());
}

// The whole check against an HTTP server serving the remote version file.
class CheckForUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrava_update_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        server_.Get("/v/Updater.ini", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            res.set_content(remote_, "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        console_ = fake_.desktop.AddWindow(std::string(kConsoleTitle), "#32770", {0, 0, 300, 900});
        options_.updateIniPath = (dir_ / "Update.ini").string();
        options_.download.port = static_cast<std::uint16_t>(port_);
        options_.pickUrl = [] { return 3; };
    }
    void TearDown() override {
        server_.stop();
        thread_.join();
        fs::remove_all(dir_);
    }
    void SetVersions(const std::string& installed, const std::string& remote) {
        std::ofstream(options_.updateIniPath) << "[MAINVER]\nmainver=" << installed
                                              << "\n[URL]\niniurl3=http://127.0.0.1/v/Updater.ini\n";
        std::lock_guard lock(mutex_);
        remote_ = remote;
    }

    fs::path dir_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::string remote_;
    platform::fake::FakePlatform fake_;
    platform::WindowId console_ = 0;
    UpdateCheckOptions options_;
};

TEST_F(CheckForUpdateTest, ANewerVersionAsksTheConsoleToStartTheUpdater) {
    struct Case {
        const char* installed;
        const char* remote;
        UpdateCheckResult result;
        std::uint32_t posted;  // 0: nothing
        bool kept;
    };
    const Case cases[] = {
        {"8.401", "[MAINVER]\nmainver=8.41\nupdaterestart=1\n", UpdateCheckResult::NewerRestart, kMsgUpdateAndRestart, true},
        {"8.401", "[MAINVER]\nmainver=8.41\nupdaterestart=0\n", UpdateCheckResult::NewerQuiet, kMsgUpdateQuietly, true},
        {"8.401", "[MAINVER]\nmainver=8.41\nupdaterestart=2\n", UpdateCheckResult::NewerQuiet, kMsgUpdateQuietly, true},
        {"8.401", "[MAINVER]\nmainver=8.41\n", UpdateCheckResult::NewerQuiet, kMsgUpdateQuietly, true},
        {"8.41", "[MAINVER]\nmainver=8.410\nupdaterestart=1\n", UpdateCheckResult::UpToDate, 0, false},
        {"8.41", "[MAINVER]\nmainver=8.401\nupdaterestart=1\n", UpdateCheckResult::UpToDate, 0, false},
        {"", "[MAINVER]\nmainver=0.1\n", UpdateCheckResult::NewerQuiet, kMsgUpdateQuietly, true},
        {"8.41", "", UpdateCheckResult::UpToDate, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.installed) + " vs " + c.remote);
        fake_.desktop.ClearPosted();
        SetVersions(c.installed, c.remote);
        EXPECT_EQ(CheckForUpdate(fake_.clock, fake_.desktop, fake_.notices, options_), c.result);
        const auto posted = fake_.desktop.PostedTo(console_);
        ASSERT_EQ(posted.size(), c.posted == 0 ? 0u : 1u);
        if (c.posted != 0) {
            EXPECT_EQ(posted[0].message.msg, c.posted);
        }
        EXPECT_EQ(fs::exists(dir_ / "Updater.ini"), c.kept);
        fs::remove(dir_ / "Updater.ini");
    }
    EXPECT_TRUE(fake_.notices.Shown().empty());
}

TEST_F(CheckForUpdateTest, AnIncompleteDownloadIsReportedAndNothingIsStarted) {
    TcpTestServer early([](int fd) {
        TcpTestServer::ReadRequest(fd);
        TcpTestServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 80\r\n\r\n[MAINVER]\r\nmainver=9");
    });
    SetVersions("8.401", "");
    options_.download.port = early.Port();
    EXPECT_EQ(CheckForUpdate(fake_.clock, fake_.desktop, fake_.notices, options_), UpdateCheckResult::DownloadFailed);
    const auto shown = fake_.notices.Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, "服务器已经关闭连接.");
    EXPECT_EQ(shown[1].first, "检测新版本失败！如果软件不能使用请手动下载更新!");
    EXPECT_TRUE(fake_.desktop.PostedTo(console_).empty());
    EXPECT_FALSE(fs::exists(dir_ / "Updater.ini"));
}

}  // namespace
}  // namespace kestrava::net
