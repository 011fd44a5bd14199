// Whether a price read from the screen is believed, against what else the console knows: the
// day's warning price, the last screen price it believed, the next reading, the page feed. A
// misread must never become the lowest price: the bid application adds its amount to it and
// types the sum into the page, and the gap rules act on it.
//
// One gate per console, on the scan-tick thread (the diagnostic program has its own). The
// auction-day reset forgets what it has believed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "perception/price_reader.h"

namespace kestrava::perception {

// How far a reading may rise above the last believed screen price before it needs the next
// reading's agreement: a few of the page's 100-yuan steps, what the price moves between two
// ticks even in the last seconds. The lowest price does not fall, so any fall needs agreement
// too (a frame grabbed in the middle of a repaint mixes the old and new digits into one lower).
inline constexpr int kJumpBound = 500;
// Beyond this above the last believed price a reading is refused even when repeated: the lowest
// price does not climb that far while the figure is being read.
inline constexpr int kFarAbove = 3000;
// The page feed and the screen sample the same page at slightly different instants; within this
// they agree.
inline constexpr int kFeedTolerance = 300;
// The last believed price stands for this long; after it the jump and band checks start afresh
// (so a console that missed minutes of the auction is not held to an old price).
inline constexpr std::int64_t kReferenceLifetimeMs = 60'000;
// Consecutive refusals after which the region is suspected and a calibration asked for; asked
// again after every further so many while the streak lasts.
inline constexpr int kRefusalsBeforeCalibration = 10;
inline constexpr int kRefusalsBetweenCalibrations = 300;

// What the gate knows besides the reading.
struct GateContext {
    int warningPrice = 0;                 // the strategy's warning price; 0: none set
    std::optional<int> freshFeedPrice;    // the page feed's lowest price while the feed is fresh
    std::int64_t nowMs = 0;
};

struct GateDecision {
    std::optional<int> price;  // believed: becomes the screen price of the tick
    std::string refusal;       // why not
    bool logRefusal = false;   // the first refusal of a streak: log it with its reason
    bool calibrate = false;    // the streak is long enough to suspect the region
    int endedStreak = 0;       // refusals before this believed reading (0: none)
};

class PriceGate {
public:
    GateDecision Judge(const FigureReading& reading, const GateContext& context);

    // Sets the last believed price as if read at `nowMs` (the diagnostic program's --last).
    void Believe(int price, std::int64_t nowMs);
    void Reset();
    std::optional<int> LastBelieved() const { return last_; }
    int Streak() const { return streak_; }

private:
    GateDecision Refuse(std::string why);
    std::optional<std::string> Objection(int price, const GateContext& context);

    std::optional<int> last_;
    std::int64_t lastAtMs_ = 0;
    std::optional<int> pendingJump_;  // a jump seen on the previous reading, waiting for agreement
    int streak_ = 0;
};

}  // namespace kestrava::perception
