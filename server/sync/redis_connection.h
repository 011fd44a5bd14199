// One blocking connection to Redis and the only owner of its hiredis context. A command that
// fails on the connection (an I/O error, no answer within the timeout, the server gone, a reply
// that cannot be read) drops the context here, once; the connection then stays closed until its
// owner opens it again. Nothing outside holds the context, so nothing else can free it or use it
// after it is gone.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct redisContext;
struct redisReply;

namespace kestrava::sync {

class RedisConnection {
public:
    RedisConnection();
    ~RedisConnection();
    RedisConnection(const RedisConnection&) = delete;
    RedisConnection& operator=(const RedisConnection&) = delete;

    // Connects (dropping any earlier context) and waits at most `timeoutMs` for the connection and
    // for each later answer. Connecting is not proof of life: a hung server's kernel still accepts.
    bool Open(const std::string& host, int port, int timeoutMs);
    // How long an answer may take from now on; 0: no limit (a subscription may be quiet for hours).
    void SetTimeout(int ms);
    void Close();

    bool Connected() const { return ctx_ != nullptr; }
    // The socket while connected (-1 otherwise), for another thread to shut it down and so end a
    // wait; the connection is still closed and freed only here.
    int Fd() const;
    // Why the last Open or command failed.
    const std::string& Why() const { return why_; }

    // The integer answer of a command; -1 when the answer is of another type (an error reply
    // keeps the connection) or when the command failed (which drops it).
    long long Integer(const std::vector<std::string>& args);
    bool Ping();
    // Subscribes to `channel` and waits for the confirmation.
    bool Subscribe(const std::string& channel);
    // Waits for the next message on the subscription; false when the connection failed.
    bool NextMessage(std::string* payload);

private:
    struct FreeContext {
        void operator()(redisContext* ctx) const;
    };
    struct FreeReply {
        void operator()(redisReply* reply) const;
    };
    using Reply = std::unique_ptr<redisReply, FreeReply>;

    Reply Command(const std::vector<std::string>& args);
    Reply Read();
    Reply Checked(void* reply);  // drops the context when `reply` is null
    std::string Failure() const;

    std::unique_ptr<redisContext, FreeContext> ctx_;
    std::string why_;
    int timeoutMs_ = 0;
};

}  // namespace kestrava::sync
