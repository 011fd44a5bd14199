#include "protocol.h"

#include <algorithm>

namespace kestrava::sync {

namespace {

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::int64_t Digits(std::string_view s) {
    std::int64_t v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

}  // namespace

ClientFrame ParseClientFrame(std::string_view text) {
    ClientFrame f;
    if (text == "hbeat") {
        f.kind = ClientFrame::Kind::Heartbeat;
        return f;
    }
    if (text == "6_0") {
        f.kind = ClientFrame::Kind::Jam;
        return f;
    }
    if (text.substr(0, 2) != "1_") {
        f.error = "unknown message";
        return f;
    }
    const std::string_view t = text.substr(2, 10);
    const std::string_view p = text.size() > 13 ? text.substr(13) : std::string_view();
    if (text.size() < 13 || text[12] != ',' || !AllDigits(t) || t.size() != 10 || !AllDigits(p) || p.size() < 5 ||
        p.size() > 6) {
        f.error = "report not 1_<10 digits>,<price>";
        return f;
    }
    const std::int64_t code = Digits(t);
    if (code / 100000000 > 23 || code / 1000000 % 100 > 59 || code / 10000 % 100 > 59) {
        f.error = "time code not a time of day";
        return f;
    }
    f.kind = ClientFrame::Kind::Report;
    f.timeCode = code;
    f.price = static_cast<int>(Digits(p));
    return f;
}

std::optional<std::string> BidNumberOfTarget(std::string_view target) {
    constexpr std::string_view head = "/?id=";
    constexpr std::string_view tail = "&type=101";
    if (target.size() != head.size() + 8 + tail.size() || target.substr(0, head.size()) != head ||
        target.substr(head.size() + 8) != tail) {
        return std::nullopt;
    }
    const std::string_view id = target.substr(head.size(), 8);
    if (!AllDigits(id)) return std::nullopt;
    return std::string(id);
}

std::string ReportText(std::int64_t timeCode, int price) {
    std::string t = std::to_string(timeCode);
    return "1_" + std::string(10 - std::min<std::size_t>(10, t.size()), '0') + t + "," + std::to_string(price);
}

std::string JamText(int count) { return "6_" + std::to_string(count); }

std::int64_t TimeCodeMs(std::int64_t timeCode) {
    const std::int64_t h = timeCode / 100000000, m = timeCode / 1000000 % 100, s = timeCode / 10000 % 100;
    return ((h * 60 + m) * 60 + s) * 1000 + timeCode % 10000 / 10;
}

}  // namespace kestrava::sync
