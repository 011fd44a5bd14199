#include "runtime/replay_page.h"

#include "console/console.h"
#include "engine/engine.h"
#include "platform/keys.h"
#include "shell/page_commands.h"

namespace kestrava::runtime {

namespace {

namespace cmd = shell::cmd;
namespace wm = platform::wm;
using shell::ScheduleAnswer;

platform::Message DialogMessage(int price, console::CodeDialog how) {
    return {console::msg::CodeDialog, static_cast<std::uint32_t>(price), static_cast<std::int32_t>(how)};
}

}  // namespace

void PageModel::OnPost(const PostRecord& r, bool toView, DayMs at, std::int64_t pcEpochMillis) {
    const platform::Message& m = r.message;
    if (toView) {
        // Keys reach the focused box: the plus-amount box, or the code box while the dialog is up.
        if (dialog_) return;
        if (m.msg == wm::KeyDown && m.wParam == platform::vk::Delete) typed_.clear();
        if (m.msg == wm::Char && m.wParam >= '0' && m.wParam <= '9') typed_ += static_cast<char>(m.wParam);
        return;
    }
    switch (m.msg) {
        case cmd::ClickAt:
            switch (r.role) {
                case PagePointRole::AddButton: Add(); return;
                case PagePointRole::BidButton: Bid(at); return;
                case PagePointRole::Confirm: Press(at, true); return;
                case PagePointRole::Cancel: Close(at, console::CodeDialog::ClosedOtherwise, "cancelled"); return;
                default: return;
            }
        case cmd::PressAddElement: Add(); return;
        case cmd::PressBidElement: Bid(at); return;
        case cmd::CancelCodeElement: Close(at, console::CodeDialog::ClosedOtherwise, "cancelled"); return;
        case cmd::ConfirmCodeElement: {
            const auto token = static_cast<std::uint32_t>(m.lParam);
            if (scenarioAnswers_ || timer_.OnConfirmCommand(token).action == shell::ShellConfirmTimer::Action::Fire)
                Press(at, false);
            return;
        }
        case cmd::ScheduleConfirm: {
            if (scenarioAnswers_) return;
            const auto token = static_cast<std::uint32_t>(m.lParam);
            const auto step = timer_.OnSchedule(token, shell::DueMoment{m.wParam}, pcEpochMillis);
            using A = shell::ShellConfirmTimer::Action;
            if (step.action == A::Arm || step.action == A::FireNow) scheduledApplied_ = r.applied;
            if (step.action == A::Arm) fireAt_ = at + step.millisToDue;
            if (step.action == A::Arm || step.action == A::FireNow) Answer(at, token, ScheduleAnswer::Accepted, step.note);
            if (step.action == A::FireNow) ScheduledClick(token, at);
            return;
        }
        case cmd::CancelScheduledConfirm: {
            if (scenarioAnswers_) return;
            const auto token = static_cast<std::uint32_t>(m.lParam);
            const auto step = timer_.OnCancel(token, pcEpochMillis);
            if (step.action == shell::ShellConfirmTimer::Action::Cancelled)
                Answer(at, token, ScheduleAnswer::Cancelled, step.note);
            if (step.action == shell::ShellConfirmTimer::Action::TooLate)
                Answer(at, token, ScheduleAnswer::CancelTooLate, step.note);
            return;
        }
        default: return;
    }
}

void PageModel::Poll(DayMs at, std::int64_t pcEpochMillis) {
    const auto token = timer_.ArmedToken();
    if (!token || at < fireAt_) return;
    if (timer_.OnTimer(*token, pcEpochMillis).action == shell::ShellConfirmTimer::Action::Fire) ScheduledClick(*token, at);
}

void PageModel::CloseDialogByPage(DayMs at) { Close(at, console::CodeDialog::ClosedOtherwise, "closed by the page"); }

void PageModel::ShellGone() {
    timer_ = {};
    dialog_.reset();
    typed_.clear();
    bidPrice_ = 0;
}

std::vector<PageModel::ToConsole> PageModel::TakeDue(DayMs at) {
    std::vector<ToConsole> due, later;
    for (ToConsole& m : outbox_) (m.at <= at ? due : later).push_back(std::move(m));
    outbox_ = std::move(later);
    return due;
}

void PageModel::Add() {
    // The page's add button puts its own lowest price plus the amount into the bid box; the
    // dialog covers the button while it is up.
    if (dialog_ || typed_.empty()) return;
    bidPrice_ = static_cast<int>(price_ + std::stoll(typed_.substr(0, 9)));
}

void PageModel::Bid(DayMs at) {
    if (dialog_ || bidPrice_ <= 0) return;
    dialog_ = bidPrice_;
    Send({at, DialogMessage(bidPrice_, console::CodeDialog::Opened), "code dialog opened at " + std::to_string(bidPrice_)});
}

void PageModel::Press(DayMs at, bool burstPoint) {
    // The console presses by command and at every confirm point at one instant: one press.
    if (burstPoint && lastPress_ == at) return;
    lastPress_ = at;
    if (!dialog_) {
        outcomes_.push_back({at, PageOutcome::Kind::NoDialog, 0, static_cast<int>(price_)});
        return;
    }
    const int bid = *dialog_;
    const bool late = end_ > 0 && at >= end_;
    const bool valid = !late && bid >= price_ && bid <= price_ + engine::kBidWindowGap;
    const auto kind = late ? PageOutcome::Kind::TooLate : valid ? PageOutcome::Kind::Accepted : PageOutcome::Kind::Refused;
    outcomes_.push_back({at, kind, bid, static_cast<int>(price_), end_});
    dialog_.reset();
    Send({at, DialogMessage(bid, console::CodeDialog::ClosedByConfirm),
          std::string("code dialog closed by its confirm: ") + (valid ? "accepted" : late ? "too late" : "refused")});
}

void PageModel::Close(DayMs at, console::CodeDialog how, const char* why) {
    if (!dialog_) return;
    const int bid = *dialog_;
    dialog_.reset();
    Send({at, DialogMessage(bid, how), std::string("code dialog ") + why});
}

void PageModel::ScheduledClick(std::uint32_t token, DayMs at) {
    // The shell looks for the button first: with no dialog up (or a page it cannot click) it
    // clicks nothing and says so.
    if (shellFails_ || !dialog_) {
        timer_.OnClickFailed(token);
        Answer(at, token, ScheduleAnswer::NotShown, "no confirm button on the page at the moment");
        return;
    }
    Confirmation c = known_(at);
    c.applied = scheduledApplied_;
    shellClicks_.push_back(c);
    // The shell answers as it clicks; the dialog's close follows once the page has taken the click.
    Answer(at, token, ScheduleAnswer::Fired, "clicked the confirm button at the moment");
    Press(at, false);
}

void PageModel::Answer(DayMs at, std::uint32_t token, ScheduleAnswer a, const std::string& note) {
    Send({at, {shell::kScheduleAnswerMessage, token, static_cast<std::int32_t>(a)},
          std::string(shell::ScheduleAnswerName(a)) + ": " + note});
}

}  // namespace kestrava::runtime
