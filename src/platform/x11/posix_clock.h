// Wall clock, tick count and sleep from the POSIX clocks, in the machine's time zone.
#pragma once

#include "platform/platform.h"

namespace kestrava::platform::x11 {

class PosixClock final : public Clock {
public:
    LocalTime Now() override;
    std::int64_t EpochMillis() override;
    std::uint32_t TickCount() override;
    void SleepMs(std::uint32_t ms) override;
    std::int64_t LocalToEpochSeconds(const LocalTime& t) override;
    LocalTime EpochMillisToLocal(std::int64_t epochMillis) override;
};

}  // namespace kestrava::platform::x11
