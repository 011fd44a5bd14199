#include "net/network_clock.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "log/log_book.h"
#include "net/tcp_connect.h"

#ifndef KESTRAVA_BUILD_EPOCH
#error "KESTRAVA_BUILD_EPOCH (seconds since 1970 at configure time) is set by src/net/CMakeLists.txt"
#endif

namespace kestrava::net {

namespace {
constexpr std::int64_t kEra = std::int64_t{1} << 32;
}  // namespace

const std::vector<std::string>& DefaultTimeServers() {
    // Public servers that still answer the Time Protocol on TCP port 37.
    static const std::vector<std::string> servers = {
        "time.nist.gov",           "time-a-g.nist.gov",     "time-b-g.nist.gov",  "time-c-g.nist.gov",
        "time-d-g.nist.gov",       "time-a-wwv.nist.gov",   "time-b-wwv.nist.gov", "time-c-wwv.nist.gov",
        "time-d-wwv.nist.gov",     "time-a-b.nist.gov",     "time-b-b.nist.gov",  "time-c-b.nist.gov",
        "time-d-b.nist.gov",       "utcnist.colorado.edu",  "utcnist2.colorado.edu",
    };
    return servers;
}

std::int64_t BuildEpochSeconds() { return static_cast<std::int64_t>(KESTRAVA_BUILD_EPOCH); }

std::optional<std::uint32_t> QueryTimeServer(const std::string& server, const TimeQueryOptions& options) {
    std::string host = server;
    std::uint16_t port = options.port;
    if (const std::size_t colon = server.rfind(':'); colon != std::string::npos) {
        const int p = std::atoi(server.c_str() + colon + 1);
        if (p <= 0 || p > 65535) return std::nullopt;
        host = server.substr(0, colon);
        port = static_cast<std::uint16_t>(p);
    }
    const int fd = ConnectTcp(host, port, options.connectTimeoutMs, nullptr, options.resolver);
    if (fd < 0) return std::nullopt;

    // RFC 868 servers send the four bytes and close; TCP may hand them over in pieces, so
    // collect until four have come, the server closed, or the answer time ran out.
    unsigned char answer[4];
    std::size_t have = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.answerTimeoutMs);
    while (have < sizeof answer) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitForSocket(fd, POLLIN, static_cast<int>(left.count()))) break;
        const ssize_t n = ::recv(fd, answer + have, sizeof answer - have, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (have != sizeof answer) return std::nullopt;
    return (std::uint32_t{answer[0]} << 24) | (std::uint32_t{answer[1]} << 16) | (std::uint32_t{answer[2]} << 8) |
           std::uint32_t{answer[3]};
}

std::optional<std::int64_t> DecodeTimeProtocol(std::uint32_t seconds, std::int64_t notBefore) {
    std::int64_t since1900 = seconds;
    if ((seconds & 0x80000000u) == 0) since1900 += kEra;
    const std::int64_t since1970 = since1900 - kSecondsFrom1900To1970;
    if (since1970 < notBefore) return std::nullopt;
    return since1970;
}

std::optional<std::int64_t> SyncClockFromNetwork(platform::SystemTime& systemTime, const ClockSyncOptions& options) {
    for (const std::string& server : options.servers) {
        if (server.empty()) break;
        const std::optional<std::uint32_t> answer = QueryTimeServer(server, options.query);
        if (!answer) continue;
        const std::optional<std::int64_t> utc = DecodeTimeProtocol(*answer, options.notBefore);
        if (!utc) {
            // A server that answers with a time before this program existed is wrong; setting
            // the clock from it would break every timed action of the day. Ask the next one.
            log::DebugPrintf("time server %s answered %u, a time before this build; ignored\n", server.c_str(),
                             *answer);
            continue;
        }
        systemTime.SetUtc(*utc);
        return utc;
    }
    return std::nullopt;
}

}  // namespace kestrava::net
