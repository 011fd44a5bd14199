// kestrava-post "<title>" <msg> [wParam] [lParam]
// Posts one message to the window with exactly that title (see docs/window-protocol.md).
// Exit status: 0 posted, 1 no such window (or no display), 2 bad usage.

#include "platform/x11/x11_desktop.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

using kestrava::platform::Message;

void Usage() {
    std::fputs(
        "usage: kestrava-post \"<window title>\" <msg> [wParam] [lParam]\n"
        "  numbers are decimal or 0x hex; wParam is unsigned, lParam signed (both 32 bits)\n"
        "  example: kestrava-post \"Vonter沪牌抢拍助手\" 0x49d\n",
        stderr);
}

// A 32-bit word from decimal (optionally negative when `allowNegative`) or 0x hex.
std::optional<std::uint32_t> ParseWord(std::string_view s, bool allowNegative) {
    bool negative = false;
    if (allowNegative && !s.empty() && s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    if (negative) {
        if (v > 0x80000000ull) return std::nullopt;
        return static_cast<std::uint32_t>(-static_cast<std::int64_t>(v));
    }
    if (v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        Usage();
        return 2;
    }
    const std::string_view title = argv[1];
    const std::optional<std::uint32_t> msg = ParseWord(argv[2], false);
    const std::optional<std::uint32_t> wParam = argc > 3 ? ParseWord(argv[3], false) : std::uint32_t{0};
    const std::optional<std::uint32_t> lParam = argc > 4 ? ParseWord(argv[4], true) : std::uint32_t{0};
    if (title.empty() || !msg || !wParam || !lParam) {
        Usage();
        return 2;
    }

    auto desktop = kestrava::platform::x11::X11Desktop::Open();
    if (!desktop) {
        std::fputs("kestrava-post: cannot open the X display (is DISPLAY set?)\n", stderr);
        return 1;
    }
    const kestrava::platform::WindowId w = desktop->FindWindowByTitle(title);
    if (w == 0) {
        std::fprintf(stderr, "kestrava-post: no window titled \"%.*s\"\n", static_cast<int>(title.size()),
                     title.data());
        return 1;
    }
    if (!desktop->PostMessage(w, Message{*msg, *wParam, static_cast<std::int32_t>(*lParam)})) {
        std::fprintf(stderr, "kestrava-post: the window \"%.*s\" went away before the message was posted\n",
                     static_cast<int>(title.size()), title.data());
        return 1;
    }
    return 0;
}
