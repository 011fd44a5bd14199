// What the sync server's component tests share: a node running on its own thread with its log
// kept, a Redis server of the test's own on a free port, and report times of the present moment.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <hiredis/hiredis.h>

#include "settings.h"
#include "sync_node.h"

namespace kestrava::sync::testing {

inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// Now plus `addMs` on the page clock (Beijing time) as a report's time code.
inline std::string NowCode(std::int64_t addMs = 0) {
    const std::int64_t ms = (SystemMs() + addMs + 8 * 3600 * 1000LL) % 86400000LL;
    char out[16];
    std::snprintf(out, sizeof out, "%02lld%02lld%02lld%04lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000 * 10));
    return out;
}

// What a console received apart from heartbeats.
inline std::vector<std::string> Reports(const std::vector<std::string>& texts) {
    std::vector<std::string> out;
    for (const std::string& t : texts) {
        if (t != "hbeat") out.push_back(t);
    }
    return out;
}

// redis-server in the foreground, no persistence, on 127.0.0.1:`port`.
class RedisProcess {
public:
    explicit RedisProcess(int port) : port_(port) {}
    ~RedisProcess() { Kill(); }

    bool Start() {
        const std::string port = std::to_string(port_);
        pid_ = ::fork();
        if (pid_ == 0) {
            // A test that crashes must not leave its Redis running (or stopped) behind it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::execlp("redis-server", "redis-server", "--port", port.c_str(), "--bind", "127.0.0.1", "--save", "",
                     "--appendonly", "no", "--daemonize", "no", "--loglevel", "warning", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            redisContext* c = redisConnect("127.0.0.1", port_);
            const bool ok = c != nullptr && !c->err;
            if (c) redisFree(c);
            if (ok) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // As a crash would: no goodbye to the clients.
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // Hung, as a server stuck in a long command or swapped out would be: its kernel still
    // accepts connections and takes commands, nothing answers them.
    void Pause() { ::kill(pid_, SIGSTOP); }
    void Resume() { ::kill(pid_, SIGCONT); }

    int Port() const { return port_; }

private:
    int port_;
    pid_t pid_ = -1;
};

// A node listening on a free port of 127.0.0.1, run on a thread of its own.
class RunningNode {
public:
    explicit RunningNode(ServerSettings s)
        : node_(Local(std::move(s)), [this](const std::string& line) {
              std::lock_guard lock(mutex_);
              lines_.push_back(line);
          }) {
        std::string error;
        ok_ = node_.Listen(&error);
        if (ok_) thread_ = std::thread([this] { node_.Run(); });
        else std::fprintf(stderr, "%s\n", error.c_str());
    }
    ~RunningNode() {
        node_.Stop();
        if (thread_.joinable()) thread_.join();
    }

    bool Ok() const { return ok_; }
    SyncNode& Node() { return node_; }
    std::string Url(const std::string& bid) const {
        return "ws://127.0.0.1:" + std::to_string(node_.Port()) + "/?id=" + bid + "&type=101";
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    int LogCount(const std::string& part) {
        int n = 0;
        for (const std::string& l : Log()) n += l.find(part) != std::string::npos;
        return n;
    }
    // Waits until the node's link with Redis is `clustered`.
    bool WaitClustered(bool clustered, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            bool now = !clustered;
            node_.Inspect([&](const RelayRules&, bool c) { now = c; });
            if (now == clustered) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    static ServerSettings Local(ServerSettings s) {
        s.bind = "127.0.0.1";
        s.port = 0;
        return s;
    }

    std::mutex mutex_;
    std::vector<std::string> lines_;
    SyncNode node_;
    bool ok_ = false;
    std::thread thread_;
};

}  // namespace kestrava::sync::testing
