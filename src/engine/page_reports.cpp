// The page feed: the page shell reports the page's lowest price and clock (0x46e), and the sync
// server relays the reports of other consoles (0x46f). The fed price only ever rises; while a
// submission is armed each new price is checked at once, and every report taken then runs the
// submit step, whose rules (rise rules, forced submissions, cloud step) need not wait for their
// timer's next period to see it.
#include <algorithm>

#include "engine/engine.h"
#include "log/log_book.h"
#include "perception/page_time.h"
#include "perception/price_rules.h"

namespace kestrava::engine {

namespace {

// Fed prices outside this range are not auction prices.
constexpr int kLowestFedPrice = 70001;
constexpr int kHighestFedPrice = 109999;

constexpr std::int64_t kFirstSixDigitCode = 80000;      // 08:00:00
constexpr std::int64_t kLastSixDigitCode = 105959;      // 10:59:59
constexpr std::int64_t kFirstSimulationCode = 110000;   // 11:00:00, practice runs only
constexpr std::int64_t kLastSimulationCode = 120000;    // 12:00:00
constexpr std::int64_t kFirstTenDigitCode = 1100000000;  // 11:00:00.0000
constexpr std::int64_t kLastTenDigitCode = 1200005959;
// The server's reports of the last half minute that are logged for the upload.
constexpr std::int64_t kFirstMarkedCode = 1129500000;
constexpr std::int64_t kLastMarkedCode = 1129510000;
// Prices reach the server only in the last seconds, when the cloud rules of all consoles use them.
constexpr int kReportSeconds = 10;
// Server reports older than this many seconds before the end are of no use to any rule.
constexpr int kServerReportSeconds = 18;
// How far a relayed price may lead the page's own while the page reports: two steps, the moment
// before a lagging page shows a rise.
constexpr int kServerLeadLimit = 200;
// The page reports at least once a second; with some slack for a busy page it is fresh.
constexpr std::int32_t kPageFreshMs = 1300;

bool TenDigit(std::int64_t code) { return code >= kFirstTenDigitCode && code <= kLastTenDigitCode; }

// Raises `best` to `value` when that is higher (reports arrive on more than one thread); true when
// it did.
template <typename T>
bool RaiseTo(std::atomic<T>& best, T value) {
    T seen = best.load();
    do {
        if (value <= seen) return false;
    } while (!best.compare_exchange_weak(seen, value));
    return true;
}

std::string StatusText(const console::CKestravaDlg& c) {
    if (c.state.moniornot.load() != 0) return "目前软件工作正常";
    switch (c.state.swbidmode.load()) {
        case 0:
        case 1: return "目前软件工作正常zb ";
        case 2: return "目前软件工作正常DP ";
        default: return "";
    }
}

}  // namespace

void Engine::SetPageClock(console::CKestravaDlg& c, int hour, int minute, int second) {
    platform::LocalTime t = c.platform.clock.Now();
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = 0;
    records.pageClock = c.platform.clock.LocalToEpochSeconds(t);
    records.feedFresh = 1;
    records.feedStaleTicks = 0;
    // How often this page reports: the quiet spell that makes the page clock stale is measured
    // against it (a page reporting every 100 ms is quiet sooner than one reporting each second).
    const std::uint32_t now = Now(c);
    const auto since = static_cast<std::int32_t>(now - records.lastPageClockTick.exchange(now));
    if (records.pageReportsSeen.fetch_add(1) == 0) {
        records.pageReportEveryMs = 0;
    } else if (records.pageClockQuiet.load() == 0 && since > records.pageReportEveryMs.load()) {
        records.pageReportEveryMs = std::min<std::int32_t>(since, 1000);
    }
    if (records.pageClockQuiet.exchange(0) == 1) Log(c, "页面报价恢复，剩余时间依据页面时间");
}

bool Engine::PageClockCurrent(console::CKestravaDlg& c) {
    // The page's own rhythm plus the slack of a busy page, as the bid tick's feed watch has it.
    if (records.feedFresh.load() != 1) return false;
    const auto since = static_cast<std::int32_t>(Now(c) - records.lastPageClockTick.load());
    if (since <= perception::FeedQuietLimitMs(records.pageReportsSeen.load(), records.pageReportEveryMs.load()))
        return true;
    if (records.pageClockQuiet.exchange(1) == 0 && c.state.auctionPhase.load() == 3)
        Log(c, "页面报价中断" + std::to_string(since) + "毫秒，剩余时间改用电脑时间");
    return false;
}

bool Engine::RaiseFeedCode(std::int64_t code) { return RaiseTo(records.lastFeedCode, code); }

bool Engine::TakeFedPrice(console::CKestravaDlg& c, std::uint32_t price) {
    if (price < kLowestFedPrice || price > kHighestFedPrice) return false;
    const int p = static_cast<int>(price);
    if (!RaiseTo(records.feedLowestPrice, p)) return false;
    if (!records.submission.Armed()) return false;
    c.state.lowestPrice = p;
    // The check's log lines quote the price it acts on.
    c.state.lowestText.Set(std::to_string(p));
    SmartSubmitCheck(c);
    return true;
}

void Engine::OnPageReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode) {
    if (price < 301) {
        if (price == 0) ShowHint(c, 6);
        return;
    }
    if (c.state.swbidmode.load() == 2) return;
    TakePageReport(c, price, timeCode);
    SubmitTick(c);
}

void Engine::TakePageReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode) {
    auto& s = c.state;
    EngineState& e = records;
    const std::int64_t code = timeCode;
    // The page's own account, kept apart from the server's relays.
    e.lastPageReportTick = Now(c);
    ++e.pageReportsTaken;
    if (price >= static_cast<std::uint32_t>(kLowestFedPrice) && price <= static_cast<std::uint32_t>(kHighestFedPrice))
        RaiseTo(e.pageFedPrice, static_cast<int>(price));
    if (TenDigit(code)) RaiseTo(e.pageNewestCode, code);
    TakeFedPrice(c, price);

    const bool simulation = c.IsSimulation();
    std::optional<perception::PageTime> time;
    if (!simulation) {
        if (TenDigit(code)) {
            // Only a moment newer than any this run has seen, from the page or the server, is
            // news to the other consoles; a repeated or older one would make them act on it twice.
            // A code that is no clock time (minute or second beyond 59) never counts as the
            // newest: it would hold back every true report after it.
            const auto decoded = perception::DecodePageTime(code, false);
            if (decoded && RaiseFeedCode(code)) {
                time = decoded;
                if (s.remainingSeconds.load() <= kReportSeconds && options_.sendToSync)
                    options_.sendToSync("1_" + std::to_string(code) + "," + std::to_string(e.feedLowestPrice.load()));
            }
        } else if (code >= kFirstSixDigitCode && code <= kLastSixDigitCode) {
            time = perception::DecodePageTime(code, false);
        }
    } else if ((code >= kFirstSixDigitCode && code <= kLastSixDigitCode) ||
               (code >= kFirstSimulationCode && code <= kLastSimulationCode)) {
        time = perception::DecodePageTime(code, true);
    }
    if (!time) return;

    if (e.feedFresh.load() == 0) Log(c, "ZBQD");
    SetPageClock(c, time->hour, time->minute, time->second);
    if (s.auctionPhase.load() == 3) c.SetInfoHeader(StatusText(c), 2);
    if (time->fraction) {
        e.pageClockFraction = *time->fraction;
        e.pageFraction.Set({e.pageClock.load(), *time->fraction, Now(c)});
        const int fed = e.feedLowestPrice.load();
        const int seen = time->minute * 100 + time->second;
        e.priceFirstSeen.With([&](auto& m) { m.emplace(fed, seen); });
    }
}

void Engine::OnServerPriceReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode) {
    auto& s = c.state;
    if (s.swbidmode.load() == 2 || s.remainingSeconds.load() > kServerReportSeconds) return;
    TakeServerReport(c, price, timeCode);
    SubmitTick(c);
}

bool Engine::PageFeedFresh(console::CKestravaDlg& c) {
    if (records.pageReportsTaken.load() == 0) return false;
    return static_cast<std::int32_t>(Now(c) - records.lastPageReportTick.load()) <= kPageFreshMs;
}

void Engine::TakeServerReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode) {
    EngineState& e = records;
    const std::int64_t code = timeCode;
    // A relayed moment the page has already shown past is old news, its price included.
    if (TenDigit(code) && code < e.pageNewestCode.load()) return;
    // While the page reports, it is the authority: a relay may run ahead of a lagging page by a
    // couple of steps, never more (a wrong or hostile peer must not move the console's price).
    const bool pageFresh = PageFeedFresh(c);
    const int page = e.pageFedPrice.load();
    if (pageFresh && page > 0 && static_cast<std::int64_t>(price) > page + kServerLeadLimit) {
        log::DebugPrintf("服务器报价%u高于页面价格%d超过%d，不采用\n", price, page, kServerLeadLimit);
        return;
    }
    if (TakeFedPrice(c, price)) Log(c, "xyz");

    if (c.IsSimulation() || !TenDigit(code)) return;
    if (const auto time = perception::DecodePageTime(code, false)) {
        // A moment seen is not sent to the server again, whoever reported it first; but while the
        // page reports, the page's own clock rules.
        if (RaiseFeedCode(code) && !pageFresh) {
            SetPageClock(c, time->hour, time->minute, time->second);
            if (time->fraction) {
                e.pageClockFraction = *time->fraction;
                e.pageFraction.Set({e.pageClock.load(), *time->fraction, Now(c)});
            }
            const int fed = e.feedLowestPrice.load();
            const int seen = time->minute * 100 + time->second;
            e.priceFirstSeen.With([&](auto& m) { m.emplace(fed, seen); });
        }
    }
    if (code >= kFirstMarkedCode && code <= kLastMarkedCode) Log(c, "uvw");
}

}  // namespace kestrava::engine
