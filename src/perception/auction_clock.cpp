#include "perception/auction_clock.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace kestrava::perception {

namespace {

enum class NowSource { Nothing, Pc, PageClock, PcFallback, Simulation };

std::int64_t TodayAt(platform::Clock& clock, int hour, int minute, int second) {
    platform::LocalTime t = clock.Now();
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = 0;
    return clock.LocalToEpochSeconds(t);
}

NowSource ChooseNow(const RemainingTimeInputs& in) {
    if (in.auctionPhase == 0) return NowSource::Nothing;  // no auction under way
    if (in.systime_screentime == 0) return NowSource::Pc;
    if (in.systime_screentime != 1) return NowSource::Nothing;
    if (in.auctionPhase == 1 || in.auctionPhase == 2) return NowSource::Pc;
    if (in.auctionPhase != 3) return NowSource::Nothing;
    if (in.moniornot == 0) return in.feedFresh && in.swbidmode != 2 ? NowSource::PageClock : NowSource::PcFallback;
    if (in.moniornot == 1) return NowSource::Simulation;
    return NowSource::Nothing;
}

int ClampToInt(std::int64_t v) {
    return static_cast<int>(
        std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

AuctionTimes RealAuctionTimes(platform::Clock& clock, int starttimehour, int endtimehour) {
    return AuctionTimes{TodayAt(clock, starttimehour, 30, 0), TodayAt(clock, endtimehour, 30, 0)};
}

AuctionTimes SimulationAuctionTimes(platform::Clock& clock) {
    const std::int64_t now = clock.EpochMillis() / 1000;
    return AuctionTimes{now, now + kSimulationSeconds};
}

std::int64_t PageClockToday(platform::Clock& clock, const PageTime& t) {
    return TodayAt(clock, t.hour, t.minute, t.second);
}

RemainingTimeUpdate ComputeRemainingTime(const RemainingTimeInputs& in) {
    RemainingTimeUpdate out;
    const NowSource source = ChooseNow(in);
    std::int64_t now = 0;
    switch (source) {
        case NowSource::Nothing:
            return out;
        case NowSource::Pc:
        case NowSource::PcFallback:
            now = in.pcNow;
            break;
        case NowSource::PageClock:
            now = in.pageClock;
            out.pageMinute = in.pageClockMinute;
            out.pageSecond = in.pageClockSecond;
            break;
        case NowSource::Simulation:
            out.pageMinute = in.pageClockMinute;
            out.pageSecond = in.pageClockSecond;
            // The practice page counts 11:00 … 11:30; beyond that its clock says nothing useful.
            if (in.pageClockMinute > 30) return out;
            now = in.auctionEnd - ((30 - in.pageClockMinute) * 60 - in.pageClockSecond);
            break;
    }
    out.clockNow = now;
    // Once the end has passed on the page's own time, the page-time branches hold still.
    if (source != NowSource::Pc && in.remainingSeconds < 0) return out;

    const int remaining = ClampToInt(in.auctionEnd - now);
    out.remainingSeconds = remaining;
    if (remaining >= 0) {
        const ClockFace face{remaining / 3600, remaining % 3600 / 60, remaining % 60};
        char text[40];
        std::snprintf(text, sizeof text, "%d:%d:%d", face.hour, face.minute, face.second);
        out.remainingText = text;
        out.remainingDisplay = face;
    } else if (source == NowSource::PcFallback) {
        out.remainingSeconds = 0;
        out.remainingDisplay = ClockFace{};
    } else if (source != NowSource::Pc) {
        out.remainingDisplay = ClockFace{};
    }
    return out;
}

}  // namespace kestrava::perception
