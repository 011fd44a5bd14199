// The practice run's guide: which step of the auction the bidder is at, said in the info bar and
// a balloon, and at the end what became of the bid. A first practice must show what the program
// does without anyone explaining it: when to wait, when to type the code, that the console
// confirms by itself, and how the confirmation went.
//
// It decides only. It hears the console's day-log lines (the bidder's Enter armed, a rule
// confirmed), the practice page's accounts relayed by the page shell (when its handler saw the
// confirm click, how it judged the bid, the result) and, on the one-second tick, the run's state;
// the console puts its decision into the state the views show. Log lines come from every tick's
// thread, so everything sits behind one lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::console {

// What the guide reads of the run on the one-second tick.
struct GuideRun {
    int runState = 0;      // ConsoleState::runState
    int auctionPhase = 0;  // ConsoleState::auctionPhase
    // The pending application's price, 0 when none. It may be left from an earlier run: only an
    // application of this run (its log line) counts.
    int appliedPrice = 0;
    int gapLimit = 300;    // ctrlXpricelimit: the gap within which the console confirms
};

enum class GuideStep {
    NotStarted,         // the page has not started its auction
    BeforeRevision,     // first-bid period: nothing for the bidder to do
    AwaitingApplication,// revision phase, the strategy's moment not reached
    CodeDialog,         // the console applied: the code and Enter are the bidder's
    AwaitingGap,        // Enter taken: the console confirms when its rules say so
    Confirmed,          // confirmed, the page's verdict and result to come
    EndedUnconfirmed,   // the auction is over and nothing was confirmed; the result to come
    Outcome,            // the page's result is in
};

struct Guidance {
    GuideStep step = GuideStep::NotStarted;
    std::string text;
    // Changes whenever the bidder is to be told anew (a new step, or the same step of a new run):
    // the view then raises a balloon as well.
    std::uint32_t serial = 0;
};

// The rule a day-log line says confirmed the bid, or nothing for any other line.
std::optional<std::string_view> ConfirmingRule(std::string_view logLine);

class PracticeGuide {
public:
    // The line every bid application writes as it starts typing the price.
    static constexpr std::string_view kAppliedLine = "操作执行申请加价";
    // The line the bidder's Enter writes when it arms the submission.
    static constexpr std::string_view kArmedLine = "客户按了回车，智能提交开启";

    // A line of the console's day log, written at `epochMs` of the system clock.
    void OnLogLine(std::string_view text, std::int64_t epochMs);
    // A command posted to the page at `epochMs`. The confirmation's moment is when its command
    // went (or the moment a schedule named), not when its rule's line was written just after.
    void OnCommandSent(std::uint32_t msg, std::uint32_t wParam, std::int64_t epochMs);
    // The page's handler ran for the confirm click at the system clock's epoch milliseconds (low 32
    // bits) `epochLow`, at `pageClockMs` milliseconds after midnight of the page's own clock.
    void OnConfirmSeen(std::uint32_t epochLow, std::int32_t pageClockMs);
    // The page judged the confirmed bid of `price`.
    void OnVerdict(int price, bool valid);
    // The page's result: the auction's final price, and whether the bidder's last bid won.
    void OnResult(int finalPrice, bool won);
    // A new run: what the last one did is forgotten.
    void Reset();

    Guidance Decide(const GuideRun& run) const;
    // The outcome of the run once the page has given its result; empty before.
    std::string Outcome() const;
    // The outcome, once per run, for the terminal; nothing before the result or when taken.
    std::optional<std::string> TakeOutcomeToPrint();

private:
    std::string OutcomeLocked() const;

    mutable std::mutex mutex_;
    std::uint32_t run_ = 0;
    bool applied_ = false;
    bool armed_ = false;
    std::string rule_;  // the confirming rule; empty while none
    std::uint32_t confirmedAtLow_ = 0;  // low 32 bits of its epoch milliseconds
    std::optional<std::uint32_t> confirmSentLow_;  // the last confirmation command's moment
    std::optional<std::uint32_t> seenEpochLow_;
    std::int32_t seenPageClockMs_ = 0;
    std::optional<int> verdictPrice_;
    bool valid_ = false;
    std::optional<int> finalPrice_;
    bool won_ = false;
    bool printed_ = false;
};

}  // namespace kestrava::console
