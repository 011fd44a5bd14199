// The WebSocket client endpoint of one sync connection. The library's headers do not compile as
// C++20, so they stay behind this interface in a C++17 translation unit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrava::net {

class WsClientEndpoint {
public:
    struct Handlers {
        std::function<void(const std::string& payload)> onMessage;
        std::function<void()> onPong;
        std::function<void()> onClose;
    };

    // An endpoint with its own event loop, access logging off and error logging on standard
    // error. The handlers run on the thread that calls Run.
    explicit WsClientEndpoint(Handlers handlers);
    ~WsClientEndpoint();
    WsClientEndpoint(const WsClientEndpoint&) = delete;
    WsClientEndpoint& operator=(const WsClientEndpoint&) = delete;

    // Creates the connection to `url`; false with the library's reason when it cannot.
    bool Prepare(const std::string& url, std::string* error);
    // Connects and runs the event loop until it has no more work or is stopped, then resets it.
    // A library exception ends the loop; its text is returned (empty when none).
    std::string Run();
    // Asks the event loop to stop; safe from any thread.
    void Stop();

    // The connection's state: 0 connecting, 1 open, 2 closing, 3 closed; -1 before Prepare.
    int State() const;
    // A text frame, safe from any thread. False (with the reason) when it could not be queued.
    bool SendText(const std::string& text, std::string* error);
    bool Close(std::uint16_t code, const std::string& reason, std::string* error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrava::net
