#include "redis_bridge.h"

#include <sys/socket.h>

#include <chrono>
#include <vector>

#include <hiredis/hiredis.h>

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

// One command; the integer answer, or -1 (and the context dropped) when Redis did not answer.
long long Integer(redisContext*& ctx, const std::vector<std::string>& args) {
    if (ctx == nullptr) return -1;
    std::vector<const char*> argv;
    std::vector<std::size_t> lens;
    for (const std::string& a : args) {
        argv.push_back(a.data());
        lens.push_back(a.size());
    }
    auto* reply = static_cast<redisReply*>(redisCommandArgv(ctx, static_cast<int>(argv.size()), argv.data(), lens.data()));
    if (reply == nullptr) {
        redisFree(ctx);
        ctx = nullptr;
        return -1;
    }
    const long long v = reply->type == REDIS_REPLY_INTEGER ? reply->integer : -1;
    freeReplyObject(reply);
    return v;
}

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
        if (sub_ != nullptr) ::shutdown(sub_->fd, SHUT_RDWR);
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

redisContext* RedisBridge::Connect(std::string* why) {
    const timeval timeout{1, 0};
    redisContext* ctx = redisConnectWithTimeout(host_.c_str(), port_, timeout);
    if (ctx == nullptr || ctx->err) {
        *why = ctx ? ctx->errstr : "out of memory";
        if (ctx) redisFree(ctx);
        return nullptr;
    }
    return ctx;
}

void RedisBridge::Enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void RedisBridge::CommandLoop() {
    redisContext* ctx = nullptr;
    auto lastTry = std::chrono::steady_clock::time_point{};
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) break;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // While Redis is away the checks answer at once; a new connection is tried at most
        // twice a second.
        const auto now = std::chrono::steady_clock::now();
        if (ctx == nullptr && now - lastTry > std::chrono::milliseconds(500)) {
            lastTry = now;
            std::string why;
            ctx = Connect(&why);
            if (ctx != nullptr) {
                const timeval timeout{1, 0};
                redisSetTimeout(ctx, timeout);
            }
        }
        job(ctx);
        if (ctx != nullptr && ctx->err) {
            redisFree(ctx);
            ctx = nullptr;
        }
    }
    if (ctx != nullptr) redisFree(ctx);
    // Whoever waits on a job still queued hears that Redis did not answer.
    std::deque<Job> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(jobs_);
    }
    for (Job& j : left) j(nullptr);
}

void RedisBridge::SubscribeLoop() {
    bool reportedDown = false;
    std::string why;
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        redisContext* ctx = Connect(&why);
        if (ctx != nullptr) {
            auto* reply = static_cast<redisReply*>(redisCommand(ctx, "SUBSCRIBE %b", Channel().data(), Channel().size()));
            if (reply == nullptr) {
                why = ctx->errstr;
                redisFree(ctx);
                ctx = nullptr;
            } else {
                freeReplyObject(reply);
            }
        }
        if (ctx != nullptr) {
            {
                std::lock_guard lock(mutex_);
                if (stopping_) {
                    redisFree(ctx);
                    break;
                }
                sub_ = ctx;
            }
            reportedDown = false;
            if (events_.onState) events_.onState(true, {});
            void* r = nullptr;
            while (redisGetReply(ctx, &r) == REDIS_OK) {
                auto* reply = static_cast<redisReply*>(r);
                if (reply->type == REDIS_REPLY_ARRAY && reply->elements == 3 &&
                    reply->element[2]->type == REDIS_REPLY_STRING && events_.onMessage) {
                    events_.onMessage(std::string(reply->element[2]->str, reply->element[2]->len));
                }
                freeReplyObject(reply);
            }
            why = ctx->errstr[0] ? ctx->errstr : "connection ended";
            {
                std::lock_guard lock(mutex_);
                sub_ = nullptr;
            }
            redisFree(ctx);
        }
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        if (!reportedDown) {  // one report per loss, not one per retry
            if (events_.onState) events_.onState(false, why);
            reportedDown = true;
        }
        if (!Sleep(1000)) break;
    }
}

void RedisBridge::CheckReport(std::uint64_t conn, std::int64_t timeCode, int price, std::int64_t forgetMs,
                              std::function<void(int)> done) {
    Enqueue([this, conn, timeCode, price, forgetMs, done = std::move(done)](redisContext* ctx) {
        const std::string message =
            "r " + node_ + " " + std::to_string(conn) + " " + std::to_string(timeCode) + " " + std::to_string(price);
        done(static_cast<int>(Integer(ctx, {"EVAL", kCheckReport, "2", room_ + ":newest", Channel(),
                                            std::to_string(timeCode), std::to_string(price), std::to_string(forgetMs),
                                            message})));
    });
}

void RedisBridge::CountJam(const std::string& bid, std::int64_t windowMs, int quorum, std::function<void(int)> done) {
    Enqueue([this, bid, windowMs, quorum, done = std::move(done)](redisContext* ctx) {
        done(static_cast<int>(Integer(ctx, {"EVAL", kCountJam, "3", room_ + ":jam", room_ + ":jam-sent", Channel(), bid,
                                            std::to_string(windowMs), std::to_string(quorum), node_})));
    });
}

void RedisBridge::SharePending(const std::string& bid, int price) {
    Enqueue([this, bid, price](redisContext* ctx) {
        Integer(ctx, {"PUBLISH", Channel(), "q " + node_ + " " + bid + " " + std::to_string(price)});
    });
}

void RedisBridge::ShareClients(int local, std::function<void(int)> done) {
    Enqueue([this, local, done = std::move(done)](redisContext* ctx) {
        done(static_cast<int>(Integer(ctx, {"EVAL", kShareClients, "1", room_ + ":clients", node_, std::to_string(local)})));
    });
}

}  // namespace kestrava::sync
