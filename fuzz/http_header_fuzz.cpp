// The update download's response header and address: Content-Length is the digits of the first
// such line, never above the limit, whatever the limit; an address splits into a host without
// blanks of the authority and an object that starts with '/'; the request built from them is
// one header ending in a blank line.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <limits>
#include <string>

#include "fuzz_support.h"
#include "net/http_socket.h"

namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// The value text of the first line that starts with the header's name, or nothing.
std::optional<std::string_view> FirstLengthLine(std::string_view header) {
    std::size_t at = 0;
    while (at < header.size()) {
        std::size_t end = header.find("\r\n", at);
        if (end == std::string_view::npos) end = header.size();
        const std::string_view line = header.substr(at, end - at);
        at = end + 2;
        if (StartsWithNoCase(line, "Content-Length")) return line;
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava::net;
    FuzzedDataProvider in(data, size);
    // The real limit most of the time, any limit up to the largest size now and then.
    std::size_t limit = kMaxDownloadBytes;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 1: limit = in.ConsumeIntegral<std::size_t>(); break;
        case 2: limit = std::numeric_limits<std::size_t>::max() - in.ConsumeIntegralInRange<std::size_t>(0, 100); break;
        default: break;
    }
    const std::string url = in.ConsumeRandomLengthString(200);
    const std::string header = in.ConsumeRemainingBytesAsString();

    const auto length = ParseContentLength(header, limit);
    if (length) {
        FUZZ_CHECK(*length <= limit);
        const auto line = FirstLengthLine(header);
        FUZZ_CHECK(line.has_value());
        // The digits of the line give the value back, without wrapping around.
        std::string_view v = line->substr(line->find(':') + 1);
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
        while (v.size() > 1 && v.front() == '0') v.remove_prefix(1);
        FUZZ_CHECK(std::to_string(*length) == v);
    }

    std::string host, object;
    if (SplitHttpUrl(url, host, object)) {
        FUZZ_CHECK(StartsWithNoCase(url, "http://"));
        FUZZ_CHECK(!host.empty() && host.find_first_of("/?:@") == std::string::npos);
        FUZZ_CHECK(!object.empty() && object.front() == '/');
        const std::string request = CHttpSocket::FormatRequestHeader(host, object);
        FUZZ_CHECK(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0);
        // A line break in the address would let it write header lines of its own.
        FUZZ_CHECK(request.find("\r\n\r\n") == request.size() - 4);
    }
    return 0;
}
