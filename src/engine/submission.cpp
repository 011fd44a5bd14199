#include "engine/submission.h"

#include <array>
#include <utility>

namespace kestrava::engine {

namespace {

using S = SubmissionState;
using I = SubmissionInput;
using A = SubmissionAction;

// Read a row as: in state `from`, input `input` leads to `to` and does `action`.
constexpr SubmissionRow kTable[] = {
    // ---- Idle: nothing in a dialog. A bid starts a life; an Enter has nothing to confirm.
    {S::Idle, I::Apply, S::Applied, A::NewLife},
    {S::Idle, I::PageOpened, S::Applied, A::NewLife},
    {S::Idle, I::Enter, S::Idle, A::Refuse},
    {S::Idle, I::EnterInReach, S::Idle, A::Refuse},
    {S::Idle, I::ForcedEnter, S::Idle, A::Refuse},
    {S::Idle, I::DayReset, S::Idle, A::Forget},

    // ---- Applied: the dialog holds the bid, waiting for the bidder's code and Enter.
    {S::Applied, I::Apply, S::Applied, A::NewLife},
    {S::Applied, I::PageOpened, S::Applied, A::Note},
    {S::Applied, I::Enter, S::Armed, A::Arm},
    {S::Applied, I::EnterInReach, S::Confirming, A::Confirm},
    {S::Applied, I::ForcedEnter, S::Confirming, A::Confirm},
    {S::Applied, I::Escape, S::Withdrawn, A::Withdraw},
    {S::Applied, I::Cancel, S::Withdrawn, A::Withdraw},
    {S::Applied, I::PageConfirmed, S::Confirmed, A::Note},
    {S::Applied, I::PageClosed, S::Withdrawn, A::Lost},
    {S::Applied, I::ShellRestarted, S::Withdrawn, A::Lost},
    {S::Applied, I::AuctionEnded, S::Expired, A::Expire},
    {S::Applied, I::DayReset, S::Idle, A::Forget},

    // ---- Armed: the console confirms when a rule says so; a repeated Enter keeps waiting.
    {S::Armed, I::Apply, S::Applied, A::NewLife},
    {S::Armed, I::PageOpened, S::Armed, A::Note},
    {S::Armed, I::Enter, S::Armed, A::Nothing},
    {S::Armed, I::EnterInReach, S::Confirming, A::Confirm},
    {S::Armed, I::ForcedEnter, S::Confirming, A::Confirm},
    {S::Armed, I::RuleConfirm, S::Confirming, A::Confirm},
    {S::Armed, I::Escape, S::Withdrawn, A::Withdraw},
    {S::Armed, I::Cancel, S::Withdrawn, A::Withdraw},
    {S::Armed, I::PageConfirmed, S::Confirmed, A::Note},
    {S::Armed, I::PageClosed, S::Withdrawn, A::Lost},
    {S::Armed, I::ShellRestarted, S::Withdrawn, A::Lost},
    {S::Armed, I::AuctionEnded, S::Expired, A::Expire},
    {S::Armed, I::DayReset, S::Idle, A::Forget},

    // ---- Confirming: the click is out. Nothing may click again; the page tells how it ended.
    {S::Confirming, I::Apply, S::Applied, A::NewLife},
    {S::Confirming, I::PageOpened, S::Applied, A::NewLife},
    {S::Confirming, I::Enter, S::Confirming, A::Refuse},
    {S::Confirming, I::EnterInReach, S::Confirming, A::Refuse},
    {S::Confirming, I::ForcedEnter, S::Confirming, A::Refuse},
    {S::Confirming, I::PageConfirmed, S::Confirmed, A::Note},
    {S::Confirming, I::PageClosed, S::Withdrawn, A::Lost},
    {S::Confirming, I::DayReset, S::Idle, A::Forget},

    // ---- Confirmed, withdrawn, expired: the life is over; only a new bid or the day's reset.
    {S::Confirmed, I::Apply, S::Applied, A::NewLife},
    {S::Confirmed, I::PageOpened, S::Applied, A::NewLife},
    {S::Confirmed, I::Enter, S::Confirmed, A::Refuse},
    {S::Confirmed, I::EnterInReach, S::Confirmed, A::Refuse},
    {S::Confirmed, I::ForcedEnter, S::Confirmed, A::Refuse},
    {S::Confirmed, I::DayReset, S::Idle, A::Forget},
    {S::Withdrawn, I::Apply, S::Applied, A::NewLife},
    {S::Withdrawn, I::PageOpened, S::Applied, A::NewLife},
    {S::Withdrawn, I::Enter, S::Withdrawn, A::Refuse},
    {S::Withdrawn, I::EnterInReach, S::Withdrawn, A::Refuse},
    {S::Withdrawn, I::ForcedEnter, S::Withdrawn, A::Refuse},
    {S::Withdrawn, I::DayReset, S::Idle, A::Forget},
    {S::Expired, I::Apply, S::Applied, A::NewLife},
    {S::Expired, I::PageOpened, S::Applied, A::NewLife},
    {S::Expired, I::Enter, S::Expired, A::Refuse},
    {S::Expired, I::EnterInReach, S::Expired, A::Refuse},
    {S::Expired, I::ForcedEnter, S::Expired, A::Refuse},
    {S::Expired, I::DayReset, S::Idle, A::Forget},
};

const SubmissionRow* RowFor(S from, I input) {
    for (const SubmissionRow& row : kTable)
        if (row.from == from && row.input == input) return &row;
    return nullptr;
}

bool HoldsBid(S s) { return s == S::Applied || s == S::Armed || s == S::Confirming || s == S::Confirmed; }

}  // namespace

std::span<const SubmissionRow> SubmissionTable() { return kTable; }

std::string_view Name(SubmissionState s) {
    constexpr std::array<std::string_view, 7> kNames{"idle",       "applied",   "armed",  "confirming",
                                                     "confirmed",  "withdrawn", "expired"};
    return kNames[static_cast<std::size_t>(s)];
}

std::string_view Name(SubmissionInput i) {
    constexpr std::array<std::string_view, 13> kNames{
        "apply",         "page opened", "enter",           "enter in reach", "forced enter",
        "rule confirms", "escape",      "cancel",          "page confirmed", "page closed",
        "shell restarted", "auction ended", "day reset"};
    return kNames[static_cast<std::size_t>(i)];
}

SubmissionStep Submission::Fire(SubmissionInput input, int price, std::uint32_t serial) {
    SubmissionStep step;
    {
        std::lock_guard lock(mutex_);
        step.from = step.to = state_;
        step.serial = serial_;
        step.price = step.previousPrice = price_;
        if (serial != 0 && serial != serial_) return step;
        const SubmissionRow* row = RowFor(state_, input);
        if (row == nullptr) return step;
        step.action = row->action;
        step.to = row->to;
        if (row->action == A::Refuse) {
            step.firstRefusal = !refused_;
            refused_ = true;
            return step;
        }
        const bool names = (input == I::PageOpened || input == I::Apply) && price > 0;
        const bool priceChanged = names && price != price_;
        if (row->from == row->to && row->action != A::NewLife && !priceChanged) return step;
        if (row->action == A::NewLife) {
            ++serial_;
            price_ = 0;
        }
        if (names) price_ = price;
        if (!HoldsBid(row->to)) price_ = 0;
        state_ = row->to;
        refused_ = false;
        delayStart_.reset();
        step.serial = serial_;
        step.price = price_;
    }
    return step;
}

SubmissionState Submission::State() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::uint32_t Submission::Serial() const {
    std::lock_guard lock(mutex_);
    return serial_;
}

int Submission::Price() const {
    std::lock_guard lock(mutex_);
    return price_;
}

bool Submission::Waiting() const {
    std::lock_guard lock(mutex_);
    return state_ == S::Applied || state_ == S::Armed;
}

bool Submission::StartDelay(std::uint32_t now) {
    std::lock_guard lock(mutex_);
    if (state_ != S::Armed || delayStart_) return false;
    delayStart_ = now;
    return true;
}

std::optional<std::uint32_t> Submission::DelayStart() const {
    std::lock_guard lock(mutex_);
    return delayStart_;
}

bool Submission::StopDelay() {
    std::lock_guard lock(mutex_);
    const bool was = delayStart_.has_value();
    delayStart_.reset();
    return was;
}

}  // namespace kestrava::engine
