#include "net/http_get.h"

#include <curl/curl.h>

#include <memory>

#include "log/log_book.h"
#include "net/curl_transfer.h"

namespace kestrava::net {

namespace {

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// The system's HTTP service gives up on a silent peer after these; the overall deadline of the
// options comes first for the texts fetched here.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallSeconds = 30;

}  // namespace

std::string HttpGet(const std::string& url, const HttpGetOptions& options) {
    InitCurlOnce();
    std::unique_ptr<CURLU, CurlDeleter> parts(curl_url());
    if (!parts) return "Error:Open session!\n";
    bool cracked = curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    if (cracked) {
        char* scheme = nullptr;
        cracked = curl_url_get(parts.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
                  (std::string_view(scheme) == "http" || std::string_view(scheme) == "https");
        curl_free(scheme);
    }
    if (!cracked) {
        log::DebugPrintf("Error:WinHttpCrackUrl failed!\n");
        return "Error:Connect failed!\n";
    }

    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return "Error:Open session!\n";
    CURL* c = curl.get();
    CappedBody body(options.limits.maxBodyBytes);
    if (curl_easy_setopt(c, CURLOPT_CURLU, parts.get()) != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L) != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_USERAGENT, "HttpGet") != CURLE_OK ||
        // Redirects are followed as the system's HTTP service does, never to other schemes.
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L) != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L) != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L) != CURLE_OK ||
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds) != CURLE_OK ||
        !ApplyTransferLimits(c, options.limits, body)) {
        return "Error:OpenRequest failed!\n";
    }
    std::unique_ptr<curl_slist, CurlDeleter> headers(
        curl_slist_append(nullptr, "Content-type: application/x-www-form-urlencoded"));
    if (!headers || curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK) {
        return "Error:AddRequestHeaders failed!\n";
    }

    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_OK) return body.text;
    if (body.overflowed || rc == CURLE_FILESIZE_EXCEEDED) {
        log::DebugPrintf("HttpGet %s: answer longer than %zu bytes, refused\n", url.c_str(), body.cap);
    } else {
        log::DebugPrintf("HttpGet %s: %s\n", url.c_str(), curl_easy_strerror(rc));
    }
    switch (rc) {
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SEND_ERROR:
            return "Error:SendRequest failed!\n";
        case CURLE_OPERATION_TIMEDOUT: {
            // Timed out while still connecting: the request never went out.
            curl_off_t connectedAfter = 0;
            curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connectedAfter);
            return connectedAfter == 0 ? "Error:SendRequest failed!\n" : "Error:EndRequest failed!\n";
        }
        default:
            // A body cut short is no value to hand on: a truncated number reads as another one.
            return "Error:EndRequest failed!\n";
    }
}

}  // namespace kestrava::net
