// A WebSocket server on 127.0.0.1 for the sync-client tests: records what clients send and how
// they close, and sends texts (or binary frames) to every open connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrava::net::test {

class WsTestServer {
public:
    // Port 0 picks a free one; a given port is reused (a "restarted" server).
    explicit WsTestServer(std::uint16_t port = 0);
    // Stops at once, without closing handshakes, as a killed server would.
    ~WsTestServer();
    std::uint16_t Port() const;

    void SendToAll(const std::string& payload, bool binary = false);
    // Everything the clients sent, in order.
    std::vector<std::string> Received();
    // Status codes of the close frames clients sent.
    std::vector<int> CloseCodes();
    int ConnectionsOpened();
    int ConnectionsOpen();

    // Wait (at most `timeoutMs` of real time) until the condition holds.
    bool WaitForOpened(int count, int timeoutMs = 5000);
    bool WaitForReceived(const std::string& text, int timeoutMs = 5000);
    bool WaitForCloseCode(int code, int timeoutMs = 5000);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrava::net::test
