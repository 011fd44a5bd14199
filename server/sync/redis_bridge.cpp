#include "redis_bridge.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace kestrava::sync {

namespace {

// KEYS: newest hash, channel. ARGV: time code, price, expiry ms, message.
constexpr const char* kCheckReport = R"(
local cur = redis.call('HMGET', KEYS[1], 't', 'p')
if tonumber(ARGV[1]) <= (tonumber(cur[1]) or 0) then return 1 end
if tonumber(ARGV[2]) < (tonumber(cur[2]) or 0) then return 2 end
redis.call('HSET', KEYS[1], 't', ARGV[1], 'p', ARGV[2])
redis.call('PEXPIRE', KEYS[1], ARGV[3])
redis.call('PUBLISH', KEYS[2], ARGV[4])
return 0
)";

// KEYS: window set, sent mark, channel. ARGV: bid, window ms, quorum, node. Redis's own clock
// keeps the window the same for every node.
constexpr const char* kCountJam = R"(
local t = redis.call('TIME')
local now = tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
local w = tonumber(ARGV[2])
redis.call('ZADD', KEYS[1], now, ARGV[1])
redis.call('ZREMRANGEBYSCORE', KEYS[1], '-inf', now - w)
redis.call('PEXPIRE', KEYS[1], w * 2)
local n = redis.call('ZCARD', KEYS[1])
if n >= tonumber(ARGV[3]) and redis.call('SET', KEYS[2], '1', 'NX', 'PX', w) then
  redis.call('PUBLISH', KEYS[3], 'j ' .. ARGV[4] .. ' ' .. n)
  return n
end
return 0
)";

// KEYS: clients hash. ARGV: node, count. Nodes not heard from for 3 s are dropped.
constexpr const char* kShareClients = R"(
local t = redis.call('TIME')
local now = tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
redis.call('HSET', KEYS[1], ARGV[1], ARGV[2] .. ':' .. now)
local all = redis.call('HGETALL', KEYS[1])
local sum = 0
for i = 1, #all, 2 do
  if all[i] ~= ARGV[1] then
    local c, at = string.match(all[i + 1], '^(%d+):(%d+)$')
    if c and now - tonumber(at) <= 3000 then sum = sum + tonumber(c) else redis.call('HDEL', KEYS[1], all[i]) end
  end
end
return sum
)";

// How long a connection or an answer may take: past it Redis counts as lost.
constexpr int kTimeoutMs = 1000;

// The pause before the next attempt to reach Redis: short after a single failure (a restart is
// over quickly), doubling to a second while Redis stays away.
class Backoff {
public:
    int Next() {
        const int ms = ms_;
        ms_ = std::min(ms_ * 2, kLongestMs);
        return ms;
    }
    void Reset() { ms_ = kFirstMs; }

private:
    static constexpr int kFirstMs = 100;
    static constexpr int kLongestMs = 1000;
    int ms_ = kFirstMs;
};

}  // namespace

RedisBridge::RedisBridge(std::string host, int port, std::string room, std::string node, Events events)
    : host_(std::move(host)), port_(port), room_(std::move(room)), node_(std::move(node)), events_(std::move(events)) {}

RedisBridge::~RedisBridge() { Stop(); }

void RedisBridge::Start() {
    commandThread_ = std::thread([this] { CommandLoop(); });
    subscribeThread_ = std::thread([this] { SubscribeLoop(); });
}

void RedisBridge::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (subscriptionFd_ >= 0) ::shutdown(subscriptionFd_, SHUT_RDWR);
    }
    wake_.notify_all();
    if (commandThread_.joinable()) commandThread_.join();
    if (subscribeThread_.joinable()) subscribeThread_.join();
}

bool RedisBridge::Sleep(int ms) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
    return !stopping_;
}

void RedisBridge::Enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

// Both threads report here; the node hears of a change under the lock so that a loss and a
// rejoin seen by the two threads reach it in the order they happened.
void RedisBridge::SetLinkUp(Link link, bool up, const std::string& why) {
    std::lock_guard lock(mutex_);
    linksUp_ = up ? linksUp_ | link : linksUp_ & ~link;
    // A command that got no answer says as much about the subscription, which would otherwise
    // wait on a hung server for ever: end it, so both come back together on a fresh connection.
    if (!up && link == kCommands && subscriptionFd_ >= 0) ::shutdown(subscriptionFd_, SHUT_RDWR);
    const bool all = linksUp_ == (kCommands | kSubscription);
    if (all == reportedUp_ || stopping_) return;
    reportedUp_ = all;
    if (events_.onState) events_.onState(all, why);
}

void RedisBridge::CommandLoop() {
    RedisConnection conn;
    Backoff backoff;
    auto nextTry = std::chrono::steady_clock::now();
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [this] { return stopping_ || !jobs_.empty(); };
            // While Redis is away, wake for the next attempt even when nothing is asked, so the
            // node rejoins on its own.
            if (conn.Connected()) wake_.wait(lock, ready);
            else wake_.wait_until(lock, nextTry, ready);
            if (stopping_) break;
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        // While Redis is away the checks answer at once, between attempts to reach it.
        if (!conn.Connected() && std::chrono::steady_clock::now() >= nextTry) {
            if (conn.Open(host_, port_, kTimeoutMs) && conn.Ping()) {
                backoff.Reset();
                SetLinkUp(kCommands, true, {});
            } else {
                nextTry = std::chrono::steady_clock::now() + std::chrono::milliseconds(backoff.Next());
            }
        }
        if (!job) continue;
        const bool wasConnected = conn.Connected();
        job(conn);
        if (wasConnected && !conn.Connected()) {
            SetLinkUp(kCommands, false, conn.Why());
            nextTry = std::chrono::steady_clock::now() + std::chrono::milliseconds(backoff.Next());
        }
    }
    conn.Close();
    // Whoever waits on a job still queued hears that Redis did not answer.
    std::deque<Job> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(jobs_);
    }
    for (Job& j : left) j(conn);
}

void RedisBridge::SubscribeLoop() {
    Backoff backoff;
    for (;;) {
        RedisConnection conn;
        bool ok = conn.Open(host_, port_, kTimeoutMs);
        if (ok) {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            subscriptionFd_ = conn.Fd();
        }
        if (ok && conn.Subscribe(Channel())) {
            conn.SetTimeout(0);  // a quiet room publishes nothing for hours
            backoff.Reset();
            SetLinkUp(kSubscription, true, {});
            std::string message;
            while (conn.NextMessage(&message)) {
                if (events_.onMessage) events_.onMessage(message);
            }
        }
        {
            std::lock_guard lock(mutex_);
            subscriptionFd_ = -1;
        }
        conn.Close();
        SetLinkUp(kSubscription, false, conn.Why().empty() ? "subscription ended" : conn.Why());
        if (!Sleep(backoff.Next())) break;
    }
}

void RedisBridge::CheckReport(std::uint64_t conn, std::int64_t timeCode, int price, std::int64_t forgetMs,
                              std::function<void(int)> done) {
    Enqueue([this, conn, timeCode, price, forgetMs, done = std::move(done)](RedisConnection& redis) {
        const std::string message =
            "r " + node_ + " " + std::to_string(conn) + " " + std::to_string(timeCode) + " " + std::to_string(price);
        done(static_cast<int>(redis.Integer({"EVAL", kCheckReport, "2", room_ + ":newest", Channel(),
                                            std::to_string(timeCode), std::to_string(price), std::to_string(forgetMs),
                                            message})));
    });
}

void RedisBridge::CountJam(const std::string& bid, std::int64_t windowMs, int quorum, std::function<void(int)> done) {
    Enqueue([this, bid, windowMs, quorum, done = std::move(done)](RedisConnection& redis) {
        done(static_cast<int>(redis.Integer({"EVAL", kCountJam, "3", room_ + ":jam", room_ + ":jam-sent", Channel(), bid,
                                            std::to_string(windowMs), std::to_string(quorum), node_})));
    });
}

void RedisBridge::SharePending(const std::string& bid, int price) {
    Enqueue([this, bid, price](RedisConnection& redis) {
        redis.Integer({"PUBLISH", Channel(), "q " + node_ + " " + bid + " " + std::to_string(price)});
    });
}

void RedisBridge::ShareClients(int local, std::function<void(int)> done) {
    Enqueue([this, local, done = std::move(done)](RedisConnection& redis) {
        done(static_cast<int>(redis.Integer({"EVAL", kShareClients, "1", room_ + ":clients", node_, std::to_string(local)})));
    });
}

}  // namespace kestrava::sync
