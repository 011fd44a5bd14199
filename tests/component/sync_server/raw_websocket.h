// The little WebSocket a plain-socket client needs, shared by the tests' slow console and the
// bench's load generator: a connection to 127.0.0.1, the upgrade request for a bid number and
// its answer, and masked frames out (mask key 0, so the payload goes as it is).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace kestrava::sync::testing {

// A blocking TCP connection to 127.0.0.1:`port` with Nagle off (and, when `receiveBuffer` is
// above 0, that receive buffer); -1 when it fails.
inline int ConnectLoopback(int port, int receiveBuffer = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Appends what arrives on `fd` within `timeout`; false when nothing came or the peer closed.
inline bool ReadSome(int fd, std::string& into, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    char b[65536];
    const ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) return false;
    into.append(b, static_cast<std::size_t>(n));
    return true;
}

// Sends the console's upgrade request for `bid` and reads the answer: true on "101"; what came
// after the answer's header is left in `rest`. A server silent for `timeout` is a failure.
inline bool Upgrade(int fd, const std::string& bid, std::chrono::milliseconds timeout, std::string* rest = nullptr) {
    const std::string req = "GET /?id=" + bid + "&type=101 HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                            "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                            "Sec-WebSocket-Version: 13\r\n\r\n";
    if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size())) return false;
    std::string got;
    std::size_t end;
    while ((end = got.find("\r\n\r\n")) == std::string::npos) {
        if (!ReadSome(fd, got, timeout)) return false;
    }
    if (rest) *rest = got.substr(end + 4);
    return got.rfind("HTTP/1.1 101", 0) == 0;
}

// A client's frame (payloads below 126 bytes, which is all these clients send).
inline std::string MaskedFrame(int opcode, const std::string& payload) {
    std::string f(1, static_cast<char>(0x80 | opcode));
    f += static_cast<char>(0x80 | payload.size());
    f.append(4, '\0');
    f += payload;
    return f;
}

}  // namespace kestrava::sync::testing
