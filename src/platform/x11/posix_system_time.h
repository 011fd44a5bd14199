// Setting the system clock (needs CAP_SYS_TIME).
#pragma once

#include "platform/platform.h"

namespace kestrava::platform::x11 {

class PosixSystemTime final : public SystemTime {
public:
    bool SetUtc(std::int64_t epochSeconds) override;
};

}  // namespace kestrava::platform::x11
