// The auction-day reset and the phase of the auction day.
#include "console/console.h"

namespace kestrava::console {

namespace {

std::int64_t TodayAt(platform::Clock& clock, int hour, int minute) {
    platform::LocalTime t = clock.Now();
    t.hour = hour;
    t.minute = minute;
    t.second = 0;
    t.millisecond = 0;
    return clock.LocalToEpochSeconds(t);
}

}  // namespace

void CKestravaDlg::ResetAuctionDay() {
    std::lock_guard lock(interfaceLock_);
    auto& s = state;
    // A simulation run's instants come from its start message, not from the hours.
    if (s.moniornot.load() == 0) {
        s.auctionStart = TodayAt(platform.clock, s.starttimehour.load(), 30);
        s.auctionEnd = TodayAt(platform.clock, s.endtimehour.load(), 30);
    }

    Run(hooks_.clearRunRecords);
    s.pageLoginSeen = 0;
    s.hintThreeShown = 0;
    s.phase2SoundPlayed = 0;
    s.phase3SoundPlayed = 0;
    s.remainingSeconds = 60;
    s.remainingDisplay = 0;
    s.lowestPrice = 0;
    controls.SetCheck(1114, 0);

    // Timed work of the day (update check, uploads) is spread over time by these draws.
    random_.seed(static_cast<std::uint32_t>(platform.clock.EpochMillis() / 1000));
    s.jitterSeconds = static_cast<int>(random_() % 48) + 12;
    s.jitterCoin = static_cast<int>(random_() % 2);
    s.jitterMinutes = static_cast<int>(random_() % 4) + 2;

    Run(hooks_.resetSmartBidTimes);
}

void CKestravaDlg::UpdateAuctionPhase() {
    auto& s = state;
    const std::int64_t t = platform.clock.EpochMillis() / 1000;
    const std::int64_t start = s.auctionStart.load();
    const std::int64_t end = s.auctionEnd.load();
    const int mode = s.moniornot.load();
    if (mode == 0) {
        if (t >= end + 180 && t <= end + 181) s.auctionPhase = 4;
        else if (t < start) s.auctionPhase = 1;
        else if (t > start && t <= start + 1800) s.auctionPhase = 2;
        else if (t > start + 1800 && t <= end) s.auctionPhase = 3;
    } else if (mode == 1) {
        if (t > end + 5) s.auctionPhase = 4;
        else if (t < start) s.auctionPhase = 1;
        else if (t >= end - 120 && t <= end) s.auctionPhase = 3;
        else if (t >= end - 180 && t < end - 120) s.auctionPhase = 2;
    }
}

}  // namespace kestrava::console
