// Plain TCP helpers shared by the file download and the time-server query.
#pragma once

#include <cstdint>
#include <string>

namespace kestrava::net {

// Resolves `host` to its first IPv4 address (kept as dotted text in `address` when given),
// connects to `port` without blocking for longer than `timeoutMs` and returns the connected,
// blocking socket, or -1.
int ConnectTcp(const std::string& host, std::uint16_t port, int timeoutMs, std::string* address = nullptr);

// Waits at most `timeoutMs` for `events` (poll flags) on `fd`; true when they are ready.
bool WaitForSocket(int fd, short events, int timeoutMs);

}  // namespace kestrava::net
