#include "log/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace kestrava::log {
namespace {

// How many bytes to drop after a sequence the converter refused: a whole well-formed UTF-8
// character that has no GBK code, otherwise the one offending byte.
std::size_t Utf8SkipLength(const char* p, std::size_t left) {
    const auto lead = static_cast<unsigned char>(p[0]);
    std::size_t n = 1;
    if ((lead & 0xE0) == 0xC0) n = 2;
    else if ((lead & 0xF0) == 0xE0) n = 3;
    else if ((lead & 0xF8) == 0xF0) n = 4;
    if (n > left) return 1;
    for (std::size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
    }
    return n;
}

std::size_t OneByte(const char*, std::size_t) {
    return 1;
}

std::string Convert(const char* to, const char* from, std::string_view in,
                    std::size_t (*skipLength)(const char*, std::size_t)) {
    std::string out;
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // Without a converter only ASCII is certain to mean the same on both sides.
        out.reserve(in.size());
        for (char c : in) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        return out;
    }
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    std::size_t used = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ (no code on the other side, or malformed) or EINVAL (cut off at the end).
        if (out.size() - used < 1) out.resize(out.size() * 2);
        out[used++] = '?';
        const std::size_t skip = skipLength(inPtr, inLeft);
        inPtr += skip;
        inLeft -= skip;
    }
    ::iconv_close(cd);
    out.resize(used);
    return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    return Convert("GBK", "UTF-8", utf8, Utf8SkipLength);
}

std::string GbkToUtf8(std::string_view gbk) {
    return Convert("UTF-8", "GBK", gbk, OneByte);
}

}  // namespace kestrava::log
