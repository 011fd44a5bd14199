#include "shell/scheduled_confirm.h"

#include <utility>

namespace kestrava::shell {

std::optional<ScheduleAnswer> ScheduleAnswerFrom(std::int32_t lParam) {
    if (lParam < static_cast<std::int32_t>(ScheduleAnswer::Accepted) ||
        lParam > static_cast<std::int32_t>(ScheduleAnswer::NoElement))
        return std::nullopt;
    return static_cast<ScheduleAnswer>(lParam);
}

const char* ScheduleAnswerName(ScheduleAnswer a) {
    switch (a) {
    case ScheduleAnswer::Accepted: return "accepted";
    case ScheduleAnswer::Fired: return "fired";
    case ScheduleAnswer::Cancelled: return "cancelled";
    case ScheduleAnswer::CancelTooLate: return "cancel too late";
    case ScheduleAnswer::NotShown: return "confirm button not shown";
    case ScheduleAnswer::NoElement: return "no confirm element";
    }
    return "?";
}

// ---- the console's side ------------------------------------------------------------------------

ConfirmSchedule::ConfirmSchedule(platform::Clock& clock, Post postToPage, Log log)
    : clock_(clock), post_(std::move(postToPage)), log_(std::move(log)) {}

std::int32_t ConfirmSchedule::TicksUntilDue() const {
    return static_cast<std::int32_t>(dueTick_ - clock_.TickCount());
}

bool ConfirmSchedule::Pending() const {
    std::lock_guard lock(mutex_);
    return PendingLocked();
}

bool ConfirmSchedule::Acknowledged() const {
    std::lock_guard lock(mutex_);
    return state_ == State::Acked;
}

void ConfirmSchedule::Schedule(std::uint32_t dueTick, const char* rule, std::uint32_t submission) {
    std::lock_guard lock(mutex_);
    if (PendingLocked()) {
        const std::int32_t apart = static_cast<std::int32_t>(dueTick - dueTick_);
        if (apart >= -static_cast<std::int32_t>(kSameConfirmMs) && apart <= static_cast<std::int32_t>(kSameConfirmMs))
            return;
        Cancel("replaced by another moment");
    }
    token_ = nextToken_++;
    if (nextToken_ > 0x7fffffffu) nextToken_ = 1;
    dueTick_ = dueTick;
    rule_ = rule;
    submission_ = submission;
    taken_ = false;
    shellFired_ = false;
    shellFound_ = true;
    const std::int32_t ahead = TicksUntilDue();
    const DueMoment due = DueMoment::FromEpochMillis(clock_.EpochMillis() + ahead);
    const bool sent = post_(platform::Message{cmd::ScheduleConfirm, due.low32, static_cast<std::int32_t>(token_)});
    log_("预约确定 " + std::string(rule) + " 令牌" + std::to_string(token_) + " 还有" + std::to_string(ahead) +
         "毫秒" + (sent ? "" : "（页面窗口不在，到时由本程序点击）"));
    state_ = sent ? State::Sent : State::Idle;
}

bool ConfirmSchedule::OnAnswer(std::uint32_t token, std::int32_t answer) {
    const std::optional<ScheduleAnswer> a = ScheduleAnswerFrom(answer);
    if (!a) {
        log_("预约确定 令牌" + std::to_string(token) + " 无法识别的回答 " + std::to_string(answer));
        return false;
    }
    log_("预约确定 令牌" + std::to_string(token) + " 页面回答：" + ScheduleAnswerName(*a));
    std::lock_guard lock(mutex_);
    if (token != token_) return false;  // an answer about a schedule given up already
    switch (*a) {
    case ScheduleAnswer::Accepted:
        if (state_ == State::Sent) state_ = State::Acked;
        return false;
    case ScheduleAnswer::Fired:
        shellFired_ = true;
        return false;
    case ScheduleAnswer::NoElement:
    case ScheduleAnswer::NotShown: {
        // The shell clicked nothing. Before the rule's moment the rule clicks by itself (nothing
        // pending); after it, the confirmation was left to the shell and the console clicks now.
        shellFound_ = false;
        const bool mustClick = taken_;
        taken_ = false;
        state_ = State::Idle;
        if (mustClick) log_("预约确定 令牌" + std::to_string(token) + " 页面未能点击，由本程序立即点击");
        return mustClick;
    }
    case ScheduleAnswer::Cancelled:
    case ScheduleAnswer::CancelTooLate:
        return false;
    }
    return false;
}

void ConfirmSchedule::Poll() {
    std::lock_guard lock(mutex_);
    if (state_ == State::Sent && TicksUntilDue() <= static_cast<std::int32_t>(kAckMarginMs)) {
        // No acknowledgement in time (an older shell, one that restarted): cancel now, while the
        // cancel still reaches the shell before its moment, and click from here at the moment.
        Cancel("页面未确认预约，到时由本程序点击");
    }
}

bool ConfirmSchedule::TakeConfirm(const char* rule) {
    std::lock_guard lock(mutex_);
    const bool sameRule = rule != nullptr && rule_ == rule;
    if (state_ == State::Acked && TicksUntilDue() <= static_cast<std::int32_t>(kSameConfirmMs) &&
        (sameRule || shellFired_)) {
        log_("预约确定 令牌" + std::to_string(token_) + (shellFired_ ? " 页面已点击确定" : " 由页面准时点击确定"));
        state_ = State::Idle;
        taken_ = !shellFired_;
        return true;
    }
    if (PendingLocked()) Cancel(sameRule ? "提前由其他规则提交" : "另一规则要求提交");
    return false;
}

std::uint32_t ConfirmSchedule::TokenOf(std::uint32_t submission) const {
    std::lock_guard lock(mutex_);
    // A schedule the shell could not click (no button, no selector) left nothing to click twice.
    return token_ != 0 && submission_ == submission && shellFound_ ? token_ : 0;
}

void ConfirmSchedule::AbandonRule(const char* rule, const char* why) {
    std::lock_guard lock(mutex_);
    if (PendingLocked() && rule_ == rule) Cancel(why);
}

void ConfirmSchedule::Forget() {
    std::lock_guard lock(mutex_);
    if (PendingLocked()) Cancel("重置");
    submission_ = 0;
    taken_ = false;
    token_ = 0;
}

void ConfirmSchedule::Abandon(const char* why) {
    std::lock_guard lock(mutex_);
    if (PendingLocked()) Cancel(why);
}

void ConfirmSchedule::Cancel(const char* why) {
    post_(platform::Message{cmd::CancelScheduledConfirm, 0, static_cast<std::int32_t>(token_)});
    log_("取消预约确定 令牌" + std::to_string(token_) + "：" + why);
    state_ = State::Idle;
}

// ---- the shell's side --------------------------------------------------------------------------

ShellConfirmTimer::Step ShellConfirmTimer::OnSchedule(std::uint32_t token, DueMoment due, std::int64_t now) {
    const std::int32_t left = due.MillisFrom(now);
    const std::string t = "token " + std::to_string(token);
    if (firedToken_ == token) return {Action::Nothing, left, "schedule " + t + ": already clicked, ignored"};
    if (armed_ && token_ == token) {
        if (due.low32 == due_.low32) return {Action::Nothing, left, "schedule " + t + ": repeated, kept"};
        due_ = due;
        if (left <= 0) {
            armed_ = false;
            firedToken_ = token;
            return {Action::FireNow, left, "schedule " + t + ": moved into the past by " + std::to_string(-left) + " ms, clicking now"};
        }
        return {Action::Arm, left, "schedule " + t + ": moved, due in " + std::to_string(left) + " ms"};
    }
    std::string note = "schedule " + t;
    if (armed_) note += " replaces token " + std::to_string(token_);
    token_ = token;
    due_ = due;
    if (left <= 0) {
        armed_ = false;
        firedToken_ = token;
        return {Action::FireNow, left, note + ": due " + std::to_string(-left) + " ms ago, clicking now"};
    }
    armed_ = true;
    return {Action::Arm, left, note + ": due in " + std::to_string(left) + " ms"};
}

ShellConfirmTimer::Step ShellConfirmTimer::OnCancel(std::uint32_t token, std::int64_t now) {
    const std::string t = "token " + std::to_string(token);
    if (armed_ && token_ == token) {
        armed_ = false;
        return {Action::Cancelled, due_.MillisFrom(now), "cancel " + t + ": disarmed"};
    }
    if (firedToken_ == token) return {Action::TooLate, 0, "cancel " + t + ": arrived after the click"};
    return {Action::Nothing, 0, "cancel " + t + ": nothing scheduled under it"};
}

ShellConfirmTimer::Step ShellConfirmTimer::OnTimer(std::uint32_t token, std::int64_t now) {
    if (!armed_ || token_ != token) return {Action::Nothing, 0, {}};
    armed_ = false;
    firedToken_ = token;
    const std::int32_t left = due_.MillisFrom(now);
    return {Action::Fire, left, "token " + std::to_string(token) + ": clicking, " + std::to_string(-left) + " ms after the moment"};
}

ShellConfirmTimer::Step ShellConfirmTimer::OnConfirmCommand(std::uint32_t token) {
    if (token == 0) return {Action::Fire, 0, "confirm command"};
    const std::string t = "token " + std::to_string(token);
    if (firedToken_ == token) return {Action::Nothing, 0, "confirm command for " + t + ": its schedule has clicked, ignored"};
    if (armed_ && token_ == token) armed_ = false;
    firedToken_ = token;
    return {Action::Fire, 0, "confirm command for " + t};
}

void ShellConfirmTimer::OnClickFailed(std::uint32_t token) {
    if (firedToken_ == token) firedToken_.reset();
}

ShellConfirmTimer::Step ShellConfirmTimer::OnHeldTimer(std::uint32_t token, std::int64_t now) {
    if (!armed_ || token_ != token) return {Action::Nothing, 0, {}};
    armed_ = false;
    firedToken_ = token;
    const std::int32_t left = due_.MillisFrom(now);
    if (left <= 0)  // woken late: the hold has ended or is about to
        return {Action::Fire, left, "token " + std::to_string(token) + ": clicking, " + std::to_string(-left) + " ms after the moment"};
    return {Action::Fire, left,
            "token " + std::to_string(token) + ": clicking, " + std::to_string(left) +
                " ms ahead of the moment, the page holds the click until then"};
}

}  // namespace kestrava::shell
