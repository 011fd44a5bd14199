// A lean load generator: plain sockets and one epoll thread speaking just enough WebSocket
// (the handshake, masked text frames out, unmasked frames in) that the clients' own cost does
// not hide the server's. websocketpp's client spends tens of microseconds per frame received,
// which on two cores would measure the load generator, not the server.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RawClients {
public:
    using OnText = std::function<void(int conn, const std::string& text)>;

    RawClients(int port, OnText onText) : port_(port), onText_(std::move(onText)), epoll_(epoll_create1(0)) {
        conns_.reserve(kMax);  // never moves while the loop reads it
        thread_ = std::thread([this] { Loop(); });
    }
    ~RawClients() {
        stop_ = true;
        thread_.join();
        for (Conn& c : conns_) {
            if (c.fd >= 0) close(c.fd);
        }
        close(epoll_);
    }

    // Connects `n` clients with bid numbers from `firstBid` (blocking handshakes, in order);
    // how many are open.
    int Open(int n, int firstBid) {
        for (int k = 0; k < n && static_cast<int>(conns_.size()) < kMax; ++k) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            if (fd < 0) break;
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(port_));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            const timeval wait{3, 0};  // a server that never answers the handshake
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                close(fd);
                break;
            }
            const std::string req = "GET /?id=" + std::to_string(firstBid + k) +
                                    "&type=101 HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                    "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                    "Sec-WebSocket-Version: 13\r\n\r\n";
            if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size()) || !ReadHandshake(fd)) {
                close(fd);
                continue;
            }
            int index;
            {
                std::lock_guard lock(mutex_);
                index = static_cast<int>(conns_.size());
                conns_.push_back(Conn{fd, {}});
            }
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u32 = static_cast<uint32_t>(index);
            epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
            ++open_;
        }
        return open_;
    }

    int OpenCount() const { return open_; }

    // A masked text frame (mask key 0: the payload goes as it is).
    void Send(int conn, const std::string& text) {
        std::string f;
        f += static_cast<char>(0x81);
        f += static_cast<char>(0x80 | text.size());
        f.append(4, '\0');
        f += text;
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = conns_[conn].fd;
        }
        if (write(fd, f.data(), f.size()) < 0) return;
    }

private:
    static constexpr int kMax = 40000;
    struct Conn {
        int fd;
        std::string buf;
    };

    static bool ReadHandshake(int fd) {
        std::string got;
        char b[1024];
        while (got.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = read(fd, b, sizeof b);
            if (n <= 0) return false;
            got.append(b, static_cast<std::size_t>(n));
        }
        return got.rfind("HTTP/1.1 101", 0) == 0;
    }

    void Loop() {
        epoll_event events[256];
        char b[65536];
        while (!stop_) {
            const int n = epoll_wait(epoll_, events, 256, 50);
            for (int e = 0; e < n; ++e) {
                const int i = static_cast<int>(events[e].data.u32);
                int fd;
                {
                    std::lock_guard lock(mutex_);
                    fd = conns_[i].fd;
                }
                const ssize_t got = read(fd, b, sizeof b);
                if (got <= 0) {
                    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
                    --open_;
                    continue;
                }
                std::string& buf = conns_[i].buf;  // only this thread touches buf
                buf.append(b, static_cast<std::size_t>(got));
                // Server frames are unmasked and short (lengths below 126).
                while (buf.size() >= 2 && buf.size() >= 2 + static_cast<std::size_t>(buf[1] & 0x7f)) {
                    const std::size_t len = static_cast<std::size_t>(buf[1] & 0x7f);
                    if ((buf[0] & 0x0f) == 1) onText_(i, buf.substr(2, len));
                    buf.erase(0, 2 + len);
                }
            }
        }
    }

    int port_;
    OnText onText_;
    int epoll_;
    std::atomic<bool> stop_{false};
    std::atomic<int> open_{0};
    std::mutex mutex_;  // conns_ grows (within its reserve) while the loop reads it
    std::vector<Conn> conns_;
    std::thread thread_;
};
