// One node of the sync server: the relay rules, the WebSocket transport, and (with a Redis
// address) the bridge to the rest of the cluster, wired together. main() runs one; the tests
// run several in one process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "redis_bridge.h"
#include "relay_rules.h"
#include "settings.h"
#include "ws_transport.h"

namespace kestrava::sync {

class SyncNode {
public:
    using Log = std::function<void(const std::string&)>;
    // The log defaults to standard error with the node's name and the time.
    explicit SyncNode(ServerSettings settings, Log log = {});
    ~SyncNode();
    SyncNode(const SyncNode&) = delete;
    SyncNode& operator=(const SyncNode&) = delete;

    bool Listen(std::string* error);
    int Port() const { return transport_.Port(); }
    const std::string& Name() const { return settings_.node; }
    // Runs until Stop (on the calling thread).
    void Run();
    // Safe from any thread.
    void Stop();

    // Runs `fn` on the event loop and waits for it: what tests read of the rules and the cluster
    // link. False when the loop did not run it within a few seconds.
    bool Inspect(const std::function<void(const RelayRules& rules, bool clustered)>& fn);

private:
    void ToCluster(const Action& a);
    void FromCluster(const std::string& message);
    void OnRedisState(bool up, const std::string& why);

    ServerSettings settings_;
    Log log_;
    RelayRules rules_;
    WsTransport transport_;
    std::unique_ptr<RedisBridge> bridge_;
};

std::int64_t SystemMs();

}  // namespace kestrava::sync
