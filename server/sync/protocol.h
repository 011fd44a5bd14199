// The texts the consoles send, parsed strictly: the console's own reader is lenient (it takes
// leading digits of fixed fields), so whatever this server relays must already be exact.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::sync {

struct ClientFrame {
    enum class Kind { Heartbeat, Report, Jam, Invalid };
    Kind kind = Kind::Invalid;
    std::int64_t timeCode = 0;  // Report: HHMMSSffff
    int price = 0;              // Report
    const char* error = "";     // Invalid: why
};

// "hbeat"; "1_" + ten digits + "," + five or six digits; "6_0". Anything else is Invalid. A
// report's time code must be a time of day (hour < 24, minute and second < 60); its price is
// only converted here, the rules judge it.
ClientFrame ParseClientFrame(std::string_view text);

// The bid number of the one request target a console uses, "/?id=<8 digits>&type=101".
std::optional<std::string> BidNumberOfTarget(std::string_view target);

// The canonical text of a report, the only form relayed.
std::string ReportText(std::int64_t timeCode, int price);
std::string JamText(int count);

// Milliseconds since midnight of a time code.
std::int64_t TimeCodeMs(std::int64_t timeCode);

}  // namespace kestrava::sync
