// The phase of the auction day as the console's one-second tick computes it, for a real auction
// (10:30:00 … 11:30:00) and a practice run of 190 seconds; the first matching row wins and a
// moment no row covers leaves the phase as it was.
#include <gtest/gtest.h>

#include "unit/perception_role/perception_rig.h"

namespace kestrava::perception {
namespace {

using platform::fake::MakeLocal;
using testing::PerceptionRig;

constexpr int kUnchanged = 9;  // the phase the console held before the tick

struct Row {
    int hour, minute, second, ms;
    int phase;
};


TEST(UpdateAuctionPhase, RealAuction) {
    const Row rows[] = {
        {10, 29, 59, 999, 1}, {10, 30, 0, 0, kUnchanged}, {10, 30, 0, 999, kUnchanged}, {10, 30, 1, 0, 2},
        {11, 0, 0, 0, 2},     {11, 0, 0, 500, 2},         {11, 0, 1, 0, 3},           {11, 30, 0, 0, 3},
        {11, 30, 1, 0, kUnchanged}, {11, 32, 59, 0, kUnchanged}, {11, 33, 0, 0, 4}, {11, 33, 1, 999, 4},
        {11, 33, 2, 0, kUnchanged},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.hour) + ":" + std::to_string(r.minute) + ":" + std::to_string(r.second) + "." +
                     std::to_string(r.ms));
        PerceptionRig rig(MakeLocal(2026, 12, 10, r.hour, r.minute, r.second, r.ms));
        rig.s().auctionPhase = kUnchanged;
        rig.c().UpdateAuctionPhase();
        EXPECT_EQ(rig.s().auctionPhase.load(), r.phase);
    }
}

TEST(UpdateAuctionPhase, PracticeRun) {
    // Started at 11:00:00: the end is 11:03:10.
    const Row rows[] = {
        {10, 59, 59, 0, 1}, {11, 0, 0, 0, kUnchanged}, {11, 0, 9, 0, kUnchanged}, {11, 0, 10, 0, 2},
        {11, 1, 9, 0, 2},   {11, 1, 10, 0, 3},         {11, 3, 10, 0, 3},         {11, 3, 11, 0, kUnchanged},
        {11, 3, 15, 0, kUnchanged}, {11, 3, 16, 0, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.hour) + ":" + std::to_string(r.minute) + ":" + std::to_string(r.second));
        PerceptionRig rig(MakeLocal(2026, 12, 10, r.hour, r.minute, r.second, r.ms));
        auto& s = rig.s();
        s.moniornot = 1;
        s.auctionStart = rig.At(11, 0, 0);
        s.auctionEnd = rig.At(11, 3, 10);
        s.auctionPhase = kUnchanged;
        rig.c().UpdateAuctionPhase();
        EXPECT_EQ(s.auctionPhase.load(), r.phase);
    }
}

TEST(UpdateAuctionPhase, OtherModesLeaveThePhase) {
    PerceptionRig rig(MakeLocal(2026, 12, 10, 11, 10, 0));
    rig.s().moniornot = 2;
    rig.s().auctionPhase = kUnchanged;
    rig.c().UpdateAuctionPhase();
    EXPECT_EQ(rig.s().auctionPhase.load(), kUnchanged);
}

}  // namespace
}  // namespace kestrava::perception
