#include "redis_connection.h"

#include <cerrno>

#include <hiredis/hiredis.h>

namespace kestrava::sync {

namespace {

timeval Timeval(int ms) { return timeval{ms / 1000, (ms % 1000) * 1000}; }

}  // namespace

void RedisConnection::FreeContext::operator()(redisContext* ctx) const { redisFree(ctx); }

void RedisConnection::FreeReply::operator()(redisReply* reply) const { freeReplyObject(reply); }

RedisConnection::RedisConnection() = default;

RedisConnection::~RedisConnection() = default;

bool RedisConnection::Open(const std::string& host, int port, int timeoutMs) {
    Close();
    std::unique_ptr<redisContext, FreeContext> ctx(redisConnectWithTimeout(host.c_str(), port, Timeval(timeoutMs)));
    if (ctx == nullptr || ctx->err != 0) {
        why_ = ctx ? ctx->errstr : "out of memory";
        return false;
    }
    ctx_ = std::move(ctx);
    SetTimeout(timeoutMs);
    return true;
}

void RedisConnection::SetTimeout(int ms) {
    timeoutMs_ = ms;
    if (ctx_ != nullptr) redisSetTimeout(ctx_.get(), Timeval(ms));
}

void RedisConnection::Close() { ctx_.reset(); }

int RedisConnection::Fd() const { return ctx_ ? ctx_->fd : -1; }

// hiredis names a timed-out read by its errno only.
std::string RedisConnection::Failure() const {
    if (ctx_->err == REDIS_ERR_IO && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return "no answer within " + std::to_string(timeoutMs_) + " ms";
    }
    return ctx_->errstr[0] != 0 ? ctx_->errstr : "connection failed";
}

RedisConnection::Reply RedisConnection::Checked(void* reply) {
    if (reply == nullptr) {
        why_ = Failure();
        ctx_.reset();
    }
    return Reply(static_cast<redisReply*>(reply));
}

RedisConnection::Reply RedisConnection::Command(const std::vector<std::string>& args) {
    if (ctx_ == nullptr) return nullptr;
    std::vector<const char*> argv;
    std::vector<std::size_t> lens;
    for (const std::string& a : args) {
        argv.push_back(a.data());
        lens.push_back(a.size());
    }
    return Checked(redisCommandArgv(ctx_.get(), static_cast<int>(argv.size()), argv.data(), lens.data()));
}

RedisConnection::Reply RedisConnection::Read() {
    if (ctx_ == nullptr) return nullptr;
    void* reply = nullptr;
    if (redisGetReply(ctx_.get(), &reply) != REDIS_OK) reply = nullptr;
    return Checked(reply);
}

long long RedisConnection::Integer(const std::vector<std::string>& args) {
    const Reply reply = Command(args);
    return reply != nullptr && reply->type == REDIS_REPLY_INTEGER ? reply->integer : -1;
}

bool RedisConnection::Ping() {
    const Reply reply = Command({"PING"});
    return reply != nullptr && reply->type == REDIS_REPLY_STATUS;
}

bool RedisConnection::Subscribe(const std::string& channel) {
    const Reply reply = Command({"SUBSCRIBE", channel});
    return reply != nullptr && reply->type == REDIS_REPLY_ARRAY;
}

bool RedisConnection::NextMessage(std::string* payload) {
    while (const Reply reply = Read()) {
        if (reply->type == REDIS_REPLY_ARRAY && reply->elements == 3 && reply->element[2]->type == REDIS_REPLY_STRING) {
            payload->assign(reply->element[2]->str, reply->element[2]->len);
            return true;
        }
    }
    return false;
}

}  // namespace kestrava::sync
