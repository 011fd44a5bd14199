// The decisions of the lowest-price reading that opens every bid tick, as plain functions of the
// values they depend on: whether the page feed is still alive, which source is believed, what is
// published, and when the change detector runs. The console applies the results to its fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrava::perception {

// ---- Feed freshness: the page clock must keep moving.

inline constexpr int kFeedStaleLimit = 100;  // bid ticks, about ten seconds at the default interval

struct FeedWatch {
    std::int64_t pageClock = 0;
    std::int64_t lastPageClock = 0;
    int feedStaleTicks = 0;
    bool feedFresh = false;
};

struct FeedVerdict {
    FeedWatch next;
    bool declaredDead = false;  // this tick found the feed dead (again)
    bool logDead = false;       // the feed was fresh until now: log "DPQD"
    // The status text for the hint balloon when declared dead (shown in the revision phase).
    std::optional<std::string> statusText;
};

// One bid tick's check; run only when launchp is 1 and the page has logged in.
FeedVerdict WatchFeed(const FeedWatch& watch, int moniornot, int swbidmode);

// ---- Source of the price.

enum class PriceSource { Feed, Screen, None };

PriceSource SelectPriceSource(int moniornot, int swbidmode, bool feedFresh);

// What a tick publishes: the new lowest price and the texts of the price displays. A display
// left none keeps its text.
struct PricePublication {
    int lowestPrice = 0;
    std::string lowestText;
    std::optional<std::string> upperText;    // control 1106: the lowest price + 300
    std::optional<std::string> lowestShown;  // control 1105
    std::string label;                       // control 1155: lowestText, or cleared after the end
};

// None when nothing changes: no source, or a screen price that is missing or not acceptable.
std::optional<PricePublication> PublishLowestPrice(PriceSource source, int feedLowestPrice,
                                                   std::optional<int> screenPrice, int remainingSeconds);

// ---- Screen-side rules.

// The change detector runs in the last 55 seconds when the feed is not believed.
bool ChangeTrackingDue(bool feedFresh, int swbidmode, int remainingSeconds);
// The screen price read with 62 or 63 seconds left is kept as the detector's starting point.
bool RecordsPriceAt62(int remainingSeconds);
// The kept price seeds the detector's first run when it is a plausible price.
bool SeedsChangeTracking(int priceAt62);

}  // namespace kestrava::perception
