#include "perception/auction_clock.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace kestrava::perception {
namespace {

using platform::fake::FakeClock;
using platform::fake::MakeLocal;

TEST(AuctionTimes, RealAndSimulation) {
    FakeClock clock(MakeLocal(2026, 12, 10, 9, 15, 42, 500));
    const AuctionTimes real = RealAuctionTimes(clock, 10, 11);
    EXPECT_EQ(real.auctionStart, clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 10, 30, 0)));
    EXPECT_EQ(real.auctionEnd, clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 30, 0)));
    // After midnight the times follow the new day.
    clock.SetNow(MakeLocal(2026, 12, 11, 0, 0, 5));
    EXPECT_EQ(RealAuctionTimes(clock, 10, 11).auctionEnd,
              clock.LocalToEpochSeconds(MakeLocal(2026, 12, 11, 11, 30, 0)));

    const AuctionTimes sim = SimulationAuctionTimes(clock);
    EXPECT_EQ(sim.auctionStart, clock.LocalToEpochSeconds(MakeLocal(2026, 12, 11, 0, 0, 5)));
    EXPECT_EQ(sim.auctionEnd - sim.auctionStart, 190);

    EXPECT_EQ(PageClockToday(clock, PageTime{11, 29, 59, 1234}),
              clock.LocalToEpochSeconds(MakeLocal(2026, 12, 11, 11, 29, 59)));
}

TEST(ComputeRemainingTime, Branches) {
    constexpr std::int64_t kEnd = 1'000'000;
    struct Case {
        const char* name;
        RemainingTimeInputs in;
        RemainingTimeUpdate out;
    };
    // Inputs: systime_screentime, phase, moniornot, swbidmode, feedFresh, pcNow, pageClock,
    // pageClock minute and second, auctionEnd, previous remainingSeconds.
    const Case cases[] = {
        {"PC clock",
         {0, 3, 0, 0, true, kEnd - 3725, kEnd - 10, 29, 50, kEnd, 60},
         {std::nullopt, std::nullopt, kEnd - 3725, 3725, "1:2:5", ClockFace{1, 2, 5}}},
        {"PC clock after the end: text and display keep theirs",
         {0, 4, 0, 0, true, kEnd + 5, 0, 0, 0, kEnd, -4},
         {std::nullopt, std::nullopt, kEnd + 5, -5, std::nullopt, std::nullopt}},
        {"page clock chosen, first half hour uses the PC",
         {1, 2, 0, 0, true, kEnd - 2000, kEnd - 10, 29, 50, kEnd, 60},
         {std::nullopt, std::nullopt, kEnd - 2000, 2000, "0:33:20", ClockFace{0, 33, 20}}},
        {"page clock in the revision phase",
         {1, 3, 0, 0, true, kEnd - 40, kEnd - 10, 29, 50, kEnd, 60},
         {29, 50, kEnd - 10, 10, "0:0:10", ClockFace{0, 0, 10}}},
        {"page clock past the end holds the count",
         {1, 3, 0, 0, true, kEnd, kEnd + 2, 30, 2, kEnd, 60},
         {30, 2, kEnd + 2, -2, std::nullopt, ClockFace{}}},
        {"page clock, negative before: stops",
         {1, 3, 0, 0, true, kEnd, kEnd + 3, 30, 3, kEnd, -2},
         {30, 3, kEnd + 3, std::nullopt, std::nullopt, std::nullopt}},
        {"dead feed falls back to the PC",
         {1, 3, 0, 0, false, kEnd - 40, kEnd - 10, 29, 50, kEnd, 60},
         {std::nullopt, std::nullopt, kEnd - 40, 40, "0:0:40", ClockFace{0, 0, 40}}},
        {"screen mode falls back to the PC",
         {1, 3, 0, 2, true, kEnd - 40, kEnd - 10, 29, 50, kEnd, 60},
         {std::nullopt, std::nullopt, kEnd - 40, 40, "0:0:40", ClockFace{0, 0, 40}}},
        {"PC fallback past the end stops at zero",
         {1, 3, 0, 0, false, kEnd + 1, 0, 0, 0, kEnd, 1},
         {std::nullopt, std::nullopt, kEnd + 1, 0, std::nullopt, ClockFace{}}},
        {"simulation at 11:29:30",
         {1, 3, 1, 0, false, 5, 7, 29, 30, kEnd, 60},
         {29, 30, kEnd - 30, 30, "0:0:30", ClockFace{0, 0, 30}}},
        {"simulation at 11:31:00: minute and second only",
         {1, 3, 1, 0, false, 5, 7, 31, 0, kEnd, 60},
         {31, 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
        {"page clock with the auction over", {1, 4, 0, 0, true, 5, 7, 29, 30, kEnd, 60}, {}},
        {"unknown clock setting", {2, 3, 0, 0, true, 5, 7, 29, 30, kEnd, 60}, {}},
        {"unknown mode", {1, 3, 2, 0, true, 5, 7, 29, 30, kEnd, 60}, {}},
        {"no auction", {0, 0, 0, 0, true, 5, 7, 29, 30, kEnd, 60}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RemainingTimeUpdate u = ComputeRemainingTime(c.in);
        EXPECT_EQ(u.pageMinute, c.out.pageMinute);
        EXPECT_EQ(u.pageSecond, c.out.pageSecond);
        EXPECT_EQ(u.clockNow, c.out.clockNow);
        EXPECT_EQ(u.remainingSeconds, c.out.remainingSeconds);
        EXPECT_EQ(u.remainingText, c.out.remainingText);
        EXPECT_EQ(u.remainingDisplay, c.out.remainingDisplay);
    }
}

}  // namespace
}  // namespace kestrava::perception
