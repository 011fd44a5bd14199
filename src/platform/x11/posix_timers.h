// Periodic timers on threads that wait for absolute monotonic deadlines.
#pragma once

#include "platform/platform.h"

namespace kestrava::platform::x11 {

class PosixTimers final : public Timers {
public:
    using Timers::StartPeriodic;
    // A period of 0 is taken as 1 ms.
    std::unique_ptr<PeriodicTimer> StartPeriodic(std::uint32_t periodMs, std::function<void()> tick,
                                                 TickPriority priority) override;
};

}  // namespace kestrava::platform::x11
