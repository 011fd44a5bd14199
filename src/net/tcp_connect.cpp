#include "net/tcp_connect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace kestrava::net {

bool WaitForSocket(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc == 1 && (p.revents & events) != 0;
}

int ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs, std::string* address,
               const Resolver& resolver) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::optional<Ipv4> resolved = ResolveWithin(host, timeoutMs, resolver);
    if (!resolved) return -1;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = *resolved;
    target.sin_port = htons(port);
    if (address != nullptr) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &target.sin_addr, text, sizeof text);
        *address = text;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return -1;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        ::close(fd);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (!WaitForSocket(fd, POLLOUT, static_cast<int>(left.count())) || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0 || ::fcntl(fd, F_SETFL, flags) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace kestrava::net
