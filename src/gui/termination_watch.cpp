#include "gui/termination_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

namespace kestrava::gui {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP};

// The pipe's writing end for the handler; -1 while no watch lives.
std::atomic<int> gWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads it");

void OnSignal(int) {
    const int savedErrno = errno;
    const int fd = gWriteEnd.load();
    const char byte = 1;
    // A full pipe already holds a close that has not run yet: nothing is lost.
    while (fd >= 0 && ::write(fd, &byte, 1) < 0 && errno == EINTR) {
    }
    errno = savedErrno;
}

}  // namespace

TerminationWatch::TerminationWatch(std::function<void()> end) : end_(std::move(end)) {
    if (gWriteEnd.load() >= 0 || ::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
        }
        if (end_) end_();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &before_[i]);
}

TerminationWatch::~TerminationWatch() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &before_[i], nullptr);
    gWriteEnd = -1;
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

}  // namespace kestrava::gui
