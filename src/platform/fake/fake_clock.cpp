#include <algorithm>

#include "platform/fake/fake_platform.h"

namespace kestrava::platform::fake {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

LocalTime MakeLocal(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    LocalTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = millisecond;
    t.weekday = static_cast<int>(((DaysFromCivil(year, month, day) % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    return t;
}

struct FakeClock::TimerState {
    std::uint64_t seq = 0;
    std::uint32_t periodMs = 1;
    TickPriority priority = TickPriority::Normal;
    std::int64_t nextDueMs = 0;
    std::function<void()> tick;
    bool running = false;
    bool stopped = false;
};

class FakeClock::Handle : public PeriodicTimer {
public:
    Handle(FakeClock& clock, std::shared_ptr<TimerState> state) : clock_(clock), state_(std::move(state)) {}
    ~Handle() override { Stop(); }
    void Stop() override {
        std::lock_guard lock(clock_.mutex_);
        if (state_->stopped) return;
        state_->stopped = true;
        auto& v = clock_.timers_;
        v.erase(std::remove(v.begin(), v.end(), state_), v.end());
    }

private:
    FakeClock& clock_;
    std::shared_ptr<TimerState> state_;
};

FakeClock::FakeClock(LocalTime start, int utcOffsetMinutes, std::uint32_t tickStart)
    : utcOffsetMinutes_(utcOffsetMinutes), tickStart_(tickStart) {
    nowMs_ = LocalToEpochSeconds(start) * 1000 + start.millisecond;
    startMs_ = nowMs_;
}

FakeClock::~FakeClock() {
    std::lock_guard lock(mutex_);
    for (auto& t : timers_) t->stopped = true;
}

LocalTime FakeClock::Now() { return EpochMillisToLocal(EpochMillis()); }

std::int64_t FakeClock::EpochMillis() {
    std::lock_guard lock(mutex_);
    return nowMs_;
}

std::uint32_t FakeClock::TickCount() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(tickStart_ + static_cast<std::uint64_t>(nowMs_ - startMs_));
}

void FakeClock::SleepMs(std::uint32_t ms) { Advance(ms); }

std::int64_t FakeClock::LocalToEpochSeconds(const LocalTime& t) {
    return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           t.hour * 3600 + t.minute * 60 + t.second - static_cast<std::int64_t>(utcOffsetMinutes_) * 60;
}

LocalTime FakeClock::EpochMillisToLocal(std::int64_t epochMillis) {
    const std::int64_t local = epochMillis + static_cast<std::int64_t>(utcOffsetMinutes_) * 60000;
    const std::int64_t days = FloorDiv(local, 86400000);
    const std::int64_t msOfDay = local - days * 86400000;
    int y, m, d;
    CivilFromDays(days, y, m, d);
    LocalTime t = MakeLocal(y, m, d, static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
                            static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000));
    return t;
}

std::unique_ptr<PeriodicTimer> FakeClock::StartPeriodic(std::uint32_t periodMs, std::function<void()> tick,
                                                       TickPriority priority) {
    auto state = std::make_shared<TimerState>();
    std::lock_guard lock(mutex_);
    state->seq = nextTimerSeq_++;
    state->periodMs = std::max<std::uint32_t>(periodMs, 1);
    state->priority = priority;
    state->nextDueMs = nowMs_ + state->periodMs;
    state->tick = std::move(tick);
    timers_.push_back(state);
    return std::make_unique<Handle>(*this, state);
}

void FakeClock::Advance(std::uint32_t ms) {
    std::int64_t target;
    {
        std::lock_guard lock(mutex_);
        target = nowMs_ + ms;
    }
    AdvanceUntil(target);
}

void FakeClock::AdvanceTo(const LocalTime& t) {
    AdvanceUntil(LocalToEpochSeconds(t) * 1000 + t.millisecond);
}

void FakeClock::AdvanceUntil(std::int64_t targetMs) {
    for (;;) {
        std::shared_ptr<TimerState> due;
        {
            std::lock_guard lock(mutex_);
            for (auto& t : timers_) {
                if (t->running || t->stopped || t->nextDueMs > targetMs) continue;
                if (!due || t->nextDueMs < due->nextDueMs || (t->nextDueMs == due->nextDueMs && t->seq < due->seq))
                    due = t;
            }
            if (!due) {
                nowMs_ = std::max(nowMs_, targetMs);
                return;
            }
            nowMs_ = std::max(nowMs_, due->nextDueMs);
            due->running = true;
        }
        due->tick();  // may sleep, which advances time and fires the other timers
        std::lock_guard lock(mutex_);
        due->running = false;
        // Ticks that fell due while this one ran are skipped, as on the real timer.
        due->nextDueMs += due->periodMs;
        while (due->nextDueMs < nowMs_) due->nextDueMs += due->periodMs;
    }
}

void FakeClock::SetNow(const LocalTime& t) {
    std::lock_guard lock(mutex_);
    const std::int64_t newNow = LocalToEpochSeconds(t) * 1000 + t.millisecond;
    const std::int64_t delta = newNow - nowMs_;
    for (auto& timer : timers_) timer->nextDueMs += delta;
    startMs_ += delta;  // the tick count does not jump with the wall clock
    nowMs_ = newNow;
}

int FakeClock::ActiveTimers() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(timers_.size());
}

std::vector<std::uint32_t> FakeClock::ActivePeriods() {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> periods;
    for (auto& t : timers_) periods.push_back(t->periodMs);
    return periods;
}

std::vector<TickPriority> FakeClock::ActivePriorities() {
    std::lock_guard lock(mutex_);
    std::vector<TickPriority> priorities;
    for (auto& t : timers_) priorities.push_back(t->priority);
    return priorities;
}

}  // namespace kestrava::platform::fake
