#include "net/curl_transfer.h"

#include <mutex>

namespace kestrava::net {

namespace {

size_t AppendCapped(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<CappedBody*>(user);
    const std::size_t n = size * count;
    if (body->text.size() + n > body->cap) {
        body->overflowed = true;
        return 0;  // anything but n ends the transfer with CURLE_WRITE_ERROR
    }
    body->text.append(data, n);
    return n;
}

}  // namespace

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ApplyTransferLimits(CURL* curl, const TransferLimits& limits, CappedBody& body) {
    const long deadlineMs = static_cast<long>(limits.deadline.count() > 0 ? limits.deadline.count() : 1);
    return curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, deadlineMs) == CURLE_OK &&
           // A declared length over the cap is refused before any of it is read.
           curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(body.cap)) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendCapped) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body) == CURLE_OK;
}

}  // namespace kestrava::net
