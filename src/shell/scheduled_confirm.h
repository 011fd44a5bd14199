// A confirmation clicked by the page shell at a moment the console names ahead of time.
//
// A time-based confirmation (a forced submission, a delayed smart or cloud confirmation) is known
// a fraction of a second before it is due. Sending the confirm command at the moment costs the
// console's tick phase and the message's trip; the shell, told the moment ahead, fires its own
// precise timer instead. Both sides are plain state machines here, so their rules run on the
// fake clock: the console's `ConfirmSchedule` and the shell's `ShellConfirmTimer`.
//
// The contract (docs/window-protocol.md):
//   console -> page window  0x4ab  wParam = due moment, lParam = token   schedule the confirm
//   console -> page window  0x4ac  wParam = 0,          lParam = token   cancel it
//   console -> page window  0x4a3  wParam = 0,          lParam = token   click now, unless the
//                                                        schedule `token` has clicked already
//   shell   -> console      0x4ad  wParam = token,      lParam = answer  (ScheduleAnswer)
// The due moment is the low 32 bits of the epoch milliseconds on the system clock both programs
// share; the difference of two such moments read as a signed 32-bit number is exact within 24
// days, so neither midnight nor the time zone matters.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kestrava::shell {

namespace cmd {
inline constexpr std::uint32_t ScheduleConfirm = 0x4ab;
inline constexpr std::uint32_t CancelScheduledConfirm = 0x4ac;
}  // namespace cmd

// The shell's answers to the console (message 0x4ad, lParam).
inline constexpr std::uint32_t kScheduleAnswerMessage = 0x4ad;
enum class ScheduleAnswer : std::int32_t {
    Accepted = 1,       // armed; the shell will click at the moment
    Fired = 2,          // clicked (the shell's log has how late)
    Cancelled = 3,      // the cancel arrived in time: nothing was clicked
    CancelTooLate = 4,  // the cancel arrived after the click
    NotShown = 5,       // at the moment the confirm button was not on the page: nothing clicked
    NoElement = 6,      // the page has no confirm selector: the console must click itself
};
std::optional<ScheduleAnswer> ScheduleAnswerFrom(std::int32_t lParam);
const char* ScheduleAnswerName(ScheduleAnswer a);

// A moment on the shared system clock as it travels in wParam.
struct DueMoment {
    std::uint32_t low32 = 0;
    static DueMoment FromEpochMillis(std::int64_t ms) { return DueMoment{static_cast<std::uint32_t>(ms)}; }
    // Milliseconds from `nowEpochMillis` until this moment (negative: it has passed).
    std::int32_t MillisFrom(std::int64_t nowEpochMillis) const {
        return static_cast<std::int32_t>(low32 - static_cast<std::uint32_t>(nowEpochMillis));
    }
};

// ---- the console's side ------------------------------------------------------------------------

// One scheduled confirmation at a time, owned by the submission control; safe to call from the
// ticks and the interface thread (one mutex, never held across a wait). Times are the console's
// tick count (the clock the rules use); the due moment on the shared system clock is derived from
// it when the schedule is sent.
//
// The rule that decides the confirmation still runs at its moment and calls `ConfirmBid`, which
// asks `TakeConfirm` whether the shell's click stands in for its own commands. Exactly one of the
// two clicks: the console sends its commands only when no acknowledgement came, and then it has
// cancelled the schedule first (early enough that the cancel reaches the shell before its timer).
class ConfirmSchedule {
public:
    using Post = std::function<bool(const platform::Message&)>;
    using Log = std::function<void(const std::string&)>;

    // An acknowledgement must arrive this long before the moment, or the console confirms itself.
    static constexpr std::uint32_t kAckMarginMs = 40;
    // A `ConfirmBid` within this window around the moment is the scheduled confirmation itself
    // (the rule's tick may run a little after the shell's timer).
    static constexpr std::uint32_t kSameConfirmMs = 150;

    ConfirmSchedule(platform::Clock& clock, Post postToPage, Log log);

    // Announces a confirmation of arming `submission` due at tick `dueTick`, decided by `rule`.
    // A second call for a moment within kSameConfirmMs of the pending one keeps the pending
    // schedule (one schedule per confirmation); another moment replaces it (the old one is
    // cancelled first).
    void Schedule(std::uint32_t dueTick, const char* rule, std::uint32_t submission = 0);

    // The shell's answer (message 0x4ad). True when the console must click at once: the shell
    // could not click a confirmation the console had already left to it.
    [[nodiscard]] bool OnAnswer(std::uint32_t token, std::int32_t answer);

    // Called on every submit tick: gives up on a schedule whose acknowledgement is late.
    void Poll();

    // Called by ConfirmBid for the confirmation `rule` wants. True: the
    // shell clicks (or has clicked) this confirmation, send nothing. False: send the immediate
    // commands (any schedule has been cancelled). A schedule made by another rule (or a
    // confirmation of no rule, `rule` empty) never stands in for this one unless the shell has
    // already clicked it.
    bool TakeConfirm(const char* rule = nullptr);

    // The token the immediate confirm command of arming `submission` carries: that of its latest
    // schedule, so that the shell clicks once whichever of the two it reads first; 0 when the
    // arming had no schedule.
    std::uint32_t TokenOf(std::uint32_t submission) const;

    // The rule that scheduled the pending confirmation no longer holds: cancel it (a schedule of
    // another rule stays).
    void AbandonRule(const char* rule, const char* why);

    // The submission ended by another path (cancelled, or confirmed outside ConfirmBid's
    // schedule window): cancel a pending schedule.
    void Abandon(const char* why);

    // A new run: the arming numbers start again, so nothing of an earlier schedule stays.
    void Forget();

    bool Pending() const;
    bool Acknowledged() const;

private:
    enum class State { Idle, Sent, Acked };
    bool PendingLocked() const { return state_ == State::Sent || state_ == State::Acked; }
    void Cancel(const char* why);
    std::int32_t TicksUntilDue() const;

    platform::Clock& clock_;
    Post post_;
    Log log_;
    mutable std::mutex mutex_;
    State state_ = State::Idle;
    std::uint32_t token_ = 0;
    std::uint32_t nextToken_ = 1;
    std::uint32_t dueTick_ = 0;
    std::string rule_;
    std::uint32_t submission_ = 0;
    bool taken_ = false;      // TakeConfirm left this confirmation to the shell
    bool shellFired_ = false;
    bool shellFound_ = true;  // false: the shell found no confirm button at the moment
};

// ---- the shell's side --------------------------------------------------------------------------

// What the shell does with schedules, cancels and its timer. Pure logic over epoch milliseconds;
// the shell arms a precise timer for `Arm` and clicks for `Fire`.
class ShellConfirmTimer {
public:
    enum class Action {
        Nothing,      // nothing to do (a duplicate, an unknown token, a timer of a cancelled schedule)
        Arm,          // (re)arm the timer for the due moment; answer Accepted
        FireNow,      // the moment has passed already: click at once; answer Accepted then Fired
        Cancelled,    // disarm; answer Cancelled
        TooLate,      // already clicked; answer CancelTooLate
        Fire,         // the timer for the armed token: click now; answer Fired
    };
    struct Step {
        Action action = Action::Nothing;
        std::int32_t millisToDue = 0;  // for Arm / FireNow / Fire: due minus now
        std::string note;              // one line for the shell's log
    };

    Step OnSchedule(std::uint32_t token, DueMoment due, std::int64_t nowEpochMillis);
    Step OnCancel(std::uint32_t token, std::int64_t nowEpochMillis);
    Step OnTimer(std::uint32_t token, std::int64_t nowEpochMillis);
    // The click for the armed token leaves ahead of the moment because the page holds its input
    // until then (the page reported its hold): from here on the click is under way, as after
    // `OnTimer`, and a cancel is too late.
    Step OnHeldTimer(std::uint32_t token, std::int64_t nowEpochMillis);
    // The console's immediate confirm command (0x4a3) naming the schedule it stands in for
    // (token 0: none). Fire: click now; Nothing: that schedule has clicked already. Either order
    // of the two ends in one click.
    Step OnConfirmCommand(std::uint32_t token);
    // The click of `token` found no confirm button: nothing was clicked, so the console's own
    // command for it must still click.
    void OnClickFailed(std::uint32_t token);

    std::optional<std::uint32_t> ArmedToken() const { return armed_ ? std::optional(token_) : std::nullopt; }
    DueMoment Due() const { return due_; }

private:
    bool armed_ = false;
    std::uint32_t token_ = 0;
    DueMoment due_;
    std::optional<std::uint32_t> firedToken_;
};

}  // namespace kestrava::shell
