#include "peer_schedule.h"

#include <algorithm>
#include <charconv>

namespace kestrava::peer_sim {
namespace {

constexpr std::int64_t kEndOfAuctionMs = (11 * 3600 + 30 * 60) * 1000LL;
constexpr std::int64_t kDayMs = 24 * 3600 * 1000LL;
constexpr int kStep = 100;

template <typename T>
bool Number(std::string_view text, T& value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// The value of "name=" among blank-separated fields.
std::optional<std::string_view> Field(std::string_view text, std::string_view name) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t blank = text.find(' ', at);
        const std::string_view field = text.substr(at, blank == std::string_view::npos ? text.npos : blank - at);
        if (field.size() > name.size() && field.substr(0, name.size()) == name && field[name.size()] == '=') {
            return field.substr(name.size() + 1);
        }
        if (blank == std::string_view::npos) break;
        at = blank + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Timeline> ParseTimeline(std::string_view text) {
    const auto end = Field(text, "end");
    const auto warning = Field(text, "warning");
    const auto steps = Field(text, "steps");
    Timeline t;
    if (!end || !warning || !steps || !Number(*end, t.endMs) || !Number(*warning, t.warningPrice)) return std::nullopt;
    if (t.warningPrice < 70000 || t.warningPrice > 109900 || t.warningPrice % kStep != 0) return std::nullopt;
    std::string_view list = *steps;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::int64_t ms = 0;
        if (!Number(list.substr(0, comma), ms)) return std::nullopt;
        if (!t.stepsMs.empty() && ms < t.stepsMs.back()) return std::nullopt;
        t.stepsMs.push_back(ms);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    if (t.warningPrice + kStep * static_cast<int>(t.stepsMs.size()) > 109900) return std::nullopt;
    return t;
}

std::int64_t PageTimeCode(std::int64_t atMs, std::int64_t endMs) {
    const std::int64_t clock = ((kEndOfAuctionMs - (endMs - atMs)) % kDayMs + kDayMs) % kDayMs;
    const std::int64_t h = clock / 3600000, m = clock / 60000 % 60, s = clock / 1000 % 60, ms = clock % 1000;
    return ((h * 100 + m) * 100 + s) * 10000 + ms * 10;
}

std::vector<PeerEvent> Schedule(const Timeline& timeline, const PeerOptions& options, std::int64_t nowMs) {
    std::vector<PeerEvent> events;
    for (std::size_t k = 0; k < timeline.stepsMs.size(); ++k) {
        const int price = timeline.warningPrice + kStep * static_cast<int>(k + 1);
        for (int p = 0; p < options.peers; ++p) {
            const std::int64_t at = timeline.stepsMs[k] - options.leadMs + p * options.spreadMs;
            if (at < nowMs) continue;
            events.push_back({at, p, "1_" + std::to_string(PageTimeCode(at, timeline.endMs)) + "," + std::to_string(price)});
        }
    }
    if (options.jamBeforeEndMs >= 0) {
        for (int p = 0; p < options.peers; ++p) {
            const std::int64_t at = timeline.endMs - options.jamBeforeEndMs + p * options.spreadMs;
            if (at >= nowMs) events.push_back({at, p, "6_0"});
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const PeerEvent& a, const PeerEvent& b) { return a.atMs < b.atMs; });
    return events;
}

}  // namespace kestrava::peer_sim
