// Many WebSocket clients on one event-loop thread (websocketpp, as the console uses it), for
// the sync server's tests and benchmark: open, send, and what each one has received.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrava::sync::testing {

class WsClients {
public:
    // `keep` false: received texts are only counted (and timed by `onMessage`), not stored.
    explicit WsClients(bool keep = true);
    ~WsClients();
    WsClients(const WsClients&) = delete;
    WsClients& operator=(const WsClients&) = delete;

    // Starts a connection to `url`; its index.
    int Open(const std::string& url);
    // Waits until the connection is open (true) or has failed or closed (false).
    bool WaitOpen(int i, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits until the connection has ended (closed or failed).
    bool WaitEnded(int i, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The HTTP status of a refused handshake (0 when there was none).
    int Status(int i);
    // The close code the server sent when it closed the connection.
    int CloseCode(int i);
    bool IsOpen(int i);
    // Counts of connections open and ended (failed or closed).
    int OpenCount();
    int EndedCount();

    void Send(int i, const std::string& text);
    void Close(int i);

    std::vector<std::string> Received(int i);
    std::uint64_t ReceivedCount(int i);
    // Waits until connection `i` has received `text`.
    bool WaitFor(int i, const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Called on the client thread for every text received (index, text).
    void OnMessage(std::function<void(int, const std::string&)> fn);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrava::sync::testing
