// The auction clock: start and end of the auction, the page clock on today's date, and the
// remaining time every rule times itself by, as functions of the values they depend on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "perception/page_time.h"
#include "platform/platform.h"

namespace kestrava::perception {

struct AuctionTimes {
    std::int64_t auctionStart = 0;
    std::int64_t auctionEnd = 0;
};

// Real auction: today at starttimehour:30:00 and endtimehour:30:00 (local time of `clock`).
AuctionTimes RealAuctionTimes(platform::Clock& clock, int starttimehour, int endtimehour);
// Practice run: from now to now + 190 seconds.
AuctionTimes SimulationAuctionTimes(platform::Clock& clock);
inline constexpr int kSimulationSeconds = 190;

// A decoded page time on today's date (seconds since 1970).
std::int64_t PageClockToday(platform::Clock& clock, const PageTime& t);

struct ClockFace {
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const ClockFace&) const = default;
};

struct RemainingTimeInputs {
    int systime_screentime = 0;
    int auctionPhase = 0;
    int moniornot = 0;
    int swbidmode = 0;
    bool feedFresh = false;
    std::int64_t pcNow = 0;      // the PC clock, seconds since 1970
    std::int64_t pageClock = 0;  // the page clock, seconds since 1970
    int pageClockMinute = 0;     // its local minute and second
    int pageClockSecond = 0;
    std::int64_t auctionEnd = 0;
    int remainingSeconds = 60;  // the previous value
};

// What a submit tick changes; a field left none keeps its value.
struct RemainingTimeUpdate {
    std::optional<int> pageMinute, pageSecond;
    std::optional<std::int64_t> clockNow;
    std::optional<int> remainingSeconds;
    std::optional<std::string> remainingText;   // "%d:%d:%d" of hours, minutes, seconds
    std::optional<ClockFace> remainingDisplay;  // shown as a time of day on 1 January 2014
};

// The remaining-time step of a submit tick (the caller skips it without a page window).
RemainingTimeUpdate ComputeRemainingTime(const RemainingTimeInputs& in);

}  // namespace kestrava::perception
