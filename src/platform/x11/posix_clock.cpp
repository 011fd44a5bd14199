#include "platform/x11/posix_clock.h"

#include <cerrno>
#include <ctime>

namespace kestrava::platform::x11 {
namespace {

std::int64_t Millis(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

LocalTime PosixClock::Now() { return EpochMillisToLocal(EpochMillis()); }

std::int64_t PosixClock::EpochMillis() { return Millis(CLOCK_REALTIME); }

std::uint32_t PosixClock::TickCount() { return static_cast<std::uint32_t>(Millis(CLOCK_MONOTONIC)); }

void PosixClock::SleepMs(std::uint32_t ms) {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
    }
}

std::int64_t PosixClock::LocalToEpochSeconds(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;  // let the zone's rules decide
    return static_cast<std::int64_t>(std::mktime(&tm));
}

LocalTime PosixClock::EpochMillisToLocal(std::int64_t epochMillis) {
    // Floor division, so instants before 1970 keep a millisecond in 0..999.
    std::int64_t seconds = epochMillis / 1000;
    int millis = static_cast<int>(epochMillis % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const time_t tt = static_cast<time_t>(seconds);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis, tm.tm_wday};
}

}  // namespace kestrava::platform::x11
