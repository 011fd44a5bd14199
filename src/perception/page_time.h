// The page clock as the page shell reports it: an integer HHMMSS, or HHMMSSffff with four more
// digits of fraction.
#pragma once

#include <cstdint>
#include <optional>

namespace kestrava::perception {

struct PageTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::optional<int> fraction;  // only from the ten-digit form, 0 … 9999
    bool operator==(const PageTime&) const = default;
};

// Six digits are accepted from 08:00:00 to 10:59:59, and in simulation also from 11:00:00 to
// 12:00:00; ten digits from 1100000000 to 1200005959. A code outside these ranges, or one whose
// minute or second is not a clock value (such as 85960), is rejected.
std::optional<PageTime> DecodePageTime(std::int64_t code, bool simulation);

}  // namespace kestrava::perception
