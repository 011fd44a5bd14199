// The decisions of the lowest-price reading that opens every bid tick, as plain functions of the
// values they depend on: whether the page feed is still alive, which source is believed, what is
// published, and when the change detector runs. The console applies the results to its fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrava::perception {

// ---- Feed freshness: the page clock must keep moving, and in the last minute the page must
// keep its rhythm.

inline constexpr int kFeedStaleLimit = 100;  // bid ticks, about ten seconds at the default interval
// The page reports at least once a second; the engine measures how often exactly (its longest
// gap between two reports, at most a second). A page quiet for that and this slack of a busy page
// has stopped reporting.
inline constexpr std::int32_t kLongestReportGapMs = 1000;
inline constexpr std::int32_t kFeedQuietSlackMs = 300;
// In the last minute a feed quiet beyond its rhythm is dead at once: ten seconds of a frozen price
// there would let the gap rules act on a price the page has long left behind.
inline constexpr int kRhythmWatchSeconds = 60;

// How long a page that reported `reportsSeen` times, `everyMs` apart at the longest, may stay quiet
// (until the second report its rhythm is unknown: the longest gap is assumed).
std::int32_t FeedQuietLimitMs(int reportsSeen, std::int32_t everyMs);

struct FeedWatch {
    std::int64_t pageClock = 0;
    std::int64_t lastPageClock = 0;
    int feedStaleTicks = 0;
    bool feedFresh = false;
};

// The page's rhythm as the bid tick sees it; the default watches by ticks alone.
struct FeedRhythm {
    int remainingSeconds = kRhythmWatchSeconds + 1;
    std::int32_t quietMs = 0;       // since the last report that set the page clock
    std::int32_t quietLimitMs = 0;  // FeedQuietLimitMs
};

struct FeedVerdict {
    FeedWatch next;
    bool declaredDead = false;  // this tick found the feed dead (again)
    bool logDead = false;       // the feed was fresh until now: log "DPQD"
    // The status text for the hint balloon when declared dead (shown in the revision phase).
    std::optional<std::string> statusText;
};

// Whether the bid tick watches the feed: with launchp 1, once the page has logged in or a feed
// has been seen (a console started after the page logged in never sees the login).
bool FeedWatched(int launchp, bool pageLoginSeen, int pageReportsSeen);

// One bid tick's check: the feed is dead after kFeedStaleLimit ticks without a report, at once
// when the page clock steps back, and in the last minute once it is quieter than its rhythm.
FeedVerdict WatchFeed(const FeedWatch& watch, int moniornot, int swbidmode, const FeedRhythm& rhythm = {});

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
