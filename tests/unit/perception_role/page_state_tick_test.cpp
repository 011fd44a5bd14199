// The page-state tick on the fake platform: the timed calibrations of the day, the network-icon
// check shortly before the end with the console stepping aside, and the update check's window.
#include <gtest/gtest.h>

#include "shell/page_commands.h"
#include "unit/perception_role/perception_rig.h"

namespace kestrava::perception {
namespace {

using testing::ConsoleMove;
using testing::PerceptionRig;

constexpr char kCalibrationLine[] = "鼠标点击_智能校正";

TEST(PageStateTick, TimedCalibrationsOncePerDayAtMostOnePerTick) {
    struct Case {
        const char* name;
        int secondBidTime;
        int thirdBidTime;
        std::vector<int> remaining;  // r seen by successive ticks
        int expected;
    };
    const Case cases[] = {
        {"3600 seen three times", 0, 0, {3600, 3600, 3600}, 1},
        {"3600 shares its second with the second bid", 3595, 0, {3600}, 1},
        {"the second bid's turn on a later tick", 3595, 0, {3600, 3600, 3600}, 2},
        {"2700", 0, 0, {2701, 2700, 2700, 2699}, 1},
        {"third bid + 5", 20, 40, {46, 45, 45, 44}, 1},
        {"70 seconds", 0, 0, {71, 70, 70, 69}, 1},
        {"bid moments of 0 (the end): nothing to prepare at 5 s", 0, 0, {6, 5, 5, 4}, 0},
        {"a skipped value triggers nothing", 0, 0, {3601, 3599, 2701, 2699, 71, 69}, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig;
        rig.engine->strategy.SecondBidTime = k.secondBidTime;
        rig.engine->strategy.ThirdBidTime = k.thirdBidTime;
        for (int r : k.remaining) {
            rig.s().remainingSeconds = r;
            rig.hooks.pageStateTick(rig.c());
        }
        EXPECT_EQ(rig.LoggedCount(kCalibrationLine), k.expected);
    }
}

TEST(PageStateTick, TheAuctionDayResetAllowsTheCalibrationsAgain) {
    PerceptionRig rig;
    rig.s().remainingSeconds = 2700;
    rig.hooks.pageStateTick(rig.c());
    rig.c().ResetAuctionDay();
    rig.s().remainingSeconds = 2700;
    rig.hooks.pageStateTick(rig.c());
    EXPECT_EQ(rig.LoggedCount(kCalibrationLine), 2);
}

TEST(PageStateTick, NetworkIconCheckBeforeTheEnd) {
    struct Case {
        const char* name;
        bool iconOnPage;
        bool referencePicture;
        bool pageWindow;
        int state;
        std::vector<ConsoleMove> movesAt115;
        std::vector<std::uint32_t> postsAt115;
        std::vector<ConsoleMove> movesAt70;
    };
    const ConsoleMove aside{-80, 0, false};
    const ConsoleMove back{-80, 0, true};
    const Case cases[] = {
        {"icon present", true, true, true, 1, {}, {}, {}},
        {"icon missing", false, true, true, 2, {aside}, {0x4a9, 0x4a8}, {back}},
        {"reference picture missing", true, false, true, 2, {aside}, {0x4a9, 0x4a8}, {back}},
        {"no page window", true, true, false, 2, {aside}, {}, {back}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig;
        if (k.referencePicture) {
            ASSERT_TRUE(SaveBitmapFile(testing::StatusIcon(), "ScreenShot/wifi_green.bmp"));
        }
        if (k.iconOnPage) rig.fp.screen.Blit(testing::StatusIcon(), 40, 30 + 60);
        if (!k.pageWindow) rig.RemovePage();
        rig.PagePosts();

        for (int r : {116, 115, 115}) {
            rig.s().remainingSeconds = r;
            rig.hooks.pageStateTick(rig.c());
        }
        EXPECT_EQ(rig.role->records.iconCheckState.load(), k.state);
        EXPECT_EQ(rig.moves, k.movesAt115);
        std::vector<std::uint32_t> recovery;
        for (std::uint32_t m : rig.PagePosts())
            if (m == shell::cmd::StatusIconRecoveryFirst || m == shell::cmd::StatusIconRecoverySecond)
                recovery.push_back(m);
        EXPECT_EQ(recovery, k.postsAt115);

        rig.moves.clear();
        for (int r : {70, 70}) {
            rig.s().remainingSeconds = r;
            rig.hooks.pageStateTick(rig.c());
        }
        EXPECT_EQ(rig.moves, k.movesAt70);
        EXPECT_EQ(rig.LoggedCount(kCalibrationLine), 1);
    }
}

TEST(PageStateTick, UpdateCheckInItsWindowOnce) {
    struct Case {
        const char* name;
        int hour, minute, second;
        bool updaterOpen;
        int expected;
    };
    // Start 10:30:00, jitter 12 s and 2 min: the window is strictly between 11:02:12 and 11:07:00.
    const Case cases[] = {
        {"at the window's start", 11, 2, 12, false, 0},
        {"inside", 11, 2, 13, false, 1},
        {"inside, updater already open", 11, 5, 0, true, 0},
        {"at its end", 11, 7, 0, false, 0},
        {"long before", 10, 40, 0, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig(platform::fake::MakeLocal(2026, 12, 10, k.hour, k.minute, k.second));
        rig.s().auctionStart = rig.At(10, 30, 0);
        rig.s().jitterSeconds = 12;
        rig.s().jitterMinutes = 2;
        if (k.updaterOpen) rig.fp.desktop.AddWindow(console::kUpdaterTitle, "Updater", platform::Rect{0, 0, 10, 10});
        for (int i = 0; i < 3; ++i) rig.hooks.pageStateTick(rig.c());
        EXPECT_EQ(rig.updateChecks, k.expected);
    }
}

TEST(PageStateTick, RemainingTimeShownWhileARunIsInProgress) {
    PerceptionRig rig;
    rig.s().remainingDisplay = 29 * 60 + 5;
    rig.s().runState = 1;
    rig.hooks.pageStateTick(rig.c());
    EXPECT_NE(rig.c().controls.Text(1046), "00:29:05");
    rig.s().runState = 2;
    rig.hooks.pageStateTick(rig.c());
    EXPECT_EQ(rig.c().controls.Text(1046), "00:29:05");
}

}  // namespace
}  // namespace kestrava::perception
