#include "tcp_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace kestrava::net::test {

namespace {

int ListenOnLoopback(std::uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

}  // namespace

TcpTestServer::TcpTestServer(Script script) : script_(std::move(script)) {
    listener_ = ListenOnLoopback(&port_);
    thread_ = std::thread([this] {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++accepted_;
            script_(fd);
            ::close(fd);
        }
    });
}

TcpTestServer::~TcpTestServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

std::string TcpTestServer::ReadRequest(int fd) {
    std::string request;
    char c;
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1 || ::recv(fd, &c, 1, 0) != 1) break;
        request.push_back(c);
    }
    return request;
}

void TcpTestServer::SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

void TcpTestServer::Trickle(int fd, const std::string& bytes, int intervalMs, int forMs) {
    SendAll(fd, bytes);
    for (int waited = 0; waited < forMs; waited += intervalMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        if (::send(fd, "x", 1, MSG_NOSIGNAL) != 1) return;
    }
}

std::uint16_t ClosedPort() {
    std::uint16_t port = 0;
    ::close(ListenOnLoopback(&port));
    return port;
}

}  // namespace kestrava::net::test
