#include "net/update_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "net/http_socket.h"
#include "net/window_messages.h"
#include "platform/fake/fake_platform.h"
#include "platform/keys.h"

namespace kestrava::net {
namespace {

TEST(HttpSocketTest, BuildsTheRequestByteForByte) {
    EXPECT_EQ(CHttpSocket::FormatRequestHeader("up.example.com", "/v/Updater.ini?x=1"),
              "GET /v/Updater.ini?x=1 HTTP/1.1\r\n"
              "Host:up.example.com\r\n"
              "Accept:*/*\r\n"
              "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
              "Connection:Keep-Alive\r\n"
              "\r\n");
}

TEST(HttpSocketTest, SplitsAddresses) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        const char* object;
    };
    const Case cases[] = {
        {"http://up.example.com/v/Updater.ini", true, "up.example.com", "/v/Updater.ini"},
        {"http://up.example.com:8080/a?hpbase", true, "up.example.com", "/a?hpbase"},
        {"HTTP://up.example.com", true, "up.example.com", "/"},
        {"http://up.example.com?q", true, "up.example.com", "/?q"},
        {"https://up.example.com/a", false, "", ""},
        {"up.example.com/a", false, "", ""},
        {"http:///a", false, "", ""},
        // Blanks and line breaks would write header lines of their own into the request.
        {"http://h/a\r\n\r\nGET /b", false, "", ""},
        {"http://h/a b", false, "", ""},
        {"http://h\t/a", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::string host, object;
        ASSERT_EQ(SplitHttpUrl(c.url, host, object), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(object, c.object);
    }
}

TEST(HttpSocketTest, ReadsOnlyASaneContentLength) {
    struct Case {
        const char* header;
        std::optional<std::size_t> length;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 42\r\n\r\n", 42},
        {"HTTP/1.1 200 OK\r\ncontent-length:7\r\n\r\n", 7},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nX-Note: Content-Length: 9\r\n\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\r\nContent-Length: 4194305\r\n\r\n", std::nullopt},  // beyond the limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        EXPECT_EQ(ParseContentLength(c.header), c.length);
    }
    // Whatever the limit, a number never wraps around into a small one.
    constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(ParseContentLength("Content-Length: 18446744073709551615\r\n", kAny), kAny);
    EXPECT_EQ(ParseContentLength("Content-Length: 18446744073709551616\r\n", kAny), std::nullopt);
    EXPECT_EQ(ParseContentLength("Content-Length: 22211111111111111111111111\r\n", kAny), std::nullopt);
}

TEST(UpdateCheckTest, ComparesVersionsAsDecimalFractions) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"8.41", "8.401", 1}, {"8.401", "8.41", -1}, {"8.4010", "8.401", 0}, {"9", "8.999", 1},
        {"10.1", "9.9", 1},   {"08.5", "8.5", 0},    {"", "0", 0},           {"abc", "0.0", 0},
        {"8.5beta", "8.5", 0}, {" 8.6", "8.5", 1},   {"0.001", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int r = CompareVersions(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

TEST(UpdateCheckTest, PutsUpdaterIniBesideUpdateIni) {
    EXPECT_EQ(UpdaterIniPath("Update.ini"), "Updater.ini");
    EXPECT_EQ(UpdaterIniPath("./inst/Update.ini"), "./inst/Updater.ini");
}

class UpdateIniFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("kestrava_update_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        ini_ = (dir_ / "Update.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const std::string& text) { std::ofstream(ini_) << text; }

    std::filesystem::path dir_;
    std::string ini_;
    platform::fake::FakePlatform fake_;
};

TEST_F(UpdateIniFixture, AnEmptyChosenAddressIsReportedEvenWhenOthersAreSet) {
    Write("[MAINVER]\nmainver=8.401\n[URL]\niniurl0=http://127.0.0.1:1/a\niniurl1=\niniurl2=http://127.0.0.1:1/c\n");
    UpdateCheckOptions options;
    options.updateIniPath = ini_;
    options.pickUrl = [] { return 1; };
    EXPECT_EQ(CheckForUpdate(fake_.clock, fake_.desktop, fake_.notices, options), UpdateCheckResult::UpdateIniBroken);
    ASSERT_EQ(fake_.notices.Shown().size(), 1u);
    EXPECT_EQ(fake_.notices.Shown()[0].first, "Update.ini文件有误，请手动下载新版本！");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Updater.ini"));
}

TEST(UpdaterStartTest, StartsTheUpdaterAsTheMessageAsks) {
    struct Case {
        const char* name;
        bool restart;
        bool present;
        const char* arg;
        bool endProcess;
    };
    const Case cases[] = {
        {"0x464 restart", true, true, "-p", true},
        {"0x493 quiet", false, true, "-pmute", false},
        {"0x464 missing updater", true, false, "-p", false},
        {"0x493 missing updater", false, false, "-pmute", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::fake::FakePlatform fake;
        const auto page = fake.desktop.AddWindow(std::string(kPageWindowTitle), "Sorrelpane", {0, 0, 800, 600});
        const auto updater = fake.desktop.AddWindow(std::string(kUpdaterTitle), "Updater", {0, 0, 300, 200});
        if (c.present) fake.programs.AddFile("./Updater.exe");

        const UpdaterLaunch launch = StartUpdater(fake.programs, fake.desktop, c.restart);

        ASSERT_EQ(fake.programs.Started().size(), 1u);
        EXPECT_EQ(fake.programs.Started()[0].path, "./Updater.exe");
        EXPECT_EQ(fake.programs.Started()[0].args, std::vector<std::string>{c.arg});
        EXPECT_EQ(launch.notice, c.present ? "" : "程序目录下缺少升级程序Updater.exe！，请重新下载完整版本！");
        EXPECT_EQ(launch.started, c.present);
        EXPECT_EQ(launch.endProcess, c.endProcess);
        // Only a restart that is going ahead closes the page and brings the updater forward.
        const auto posted = fake.desktop.PostedTo(page);
        ASSERT_EQ(posted.size(), c.endProcess ? 1u : 0u);
        if (c.endProcess) {
            EXPECT_EQ(posted[0].message.msg, platform::wm::Close);
        }
        EXPECT_EQ(fake.desktop.Foreground() == updater, c.endProcess);
    }
}

}  // namespace
}  // namespace kestrava::net
