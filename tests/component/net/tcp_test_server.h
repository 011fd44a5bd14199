// A TCP server on 127.0.0.1 that runs a script on every connection it accepts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace kestrava::net::test {

class TcpTestServer {
public:
    // Runs on the server's thread with the accepted socket, which is closed afterwards.
    using Script = std::function<void(int fd)>;
    explicit TcpTestServer(Script script);
    ~TcpTestServer();
    std::uint16_t Port() const { return port_; }
    int Accepted() const { return accepted_.load(); }

    // Reads what the client sends up to and including the first blank line (or 2 s of silence).
    static std::string ReadRequest(int fd);
    static void SendAll(int fd, const std::string& bytes);
    // Sends `bytes` and then one more byte every `intervalMs`, as a server that never quite
    // stalls, until the peer has gone or `forMs` have passed.
    static void Trickle(int fd, const std::string& bytes, int intervalMs, int forMs);

private:
    Script script_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// A loopback port nobody listens on (bound once, then released).
std::uint16_t ClosedPort();

}  // namespace kestrava::net::test
