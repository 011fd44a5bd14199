#include "feed_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <strings.h>

#include <string_view>
#include <thread>
#include <vector>

namespace kestrava::sorrelpane {

namespace {

// The request head must upgrade to a WebSocket; anything else is answered 400 and closed.
constexpr char kRefusal[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
constexpr char kWebSocketGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
// The page's lines are short; a head or frame longer than this ends the connection.
constexpr std::size_t kMaxPending = 8192;
constexpr std::size_t kMaxConnections = 32;

struct Connection {
    int fd = -1;
    bool upgraded = false;
    std::string buffer;
};

std::string HeaderValue(const std::string& head, std::string_view name) {
    std::size_t pos = 0;
    while ((pos = head.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        if (head.size() - pos > name.size() && strncasecmp(head.c_str() + pos, name.data(), name.size()) == 0 &&
            head[pos + name.size()] == ':') {
            std::size_t begin = pos + name.size() + 1;
            const std::size_t end = head.find("\r\n", begin);
            while (begin < head.size() && head[begin] == ' ') ++begin;
            return head.substr(begin, (end == std::string::npos ? head.size() : end) - begin);
        }
    }
    return {};
}

void WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n <= 0) return;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

std::string WebSocketAccept(const std::string& key) {
    const std::string text = key + kWebSocketGuid;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    unsigned char encoded[4 * ((SHA_DIGEST_LENGTH + 2) / 3) + 1];
    const int n = EVP_EncodeBlock(encoded, digest, SHA_DIGEST_LENGTH);
    return std::string(reinterpret_cast<char*>(encoded), static_cast<std::size_t>(n));
}

std::optional<WebSocketFrame> TakeWebSocketFrame(std::string& buffer) {
    if (buffer.size() < 2) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(buffer[i]); };
    WebSocketFrame frame;
    frame.opcode = byte(0) & 0x0F;
    const bool masked = (byte(1) & 0x80) != 0;
    std::uint64_t length = byte(1) & 0x7F;
    std::size_t at = 2;
    if (length == 126 || length == 127) {
        const std::size_t extra = length == 126 ? 2 : 8;
        if (buffer.size() < at + extra) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < extra; ++i) length = (length << 8) | byte(at + i);
        at += extra;
    }
    if (length > kMaxPending) {
        frame.opcode = WebSocketFrame::kTooLong;
        return frame;
    }
    const std::size_t maskAt = at;
    if (masked) at += 4;
    if (buffer.size() < at + length) return std::nullopt;
    frame.payload = buffer.substr(at, static_cast<std::size_t>(length));
    if (masked) {
        for (std::size_t i = 0; i < frame.payload.size(); ++i) frame.payload[i] ^= buffer[maskAt + i % 4];
    }
    buffer.erase(0, at + static_cast<std::size_t>(length));
    return frame;
}

struct FeedListener::State {
    LineSink sink;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    int port = 0;
    std::thread thread;

    ~State() {
        if (thread.joinable()) {
            const char stop = 1;
            [[maybe_unused]] ssize_t n = write(wake[1], &stop, 1);
            thread.join();
        }
        for (int fd : {listenFd, wake[0], wake[1]}) {
            if (fd >= 0) close(fd);
        }
    }

    // False when the connection is to end.
    bool Serve(Connection& c, std::string_view data) {
        c.buffer.append(data);
        if (!c.upgraded) {
            const std::size_t end = c.buffer.find("\r\n\r\n");
            if (end == std::string::npos) return c.buffer.size() <= kMaxPending;
            const std::string head = c.buffer.substr(0, end + 2);
            c.buffer.erase(0, end + 4);
            const std::string key = HeaderValue(head, "Sec-WebSocket-Key");
            if (head.compare(0, 4, "GET ") != 0 || key.empty()) {
                WriteAll(c.fd, kRefusal);
                return false;
            }
            WriteAll(c.fd, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Accept: " + WebSocketAccept(key) + "\r\n\r\n");
            c.upgraded = true;
        }
        while (std::optional<WebSocketFrame> frame = TakeWebSocketFrame(c.buffer)) {
            switch (frame->opcode) {
            case WebSocketFrame::kText:
                sink(frame->payload);
                break;
            case WebSocketFrame::kPing: {
                std::string pong{static_cast<char>(0x8A), static_cast<char>(frame->payload.size())};
                WriteAll(c.fd, pong + frame->payload.substr(0, 125));
                break;
            }
            case WebSocketFrame::kClose:
            case WebSocketFrame::kTooLong:
                return false;
            default:
                break;  // binary and continuation frames are not the page's
            }
        }
        return c.buffer.size() <= kMaxPending + 16;
    }

    void Run() {
        std::vector<Connection> connections;
        for (;;) {
            std::vector<pollfd> fds{{wake[0], POLLIN, 0}, {listenFd, POLLIN, 0}};
            for (const Connection& c : connections) fds.push_back({c.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents) break;
            if ((fds[1].revents & POLLIN) && connections.size() < kMaxConnections) {
                const int fd = accept(listenFd, nullptr, nullptr);
                if (fd >= 0) {
                    const int one = 1;
                    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    connections.push_back(Connection{fd, false, {}});
                }
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                Connection& c = connections[i - 2];
                char chunk[2048];
                const ssize_t n = read(c.fd, chunk, sizeof chunk);
                if (n <= 0 || !Serve(c, std::string_view(chunk, static_cast<std::size_t>(n)))) {
                    close(c.fd);
                    c.fd = -1;
                }
            }
            std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
        }
        for (const Connection& c : connections) close(c.fd);
    }
};

FeedListener::FeedListener(std::unique_ptr<State> state) : state_(std::move(state)) {}
FeedListener::~FeedListener() = default;

int FeedListener::Port() const { return state_->port; }

std::unique_ptr<FeedListener> FeedListener::Start(LineSink sink) {
    auto s = std::make_unique<State>();
    s->sink = std::move(sink);
    if (pipe(s->wake) != 0) return nullptr;
    s->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s->listenFd < 0) return nullptr;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(s->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s->listenFd, 8) != 0 ||
        getsockname(s->listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return nullptr;
    }
    s->port = ntohs(addr.sin_port);
    State* raw = s.get();
    s->thread = std::thread([raw] { raw->Run(); });
    return std::unique_ptr<FeedListener>(new FeedListener(std::move(s)));
}

}  // namespace kestrava::sorrelpane
