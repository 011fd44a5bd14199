#include "perception/price_rules.h"

#include "perception/price_reader.h"

namespace kestrava::perception {

namespace {

constexpr int kAcceptWindow = 300;  // bids up to the lowest price + 300 are accepted

struct SourceRow {
    int moniornot;  // -1: any
    int swbidmode;  // -1: any
    int fresh;      // -1: any, 0 no, 1 yes
    PriceSource source;
};
// First matching row wins; no row: no source.
constexpr SourceRow kSources[] = {
    {0, 0, 1, PriceSource::Feed},    {0, 0, 0, PriceSource::Screen}, {0, 1, -1, PriceSource::Feed},
    {0, 2, -1, PriceSource::Screen}, {1, -1, -1, PriceSource::Feed},
};

std::optional<std::string> DeadFeedStatus(int moniornot, int swbidmode) {
    if (moniornot != 0) return "目前软件工作正常";
    switch (swbidmode) {
        case 0:
        case 2:
            return "目前软件工作正常DP ";
        case 1:
            return "目前软件工作正常zb ";
        default:
            return std::nullopt;
    }
}

}  // namespace

std::int32_t FeedQuietLimitMs(int reportsSeen, std::int32_t everyMs) {
    return (reportsSeen < 2 ? kLongestReportGapMs : everyMs) + kFeedQuietSlackMs;
}

bool FeedWatched(int launchp, bool pageLoginSeen, int pageReportsSeen) {
    return launchp == 1 && (pageLoginSeen || pageReportsSeen > 0);
}

FeedVerdict WatchFeed(const FeedWatch& watch, int moniornot, int swbidmode, const FeedRhythm& rhythm) {
    FeedVerdict v;
    v.next = watch;
    const std::int64_t d = watch.pageClock - watch.lastPageClock;
    if (d <= 0) ++v.next.feedStaleTicks;  // bounded: a dead feed is set back to 101 below
    const bool lastMinute = rhythm.remainingSeconds >= 1 && rhythm.remainingSeconds <= kRhythmWatchSeconds;
    const bool offRhythm = lastMinute && rhythm.quietMs > rhythm.quietLimitMs;
    if (v.next.feedStaleTicks >= kFeedStaleLimit || d < 0 || offRhythm) {
        v.declaredDead = true;
        v.logDead = watch.feedFresh;
        v.next.feedFresh = false;
        v.next.feedStaleTicks = kFeedStaleLimit + 1;
        v.statusText = DeadFeedStatus(moniornot, swbidmode);
    }
    v.next.lastPageClock = watch.pageClock;
    return v;
}

PriceSource SelectPriceSource(int moniornot, int swbidmode, bool feedFresh) {
    for (const SourceRow& row : kSources) {
        if (row.moniornot != -1 && row.moniornot != moniornot) continue;
        if (row.swbidmode != -1 && row.swbidmode != swbidmode) continue;
        if (row.fresh != -1 && (row.fresh == 1) != feedFresh) continue;
        return row.source;
    }
    return PriceSource::None;
}

std::optional<PricePublication> PublishLowestPrice(PriceSource source, int feedLowestPrice,
                                                   std::optional<int> screenPrice, int remainingSeconds) {
    int price = 0;
    switch (source) {
        case PriceSource::Feed:
            price = feedLowestPrice;
            break;
        case PriceSource::Screen:
            if (!screenPrice || !IsAcceptableScreenPrice(*screenPrice)) return std::nullopt;
            price = *screenPrice;
            break;
        case PriceSource::None:
            return std::nullopt;
    }
    PricePublication p;
    p.lowestPrice = price;
    p.lowestText = std::to_string(price);
    if (remainingSeconds > 0) {
        p.upperText = std::to_string(static_cast<long long>(price) + kAcceptWindow);
        p.lowestShown = p.lowestText;
        p.label = p.lowestText;
    }
    return p;
}

bool ChangeTrackingDue(bool feedFresh, int swbidmode, int remainingSeconds) {
    return (!feedFresh || swbidmode == 2) && remainingSeconds >= 1 && remainingSeconds <= 55;
}

bool RecordsPriceAt62(int remainingSeconds) { return remainingSeconds == 62 || remainingSeconds == 63; }

bool SeedsChangeTracking(int priceAt62) { return priceAt62 > 0 && priceAt62 % 100 == 0 && priceAt62 < 120000; }

}  // namespace kestrava::perception
