// Setting the PC clock from a Time Protocol (RFC 868) server over TCP: the strategies' bid
// moments fall back on the PC clock when the page clock is not available.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/resolve.h"
#include "platform/platform.h"

namespace kestrava::net {

// Seconds from 1900-01-01 to 1970-01-01.
inline constexpr std::int64_t kSecondsFrom1900To1970 = 2208988800;

// The servers asked in order, the first answer wins.
const std::vector<std::string>& DefaultTimeServers();

// The moment this program was built (seconds since 1970, UTC): no answer may set the clock
// before it.
std::int64_t BuildEpochSeconds();

struct TimeQueryOptions {
    std::uint16_t port = 37;
    // The name's look-up and the connection together: a server whose name never resolves costs
    // no more than one that never accepts.
    int connectTimeoutMs = 5000;
    int answerTimeoutMs = 1000;
    Resolver resolver;  // the system's look-up when empty
};

// Asks one server ("host", or "host:port" for another port than options.port); the 32-bit
// seconds since 1900 it answered, or nothing (refused, silent, or anything but exactly four
// bytes within the answer time).
std::optional<std::uint32_t> QueryTimeServer(const std::string& server, const TimeQueryOptions& options = {});

// Seconds since 1970 of an RFC 868 answer. The 32-bit count wraps on 2036-02-07 06:28:16 UTC;
// an answer with its top bit clear is read as the next era (no server answers with a time
// before 1968). Nothing for an answer before `notBefore` (seconds since 1970).
std::optional<std::int64_t> DecodeTimeProtocol(std::uint32_t seconds, std::int64_t notBefore);

struct ClockSyncOptions {
    std::vector<std::string> servers = DefaultTimeServers();
    TimeQueryOptions query;
    std::int64_t notBefore = BuildEpochSeconds();
};

// Queries the servers in order until one answers with a time not before `notBefore` and sets
// the system clock (UTC, whole seconds) from that answer. Returns the time set, or nothing when no server answered
// usably and the clock was left alone. Nothing is shown to the user.
std::optional<std::int64_t> SyncClockFromNetwork(platform::SystemTime& systemTime,
                                                 const ClockSyncOptions& options = {});

}  // namespace kestrava::net
