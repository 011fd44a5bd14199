// Shared pieces of the fuzz targets: a scratch installation folder the process works in, file
// helpers, an invariant check that stops the run with a message, and a one-shot TCP server on
// 127.0.0.1 for the parsers that read from a socket.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

namespace kestrava::fuzz {

// An invariant of the parser under test; a broken one ends the run like a crash, with the
// condition and the place, so libFuzzer keeps the input as a crash artifact.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #cond);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Moves the process into a fresh folder laid out like an installation (bin/, ScreenShot/del0/,
// Log/), once; every program path of the code under test is relative to it. Inside
// $KESTRAVA_FUZZ_SCRATCH when set (scripts/fuzz points it at a folder on /dev/shm, so the many
// small writes and fsyncs stay in memory, and removes it afterwards), else in /tmp. The folder
// outlives the process: libFuzzer ends it with _exit.
inline const std::filesystem::path& ScratchInstallation() {
    static const std::filesystem::path dir = [] {
        const char* base = std::getenv("KESTRAVA_FUZZ_SCRATCH");
        std::string pattern = base != nullptr && *base != '\0' ? base : "/tmp";
        pattern += "/kestrava-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        const std::filesystem::path p(pattern);
        std::filesystem::create_directories(p / "bin");
        std::filesystem::create_directories(p / "ScreenShot" / "del0");
        std::filesystem::create_directories(p / "Log");
        std::filesystem::current_path(p);
        return p;
    }();
    return dir;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A TCP server on 127.0.0.1 (a port the system picks) that answers each connection with the
// bytes of the current input and closes it. Before answering it reads what the client sent up
// to a blank line (an HTTP request) when `readRequest` is set, so the client never meets a reset.
class OneShotServer {
public:
    explicit OneShotServer(bool readRequest) : readRequest_(readRequest) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        FUZZ_CHECK(listener_ >= 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        FUZZ_CHECK(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
        socklen_t len = sizeof a;
        FUZZ_CHECK(::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) == 0);
        port_ = ntohs(a.sin_port);
        FUZZ_CHECK(::listen(listener_, 16) == 0);
        thread_ = std::thread([this] { Serve(); });
        thread_.detach();  // lives as long as the process
    }

    std::uint16_t Port() const { return port_; }

    // What the next connections are answered with.
    void Answer(std::string_view bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_.assign(bytes.data(), bytes.size());
    }

private:
    void Serve() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            if (readRequest_) ReadRequest(fd);
            std::string answer;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                answer = answer_;
            }
            std::string_view rest = answer;
            while (!rest.empty()) {
                const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
                if (n <= 0) break;
                rest.remove_prefix(static_cast<std::size_t>(n));
            }
            ::shutdown(fd, SHUT_WR);
            // Waits for the client to close first, so the answer is not cut by a reset.
            pollfd p{fd, POLLIN, 0};
            char sink[256];
            while (::poll(&p, 1, 2000) > 0 && ::recv(fd, sink, sizeof sink, 0) > 0) {
            }
            ::close(fd);
        }
    }

    static void ReadRequest(int fd) {
        std::string request;
        char c;
        pollfd p{fd, POLLIN, 0};
        while (request.size() < 4096 && ::poll(&p, 1, 2000) > 0 && ::recv(fd, &c, 1, 0) == 1) {
            request.push_back(c);
            if (request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0) break;
        }
    }

    bool readRequest_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::string answer_;
    std::thread thread_;
};

}  // namespace kestrava::fuzz
