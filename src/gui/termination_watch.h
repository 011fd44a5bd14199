// SIGTERM and SIGHUP (a logout, a shutdown, `kill`) end the console as its close does: the timers
// stopped, the day's log written, the program ended with code 0. A signal handler may do almost
// nothing, so it only writes a byte to a pipe; the interface thread, watching the pipe's other end,
// then runs the close.
//
// One watch at a time. While it lives the two signals are caught; afterwards they are handled as
// they were before it (by default: the process ends).
#pragma once

#include <signal.h>

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace kestrava::gui {

class TerminationWatch {
public:
    // `end` runs on the thread that owns the watch (the interface thread), once per signal taken.
    explicit TerminationWatch(std::function<void()> end);
    ~TerminationWatch();
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    // False when the pipe or the handlers could not be set up: the signals keep ending the process.
    bool Watching() const { return notifier_ != nullptr; }

private:
    std::function<void()> end_;
    int pipe_[2] = {-1, -1};
    struct sigaction before_[2] = {};  // SIGTERM's and SIGHUP's handling before the watch
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kestrava::gui
