// The floor under the fan-out figure: a bare server (accept, answer the upgrade, one send() per
// client from one thread, no WebSocket library, no rules) fanning one frame out to the same
// number of clients on this machine. What the sync server measures above it is its own cost;
// what this measures is what the kernel's loopback TCP costs here whatever the server.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace bare {

// Runs in a forked child: accepts `n` connections on `listenFd`, then echoes every frame that
// arrives on one connection to all the others as an unmasked text frame.
[[noreturn]] inline void Serve(int listenFd, int n) {
    std::vector<int> fds;
    for (int i = 0; i < n; ++i) {
        const int fd = accept(listenFd, nullptr, nullptr);
        if (fd < 0) break;
        std::string got;
        char b[2048];
        while (got.find("\r\n\r\n") == std::string::npos) {
            const ssize_t r = read(fd, b, sizeof b);
            if (r <= 0) _exit(1);
            got.append(b, static_cast<std::size_t>(r));
        }
        const std::string ok = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n";
        if (write(fd, ok.data(), ok.size()) != static_cast<ssize_t>(ok.size())) _exit(1);
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fds.push_back(fd);
    }
    const int ep = epoll_create1(0);
    for (std::size_t i = 0; i < fds.size(); ++i) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, fds[i], &ev);
    }
    epoll_event events[64];
    char b[4096];
    for (;;) {
        const int k = epoll_wait(ep, events, 64, -1);
        for (int e = 0; e < k; ++e) {
            const std::size_t from = events[e].data.u32;
            const ssize_t r = read(fds[from], b, sizeof b);
            if (r <= 6) _exit(0);
            // The clients mask with a zero key: the text follows the six header bytes as it is.
            std::string frame(1, static_cast<char>(0x81));
            frame += static_cast<char>(r - 6);
            frame.append(b + 6, static_cast<std::size_t>(r - 6));
            for (std::size_t j = 0; j < fds.size(); ++j) {
                if (j != from) send(fds[j], frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            }
        }
    }
}

// A bare server on a free port of 127.0.0.1 in a child process.
class Server {
public:
    explicit Server(int n) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4096) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            close(fd);
            return;
        }
        port_ = ntohs(a.sin_port);
        pid_ = fork();
        if (pid_ == 0) Serve(fd, n);
        close(fd);
    }
    ~Server() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int Port() const { return port_; }

private:
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace bare
