// The link of one node with the cluster's Redis (hiredis, blocking calls on two threads of its
// own so the event loop never waits on the network): one connection subscribed to the room's
// channel, one for the checks that must hold across nodes. Results come back through callbacks
// on the bridge's threads; the node posts them to its event loop. The link is up while both
// connections are; a command that fails or a subscription that ends takes it down (the other
// connection is started afresh too), and both are retried with a backoff of at most a second.
// While it is down every check answers "unavailable" at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "redis_connection.h"

namespace kestrava::sync {

class RedisBridge {
public:
    struct Events {
        // The link came up (true) or was lost (false, with the reason); once per change.
        std::function<void(bool up, const std::string& why)> onState;
        // A message on the room's channel (including this node's own).
        std::function<void(const std::string& message)> onMessage;
    };

    RedisBridge(std::string host, int port, std::string room, std::string node, Events events);
    ~RedisBridge();
    RedisBridge(const RedisBridge&) = delete;
    RedisBridge& operator=(const RedisBridge&) = delete;

    void Start();
    void Stop();

    // Sets the room's newest report when `timeCode` is newer and `price` not lower, and publishes
    // "r <node> <conn> <timeCode> <price>" in the same step. `done` gets 0 (set), 1 (time not
    // newer), 2 (price lower) or -1 (Redis did not answer).
    void CheckReport(std::uint64_t conn, std::int64_t timeCode, int price, std::int64_t forgetMs,
                     std::function<void(int)> done);
    // Counts the jam report of `bid` in the room's window; when `quorum` distinct bid numbers are
    // in it and no signal went out in the window, publishes "j <node> <count>". `done` gets the
    // count signalled, 0 for none, -1 when Redis did not answer.
    void CountJam(const std::string& bid, std::int64_t windowMs, int quorum, std::function<void(int)> done);
    // Publishes "q <node> <bid> <price>": a jump report waiting for a second bid number.
    void SharePending(const std::string& bid, int price);
    // Records this node's client count and gets the other live nodes' total (-1: no answer).
    void ShareClients(int local, std::function<void(int)> done);

    std::string Channel() const { return room_ + ":relay"; }

private:
    using Job = std::function<void(RedisConnection&)>;  // not connected: Redis is away
    enum Link { kCommands = 1, kSubscription = 2 };
    void Enqueue(Job job);
    void CommandLoop();
    void SubscribeLoop();
    // Records whether `link` is up and tells the node when the whole link changes.
    void SetLinkUp(Link link, bool up, const std::string& why);
    bool Sleep(int ms);  // false when stopping

    std::string host_;
    int port_;
    std::string room_;
    std::string node_;
    Events events_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::deque<Job> jobs_;
    int linksUp_ = 0;           // Link bits
    bool reportedUp_ = false;   // what the node was last told
    // The subscription's socket while its thread holds it open, for Stop and a failed command to
    // end its wait (cleared before the connection closes, so never a recycled descriptor).
    int subscriptionFd_ = -1;
    std::thread commandThread_;
    std::thread subscribeThread_;
};

}  // namespace kestrava::sync
