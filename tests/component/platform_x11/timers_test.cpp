// Periodic timers on real threads and the POSIX clock.

#include "platform/x11/posix_clock.h"
#include "platform/threads.h"
#include "platform/x11/posix_timers.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace kestrava::platform::x11 {
namespace {

using namespace std::chrono_literals;

// The scheduling policy a thread runs under (SCHED_OTHER, SCHED_FIFO, ...).
int PolicyOfThisThread() {
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy;
}

// Only a real-time tick runs at a real-time priority. A normal tick, and a worker started from
// inside a real-time tick, run on the ordinary policy even though the thread that started them
// was a real-time one (a new thread inherits its starter's policy unless it sets its own).
TEST(PosixTimersTest, OnlyARealTimeTickRunsAtRealTimePriority) {
    struct Seen {
        std::atomic<int> normalTick{-1}, realTimeTick{-1}, workerOfRealTimeTick{-1};
    } seen;
    std::thread starter([&] {
        sched_param rt{};
        rt.sched_priority = 1;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &rt) != 0) return;  // not permitted here
        PosixTimers timers;
        std::thread worker;
        auto normal = timers.StartPeriodic(5, [&] { seen.normalTick = PolicyOfThisThread(); });
        auto realTime = timers.StartPeriodic(
            5,
            [&] {
                if (seen.realTimeTick.exchange(PolicyOfThisThread()) == -1) {
                    worker = StartThread([&] { seen.workerOfRealTimeTick = PolicyOfThisThread(); });
                }
            },
            TickPriority::RealTime);
        for (int i = 0; i < 200 && seen.workerOfRealTimeTick.load() == -1; ++i) std::this_thread::sleep_for(5ms);
        normal->Stop();
        realTime->Stop();
        if (worker.joinable()) worker.join();
    });
    starter.join();
    if (seen.realTimeTick.load() == -1) GTEST_SKIP() << "no real-time priority for this process";
    EXPECT_EQ(seen.realTimeTick.load(), SCHED_FIFO);
    EXPECT_EQ(seen.normalTick.load(), SCHED_OTHER);
    EXPECT_EQ(seen.workerOfRealTimeTick.load(), SCHED_OTHER);
}

// A 10 ms timer whose callback sometimes overruns by far: callbacks never overlap, and once
// Stop returns none runs or starts again.
TEST(PosixTimersTest, SlowCallbacksNeverOverlapAndStopLeavesNoneRunning) {
    PosixTimers timers;
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<int> calls{0};
    auto timer = timers.StartPeriodic(10, [&] {
        const int now = ++inside;
        int seen = maxInside.load();
        while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
        }
        if (++calls % 3 == 0) std::this_thread::sleep_for(25ms);
        --inside;
    });
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (calls < 30 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    timer->Stop();
    EXPECT_EQ(inside.load(), 0);
    const int after = calls.load();
    EXPECT_GE(after, 30);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(calls.load(), after) << "a callback ran after Stop";
    EXPECT_EQ(maxInside.load(), 1);
    timer->Stop();  // a second Stop is harmless
}

TEST(PosixTimersTest, StopFromInsideTheCallbackEndsTheTimerWithoutDeadlock) {
    PosixTimers timers;
    std::atomic<int> calls{0};
    std::atomic<PeriodicTimer*> self{nullptr};
    auto timer = timers.StartPeriodic(2, [&] {
        if (++calls == 3) {
            while (!self.load()) std::this_thread::yield();
            self.load()->Stop();
        }
    });
    self = timer.get();
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (calls < 3 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls.load(), 3);
    timer.reset();  // the destructor's Stop after the callback's own
}

TEST(PosixTimersTest, DestroyingTheTimerStopsAQuietOneAtOnce) {
    PosixTimers timers;
    std::atomic<int> calls{0};
    auto timer = timers.StartPeriodic(60000, [&] { ++calls; });
    timer.reset();  // must not wait for the minute to pass (ctest's timeout would catch that)
    EXPECT_EQ(calls.load(), 0);
}

class PosixClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        if (tz) savedTz_ = tz;
        hadTz_ = tz != nullptr;
        setenv("TZ", "Asia/Shanghai", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_) {
            setenv("TZ", savedTz_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    PosixClock clock;

private:
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(PosixClockTest, ConvertsBetweenLocalTimeAndEpochInTheMachinesZone) {
    struct Case {
        std::int64_t epochMillis;
        LocalTime local;
    };
    const Case cases[] = {
        // The end of the revision phase, Beijing time (UTC+8).
        {1796873399999, {2026, 12, 10, 11, 29, 59, 999, 4}},
        {0, {1970, 1, 1, 8, 0, 0, 0, 4}},
        // Before 1970 the millisecond still counts forward from the second.
        {-1, {1970, 1, 1, 7, 59, 59, 999, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.epochMillis);
        const LocalTime t = clock.EpochMillisToLocal(c.epochMillis);
        EXPECT_EQ(t.year, c.local.year);
        EXPECT_EQ(t.month, c.local.month);
        EXPECT_EQ(t.day, c.local.day);
        EXPECT_EQ(t.hour, c.local.hour);
        EXPECT_EQ(t.minute, c.local.minute);
        EXPECT_EQ(t.second, c.local.second);
        EXPECT_EQ(t.millisecond, c.local.millisecond);
        EXPECT_EQ(t.weekday, c.local.weekday);
        const std::int64_t floorSeconds = (c.epochMillis - (c.epochMillis % 1000 + 1000) % 1000) / 1000;
        EXPECT_EQ(clock.LocalToEpochSeconds(c.local), floorSeconds);
    }
}

TEST_F(PosixClockTest, NowAgreesWithTheEpochAndTheTickCountAdvances) {
    const std::int64_t before = clock.EpochMillis();
    const LocalTime now = clock.Now();
    const std::int64_t after = clock.EpochMillis();
    const std::int64_t nowSeconds = clock.LocalToEpochSeconds(now);
    EXPECT_GE(nowSeconds, before / 1000);
    EXPECT_LE(nowSeconds, after / 1000);

    const std::uint32_t t0 = clock.TickCount();
    clock.SleepMs(20);
    EXPECT_GE(static_cast<std::uint32_t>(clock.TickCount() - t0), 20u);
}

}  // namespace
}  // namespace kestrava::platform::x11
