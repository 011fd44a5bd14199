// Two sync server nodes sharing one room through a Redis server the test starts itself.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <utility>

#include "sync_test_support.h"
#include "ws_clients.h"

namespace kestrava::sync::testing {
namespace {

using namespace std::chrono_literals;

class SyncClusterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(redis_.Start()) << "redis-server did not start on port " << redis_.Port();
        for (const char* name : {"n1", "n2"}) {
            ServerSettings s;
            s.node = name;
            s.redisHost = "127.0.0.1";
            s.redisPort = redis_.Port();
            s.rules.jamQuorum = 2;
            nodes_.push_back(std::make_unique<RunningNode>(s));
            ASSERT_TRUE(nodes_.back()->Ok());
        }
        for (auto& n : nodes_) ASSERT_TRUE(n->WaitClustered(true));
    }

    int Open(int node, const std::string& bid) {
        const int i = clients_.Open(nodes_[node]->Url(bid));
        EXPECT_TRUE(clients_.WaitOpen(i));
        return i;
    }

    RedisProcess redis_{FreePort()};
    std::vector<std::unique_ptr<RunningNode>> nodes_;
    WsClients clients_;
};

TEST_F(SyncClusterTest, ReportsJamSignalsAndTheirChecksHoldAcrossNodes) {
    const int a = Open(0, "10000001"), d = Open(0, "10000004");
    const int b = Open(1, "10000002"), c = Open(1, "10000003");

    // A on node 1 and B on node 2 agree on the room's first price: everyone but B hears B's.
    clients_.Send(a, "1_" + NowCode() + ",89300");
    std::this_thread::sleep_for(100ms);
    const std::string first = "1_" + NowCode(10) + ",89300";
    clients_.Send(b, first);
    for (int i : {a, c, d}) EXPECT_TRUE(clients_.WaitFor(i, first));

    // The same moment reported on both nodes at once is relayed once in the whole room.
    const std::string same = NowCode(20);
    clients_.Send(d, "1_" + same + ",89400");
    clients_.Send(c, "1_" + same + ",89400");
    EXPECT_TRUE(clients_.WaitFor(a, "1_" + same + ",89400"));
    // A lower price on the other node is dropped there too.
    clients_.Send(b, "1_" + NowCode(30) + ",89300");

    clients_.Send(a, "6_0");
    clients_.Send(c, "6_0");
    for (int i : {a, b, c, d}) EXPECT_TRUE(clients_.WaitFor(i, "6_2"));
    std::this_thread::sleep_for(300ms);
    int sameCount = 0;
    for (int i : {a, b, c, d}) {
        for (const std::string& t : Reports(clients_.Received(i))) sameCount += t == "1_" + same + ",89400";
        const auto r = Reports(clients_.Received(i));
        EXPECT_EQ(std::count(r.begin(), r.end(), "6_2"), 1) << "one jam signal per window, client " << i;
        EXPECT_EQ(std::count_if(r.begin(), r.end(), [](const std::string& t) { return t.find(",89300") != std::string::npos; }),
                  i == b ? 0 : 1) << "client " << i;
    }
    EXPECT_EQ(sameCount, 3) << "relayed once: to the three consoles that did not send it";
}

TEST_F(SyncClusterTest, NodeThatLosesRedisRelaysWithinItselfAndRejoins) {
    const int a = Open(0, "10000001"), d = Open(0, "10000004");
    const int b = Open(1, "10000002");
    // Two clients in the room on node 1 alone once Redis is gone; one more on node 2.
    redis_.Kill();
    ASSERT_TRUE(nodes_[0]->WaitClustered(false));
    ASSERT_TRUE(nodes_[1]->WaitClustered(false));
    EXPECT_EQ(nodes_[0]->LogCount("lost"), 1);

    clients_.Send(a, "1_" + NowCode() + ",89300");
    std::this_thread::sleep_for(50ms);
    const std::string local = "1_" + NowCode(10) + ",89300";
    clients_.Send(d, local);
    // Without Redis a node sees its own clients only: a and d agree within node 1.
    EXPECT_TRUE(clients_.WaitFor(a, local));
    std::this_thread::sleep_for(1500ms);  // several reconnection attempts, still one log line
    EXPECT_EQ(nodes_[0]->LogCount("lost"), 1);

    RedisProcess again(redis_.Port());
    ASSERT_TRUE(again.Start());
    ASSERT_TRUE(nodes_[0]->WaitClustered(true));
    ASSERT_TRUE(nodes_[1]->WaitClustered(true));
    EXPECT_EQ(nodes_[0]->LogCount("joined"), 2);
    const std::string shared = "1_" + NowCode(20) + ",89400";
    clients_.Send(d, shared);
    EXPECT_TRUE(clients_.WaitFor(b, shared)) << "node 2's client hears node 1's report again";
    EXPECT_TRUE(clients_.WaitFor(a, shared));
}

// Redis failing under the node while its consoles report, and coming back.
struct RedisFault {
    const char* name;
    void (*begin)(RedisProcess&);
    bool (*end)(RedisProcess&);
};

void PrintTo(const RedisFault& f, std::ostream* os) { *os << f.name; }

const RedisFault kRedisFaults[] = {
    {"Killed", [](RedisProcess& r) { r.Kill(); }, [](RedisProcess& r) { return r.Start(); }},
    // Hung for longer than the bridge waits for an answer (a second).
    {"Hung", [](RedisProcess& r) { r.Pause(); }, [](RedisProcess& r) {
         r.Resume();
         return true;
     }},
};

class SyncClusterFaultTest : public SyncClusterTest, public ::testing::WithParamInterface<RedisFault> {
protected:
    // A report of `from` at the present moment, at the room's one price (so never a jump, and
    // each one newer than the last): with a second console on its node every one is relayed.
    std::string Report(int from) {
        const std::string r = "1_" + NowCode() + ",89300";
        clients_.Send(from, r);
        sent_[from].push_back(r);
        std::this_thread::sleep_for(40ms);  // within the rate limit of each console
        return r;
    }

    std::map<int, std::vector<std::string>> sent_;
};

TEST_P(SyncClusterFaultTest, NodeOutlivesRedisFailingMidCommandRelaysWithinItselfAndRejoins) {
    const int a = Open(0, "10000001"), d = Open(0, "10000004");
    const int b = Open(1, "10000002");
    clients_.Send(a, "1_" + NowCode() + ",89300");
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(clients_.WaitFor(b, Report(d))) << "a and d agree on the room's first price";

    // Every report of node 1 is a check in Redis when Redis fails under it.
    for (int i = 0; i < 6; ++i) Report(i % 2 ? a : d);
    GetParam().begin(redis_);
    const auto down = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - down < 1500ms) Report(d);
    ASSERT_TRUE(nodes_[0]->WaitClustered(false, 5s));
    ASSERT_TRUE(nodes_[1]->WaitClustered(false, 5s));
    // Within node 1 its consoles still hear each other, both ways.
    EXPECT_TRUE(clients_.WaitFor(d, Report(a)));
    EXPECT_TRUE(clients_.WaitFor(a, Report(d)));
    std::this_thread::sleep_for(1500ms);  // several attempts to reconnect, still one log line
    for (auto& n : nodes_) EXPECT_EQ(n->LogCount("lost"), 1);

    ASSERT_TRUE(GetParam().end(redis_));
    for (auto& n : nodes_) ASSERT_TRUE(n->WaitClustered(true));
    for (auto& n : nodes_) EXPECT_EQ(n->LogCount("joined"), 2) << "the first join and the rejoin";
    EXPECT_TRUE(clients_.WaitFor(b, Report(d))) << "node 2's console hears node 1's again";
    EXPECT_TRUE(clients_.WaitFor(d, Report(b))) << "and the other way, through the new subscription";

    // Nothing a console of node 1 reported was lost for the other one, whatever Redis did.
    for (const auto& [from, to] : {std::pair{a, d}, std::pair{d, a}}) {
        ASSERT_TRUE(clients_.WaitFor(to, sent_[from].back()));
        const auto got = Reports(clients_.Received(to));
        for (const std::string& r : sent_[from]) {
            EXPECT_EQ(std::count(got.begin(), got.end(), r), 1) << r << " from console " << from;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Redis, SyncClusterFaultTest, ::testing::ValuesIn(kRedisFaults),
                         [](const ::testing::TestParamInfo<RedisFault>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrava::sync::testing
