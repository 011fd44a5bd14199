// The bounds of one HTTP transfer. A server that sends a byte now and then never trips a stall
// timer, and one that sends without end would fill the memory: every transfer has an overall
// deadline (look-up, connection, request and answer together) and a cap on the answer's body.
#pragma once

#include <chrono>
#include <cstddef>

namespace kestrava::net {

struct TransferLimits {
    std::chrono::milliseconds deadline;
    std::size_t maxBodyBytes;
};

}  // namespace kestrava::net
