// Lateness of a 10 ms periodic timer: how long after its due moment each callback starts,
// median and 99th percentile over 1000 ticks, with and without another thread keeping a core
// busy, for a real-time tick (the submit tick's) and a normal one (every other tick's).
// It needs no display:   build/bench/bench_x11_timer_bench
// Each variant takes about 10 s. Lateness is counted from the timer's grid (start + k * 10 ms);
// skipped_ticks counts grid points that got no callback because the previous one was too late.
// The label says the policy the timer's thread ran at (pthread_getschedparam in its first tick):
// a real-time row without the privilege runs at the ordinary policy, and says so.

#include "platform/x11/posix_timers.h"

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kestrava::platform::TickPriority;
using kestrava::platform::x11::PosixTimers;

constexpr int kTicks = 1000;
constexpr auto kPeriod = std::chrono::milliseconds(10);

double PercentileUs(std::vector<Clock::duration> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())));
    return std::chrono::duration<double, std::micro>(v[i]).count();
}

// Args: busy_core 1 = a second thread spins on a core for the whole run; real_time 1 = the
// timer asks for a real-time priority, as the submit tick does.
void BM_TimerLateness(benchmark::State& state) {
    const TickPriority priority = state.range(1) ? TickPriority::RealTime : TickPriority::Normal;
    std::vector<Clock::duration> lateness;
    long skipped = 0;
    int policy = -1;
    sched_param param{};
    for (auto _ : state) {
        std::atomic<bool> stopBusy{false};
        std::thread busy;
        if (state.range(0)) {
            busy = std::thread([&] {
                volatile std::uint64_t x = 0;
                while (!stopBusy.load(std::memory_order_relaxed)) x = x + 1;
            });
        }
        std::vector<Clock::time_point> starts;
        starts.reserve(kTicks);
        std::mutex mutex;
        std::condition_variable done;
        PosixTimers timers;
        // The timer's deadlines are its start + k periods; t0 is taken just before it starts,
        // so the figures may be high by the few microseconds StartPeriodic takes.
        const Clock::time_point t0 = Clock::now();
        auto timer = timers.StartPeriodic(
            10,
            [&] {
                const Clock::time_point now = Clock::now();
                std::lock_guard lock(mutex);
                if (starts.empty()) pthread_getschedparam(pthread_self(), &policy, &param);
                if (starts.size() < kTicks) starts.push_back(now);
                if (starts.size() == kTicks) done.notify_all();
            },
            priority);
        {
            std::unique_lock lock(mutex);
            done.wait(lock, [&] { return starts.size() >= kTicks; });
        }
        timer->Stop();
        stopBusy = true;
        if (busy.joinable()) busy.join();

        long expectedIndex = 1;
        for (const Clock::time_point& t : starts) {
            const long index = static_cast<long>((t - t0) / kPeriod);
            lateness.push_back(t - (t0 + index * kPeriod));
            skipped += std::max(0L, index - expectedIndex);
            expectedIndex = index + 1;
        }
    }
    state.counters["median_us"] = PercentileUs(lateness, 0.5);
    state.counters["p99_us"] = PercentileUs(lateness, 0.99);
    state.counters["max_us"] = PercentileUs(lateness, 1.0);
    state.counters["skipped_ticks"] = static_cast<double>(skipped);
    const bool fifo = policy == SCHED_FIFO;
    if (fifo) state.SetLabel("SCHED_FIFO " + std::to_string(param.sched_priority));
    else if (policy == SCHED_OTHER) state.SetLabel(state.range(1) ? "SCHED_OTHER: real time refused" : "SCHED_OTHER");
    else state.SetLabel("policy " + std::to_string(policy));
}

BENCHMARK(BM_TimerLateness)
    ->ArgNames({"busy_core", "real_time"})
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
