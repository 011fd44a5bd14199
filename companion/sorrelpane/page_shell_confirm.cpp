// The page shell's side of a scheduled confirmation: its timer, the page's input hold, the click.
#include "page_shell.h"
#include "page_shell_scripts.h"

#include <QDateTime>
#include <QTimer>
#include <QWebEnginePage>

#include <algorithm>
#include <chrono>
#include <thread>

#include "shell/scheduled_confirm.h"

namespace kestrava::sorrelpane {


// ---- scheduled confirmation ------------------------------------------------------------------

namespace {
std::int64_t EpochMillisNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
QString ClockText(std::int64_t epochMillis) {
    return QDateTime::fromMSecsSinceEpoch(epochMillis).toString(QStringLiteral("HH:mm:ss.zzz"));
}
// The timer wakes this early and the last stretch is waited out on the clock itself: a timer
// wake-up can be a millisecond or two late, a short spin is not.
constexpr int kSpinMs = 3;

// A native click takes its time through the browser engine before the page's handler runs: a few
// milliseconds on an idle machine, 15-20 ms on a busy one (the console reading the screen, another
// program building). So for a scheduled confirmation the page holds its own input for the last
// kHoldMs before the moment: its main thread waits out the moment on the page's clock, and input
// that arrives meanwhile queues behind it. Once the page has reported its hold, the shell sends the
// click up to kHoldLeadMs ahead; the page's handler then runs at the moment, as a trusted click.
// Without the report (a page that does not run the script, a hold that started late) the shell
// clicks at the moment itself.
constexpr int kHoldMs = 50;
constexpr int kHoldLeadMs = 30;
constexpr int kHoldEndsEarlyMs = 1;

QString HoldScript(std::uint32_t token, std::int64_t dueEpochMillis) {
    // The moment is turned into the page's own monotonic clock when the script runs, from the
    // system clock the console and the shell share (the script reaches the page some time after it
    // is sent). The hold ends kHoldEndsEarlyMs before the moment: the press is dispatched first,
    // and the release, whose click the page acts on, follows one engine round trip later.
    return QStringLiteral(
               "(function(t,due,hold,early){var k=window.__kestravaHold||(window.__kestravaHold={});"
               "clearTimeout(k.timer);k.token=t;var target=performance.now()+(due-Date.now());"
               "k.timer=setTimeout(function(){if(k.token!==t)return;"
               "console.log('%1hold|'+t+'|'+Math.round(target-performance.now()));"
               "while(performance.now()<target-early){}k.token=0;"
               "},Math.max(0,target-performance.now()-hold));"
               "return true;})(%2,%3,%4,%5)")
        .arg(QLatin1String(kPageLinePrefix))
        .arg(token)
        .arg(dueEpochMillis)
        .arg(kHoldMs)
        .arg(kHoldEndsEarlyMs);
}

QString ReleaseHoldScript(std::uint32_t token) {
    return QStringLiteral(
               "(function(t){var k=window.__kestravaHold;if(k&&k.token===t){clearTimeout(k.timer);k.token=0;}})(%1)")
        .arg(token);
}
}  // namespace

void PageShell::AnswerSchedule(std::uint32_t token, shell::ScheduleAnswer answer) {
    PostToConsole(shell::kScheduleAnswerMessage, token, static_cast<std::int32_t>(answer),
                  shell::ScheduleAnswerName(answer));
}

void PageShell::OnScheduleConfirm(const platform::Message& m) {
    const auto token = static_cast<std::uint32_t>(m.lParam);
    const shell::DueMoment due{m.wParam};
    const std::int64_t now = EpochMillisNow();
    log_->Write(QStringLiteral("scheduled confirm token %1 due %2").arg(token).arg(ClockText(now + due.MillisFrom(now))));
    if (elements_.value(QStringLiteral("confirm")).isEmpty()) {
        log_->Write(QStringLiteral("scheduled confirm token %1: no confirm selector for this page").arg(token));
        AnswerSchedule(token, shell::ScheduleAnswer::NoElement);
        return;
    }
    ApplyScheduleStep(token, confirmTimer_.OnSchedule(token, due, now));
}

void PageShell::OnCancelScheduledConfirm(const platform::Message& m) {
    const auto token = static_cast<std::uint32_t>(m.lParam);
    ApplyScheduleStep(token, confirmTimer_.OnCancel(token, EpochMillisNow()));
}

void PageShell::ApplyScheduleStep(std::uint32_t token, const shell::ShellConfirmTimer::Step& step) {
    using Action = shell::ShellConfirmTimer::Action;
    if (!step.note.empty()) log_->Write(QString::fromStdString(step.note));
    switch (step.action) {
    case Action::Nothing:
        return;
    case Action::Arm:
        AnswerSchedule(token, shell::ScheduleAnswer::Accepted);
        heldToken_ = 0;
        page_->runJavaScript(HoldScript(token, EpochMillisNow() + step.millisToDue));
        StartConfirmClock(step.millisToDue - kHoldLeadMs, [this, token] { OnConfirmClock(token); });
        return;
    case Action::FireNow:
        confirmClock_->stop();
        AnswerSchedule(token, shell::ScheduleAnswer::Accepted);
        ClickScheduledConfirm(token);
        return;
    case Action::Cancelled:
        confirmClock_->stop();
        page_->runJavaScript(ReleaseHoldScript(token));
        AnswerSchedule(token, shell::ScheduleAnswer::Cancelled);
        return;
    case Action::TooLate:
        AnswerSchedule(token, shell::ScheduleAnswer::CancelTooLate);
        return;
    case Action::Fire:
        return;  // only OnTimer asks to fire
    }
}

void PageShell::StartConfirmClock(std::int32_t millis, std::function<void()> wake) {
    confirmClock_->disconnect();
    connect(confirmClock_, &QTimer::timeout, this, std::move(wake));
    confirmClock_->start(std::max(0, millis));
}

// The clock's first wake-up is kHoldLeadMs ahead of the moment: the click leaves now when the page
// holds its input; otherwise the clock wakes again just before the moment.
void PageShell::OnConfirmClock(std::uint32_t token) {
    if (confirmTimer_.ArmedToken() != token) return;
    if (heldToken_ == token) {
        SendHeldConfirm(token);
        return;
    }
    const std::int32_t left = confirmTimer_.Due().MillisFrom(EpochMillisNow());
    if (left > kSpinMs) {
        StartConfirmClock(left - kSpinMs, [this, token] { FireScheduledConfirm(token); });
        return;
    }
    FireScheduledConfirm(token);
}

// The page reports that it holds its input until the moment of `token`.
void PageShell::OnPageHold(std::uint32_t token, int millisLeft) {
    if (confirmTimer_.ArmedToken() != token) {
        // Fired, cancelled or replaced meanwhile. After a cancel the page should not hold at all:
        // its input waits out a moment nobody clicks at.
        log_->Write(QStringLiteral("token %1: the page holds its input for the last %2 ms, with no click scheduled")
                        .arg(token)
                        .arg(millisLeft));
        return;
    }
    heldToken_ = token;
    log_->Write(QStringLiteral("token %1: the page holds its input for the last %2 ms").arg(token).arg(millisLeft));

    if (confirmTimer_.Due().MillisFrom(EpochMillisNow()) <= kHoldLeadMs) SendHeldConfirm(token);
}

void PageShell::SendHeldConfirm(std::uint32_t token) {
    confirmClock_->stop();
    const shell::ShellConfirmTimer::Step step = confirmTimer_.OnHeldTimer(token, EpochMillisNow());
    if (!step.note.empty()) log_->Write(QString::fromStdString(step.note));
    if (step.action == shell::ShellConfirmTimer::Action::Fire) ClickScheduledConfirm(token, false);
}

void PageShell::FireScheduledConfirm(std::uint32_t token) {
    if (confirmTimer_.ArmedToken() != token) return;  // cancelled or replaced meanwhile
    const shell::DueMoment due = confirmTimer_.Due();
    while (due.MillisFrom(EpochMillisNow()) > 0) std::this_thread::yield();
    const shell::ShellConfirmTimer::Step step = confirmTimer_.OnTimer(token, EpochMillisNow());
    if (!step.note.empty()) log_->Write(QString::fromStdString(step.note));
    if (step.action == shell::ShellConfirmTimer::Action::Fire) ClickScheduledConfirm(token);
}

void PageShell::ClickScheduledConfirm(std::uint32_t token, bool move) {
    // Where the watch has not shown the button (a script of ours still running in the page, a
    // dialog drawn since the last report) the page is asked where it is, at the cost of a round
    // trip; only a button the page does not show is not clicked.
    ClickElement(QStringLiteral("confirm"), [this, token](bool clicked) {
        if (clicked) {
            AnswerSchedule(token, shell::ScheduleAnswer::Fired);
            return;
        }
        confirmTimer_.OnClickFailed(token);
        log_->Write(QStringLiteral("scheduled confirm token %1: the confirm button is not shown, nothing clicked").arg(token));
        AnswerSchedule(token, shell::ScheduleAnswer::NotShown);
    }, move);
}

void PageShell::OnConfirmCommand(const platform::Message& m) {
    const auto token = static_cast<std::uint32_t>(m.lParam);
    // The console clicks now instead of the schedule still armed here: the page must not hold its
    // input for a moment nobody will click at.
    if (token != 0 && confirmTimer_.ArmedToken() == token) page_->runJavaScript(ReleaseHoldScript(token));
    const shell::ShellConfirmTimer::Step step = confirmTimer_.OnConfirmCommand(token);
    if (token != 0) log_->Write(QString::fromStdString(step.note));
    if (step.action != shell::ShellConfirmTimer::Action::Fire) return;
    ClickElement(QStringLiteral("confirm"));
}

}  // namespace kestrava::sorrelpane
