// The bidding engine's records of one auction day: the page feed as the feed handlers keep it,
// the state of the submission, the per-second analysis, and the one-shot flags of the last
// minute. The scan tick, the submit tick, the interface thread and the sync client share them,
// so scalars are atomics and the one map sits behind its own lock. Every field has the value
// the auction-day reset gives it (ClearRunRecords), except where a comment says otherwise.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "console/guarded.h"
#include "engine/submission.h"

namespace kestrava::engine {

// The page seconds 55 … 58 of the rise rules, as indexes into their tables.
inline constexpr int kFirstRiseSecond = 55;
inline constexpr int kRiseSeconds = 4;
inline constexpr std::array<int, kRiseSeconds> kRiseDelay1Start{5, 1, 0, 0};  // tenths of a second
inline constexpr std::array<int, kRiseSeconds> kRiseDelay2Start{7, 5, 3, 0};

// The latest page report that carried a fraction of a second: with the tick count of its
// arrival it tells where within its second the page clock stands now.
struct PageFractionReport {
    std::int64_t pageClock = 0;  // the page clock it set
    int fraction = 0;            // ten-thousandths of a second
    std::uint32_t tick = 0;      // when it arrived
};

// The remaining time as the submit tick saw it change last, and when.
struct RemainingChange {
    bool seen = false;
    int remainingSeconds = 0;
    std::uint32_t tick = 0;
};

// What a balloon shows: which of the five, where on the screen, and the text.
struct Hint {
    int n = 0;        // the ShowHint number
    int balloon = 0;  // 1 … 5
    int x = 0, y = 0;         // screen point, unless anchorControl is set
    int anchorControl = 0;    // a console control whose top-right corner the balloon points at
    std::string text;
};

struct EngineState {
    // ---- Page feed (prices and page time pushed by the page shell or relayed by the server)
    std::atomic<int> feedLowestPrice{0};  // best fed lowest price of the day; never lowered
    std::atomic<int> feedFresh{0};        // 1 while the feed is considered alive
    std::atomic<int> feedStaleTicks{0};
    // The tick count of the last page report that set the page clock, and whether the remaining
    // time has fallen back to the PC clock since (logged once per quiet spell).
    std::atomic<std::uint32_t> lastPageClockTick{0};
    // The longest wait between two page reports seen so far in this run (at most a second).
    std::atomic<std::int32_t> pageReportEveryMs{1000};
    std::atomic<int> pageReportsSeen{0};
    std::atomic<int> pageClockQuiet{0};
    std::atomic<std::int64_t> pageClock{0};  // seconds since 1970: today at the page's time
    std::atomic<std::int64_t> lastPageClock{0};
    std::atomic<int> pageClockFraction{0};    // last four digits of the latest ten-digit code
    std::atomic<std::int64_t> lastFeedCode{0};  // highest ten-digit page time code received
    // What the page itself reported last, apart from the server's relays: the page is the
    // authority on its price while its reports are fresh.
    std::atomic<int> pageFedPrice{0};                // best price of the page's own reports
    std::atomic<std::int64_t> pageNewestCode{0};     // newest ten-digit code of the page's own reports
    std::atomic<std::uint32_t> lastPageReportTick{0};
    std::atomic<int> pageReportsTaken{0};
    // Not reset: it names the page clock it belongs to, and a reset page clock no longer matches.
    console::Guarded<PageFractionReport> pageFraction;
    // Fed price → page time minute·100 + second when it was first seen; never overwritten.
    console::Guarded<std::map<int, int>> priceFirstSeen;

    // ---- Submission: the bid the page holds, its whole life (submission.h). Not reset by the
    // auction-day reset as a value: the reset is one of its inputs.
    Submission submission;
    std::atomic<int> rise1Pending{0}, rise2Pending{0};
    std::atomic<std::uint32_t> rise1Submission{0}, rise2Submission{0};
    std::atomic<int> rise1Delay{0}, rise2Delay{0};  // ms
    std::atomic<std::uint32_t> rise1StartTick{0}, rise2StartTick{0};
    // Rise-rule delays of page seconds 55 … 58 in tenths of a second (spins 1216 …, 1081 …).
    std::array<std::atomic<int>, kRiseSeconds> riseDelay1{5, 1, 0, 0};
    std::array<std::atomic<int>, kRiseSeconds> riseDelay2{7, 5, 3, 0};
    std::atomic<std::uint32_t> lastF3Tick{0};

    // ---- Cloud submission (its rules live in cloud_*.cpp)
    std::atomic<int> cloudPending{0};
    std::atomic<std::uint32_t> cloudSubmission{0};  // the arming a delayed cloud confirmation belongs to
    std::atomic<int> cloudDelay{0};
    std::atomic<std::uint32_t> cloudStartTick{0};
    std::atomic<int> cloudDone{0};
    // The applied price of the confirmation last left to the page shell's click: should the shell
    // find no button, the console's own click confirms that bid.
    std::atomic<int> leftToShellPrice{0};
    std::atomic<int> watch57Running{0};  // not reset by the auction-day reset
    std::atomic<std::uint32_t> watch57StartTick{0};
    std::atomic<int> past575{0};  // set once per program run; not reset by the auction-day reset

    // ---- Per-second analysis
    std::atomic<int> lastTickSecond{0};  // remainingSeconds seen by the previous per-second pass
    // Kept over resets: a clock with whole seconds only changes on its own schedule.
    console::Guarded<RemainingChange> remainingChange;
    std::atomic<int> gearIndex{0};       // gear of priceLadder the lowest price is in, 0 … 18
    std::atomic<int> gearSeconds{0};     // seconds spent strictly inside the current gear
    std::atomic<int> previousGearSeconds{0};
    // The second lows: lowAt[NN] is the lowest price at page second NN (60 − NN seconds left).
    // Recorded: 00, 05, 43 (starts at 200), 45 … 58.
    std::array<std::atomic<int>, 60> lowAt{};

    // ---- One-shot flags of the last minute
    std::atomic<int> remedyChecked{0};
    std::atomic<int> remedyFired{0};
    std::atomic<int> antiFlukeFired{0};
    std::atomic<int> forcedSubmitDone{0};
    std::atomic<int> riseSubmitDone{0};
    // The countdown has started and its line is written (only the submit tick sets them).
    std::atomic<int> forcedLogged{0};
    std::atomic<int> riseLogged{0};
    // Shared by both forced submissions: the moment their countdown began, which is when the
    // remaining time reached its start, not when a tick noticed it. Written and read by the
    // submit tick alone.
    std::atomic<std::uint32_t> forcedStartTick{0};
    std::atomic<int> riseLead{0};                   // ms before the end chosen from the rise
    // The low of page second 55 was taken from the fresh page feed the moment the remaining time
    // reached 5 s (the submit step writes the low, then this flag); the per-second pass keeps it.
    std::atomic<int> lowAt55Fed{0};
    // The "58" forced submission (gap above DisconSecBid) has announced its moment to the page
    // shell; withdrawn when the gap comes within the limit before then.
    std::atomic<int> forced58Scheduled{0};
    std::atomic<int> secondPrepDone{0}, thirdPrepDone{0};
    std::atomic<int> analysisPrep36Done{0}, analysisPrep8Done{0};
    std::atomic<int> secondBidDone{0}, thirdBidDone{0};
    std::atomic<int> analysisSecondDone{0}, analysisThirdDone{0};

    // ---- What the bidder was last shown and saved
    console::Guarded<std::string> lastShotPath;  // the last bid-dialog screenshot
    console::Guarded<Hint> lastHint;
};

}  // namespace kestrava::engine
