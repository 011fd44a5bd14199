// A lean load generator: plain sockets and one epoll thread speaking just enough WebSocket
// (the handshake, masked text frames out, unmasked frames in) that the clients' own cost does
// not hide the server's. websocketpp's client spends tens of microseconds per frame received,
// which on two cores would measure the load generator, not the server.
#pragma once

#include <sys/epoll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "raw_websocket.h"

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
            const int fd = kestrava::sync::testing::ConnectLoopback(port_);
            if (fd < 0) break;
            // A server that never answers the handshake costs three seconds, not the run.
            if (!kestrava::sync::testing::Upgrade(fd, std::to_string(firstBid + k), std::chrono::seconds(3))) {
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
        const std::string f = kestrava::sync::testing::MaskedFrame(0x1, text);
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
