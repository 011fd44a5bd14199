// The WebSocket side of the sync server (websocketpp on Asio, one event-loop thread). It admits
// connections through the relay rules, hands them every frame and carries out the sends they
// decide; the actions meant for the cluster go to `clusterSink`. The library's headers do not
// compile as C++20, so they stay behind this interface in a C++17 translation unit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "relay_rules.h"

namespace kestrava::sync {

class WsTransport {
public:
    using Clock = std::function<std::int64_t()>;  // milliseconds since 1970
    using Log = std::function<void(const std::string&)>;
    using ClusterSink = std::function<void(const Action&)>;

    // `rules` is used only on the event-loop thread and must outlive this object.
    WsTransport(RelayRules& rules, Clock clock, Log log, ClusterSink clusterSink);
    ~WsTransport();
    WsTransport(const WsTransport&) = delete;
    WsTransport& operator=(const WsTransport&) = delete;

    // Binds the listening socket (port 0: any free one); false with the reason.
    bool Listen(const std::string& bind, int port, std::string* error);
    int Port() const;
    // Runs the event loop on the calling thread until Stop; `everySecond` runs on it each second.
    void Run(std::function<void()> everySecond);
    // Ends Run; safe from any thread and from a signal-watching thread.
    void Stop();
    // Runs `fn` on the event-loop thread.
    void Post(std::function<void()> fn);
    // Carries out the actions of the rules (on the event-loop thread).
    void Execute(const std::vector<Action>& actions);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrava::sync
