// A configuration host on 127.0.0.1 as a console meets it: its answers go through the console's
// HTTP client (libcurl) into the console's settings, its update repository through the console's
// update check and download; refusals are error statuses with bodies the console never stores.
#include "config_host.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "app/remote_config.h"
#include "config/settings.h"
#include "net/http_get.h"
#include "net/http_socket.h"
#include "net/update_check.h"
#include "net/window_messages.h"
#include "platform/fake/fake_platform.h"
#include "unit/app/install_dir.h"

using namespace kestrava;
using kestrava::testing::ReadFile;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

// A host serving `answers` and `updates` on a free port of 127.0.0.1 for the test's length.
class RunningHost {
public:
    RunningHost(config_server::Answers answers, fs::path updates) : host_({std::move(answers), std::move(updates)}) {
        port_ = host_.Bind("127.0.0.1", 0);
        thread_ = std::thread([this] { host_.Run(); });
    }
    ~RunningHost() {
        host_.Stop();
        thread_.join();
    }
    int Port() const { return port_; }
    std::string Root() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    config_server::ConfigHost host_;
    int port_ = -1;
    std::thread thread_;
};

// The status line and body of one raw request, sent as the bytes given (no client tidies it).
std::pair<std::string, std::string> Raw(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return {};
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    for (long n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    const std::size_t lineEnd = answer.find("\r\n");
    const std::size_t headEnd = answer.find("\r\n\r\n");
    return {answer.substr(0, lineEnd), headEnd == std::string::npos ? "" : answer.substr(headEnd + 4)};
}

std::string Get(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

}  // namespace

TEST(ConfigHost, TheConsolesLoginFetchStoresWhatTheHostServes) {
    kestrava::testing::InstallDir install;
    config_server::Answers answers;
    answers.dwbase = "91200";
    answers.hpbase = "93400";
    answers.notice = "今日 11:00 拍卖";
    for (int i = 0; i < 10; ++i) answers.syncServers.push_back("sync" + std::to_string(i) + ".club.example");
    RunningHost host(answers, {});
    config::Write(app::remote::confighost, host.Root() + "/");
    config::Write(app::remote::noticeurl, host.Root() + "/notice");
    const app::HttpGetFunction httpGet = [](const std::string& url) { return net::HttpGet(url); };

    // Each login second picks its own server of the ten.
    for (int second : {0, 17, 59}) {
        SCOPED_TRACE(second);
        const app::RemoteConfigResult result = app::FetchRemoteConfig(httpGet, second);
        EXPECT_EQ(result.noticeText, answers.notice);
        EXPECT_TRUE(result.dwbaseStored && result.hpbaseStored && result.synchostStored);
        EXPECT_EQ(config::Read(config::user::dwbase), 91200);
        EXPECT_EQ(config::Read(config::user::hpbase), 93400);
        EXPECT_EQ(config::Read(config::user::synchostip), "sync" + std::to_string(second / 6) + ".club.example");
    }
}

TEST(ConfigHost, AValueTheHostDoesNotServeLeavesTheConsolesOwn) {
    kestrava::testing::InstallDir install;
    config_server::Answers answers;
    answers.dwbase = "91200";
    RunningHost host(answers, {});
    config::Write(app::remote::confighost, host.Root());
    config::Write(config::user::hpbase, 93000);
    config::Write(config::user::synchostip, "own.example");
    const app::RemoteConfigResult result =
        app::FetchRemoteConfig([](const std::string& url) { return net::HttpGet(url); }, 30);
    EXPECT_TRUE(result.dwbaseStored);
    EXPECT_FALSE(result.hpbaseStored);
    EXPECT_FALSE(result.synchostStored);
    EXPECT_TRUE(app::IsErrorAnswer(result.noticeText));
    EXPECT_EQ(config::Read(config::user::hpbase), 93000);
    EXPECT_EQ(config::Read(config::user::synchostip), "own.example");
}

TEST(ConfigHost, RefusesWhatIsNotAQueryOrAServedFileWithAClearStatus) {
    TempDir outside;
    WriteFile(outside / "secret", "secret");
    TempDir repo;
    fs::create_directories(repo.Path() / "kestrava");
    WriteFile(repo / "kestrava/Updater.ini", "[MAINVER]\nmainver=9.1\n");
    WriteFile(repo / "kestrava/private.txt", "private");
    config_server::Answers answers;
    answers.dwbase = "91200";
    RunningHost host(answers, repo.Path());

    struct Case {
        const char* request;
        const char* status;
        const char* body;  // part of the body
    };
    const std::string secretPath = (outside.Path() / "secret").string();
    const Case cases[] = {
        {"GET /?dwbase HTTP/1.1", "HTTP/1.1 200 OK", "91200"},
        {"GET /?serverip HTTP/1.1", "HTTP/1.1 404 Not Found", "Error:not served here"},
        {"GET /?hpbase=1 HTTP/1.1", "HTTP/1.1 404 Not Found", "Error:unknown query"},
        {"GET / HTTP/1.1", "HTTP/1.1 400 Bad Request", "Error:no query"},
        {"GET /kestrava/Updater.ini HTTP/1.1", "HTTP/1.1 200 OK", "mainver=9.1"},
        {"GET /kestrava/private.txt HTTP/1.1", "HTTP/1.1 404 Not Found", "Error:no such file"},
        {"GET /kestrava/../kestrava/Updater.ini HTTP/1.1", "HTTP/1.1 400 Bad Request", "Error:not a plain path"},
        {"GET /kestrava/%2e%2e/kestrava/Updater.ini HTTP/1.1", "HTTP/1.1 400 Bad Request", "Error:not a plain path"},
        {"GET /%2e%2e%2f%2e%2e%2f%2e%2e%2fetc%2fpasswd HTTP/1.1", "HTTP/1.1 400 Bad Request", "Error:"},
        {"POST /?dwbase HTTP/1.1", "HTTP/1.1 405 Method Not Allowed", "Error:only GET"},
        {"BREW /?dwbase HTTP/1.1", "HTTP/1.1 400 Bad Request", "Error:"},
        {"garbage", "HTTP/1.1 400 Bad Request", "Error:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        const std::string request = std::string(c.request) + "\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n"
                                                              "Connection: close\r\n\r\n";
        const auto [status, body] = Raw(host.Port(), request);
        EXPECT_EQ(status, c.status);
        EXPECT_NE(body.find(c.body), std::string::npos) << body;
        EXPECT_EQ(body.find("secret"), std::string::npos);
        EXPECT_EQ(body.find("private"), std::string::npos);
    }
    // Not a server to read the machine's files through, whatever the absolute path.
    const auto [status, body] = Raw(host.Port(), Get(secretPath));
    EXPECT_EQ(status, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(body.find("secret"), std::string::npos);
}

TEST(ConfigHost, TheConsolesUpdateCheckFindsANewerVersionAndItsFilesDownload) {
    TempDir repo;
    fs::create_directories(repo.Path() / "kestrava");
    WriteFile(repo / "kestrava/Updater.ini",
              "[MAINVER]\r\nmainver=8.41\r\nupdaterestart=0\r\n[FILES]\r\nfile0=kestrava_8.41_amd64.deb\r\n");
    std::string payload;
    for (unsigned i = 0; i < 300000; ++i) payload.push_back(static_cast<char>((i * 7919u) % 256u));
    WriteFile(repo / "kestrava/kestrava_8.41_amd64.deb", payload);
    RunningHost host({}, repo.Path());

    TempDir install;
    WriteFile(install / "Update.ini", "[MAINVER]\r\nmainver=8.401\r\n[URL]\r\n"
                                      "iniurl0=http://127.0.0.1/kestrava/Updater.ini\r\n"
                                      "iniurl1=http://127.0.0.1/kestrava/Updater.ini\r\n");
    platform::fake::FakePlatform fake;
    const platform::WindowId console = fake.desktop.AddWindow(std::string(net::kConsoleTitle), "#32770", {0, 0, 300, 900});
    net::UpdateCheckOptions options;
    options.updateIniPath = install / "Update.ini";
    options.download.port = static_cast<std::uint16_t>(host.Port());
    options.pickUrl = [] { return 1; };

    EXPECT_EQ(net::CheckForUpdate(fake.clock, fake.desktop, fake.notices, options), net::UpdateCheckResult::NewerQuiet);
    const auto posted = fake.desktop.PostedTo(console);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message.msg, net::kMsgUpdateQuietly);
    EXPECT_TRUE(fake.notices.Shown().empty());

    // The file the version file names comes whole, as the updater fetches it.
    net::DownloadOptions download;
    download.port = options.download.port;
    download.outputPath = install / "update.deb";
    ASSERT_TRUE(net::DownloadToFile("http://127.0.0.1/kestrava/kestrava_8.41_amd64.deb", fake.notices, download));
    EXPECT_EQ(ReadFile(download.outputPath), payload);

    // Once installed, the same repository says there is nothing newer.
    WriteFile(install / "Update.ini", "[MAINVER]\r\nmainver=8.41\r\n[URL]\r\n"
                                      "iniurl1=http://127.0.0.1/kestrava/Updater.ini\r\n");
    EXPECT_EQ(net::CheckForUpdate(fake.clock, fake.desktop, fake.notices, options), net::UpdateCheckResult::UpToDate);
}

// What a member runs once: kestrava-settings use-server, after which the console's own login
// fetch finds the club's host and the sync server's address and the update check asks the host.
TEST(ConfigHost, AnInstallationPointedAtTheHostWithKestravaSettingsUsesIt) {
    config_server::Answers answers;
    answers.dwbase = "90500";
    RunningHost host(answers, {});
    kestrava::testing::InstallDir install;
    const std::string command = std::string(KESTRAVA_SETTINGS) + " use-server --dir " + fs::current_path().string() +
                                " 127.0.0.1:" + std::to_string(host.Port()) + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const app::RemoteConfigResult result =
        app::FetchRemoteConfig([](const std::string& url) { return net::HttpGet(url); }, 0);
    EXPECT_TRUE(result.dwbaseStored);
    EXPECT_EQ(config::Read(config::user::dwbase), 90500);
    EXPECT_EQ(config::Read(config::user::synchostip), "127.0.0.1");
    EXPECT_EQ(config::ReadProfileString("URL", "iniurl4", "", 260, "Update.ini"), "http://127.0.0.1/kestrava/Updater.ini");

    // Not a host: nothing is written.
    const std::string bad = std::string(KESTRAVA_SETTINGS) + " use-server --dir " + fs::current_path().string() +
                            " 'evil.example/x' 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 2);
    EXPECT_EQ(config::Read(config::user::synchostip), "127.0.0.1");
}
