// The submit tick: every jamInterval ms (10 by default) on its own timer thread. In the last
// seconds it runs the two rise rules of page seconds 55 … 58, which confirm a short, set delay
// after the fed price has risen by a step against the previous second's low, and then the cloud
// step of the last ten seconds. The forced submissions run here and only here: this tick owns
// their countdowns. A page report runs the same step at once (one at a time with the timer's), so
// a price or a second the page has just shown is acted on without waiting for the next period.
#include "engine/engine.h"

namespace kestrava::engine {

namespace {

struct RiseRule {
    int number;  // 1 or 2, as the log lines name them
    std::atomic<int> EngineState::*pending;
    std::atomic<std::uint32_t> EngineState::*pendingSubmission;
    std::atomic<int> EngineState::*delay;
    std::atomic<std::uint32_t> EngineState::*startTick;
    std::array<std::atomic<int>, kRiseSeconds> EngineState::*delays;  // tenths of a second per page second
    // Whether the applied price stands close enough above the fed price at page second `second`.
    bool (*gapHolds)(const strategy::StrategyValues&, int gapToFed, int second);
};

// Rise rule 2's gap limits per page second 55 … 58.
constexpr std::atomic<int> strategy::StrategyValues::*kRise2Limits[kRiseSeconds] = {
    &strategy::StrategyValues::SmartBidTime1, &strategy::StrategyValues::SmartBidTime2,
    &strategy::StrategyValues::SmartBidTime3, &strategy::StrategyValues::SmartBidTime4};

constexpr RiseRule kRiseRules[] = {
    {1, &EngineState::rise1Pending, &EngineState::rise1Submission, &EngineState::rise1Delay,
     &EngineState::rise1StartTick, &EngineState::riseDelay1,
     [](const strategy::StrategyValues&, int gap, int) { return gap == 400; }},
    {2, &EngineState::rise2Pending, &EngineState::rise2Submission, &EngineState::rise2Delay,
     &EngineState::rise2StartTick, &EngineState::riseDelay2,
     [](const strategy::StrategyValues& v, int gap, int second) {
         return gap <= (v.*kRise2Limits[second - kFirstRiseSecond]).load();
     }},
};

// The remaining seconds at which the rise-based forced submission has its lead.
constexpr int kRiseLeadSecond = 5;

// The most seconds remaining at page second 55 of the last minute, with a second's slack for a
// clock of the remaining time that runs a little ahead of the page's.
constexpr int kLastRiseRemaining = 60 - kFirstRiseSecond + 1;

// A fed price counts as a rise when it stands at least one step above the previous second's low.
constexpr int kRiseStep = 100;

}  // namespace

void Engine::SubmitTick(console::CKestravaDlg& c) {
    // The timer's thread and the interface thread (page reports) take turns: each decision has
    // one owner at a time, and a countdown's start is stored before anyone compares with it.
    std::lock_guard lock(submitMutex_);
    auto& s = c.state;
    if (options_.updateRemainingTime) {
        if (!options_.updateRemainingTime(c)) return;
    } else if (!s.pageWindow.load() || s.auctionPhase.load() == 0) {
        return;
    }
    NoteRemainingChange(c);
    KeepScheduleWithItsShell(c);
    ConfirmSchedule(c).Poll();
    const int phase = s.auctionPhase.load();
    // The auction is over: a bid still waiting can never be confirmed.
    if (phase == 4 && records.submission.Waiting()) Fire(c, SubmissionInput::AuctionEnded);
    if (phase == 4 || phase < 3) return;
    WatchPageWindow(c);
    if (records.submission.Armed()) RiseRules(c);
    SmartDelayRunOut(c);
    // The forced submissions aim at a moment to the millisecond, which this tick's period finds;
    // this step is their only caller and runs one at a time, so nobody can sample the clock before
    // the countdown's start is stored and see it as long past.
    TimeForcedSubmission(c);
    // The rise-based lead needs the low of second 55: the fresh feed's price the moment 5 s remain,
    // or, without a feed, what the scan tick's per-second pass takes.
    TakeSecond55LowFromFeed(c);
    if (records.lastTickSecond.load() <= kRiseLeadSecond || records.lowAt55Fed.load() == 1) RiseForcedSubmission(c);
    if (s.remainingSeconds.load() <= 10 && options_.cloudStep) options_.cloudStep(c, *this);
}

void Engine::NoteRemainingChange(console::CKestravaDlg& c) {
    const int r = c.state.remainingSeconds.load();
    const std::uint32_t now = Now(c);
    records.remainingChange.With([&](RemainingChange& change) {
        if (!change.seen || change.remainingSeconds != r) change = {true, r, now};
    });
}

void Engine::SmartDelayRunOut(console::CKestravaDlg& c) {
    // The smart submission's delay runs out on this step's clock; the scan tick's check would find
    // it up to a scan period late. The check itself decides (and confirms once, under its lock).
    const std::optional<std::uint32_t> start = records.submission.DelayStart();
    if (!start || !records.submission.Armed()) return;
    const auto elapsed = static_cast<std::int32_t>(Now(c) - *start);
    if (elapsed >= strategy.DelayBidTime.load()) SmartSubmitCheck(c);
}

void Engine::TakeSecond55LowFromFeed(console::CKestravaDlg& c) {
    auto& s = c.state;
    EngineState& e = records;
    // Once the per-second pass has been at 5 s or less it has the low (or the console started too
    // late for one); a price the screen alone gives is the scan tick's to read.
    if (e.lowAt55Fed.load() == 1 || s.remainingSeconds.load() > kRiseLeadSecond ||
        e.lastTickSecond.load() <= kRiseLeadSecond || e.feedFresh.load() != 1 || s.swbidmode.load() == 2)
        return;
    const int fed = e.feedLowestPrice.load();
    if (fed <= 0) return;
    e.lowAt[60 - kRiseLeadSecond] = fed;
    e.lowAt55Fed = 1;
}

void Engine::RiseRules(console::CKestravaDlg& c) {
    EngineState& e = records;
    const int second = static_cast<int>(((e.pageClock.load() % 60) + 60) % 60);
    // Page seconds 55 … 58 of the auction's last minute only: the same seconds of an earlier minute
    // have no lows of their own to rise from.
    const bool riseSecond = second >= kFirstRiseSecond && second < kFirstRiseSecond + kRiseSeconds &&
                            c.state.remainingSeconds.load() <= kLastRiseRemaining;
    const int fed = e.feedLowestPrice.load();

    for (const RiseRule& rule : kRiseRules) {
        // A rule that confirmed ends the submission; the next one has nothing left to do.
        const std::uint32_t current = e.submission.Serial();
        if (!e.submission.Armed()) return;
        const std::uint32_t now = Now(c);
        if ((e.*rule.pending).load() != 1 || (e.*rule.pendingSubmission).load() != current) {
            if (!riseSecond) continue;
            const int previousLow = e.lowAt[second - 1].load();
            if (previousLow <= 0 || fed - previousLow < kRiseStep) continue;
            if (!Ticked(c, box::Rise55 + second - kFirstRiseSecond)) continue;
            if (!rule.gapHolds(strategy, e.submission.Price() - fed, second)) continue;
            (e.*rule.delay) = (e.*rule.delays)[second - kFirstRiseSecond].load() * 100;
            (e.*rule.startTick) = now;
            (e.*rule.pendingSubmission) = current;
            (e.*rule.pending) = 1;
            Log(c, "上涨" + std::to_string(rule.number) + "功能" + std::to_string(second) + "延触发");
        }
        // A delay of 0 confirms on the evaluation that found the rise (the report's, at once).
        const std::uint32_t due = (e.*rule.startTick).load() + static_cast<std::uint32_t>((e.*rule.delay).load());
        if (static_cast<std::int32_t>(due - now) > 0) {
            ScheduleConfirm(c, due, rule.number == 1 ? "上涨1" : "上涨2");
            continue;
        }
        if (!Fire(c, SubmissionInput::RuleConfirm, 0, current).Did(SubmissionAction::Confirm)) return;
        ConfirmBid(c, rule.number == 1 ? "上涨1" : "上涨2");
        Log(c, "上涨" + std::to_string(rule.number) + "功能点击确定");
    }
}

}  // namespace kestrava::engine
