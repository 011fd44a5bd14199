// A file fetched over a plain TCP connection with a hand-built HTTP/1.1 request: the remote
// version file of the update check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace kestrava::net {

// The largest body a download accepts; a Content-Length beyond it is treated as no length.
inline constexpr std::size_t kMaxDownloadBytes = 4 * 1024 * 1024;

// The value of the response header's Content-Length line, when it is a plain decimal number no
// larger than `limit`.
std::optional<std::size_t> ParseContentLength(std::string_view header, std::size_t limit = kMaxDownloadBytes);

class CHttpSocket {
public:
    explicit CHttpSocket(std::uint16_t port = 80);
    ~CHttpSocket();
    CHttpSocket(const CHttpSocket&) = delete;
    CHttpSocket& operator=(const CHttpSocket&) = delete;

    // The request, byte for byte as the update servers expect it.
    static std::string FormatRequestHeader(std::string_view host, std::string_view object);

    // Closes a previous connection, resolves `host`, connects to its first IPv4 address.
    bool Connect(const std::string& host, int timeoutMs);
    bool SendRequest(std::string_view request);
    // Applies to every later receive, the header's included.
    void SetReceiveTimeout(int timeoutMs);
    // Reads the header one byte at a time up to its blank line, at most 1024 bytes. False when
    // the connection ended, timed out or the header did not fit.
    bool ReceiveHeader();
    // Bytes received (> 0), 0 when the server closed the connection, -1 on an error or time-out.
    long Receive(char* buffer, std::size_t size);
    void Close();

    bool Connected() const { return fd_ >= 0; }
    bool HeaderReceived() const { return headerReceived_; }
    const std::string& Header() const { return header_; }
    // The server's IPv4 address in dotted form.
    const std::string& ServerAddress() const { return address_; }

private:
    std::uint16_t port_;
    int fd_ = -1;
    std::string header_;
    bool headerReceived_ = false;
    std::string address_;
};

struct DownloadOptions {
    std::uint16_t port = 80;  // the update servers listen on 80 whatever the address says
    std::string outputPath = "Updater.ini";
    int connectTimeoutMs = 10000;
    int receiveTimeoutMs = 10000;
};

// Fetches `url` into `outputPath`. An unreachable server gives an empty file and true (the
// version read from it is then 0). A body that ends early or stalls shows why, removes the
// incomplete file and returns false.
bool DownloadToFile(const std::string& url, platform::Notices& notices, const DownloadOptions& options = {});

// Splits "http://host[:port]/path?query" into the host and the object (path with query, "/" at
// least). False for anything else.
bool SplitHttpUrl(std::string_view url, std::string& host, std::string& object);

}  // namespace kestrava::net
