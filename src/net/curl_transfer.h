// What HttpGet and the object-storage put share on top of libcurl: the one-time set-up and the
// transfer limits with the capped body they collect the answer in.
#pragma once

#include <curl/curl.h>

#include <string>

#include "net/transfer_limits.h"

namespace kestrava::net {

// libcurl's global set-up is not thread-safe; done once for the process.
void InitCurlOnce();

// The answer's body, refused once it would grow past its cap.
struct CappedBody {
    explicit CappedBody(std::size_t cap) : cap(cap) {}
    std::string text;
    std::size_t cap;
    bool overflowed = false;
};

// Sets the overall deadline, the body cap (the transfer fails with CURLE_WRITE_ERROR when the
// body would exceed it) and the collection of the body into `body`; also keeps libcurl from
// using signals, which a multi-threaded program cannot allow. False when an option was refused.
bool ApplyTransferLimits(CURL* curl, const TransferLimits& limits, CappedBody& body);

}  // namespace kestrava::net
