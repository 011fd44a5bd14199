// Fetching a short text resource (configuration values, a notice, an IP-location page).
#pragma once

#include <string>

namespace kestrava::net {

// GETs `url` (http or https) and returns the body of whatever response came, whatever its
// status. On failure returns one of "Error:Open session!\n", "Error:Connect failed!\n",
// "Error:OpenRequest failed!\n", "Error:AddRequestHeaders failed!\n", "Error:SendRequest
// failed!\n" (the server could not be reached or the request not sent), "Error:EndRequest
// failed!\n" (no complete response). Never throws; blocks the calling thread.
std::string HttpGet(const std::string& url);

}  // namespace kestrava::net
