// The configuration host and the IP-location service answer with untrusted text; a bad answer
// must leave the stored value exactly as a network failure does, and never add lines to the
// settings file.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/remote_config.h"
#include "config/settings.h"
#include "unit/app/install_dir.h"

using namespace kestrava;
using kestrava::testing::InstallDir;
using kestrava::testing::PermissionBits;
using kestrava::testing::ReadFile;
using kestrava::testing::WriteFile;

namespace {

constexpr char kHost[] = "http://127.0.0.1:1";

// Answers by URL; an unknown URL fails like an unreachable host. Records every request.
struct FakeHttp {
    std::map<std::string, std::string> answers;
    std::vector<std::string> asked;

    app::HttpGetFunction Function() {
        return [this](const std::string& url) {
            asked.push_back(url);
            auto it = answers.find(url);
            return it == answers.end() ? std::string("Error:Connect failed!\n") : it->second;
        };
    }
};

class RemoteConfig : public ::testing::Test {
protected:
    void SetUp() override {
        config::Write(app::remote::confighost, kHost);
        config::Write(app::remote::noticeurl, std::string(kHost) + "/notice");
        config::Write(app::remote::iplocator, kHost);
        // The last good values of an earlier run.
        config::Write(config::user::dwbase, 91000);
        config::Write(config::user::hpbase, 93000);
        config::Write(config::user::synchostip, "old.example");
    }
    void Answer(const std::string& query, const std::string& body) { http.answers[std::string(kHost) + query] = body; }

    InstallDir dir;
    FakeHttp http;
};

}  // namespace

TEST_F(RemoteConfig, StoresOnlyAnswersShapedLikeTheirValue) {
    struct Case {
        const char* name;
        const char* dwbase;
        const char* serverip;
        int wantDwbase;
        const char* wantHost;
    };
    const Case cases[] = {
        {"good answers", "90800", "a.example,b.example", 90800, "a.example"},
        {"trailing line end", "90900\r\n", "10.0.0.1\n", 90900, "10.0.0.1"},
        {"error text", "Error:Connect failed!\n", "Error:SendRequest failed!\n", 91000, "old.example"},
        {"connect error", "Connect error", "Connect error", 91000, "old.example"},
        {"line injected after a number", "90800\nsynchostip=evil", "evil\nsynchostip=evil2", 91000, "old.example"},
        {"not a number", "abc", "host name with blanks", 91000, "old.example"},
        {"negative or signed", "-5", "[::1]", 91000, "old.example"},
        {"too long for an int", "1234567890", "h\x01st", 91000, "old.example"},
        {"empty body", "", "", 91000, "old.example"},
        {"ipv6 with colons", "90800", "fe80::1", 90800, "fe80::1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Answer("/?dwbase", c.dwbase);
        Answer("/?serverip", c.serverip);
        app::FetchRemoteConfig(http.Function(), 0);
        EXPECT_EQ(config::Read(config::user::dwbase), c.wantDwbase);
        EXPECT_EQ(config::Read(config::user::synchostip), c.wantHost);
        EXPECT_EQ(config::Read(config::user::hpbase), 93000);  // never answered: kept
        const std::string file = ReadFile(".//bin//userconf.ini");
        EXPECT_EQ(file.find("evil"), std::string::npos) << file;
    }
}

TEST_F(RemoteConfig, ServerIndexFollowsTheLoginSecond) {
    struct Case {
        int loginSecond;
        const char* list;
        const char* wantHost;
    };
    const Case cases[] = {
        {17, "s0,s1,s2", "s2"},
        {20, "s0,s1,s2", "old.example"},  // index 3 does not exist
        {59, "s0,s1,s2,s3,s4,s5,s6,s7,s8,s9", "s9"},
        {-1, "s0,s1", "s0"},
        {60, "s0,s1", "s0"},
        {6, "s0,,s2", "old.example"},  // an empty item is no host
        {12, "s0,,s2", "s2"},          // empty items still count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loginSecond);
        SetUp();
        Answer("/?serverip", c.list);
        app::FetchRemoteConfig(http.Function(), c.loginSecond);
        EXPECT_EQ(config::Read(config::user::synchostip), c.wantHost);
    }
}

TEST_F(RemoteConfig, AsksInOrderAndKeepsTheNotice) {
    Answer("/notice", "今日公告");
    Answer("/?hpbase", "92900");
    const app::RemoteConfigResult r = app::FetchRemoteConfig(http.Function(), 0);
    EXPECT_EQ(r.noticeText, "今日公告");
    EXPECT_TRUE(r.hpbaseStored);
    EXPECT_EQ(config::Read(config::user::hpbase), 92900);
    const std::vector<std::string> order = {std::string(kHost) + "/notice", std::string(kHost) + "/?dwbase",
                                            std::string(kHost) + "/?hpbase", std::string(kHost) + "/?serverip"};
    EXPECT_EQ(http.asked, order);
}

TEST_F(RemoteConfig, EmptyAddressesFailWithoutAsking) {
    config::Write(app::remote::confighost, "");
    config::Write(app::remote::noticeurl, "");
    config::Write(app::remote::iplocator, "");
    const app::RemoteConfigResult r = app::FetchRemoteConfig(http.Function(), 0);
    EXPECT_TRUE(http.asked.empty());
    EXPECT_EQ(r.noticeText.rfind("Error:", 0), 0u);
    EXPECT_EQ(config::Read(config::user::dwbase), 91000);
    EXPECT_EQ(app::DetectIspClass(http.Function()), 1);
    EXPECT_TRUE(http.asked.empty());
    EXPECT_EQ(config::ReadTelecom(), 1);  // a failed lookup is stored as "1" and not repeated
}

TEST_F(RemoteConfig, UserSettingsStayPrivateAfterAWrite) {
    WriteFile(".//bin//userconf.ini", "[Configure]\nbidpassword=1234\n");
    ::chmod(".//bin//userconf.ini", 0644);
    Answer("/?dwbase", "90800");
    app::FetchRemoteConfig(http.Function(), 0);
    EXPECT_EQ(config::Read(config::user::dwbase), 90800);
    EXPECT_EQ(PermissionBits(".//bin//userconf.ini"), 0600u);
}

TEST_F(RemoteConfig, IspLookupRunsOncePerInstallation) {
    struct Case {
        const char* name;
        const char* stored;  // nullptr: never looked up
        const char* body;
        int wantClass;
        bool wantsLookup;
    };
    const Case cases[] = {
        {"unicom named", nullptr, "您的IP来自上海联通", 0, true},
        {"mobile in GBK", nullptr, "ip: \xD2\xC6\xB6\xAF", 0, true},
        {"name at the very start does not count", nullptr, "联通", 1, true},
        {"telecom", nullptr, "上海电信", 1, true},
        {"error answer", nullptr, "Error:EndRequest failed!\n", 1, true},
        {"stored 0", "0", "上海电信", 0, false},
        {"stored 1", "1", "上海联通", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(".//bin//userconf.ini", c.stored ? std::string("[Configure]\ntelecom=") + c.stored + "\n" : "");
        http.asked.clear();
        Answer("/ip.jsp", c.body);
        EXPECT_EQ(app::DetectIspClass(http.Function()), c.wantClass);
        EXPECT_EQ(http.asked.size(), c.wantsLookup ? 1u : 0u);
        EXPECT_EQ(config::ReadTelecom(), c.wantClass);
    }
}
