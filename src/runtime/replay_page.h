// The replay's model of the auction page and of its shell's own side: what the page makes of the
// console's commands (the amount typed, the add and bid buttons, the verification-code dialog and
// its confirm and cancel) and the shell's scheduled clicks. The page answers as the real shell
// does, with window messages to the console (0x4b1 for the code dialog, 0x4ad for a schedule),
// which the replay hands over as the interface thread would take them.
//
// Called from the console's ticks (posts) and from the replay's pump, never at once (the fake
// clock runs one callback at a time); the answers are queued, never handed over inside a post.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "runtime/replay.h"
#include "runtime/replay_desktop.h"
#include "shell/scheduled_confirm.h"

namespace kestrava::runtime {

class PageModel {
public:
    // A message from the page's side to the console, due at `at` (true time); `text` is empty for
    // one the timeline leaves out (a feed report).
    struct ToConsole {
        DayMs at = 0;
        platform::Message message;
        std::string text;
    };
    // The console's prices at a moment, for a scheduled click's confirmation.
    using Known = std::function<Confirmation(DayMs at)>;
    // (The applied price of a scheduled click is the one the console had when it scheduled it: by
    // the moment it has written that bid off as left to the shell.)

    // `scenarioAnswers`: the scenario posts the shell's answers (0x4ad) itself, so the modelled
    // shell leaves schedules alone and a confirm command always clicks.
    PageModel(bool scenarioAnswers, Known known) : scenarioAnswers_(scenarioAnswers), known_(std::move(known)) {}

    // The page's lowest price from now on.
    void SetPrice(std::int64_t price) { price_ = price; }
    // The page's figure shows `figure` (no misread): a price above the page's lowest price is the
    // page's rise (a figure that lags or is no price leaves the price as it is).
    void FigureShows(std::int64_t figure) {
        if (figure > price_ && figure % 100 == 0) price_ = figure;
    }
    std::int64_t Price() const { return price_; }

    // A post to the live shell's page window or page view, at `at` (true time), the PC clock then
    // reading `pcEpochMillis` (the clock a schedule's moment is given on).
    void OnPost(const PostRecord& r, bool toView, DayMs at, std::int64_t pcEpochMillis);
    // Every millisecond: the shell's timer for an armed schedule.
    void Poll(DayMs at, std::int64_t pcEpochMillis);
    // The auction's end: the page takes no bid from then on.
    void SetAuctionEnd(DayMs end) { end_ = end; }
    // The page closes its code dialog by itself.
    void CloseDialogByPage(DayMs at);
    // From now on the shell finds no confirm button at a scheduled moment.
    void ShellFailsConfirm() { shellFails_ = true; }
    // The shell's process is gone: its page, dialog and armed schedule with it.
    void ShellGone();
    // A message of the page's side (a feed report) that reaches the console at `at`.
    void Send(ToConsole m) { outbox_.push_back(std::move(m)); }

    // The messages due by `at`, in the order they were sent; removed from the queue.
    std::vector<ToConsole> TakeDue(DayMs at);

    const std::vector<PageOutcome>& Outcomes() const { return outcomes_; }
    const std::vector<Confirmation>& ShellClicks() const { return shellClicks_; }

private:
    void Add();
    void Bid(DayMs at);
    // A press of the confirm button; `burstPoint`: a confirm point, which a press at the same
    // instant already stands for.
    void Press(DayMs at, bool burstPoint);
    void Close(DayMs at, console::CodeDialog how, const char* why);
    // The shell's click of schedule `token` at its moment.
    void ScheduledClick(std::uint32_t token, DayMs at);
    void Answer(DayMs at, std::uint32_t token, shell::ScheduleAnswer a, const std::string& note);

    const bool scenarioAnswers_;
    Known known_;
    std::int64_t price_ = 0;
    DayMs end_ = 0;  // 0: not known yet
    std::string typed_;     // the plus-amount box
    int bidPrice_ = 0;      // the bid the add button made, 0 none
    std::optional<int> dialog_;  // the code dialog's price while it is open
    std::optional<DayMs> lastPress_;
    shell::ShellConfirmTimer timer_;
    int scheduledApplied_ = 0;  // the console's applied price when it sent the armed schedule
    // When the armed schedule's timer fires, in true time: the shell arms a timer for the time
    // left until the moment when the schedule arrives, so a later step of the PC clock does not
    // move its click.
    DayMs fireAt_ = 0;
    bool shellFails_ = false;
    std::vector<ToConsole> outbox_;
    std::vector<PageOutcome> outcomes_;
    std::vector<Confirmation> shellClicks_;
};

}  // namespace kestrava::runtime
