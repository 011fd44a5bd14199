// Host-name look-ups with a time limit. The system's look-up has none of its own: with a name
// server that never answers it can block for minutes, and every bound the callers promise (a
// dead time server costs at most its connection time) would go with it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestrava::net {

// An IPv4 address in network byte order, as it goes into a socket address.
using Ipv4 = std::uint32_t;

// A look-up: the first IPv4 address of `host`, or nothing. It may block for as long as it likes.
using Resolver = std::function<std::optional<Ipv4>(const std::string& host)>;

// The system's look-up (getaddrinfo).
std::optional<Ipv4> SystemResolve(const std::string& host);

// The first IPv4 address of `host` within `timeoutMs`. A dotted address needs no look-up. Any
// other name is looked up by `resolver` (the system's when empty) on a thread of its own; when
// that has not answered in time the answer is nothing, and the thread, which holds nothing of the
// caller's, ends by itself whenever the look-up returns.
std::optional<Ipv4> ResolveWithin(const std::string& host, int timeoutMs, const Resolver& resolver = {});

}  // namespace kestrava::net
