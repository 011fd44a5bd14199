#include "platform/x11/posix_timers.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace kestrava::platform::x11 {
namespace {

using MonoClock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// Shared by the timer object and its thread, so that a callback may stop and even destroy its
// own timer: the thread then finishes on this state alone.
struct TimerState {
    std::chrono::milliseconds period;
    TickPriority priority = TickPriority::Normal;
    std::function<void()> tick;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
};

// A real-time tick runs at a real-time priority when the process may have one: on a busy
// machine an ordinary thread starts its 10 ms ticks milliseconds late and drops whole ticks
// (bench_x11_timer_bench). Priority 1 is the lowest real-time one, and the kernel's real-time
// throttling still leaves other threads their share should a tick ever spin. Without the
// privilege the timer runs at normal priority, and says so once on stderr: its ticks may then
// come late on a busy machine. A normal tick is put on the ordinary policy explicitly: it may have
// been started from a real-time thread, whose policy it would inherit.
void SetPriority(TickPriority priority) {
    if (priority == TickPriority::Normal) {
        if (!UseNormalPriority()) std::fprintf(stderr, "kestrava: a tick could not be put on the ordinary priority\n");
        return;
    }
    sched_param param{};
    param.sched_priority = 1;
    const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    static std::atomic<bool> told{false};
    if (error != 0 && !told.exchange(true))
        std::fprintf(stderr, "kestrava: the real-time tick runs at the ordinary priority (SCHED_FIFO refused: %s)\n",
                     std::strerror(error));
}

// The deadlines are counted from `start`, the moment the timer was asked for, not from when its
// thread got going.
void RunTimer(const std::shared_ptr<TimerState>& s, MonoClock::time_point start) {
    SetPriority(s->priority);
    MonoClock::time_point next = start + s->period;
    for (;;) {
        {
            std::unique_lock lock(s->mutex);
            // An absolute deadline on the monotonic clock (pthread_cond_clockwait), so the rhythm
            // does not drift with the time the callbacks take, and Stop needs no full period.
            if (s->wake.wait_until(lock, next, [&] { return s->stopping; })) return;
        }
        try {
            s->tick();
        } catch (...) {
            // A failing tick must not end the timer thread (and with it the process).
        }
        next += s->period;
        const MonoClock::time_point now = MonoClock::now();
        if (next <= now) {
            // Ticks that fell due while the callback ran are dropped, not queued: no burst.
            next += s->period * ((now - next) / s->period + 1);
        }
    }
}

class PosixTimer final : public PeriodicTimer {
public:
    PosixTimer(std::chrono::milliseconds period, std::function<void()> tick, TickPriority priority)
        : state_(std::make_shared<TimerState>()) {
        state_->period = period;
        state_->priority = priority;
        state_->tick = std::move(tick);
        thread_ = std::thread([s = state_, start = MonoClock::now()] { RunTimer(s, start); });
    }

    ~PosixTimer() override { Stop(); }

    void Stop() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
        }
        state_->wake.notify_all();
        if (!thread_.joinable()) return;
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();  // called from our own callback: it returns, then the loop ends
        } else {
            thread_.join();
        }
    }

private:
    std::shared_ptr<TimerState> state_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<PeriodicTimer> PosixTimers::StartPeriodic(std::uint32_t periodMs, std::function<void()> tick,
                                                         TickPriority priority) {
    return std::make_unique<PosixTimer>(std::chrono::milliseconds(periodMs == 0 ? 1 : periodMs), std::move(tick),
                                        priority);
}

}  // namespace kestrava::platform::x11
