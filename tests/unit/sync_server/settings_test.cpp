// The settings file and command line of the sync server.
#include "settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace kestrava::sync {
namespace {

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

TEST(SyncSettingsTest, FileThenCommandLine) {
    const std::string allow = WriteFile("allow.txt", "# members\n10000001\n\n 10000002  # the treasurer\n");
    const std::string file = WriteFile("sync.ini",
                                       "# club settings\nport = 9100\njam_quorum = 5\njam_window_ms=1500\n"
                                       "clock_skew_ms = 0\ndrop_after_refusals = 0\nbacklog_limit = 65536\nredis = 127.0.0.1:7000\nallow_list = " + allow + "\n");
    const char* argv[] = {"kestrava-sync-server", "--port", "9200", "--settings", file.c_str(), "--node", "n3"};
    ServerSettings s;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(7, argv, s, &error)) << error;
    EXPECT_EQ(s.port, 9200) << "the command line wins over the file";
    EXPECT_EQ(s.rules.jamQuorum, 5);
    EXPECT_EQ(s.rules.jamWindowMs, 1500);
    EXPECT_EQ(s.rules.clockSkewMs, 0);
    EXPECT_EQ(s.rules.dropAfterRefusals, 0);
    EXPECT_EQ(s.rules.backlogLimit, 65536u);
    EXPECT_EQ(s.rules.jumpLimit, RuleSettings{}.jumpLimit) << "keys not in the file keep their defaults";
    EXPECT_EQ(s.redisHost, "127.0.0.1");
    EXPECT_EQ(s.redisPort, 7000);
    EXPECT_EQ(s.node, "n3");
    EXPECT_EQ(s.rules.allowList, (std::set<std::string>{"10000001", "10000002"}));
}

TEST(SyncSettingsTest, BadInputIsAnErrorThatSaysWhere) {
    struct Row { std::string file; std::string error; };
    const std::vector<Row> rows = {
        {"jam_quorum = three\n", "sync-bad.ini:1: bad value for jam_quorum: three"},
        {"\njam_quorum = 0\n", "sync-bad.ini:2: bad value for jam_quorum: 0"},
        {"jam_qourum = 3\n", "sync-bad.ini:1: unknown key jam_qourum"},
        {"port 9002\n", "sync-bad.ini:1: not a key = value line"},
        {"redis = host:notaport\n", "sync-bad.ini:1: bad value for redis: host:notaport"},
        {"allow_list = " + WriteFile("allow-bad.txt", "10000001\n1234\n") + "\n", "allow-bad.txt:2: not an eight-digit bid number: 1234"},
        {"allow_list = /nonexistent/allow.txt\n", "/nonexistent/allow.txt: cannot be read"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        const std::string file = WriteFile("sync-bad.ini", r.file);
        const char* argv[] = {"kestrava-sync-server", "--settings", file.c_str()};
        ServerSettings s;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(3, argv, s, &error));
        EXPECT_NE(error.find(r.error), std::string::npos) << error;
    }
    const char* unknown[] = {"kestrava-sync-server", "--prot", "9002"};
    ServerSettings s;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(3, unknown, s, &error));
    EXPECT_EQ(error, "unknown option --prot");
}

}  // namespace
}  // namespace kestrava::sync
