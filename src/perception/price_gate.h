// Whether a price read from the screen is believed, against what else the console knows: the
// day's warning price, the last screen price it believed, the readings since, the page feed. A
// misread must never become the lowest price: the bid application adds its amount to it and
// types the sum into the page, and the gap rules act on it.
//
// One gate per console, on the scan-tick thread (the diagnostic program has its own). The
// auction-day reset forgets what it has believed. Its times are the monotonic tick count, so a
// correction of the PC clock neither stretches nor cuts the life of the last believed price.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "perception/price_reader.h"

namespace kestrava::perception {

// The largest rise believed on its first reading: one of the page's steps of 100. In the last
// seconds a step must count on the scan that reads it.
inline constexpr int kRiseOnFirstReading = 100;
// A larger rise is believed only once the screen has shown it, and nothing at or below the last
// believed price, for a page second: the page repaints its clock every second, so a frame caught
// in the middle of a repaint is gone by then. The next scan proves nothing: the same picture read
// again (from the glyphs, or by the engine) gives the same wrong digits, and a misread believed
// would stick, since the price does not fall.
inline constexpr std::uint32_t kRiseHoldMs = 1000;
// Nor sooner than the lowest price could have climbed it since the last believed reading: a few
// steps a second at most.
inline constexpr int kRisePerSecond = 300;
// Beyond this above the last believed price a reading is refused even when repeated: the lowest
// price does not climb that far while the figure is being read.
inline constexpr int kFarAbove = 3000;
// The page feed and the screen sample the same page at slightly different instants; within this
// they agree.
inline constexpr int kFeedTolerance = 300;
// The last believed price stands for this long after it was last read; after that the fall, jump
// and band checks start afresh (so a console that missed minutes of the auction is not held to an
// old price). Each believed reading starts it again.
inline constexpr std::uint32_t kReferenceLifetimeMs = 60'000;
// A stored warning price is a value of some earlier day unless the page agrees with it: the page
// showing one price below it for this long, read whole every time, says the stored value is not
// today's. A misread of a figure being repainted lasts a frame or two.
inline constexpr std::uint32_t kWarningContradictedAfterMs = 10'000;
// Consecutive refusals after which the region is suspected and a calibration asked for; asked
// again after every further so many while the streak lasts.
inline constexpr int kRefusalsBeforeCalibration = 10;
inline constexpr int kRefusalsBetweenCalibrations = 300;

// What the gate knows besides the reading.
struct GateContext {
    int warningPrice = 0;                 // the strategy's stored warning price; 0: none set
    std::optional<int> freshFeedPrice;    // the page feed's lowest price while the feed is fresh
    std::uint32_t tickMs = 0;             // the monotonic tick count (wraps; compared by difference)
    int feedPrice = 0;                    // the highest price the feed reported this day, fresh or not; 0: none
    // A digest of the figure's pixels (0: unknown). The same pixels hold the same number: read as
    // another, they are misread, and a reader that learned the glyphs misreads them on every scan.
    std::uint64_t figureHash = 0;
};

// The digest of a figure's pixels for GateContext::figureHash (never 0).
std::uint64_t FigureHash(const std::vector<std::uint8_t>& bytes, int width, int height);

struct GateDecision {
    std::optional<int> price;  // believed: becomes the screen price of the tick
    std::string refusal;       // why not
    bool logRefusal = false;   // the first refusal of a streak, or a rise's hold begins: log it with its reason
    bool calibrate = false;    // the streak is long enough to suspect the region
    int endedStreak = 0;       // refusals before this believed reading (0: none)
    // Set once a day, on the reading that finds the stored warning price contradicted by the page:
    // what to log. From then on the gate holds no reading against that value.
    std::string warningIgnored;
};

class PriceGate {
public:
    GateDecision Judge(const FigureReading& reading, const GateContext& context);

    // Sets the last believed price as if read at tick `tickMs` (the diagnostic program's --last).
    void Believe(int price, std::uint32_t tickMs, std::uint64_t figureHash = 0);
    void Reset();
    std::optional<int> LastBelieved() const { return last_; }
    int Streak() const { return streak_; }

private:
    // Why a reading is not believed. A rise being held is no fault of the region: it neither
    // lengthens the refusal streak nor ends it, and is logged when its hold begins.
    struct Objection {
        std::string why;
        bool held = false;
        bool holdBegins = false;
    };
    GateDecision Refuse(std::string why);
    std::optional<Objection> Object(int price, int warningFloor, const GateContext& context);
    std::optional<Objection> ObjectToRise(int price, std::uint32_t tickMs);
    // The warning price readings are held against: the stored one until the page contradicts it
    // (then 0, and `ignored` says why, once).
    int WarningFloor(int price, const GateContext& context, std::string& ignored);

    std::optional<int> last_;
    std::uint32_t lastAtMs_ = 0;
    std::uint64_t lastHash_ = 0;  // the pixels the last believed price was read from
    // A rise of more than one step being held: the last reading of it and since when the screen
    // has shown a rise (readings that did not fall meanwhile).
    struct HeldRise {
        int reading = 0;
        std::uint32_t sinceMs = 0;
    };
    std::optional<HeldRise> rise_;
    int streak_ = 0;
    // The stored warning price found contradicted today (it stays ignored until the reset).
    int ignoredWarning_ = 0;
    // A price below the stored warning price, read whole on every reading since `belowSinceMs_`.
    std::optional<int> belowWarning_;
    std::uint32_t belowSinceMs_ = 0;
};

}  // namespace kestrava::perception
