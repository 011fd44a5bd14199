// Plain TCP helpers shared by the file download and the time-server query.
#pragma once

#include <cstdint>
#include <string>

#include "net/resolve.h"

namespace kestrava::net {

// Resolves `host` to its first IPv4 address (kept as dotted text in `address` when given) with
// `resolver` (the system's when empty), connects to `port` and returns the connected, blocking
// socket, or -1. The look-up and the connection together take at most `timeoutMs`.
int ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs, std::string* address = nullptr,
               const Resolver& resolver = {});

// Waits at most `timeoutMs` for `events` (poll flags) on `fd`; true when they are ready.
bool WaitForSocket(int fd, short events, int timeoutMs);

}  // namespace kestrava::net
