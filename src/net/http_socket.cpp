#include "net/http_socket.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "log/log_book.h"
#include "net/tcp_connect.h"

namespace kestrava::net {

namespace {

constexpr std::size_t kHeaderLimit = 1024;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<std::size_t> ParseContentLength(std::string_view header, std::size_t limit) {
    // Header names are case-insensitive and only count at the start of a line.
    std::size_t lineStart = 0;
    while (lineStart < header.size()) {
        std::size_t lineEnd = header.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = header.size();
        std::string_view line = header.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (!StartsWithNoCase(line, "Content-Length")) continue;
        line.remove_prefix(14);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        if (line.empty() || line.front() != ':') return std::nullopt;
        line.remove_prefix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (line.empty()) return std::nullopt;
        std::size_t value = 0;
        for (char c : line) {
            if (c < '0' || c > '9') return std::nullopt;
            const auto digit = static_cast<std::size_t>(c - '0');
            // Checked before the step, so that no limit lets the value wrap around.
            if (value > (limit - digit) / 10 || digit > limit) return std::nullopt;
            value = value * 10 + digit;
        }
        return value;
    }
    return std::nullopt;
}

bool SplitHttpUrl(std::string_view url, std::string& host, std::string& object) {
    constexpr std::string_view kScheme = "http://";
    if (!StartsWithNoCase(url, kScheme)) return false;
    // An address holds no blanks or control characters; a line break would add lines of its
    // own to the request's header.
    for (const char c : url)
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') return false;
    url.remove_prefix(kScheme.size());
    const std::size_t slash = url.find_first_of("/?");
    std::string_view authority = url.substr(0, slash);
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    const std::size_t colon = authority.find(':');
    host = std::string(authority.substr(0, colon));
    if (host.empty()) return false;
    object = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    if (object.front() == '?') object.insert(object.begin(), '/');
    return true;
}

CHttpSocket::CHttpSocket(std::uint16_t port) : port_(port) {}

CHttpSocket::~CHttpSocket() { Close(); }

std::string CHttpSocket::FormatRequestHeader(std::string_view host, std::string_view object) {
    std::string r;
    r.append("GET ").append(object).append(" HTTP/1.1\r\n");
    r.append("Host:").append(host).append("\r\n");
    r.append("Accept:*/*\r\n");
    r.append("User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n");
    r.append("Connection:Keep-Alive\r\n");
    r.append("\r\n");
    return r;
}

bool CHttpSocket::Connect(const std::string& host, int timeoutMs) {
    Close();
    header_.clear();
    headerReceived_ = false;
    fd_ = ConnectTcp(host, port_, timeoutMs, &address_);
    return fd_ >= 0;
}

bool CHttpSocket::SendRequest(std::string_view request) {
    while (fd_ >= 0 && !request.empty()) {
        const ssize_t n = ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        request.remove_prefix(static_cast<std::size_t>(n));
    }
    return fd_ >= 0;
}

void CHttpSocket::SetReceiveTimeout(int timeoutMs) {
    if (fd_ < 0) return;
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

bool CHttpSocket::ReceiveHeader() {
    if (headerReceived_) return true;
    header_.clear();
    while (fd_ >= 0 && header_.size() < kHeaderLimit) {
        char c;
        if (Receive(&c, 1) != 1) return false;
        header_.push_back(c);
        if (header_.ends_with("\r\n\r\n")) {
            headerReceived_ = true;
            return true;
        }
    }
    return false;
}

long CHttpSocket::Receive(char* buffer, std::size_t size) {
    if (fd_ < 0) return -1;
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

void CHttpSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool DownloadToFile(const std::string& url, platform::Notices& notices, const DownloadOptions& options) {
    std::string host;
    std::string object;
    if (!SplitHttpUrl(url, host, object)) {
        log::DebugPrintf("DownloadToFile: not an http address: %s\n", url.c_str());
        return false;
    }
    CHttpSocket socket(options.port);
    std::optional<std::size_t> length;
    if (socket.Connect(host, options.connectTimeoutMs)) {
        // The time-out also covers the header: a server that accepts and then says nothing
        // must not hold the update worker for ever.
        socket.SetReceiveTimeout(options.receiveTimeoutMs);
        if (socket.SendRequest(CHttpSocket::FormatRequestHeader(host, object)) && socket.ReceiveHeader()) {
            length = ParseContentLength(socket.Header());
            if (!length) log::DebugPrintf("DownloadToFile: no usable Content-Length from %s\n", url.c_str());
        }
    }

    std::ofstream file(options.outputPath, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    const std::size_t expected = length.value_or(0);
    std::size_t stored = 0;
    bool complete = true;
    char buffer[1024];
    while (stored < expected) {
        if (!socket.Connected()) {
            notices.Show("服务器已经关闭连接.", "");
            complete = false;
            break;
        }
        const long n = socket.Receive(buffer, std::min(sizeof buffer, expected - stored));
        if (n == 0) {
            socket.Close();
            notices.Show("服务器已经关闭连接.", "");
            complete = false;
            break;
        }
        if (n < 0) {
            socket.Close();
            notices.Show("接收数据超时.", "");
            complete = false;
            break;
        }
        file.write(buffer, n);
        stored += static_cast<std::size_t>(n);
    }
    file.close();
    socket.Close();
    if (!complete || !file) {
        // Half a version file reads as another version: keep none rather than a wrong one.
        std::remove(options.outputPath.c_str());
        return false;
    }
    return std::ifstream(options.outputPath).good();
}

}  // namespace kestrava::net
