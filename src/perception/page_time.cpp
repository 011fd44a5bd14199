#include "perception/page_time.h"

namespace kestrava::perception {

namespace {

struct CodeRange {
    std::int64_t first;
    std::int64_t last;
    bool simulationOnly;
    bool withFraction;
};

constexpr CodeRange kRanges[] = {
    {80000, 105959, false, false},
    {110000, 120000, true, false},
    {1100000000, 1200005959, false, true},
};

}  // namespace

std::optional<PageTime> DecodePageTime(std::int64_t code, bool simulation) {
    for (const CodeRange& range : kRanges) {
        if (code < range.first || code > range.last || (range.simulationOnly && !simulation)) continue;
        PageTime t;
        std::int64_t hms = code;
        if (range.withFraction) {
            t.fraction = static_cast<int>(code % 10000);
            hms = code / 10000;
        }
        t.hour = static_cast<int>(hms / 10000);
        t.minute = static_cast<int>((hms / 100) % 100);
        t.second = static_cast<int>(hms % 100);
        // The ranges alone let through codes such as 85975; a clock built from minute or second
        // 75 would silently roll over into the next hour or minute.
        if (t.hour <= 0 || t.minute > 59 || t.second > 59) return std::nullopt;
        return t;
    }
    return std::nullopt;
}

}  // namespace kestrava::perception
