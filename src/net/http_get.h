// Fetching a short text resource (configuration values, a notice, an IP-location page).
#pragma once

#include <string>

#include "net/transfer_limits.h"

namespace kestrava::net {

// The texts fetched are a few bytes each; a second per byte of a trickling server adds up.
struct HttpGetOptions {
    TransferLimits limits{std::chrono::seconds(15), 64 * 1024};
};

// GETs `url` (http or https) and returns the body of whatever response came, whatever its
// status. On failure returns one of "Error:Open session!\n", "Error:Connect failed!\n",
// "Error:OpenRequest failed!\n", "Error:AddRequestHeaders failed!\n", "Error:SendRequest
// failed!\n" (the server could not be reached or the request not sent), "Error:EndRequest
// failed!\n" (no complete response within the deadline, or a body over the cap). Never throws;
// blocks the calling thread for at most the deadline.
std::string HttpGet(const std::string& url, const HttpGetOptions& options = {});

}  // namespace kestrava::net
