// The bid the page holds, from the moment its code dialog opens to the moment it is confirmed,
// withdrawn or outlived by the auction: one life with one owner. Every key of the bidder, every
// rule's decision and every report of the page is an input to the table below; a confirm click
// is only ever the action of a transition, so no path can click for a bid that is not there, or
// click twice for one bid.
//
// The table knows nothing of the console: the engine feeds it inputs and carries out the action
// of the step it gets back (posting the click, cancelling the dialog, telling the bidder).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

namespace kestrava::engine {

enum class SubmissionState : std::uint8_t {
    Idle,        // no bid of this run is in a code dialog
    Applied,     // the page's code dialog holds the bid; the bidder has not pressed Enter
    Armed,       // the bidder's Enter: the console confirms when its rules say so
    Confirming,  // a confirm click was sent (or left to the page shell at its moment)
    Confirmed,   // the page closed the dialog through its confirm button
    Withdrawn,   // cancelled by the bidder or the console, or closed by the page
    Expired,     // the auction ended with the bid unconfirmed
};

enum class SubmissionInput : std::uint8_t {
    Apply,          // the console has typed a price and pressed the bid button
    PageOpened,     // the page reports its code dialog open, with the price it shows
    Enter,          // the bidder's Enter, the price not yet in reach: wait for it
    EnterInReach,   // the bidder's Enter with the gap already within the rules: confirm now
    ForcedEnter,    // Ctrl+Enter, or Enter in the last second: confirm whatever the gap
    RuleConfirm,    // a rule of the armed submission decided to confirm
    Escape,         // the bidder's Escape
    Cancel,         // the console's own cancel (the test bid's, a remedy, a replacing bid)
    PageConfirmed,  // the page closed the dialog through its confirm button
    PageClosed,     // the page closed the dialog otherwise (cancel, timeout, an error)
    ShellRestarted, // a new page window: the old page and its dialog are gone
    AuctionEnded,
    DayReset,
};

enum class SubmissionAction : std::uint8_t {
    Nothing,  // nothing to do (an input that changes nothing, or the page's news already true)
    Refuse,   // an Enter with no bid waiting: say so
    Arm,      // the first Enter of this bid: tell the bidder the console waits for the price
    Confirm,  // press "确定" now (the one and only click of this bid)
    Withdraw, // the console cancels the page's dialog
    Lost,     // the page no longer holds the bid: drop what was scheduled for it and say so
    NewLife,  // a new bid: whatever was scheduled for the previous one is void
    Note,     // the page's report changed what is known (its price, its confirm): log it
    Expire,   // the auction is over: drop what was scheduled
    Forget,   // the day starts again
};

struct SubmissionRow {
    SubmissionState from;
    SubmissionInput input;
    SubmissionState to;
    SubmissionAction action;
};

// The rows of the life. A pair (state, input) with no row leaves the state as it is and does
// nothing; the rows that refuse say so explicitly.
std::span<const SubmissionRow> SubmissionTable();

// What a transition did; `serial` names the life it belongs to.
struct SubmissionStep {
    SubmissionState from = SubmissionState::Idle;
    SubmissionState to = SubmissionState::Idle;
    SubmissionAction action = SubmissionAction::Nothing;
    std::uint32_t serial = 0;
    int price = 0;               // the bid's price after the step (0 when none is held)
    int previousPrice = 0;       // before it
    bool firstRefusal = false;   // Refuse: the first of a run of refused inputs in this state
    bool Did(SubmissionAction a) const { return action == a; }
};

std::string_view Name(SubmissionState s);
std::string_view Name(SubmissionInput i);

class Submission {
public:
    // Feeds an input. `price` is the bid's price for Apply and PageOpened. With `serial` not 0
    // the input belongs to that life only: for any other it changes nothing.
    SubmissionStep Fire(SubmissionInput input, int price = 0, std::uint32_t serial = 0);

    SubmissionState State() const;
    std::uint32_t Serial() const;
    // The bid's price; 0 when no bid is held (idle, withdrawn, expired).
    int Price() const;
    bool Armed() const { return State() == SubmissionState::Armed; }
    // The bid is in the page's dialog and may still be confirmed.
    bool Waiting() const;

    // The smart submission's delay stopwatch of the armed bid; every transition stops it.
    // Starts it (true) unless it runs already; the start stays as it was.
    bool StartDelay(std::uint32_t now);
    std::optional<std::uint32_t> DelayStart() const;
    // Stops it; true when it was running.
    bool StopDelay();

private:
    mutable std::mutex mutex_;
    SubmissionState state_ = SubmissionState::Idle;
    std::uint32_t serial_ = 0;
    int price_ = 0;
    bool refused_ = false;  // an input was refused since the last transition
    std::optional<std::uint32_t> delayStart_;
};

}  // namespace kestrava::engine
