// A loopback WebSocket endpoint for the page's price feed. Frames the page sends on it go from the
// page's process to the network thread and here without passing the browser's interface thread,
// which is busy painting exactly when the price changes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrava::sorrelpane {

class FeedListener {
public:
    // Called on the listener's own thread for every line received.
    using LineSink = std::function<void(const std::string& line)>;

    // Listens on 127.0.0.1 on a free port; null when no socket could be had.
    static std::unique_ptr<FeedListener> Start(LineSink sink);
    ~FeedListener();
    FeedListener(const FeedListener&) = delete;
    FeedListener& operator=(const FeedListener&) = delete;

    int Port() const;

private:
    struct State;
    explicit FeedListener(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// The WebSocket handshake's answer to a client's Sec-WebSocket-Key.
std::string WebSocketAccept(const std::string& key);

struct WebSocketFrame {
    static constexpr int kText = 1;
    static constexpr int kClose = 8;
    static constexpr int kPing = 9;
    static constexpr int kTooLong = -1;  // a frame the listener refuses to buffer
    int opcode = 0;
    std::string payload;  // unmasked
};

// Takes the first complete frame off the front of `buffer`; nothing while it is incomplete.
std::optional<WebSocketFrame> TakeWebSocketFrame(std::string& buffer);

}  // namespace kestrava::sorrelpane
