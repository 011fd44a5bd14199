// The cloud submission's steps: which table applies on a submit tick, what an applying rule
// does, the delayed confirmation, the page-second-57 stopwatch and the two messages.
#include "engine/cloud_submit.h"

#include <algorithm>
#include <map>
#include <string>

#include "engine/cloud_rules.h"
#include "log/log_book.h"

namespace kestrava::engine {

namespace {

// From 10 to 8 seconds before the end the cloud takes over the gaps above 300: the smart
// submission's delay branch (300 < gap ≤ ctrlXpricelimit) closes.
constexpr int kCloudGapLimit = 300;
constexpr int kCloseLimitFrom = 8;
constexpr int kCloseLimitTo = 10;
// Jam signals count only once page second 57 has run this long on the page clock.
constexpr std::uint32_t kWatch57Ms = 500;
constexpr int kWatchSecond = 57;
// The mark outlives the auction it was seen in (nothing clears it until the program ends), so a
// jam signal also has to fall into the last three seconds: a congestion signal early in a later
// auction of the same run must not confirm a bid that may still be far above the price.
constexpr int kJamLastSeconds = 3;
// Below this lowest price there is no "price − 300" worth looking up.
constexpr int kLastChanceMinPrice = kBidWindowGap;
constexpr int kSimulationConfirmSeconds = 3;

constexpr char kCloudDelayRule[] = "云提交延时";

int PageClockSecond(const EngineState& e) { return static_cast<int>(((e.pageClock.load() % 60) + 60) % 60); }

// The page second the remaining time stands for: 59 with one second left.
int FallbackSecond(const console::CKestravaDlg& c) {
    return std::clamp(60 - c.state.remainingSeconds.load(), 0, 59);
}

std::uint32_t Now(console::CKestravaDlg& c) { return c.platform.clock.TickCount(); }

cloud::Market MarketNow(console::CKestravaDlg& c, const EngineState& e) {
    cloud::Market m;
    m.p = c.state.lowestPrice.load();
    m.g = e.submission.Price() - m.p;
    for (std::size_t i = 0; i < m.lowAt.size(); ++i) m.lowAt[i] = e.lowAt[i].load(std::memory_order_relaxed);
    return m;
}

// The submission is confirmed only by the path that ends it; a path that finds it already ended
// (another rule, the bidder, a jam signal) leaves the page alone.
bool TakeForConfirm(console::CKestravaDlg& c, Engine& engine, std::uint32_t submission = 0) {
    return engine.Fire(c, SubmissionInput::RuleConfirm, 0, submission).Did(SubmissionAction::Confirm);
}

void ConfirmNow(console::CKestravaDlg& c, Engine& engine, std::uint32_t submission, std::string_view logText) {
    if (!TakeForConfirm(c, engine, submission)) return;
    engine.ConfirmBid(c);
    c.WriteLogLine(logText);
    engine.records.cloudDone = 1;
}

void Act(console::CKestravaDlg& c, Engine& engine, std::uint32_t submission, const cloud::Rule& rule,
         const cloud::GroupAction& action) {
    const std::string label = cloud::Label(rule, action);
    if (action.delayMs == cloud::kNow) {
        ConfirmNow(c, engine, submission, label);
        return;
    }
    EngineState& e = engine.records;
    e.cloudDelay = action.delayMs;
    e.cloudStartTick = Now(c);
    // The arming first, then the flag: a reader that sees the flag sees whose it is.
    e.cloudSubmission = submission;
    e.cloudPending = 1;
    c.WriteLogLine(label);
    if (rule.delayedSetsDone) e.cloudDone = 1;
}

// A delayed confirmation of the current arming holds the step until it is due and then confirms;
// true while one is pending. One left from an earlier arming (scheduled just as that submission
// ended) is dropped, and the rules run as if there had been none.
bool DelayedConfirmation(console::CKestravaDlg& c, Engine& engine, std::uint32_t submission) {
    EngineState& e = engine.records;
    if (e.cloudPending.load() != 1) return false;
    if (e.cloudSubmission.load() != submission) {
        e.cloudPending = 0;
        return false;
    }
    const std::uint32_t due = e.cloudStartTick.load() + static_cast<std::uint32_t>(e.cloudDelay.load());
    if (static_cast<std::int32_t>(due - Now(c)) > 0) {
        engine.ScheduleConfirm(c, due, kCloudDelayRule);
        return true;
    }
    if (!TakeForConfirm(c, engine, submission)) return true;  // ended meanwhile, and the delay with it
    engine.ConfirmBid(c, kCloudDelayRule);
    c.WriteLogLine("云提交确定");
    return true;
}

void CloseDelayWindow(console::CKestravaDlg& c, Engine& engine) {
    const int r = c.state.remainingSeconds.load();
    if (r >= kCloseLimitFrom && r <= kCloseLimitTo) engine.strategy.ctrlXpricelimit = kCloudGapLimit;
}

// Runs for 500 ms from the first feed tick of page second 57; when it has run out, jam signals
// are honoured (for the rest of the program run).
void RunWatch57(console::CKestravaDlg& c, EngineState& e, int pageSecond) {
    const std::uint32_t now = Now(c);
    if (e.watch57Running.load() == 1) {
        if (now - e.watch57StartTick.load() >= kWatch57Ms) {
            e.past575 = 1;
            e.watch57Running = 0;
        }
    } else if (pageSecond == kWatchSecond) {
        e.watch57StartTick = now;
        e.watch57Running = 1;
    }
}

// K: the price one window below the lowest price was first fed at the page time that the
// latest time code's fraction reads.
bool FirstSeenMatches(EngineState& e, int lowest) {
    const int fraction = e.pageClockFraction.load();
    return e.priceFirstSeen.With([&](const std::map<int, int>& firstSeen) {
        const auto it = firstSeen.find(lowest - kBidWindowGap);
        return it != firstSeen.end() && it->second == fraction;
    });
}

void FeedPath(console::CKestravaDlg& c, Engine& engine) {
    EngineState& e = engine.records;
    CloseDelayWindow(c, engine);
    // A feed gone quiet leaves its page second behind: the second then follows the remaining
    // time, which has fallen back to the PC clock, and the rules go on with the last prices.
    const int second = engine.PageClockCurrent(c) ? PageClockSecond(e) : FallbackSecond(c);
    RunWatch57(c, e, second);
    const std::uint32_t submission = e.submission.Serial();
    if (!e.submission.Armed()) return;
    if (DelayedConfirmation(c, engine, submission)) return;
    if (second == 59) {
        ConfirmNow(c, engine, submission, "云提交59");
    } else if (second == 58) {
        const cloud::Verdict v =
            cloud::Decide(cloud::FeedChain58().rules, MarketNow(c, e), c.state.startSecondDigit.load());
        if (v.action) Act(c, engine, submission, *v.rule, *v.action);
    }
}

void SimulationStep(console::CKestravaDlg& c, Engine& engine) {
    CloseDelayWindow(c, engine);
    if (!engine.records.submission.Armed()) return;
    if (c.state.remainingSeconds.load() > kSimulationConfirmSeconds) return;
    if (!TakeForConfirm(c, engine)) return;
    engine.ConfirmBid(c);
    engine.records.forcedSubmitDone = 1;
    c.WriteLogLine("软件强制提交 完毕");
    c.SetInfoBody("开始自动强制提交");
    engine.ShowHint(c, 1);
}

}  // namespace

void CloudStep(console::CKestravaDlg& c, Engine& engine) {
    if (!c.controls.IsChecked(box::CloudSubmit)) return;
    switch (c.state.moniornot.load()) {
        case 0:
            if (engine.records.feedFresh.load() == 0 || c.state.swbidmode.load() == 2)
                CloudSubmitDecision(c, engine);
            else
                FeedPath(c, engine);
            return;
        case 1:
            SimulationStep(c, engine);
            return;
        default:
            return;
    }
}

void CloudSubmitDecision(console::CKestravaDlg& c, Engine& engine) {
    EngineState& e = engine.records;
    const std::uint32_t submission = e.submission.Serial();
    if (!e.submission.Armed()) return;
    if (DelayedConfirmation(c, engine, submission)) return;
    const cloud::Chain* chain = cloud::ScreenChainFor(c.state.remainingSeconds.load());
    if (chain == nullptr) return;

    const cloud::Market market = MarketNow(c, e);
    const int digit = c.state.startSecondDigit.load();
    const cloud::Verdict v = cloud::Decide(chain->rules, market, digit);
    if (v.action) Act(c, engine, submission, *v.rule, *v.action);

    // A console the cloud has already acted for (this tick included) gets no last chance.
    if (chain->lastChance.empty() || e.cloudDone.load() != 0 || market.p <= kLastChanceMinPrice) return;
    const cloud::Verdict last = cloud::Decide(chain->lastChance, market, digit);
    if (last.action && FirstSeenMatches(e, market.p)) Act(c, engine, submission, *last.rule, *last.action);
}

void OnJamSignal(console::CKestravaDlg& c, Engine& engine, std::uint32_t n) {
    EngineState& e = engine.records;
    if (c.state.moniornot.load() != 0 || !e.submission.Armed()) return;
    if (!c.controls.IsChecked(box::CloudSubmit) || e.past575.load() != 1) return;
    if (c.state.remainingSeconds.load() > kJamLastSeconds) return;
    if (!TakeForConfirm(c, engine)) return;
    engine.ConfirmBid(c);
    const int count = static_cast<int>(n);
    log::DebugPrintf("进度条拥堵信号%d 马上提交", count);
    c.WriteLogLine("ABC  " + std::to_string(count) + " ，点击确定");
    e.cloudDone = 1;
}

void AttachCloud(const std::shared_ptr<Engine>& engine, console::ConsoleHooks& hooks) {
    hooks.jamSignal = [engine](console::CKestravaDlg& c, std::uint32_t wParam, std::int32_t) {
        OnJamSignal(c, *engine, wParam);
    };
}

}  // namespace kestrava::engine
