// A clock that stands still at 11:29:56 of today for the calendar ("now" never moves, so every
// iteration sees the same second), while its tick count and the time conversions are the
// machine's real ones.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>

#include "platform/platform.h"

namespace kestrava::bench {

class StillClock : public platform::Clock {
public:
    StillClock() {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        local.tm_hour = 11, local.tm_min = 29, local.tm_sec = 56;
        epochMillis_ = static_cast<std::int64_t>(std::mktime(&local)) * 1000;
    }
    platform::LocalTime Now() override { return EpochMillisToLocal(EpochMillis()); }
    std::int64_t EpochMillis() override {
        benchmark::DoNotOptimize(std::chrono::system_clock::now());  // the read costs what it costs
        return epochMillis_;
    }
    std::uint32_t TickCount() override {
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void SleepMs(std::uint32_t) override {}
    std::int64_t LocalToEpochSeconds(const platform::LocalTime& t) override {
        std::tm local{};
        local.tm_year = t.year - 1900, local.tm_mon = t.month - 1, local.tm_mday = t.day;
        local.tm_hour = t.hour, local.tm_min = t.minute, local.tm_sec = t.second, local.tm_isdst = -1;
        return std::mktime(&local);
    }
    platform::LocalTime EpochMillisToLocal(std::int64_t ms) override {
        const std::time_t t = ms / 1000;
        std::tm local{};
        localtime_r(&t, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(ms % 1000), local.tm_wday};
    }

private:
    std::int64_t epochMillis_ = 0;
};

}  // namespace kestrava::bench
