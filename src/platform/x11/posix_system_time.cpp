#include "platform/x11/posix_system_time.h"

#include <ctime>

namespace kestrava::platform::x11 {

bool PosixSystemTime::SetUtc(std::int64_t epochSeconds) {
    const timespec ts{static_cast<time_t>(epochSeconds), 0};
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

}  // namespace kestrava::platform::x11
