// Two sync server nodes sharing one room through a Redis server the test starts itself.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrava::sync::testing
