// The role's hooks as the console calls them: calibration from the button with its mode label and
// the shell link's geometry, the start mark of a practice run, the remaining time of the submit
// tick, and the auction-day reset of both the role's and the engine's records.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "console/console.h"
#include "unit/perception_role/perception_rig.h"

namespace kestrava::perception {
namespace {

using testing::PerceptionRig;
using testing::Settings;
using platform::fake::MakeLocal;

TEST(PerceptionRoleCalibration, ButtonCalibratesAndAppliesTheMode) {
    struct Case {
        const char* name;
        bool geometryFile;
        bool referencePicture;
        int wifidivmode;
        std::string label;
        int divmode;
        shell::PagePoint anchor;
    };
    const Case cases[] = {
        {"icon found, coordinate mode", true, true, 0, "OK A", 0, {40, 60}},
        {"icon found, element mode", true, true, 1, "OK B", 1, {40, 60}},
        {"icon found, other variant keeps the mode", true, true, 2, ".", 0, {40, 60}},
        {"reference picture missing", true, false, 0, "OK B", 1, {15, 7}},
        {"geometry file missing", false, false, 0, "OK B", 1, {0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig;
        rig.Conf({{"wifidivmode", std::to_string(k.wifidivmode)}, {"systime_screentime", "1"}});
        if (k.geometryFile)
            console::testing::WriteIni("bin/coordinatebaseline.ini", "Position",
                                       {{"lvwf_x", "10"}, {"lvwf_y", "5"}, {"bidbutton_picPot_x", "30"}});
        if (k.referencePicture) {
            ASSERT_TRUE(SaveBitmapFile(testing::StatusIcon(), "ScreenShot/wifi_green3.bmp"));  // scale 1.5
        }
        rig.fp.screen.Blit(testing::StatusIcon(), 40, 30 + 60);
        rig.fp.registry.WriteDword("AppliedDPI", 144);
        rig.hooks.readDisplayScale(rig.c());
        ASSERT_EQ(rig.s().displayScale.load(), 1.5f);

        rig.c().OnCommand(1160);
        EXPECT_EQ(rig.c().controls.Text(1143), k.label);
        EXPECT_EQ(rig.s().divmode.load(), k.divmode);
        EXPECT_EQ(rig.s().systime_screentime.load(), 1);
        const shell::PageGeometry link = rig.s().Geometry();
        EXPECT_EQ((shell::PagePoint{link.lvwf_x, link.lvwf_y}), k.anchor);
        EXPECT_EQ(link.bidbutton_picPot_x, k.geometryFile ? 45 : 0) << "scaled by 1.5";
        const auto published = rig.role->geometry()->Get();
        EXPECT_EQ((shell::PagePoint{published->lvwf_x, published->lvwf_y}), k.anchor);
    }
}

TEST(PerceptionRoleCalibration, StartMarkMovesTheAnchorOfBothRecords) {
    PerceptionRig rig;
    ASSERT_TRUE(SaveBitmapFile(testing::StatusIcon(120), "ScreenShot/wifi_red.bmp"));
    EXPECT_EQ(rig.hooks.findStartMark(rig.c()), std::nullopt);
    rig.fp.screen.Blit(testing::StatusIcon(120), 300, 30 + 20);
    const std::optional<Point> mark = rig.hooks.findStartMark(rig.c());
    ASSERT_TRUE(mark.has_value());
    EXPECT_EQ(*mark, (Point{300, 20}));
    const auto published = rig.role->geometry()->Get();
    EXPECT_EQ((Point{published->lvwf_x, published->lvwf_y}), *mark);
}

// Calibrations from the interface thread and a tick thread at once, at two display scales, while
// two more threads read the geometry as the ticks do. Every key of the geometry file holds the
// same value, so a record mixing two calibrations shows up as two different values.
TEST(PerceptionRoleCalibration, ReadersNeverSeeAHalfUpdatedGeometry) {
    PerceptionRig rig;
    {
        std::ofstream out("bin/coordinatebaseline.ini");
        out << "[Position]\n";
        for (const GeometryKey& key : GeometryKeys()) out << key.name << "=10\n";
    }
    const auto uniform = [](PageGeometry g) {
        for (const GeometryKey& key : GeometryKeys())
            if (GeometryField(g, key) != g.lvwf_x) return false;
        return true;
    };
    const auto uniformLink = [](const shell::PageGeometry& g) {
        return g.plusinput_picPot_x == g.lvwf_x && g.vk_esc_y3 == g.lvwf_x && g.vk_ret_code_enter[26].y == g.lvwf_x;
    };
    rig.c().OnCommand(1160);

    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    const auto reader = [&] {
        while (!done.load()) {
            if (!uniform(*rig.role->geometry()->Get())) ++mixed;
            if (!uniformLink(rig.s().Geometry())) ++mixed;
        }
    };
    std::thread tickA(reader), tickB(reader);
    std::thread pageStateTick([&] {
        for (int i = 0; i < 30; ++i) rig.role->SmartCalibrate(rig.c());
    });
    for (int i = 0; i < 30; ++i) {
        rig.s().displayScale = i % 2 == 0 ? 2.0f : 1.0f;
        rig.c().OnCommand(1160);
    }
    pageStateTick.join();
    done = true;
    tickA.join();
    tickB.join();
    EXPECT_EQ(mixed.load(), 0);
    // Whichever calibration came last published both records.
    EXPECT_EQ(rig.role->geometry()->Get()->lvwf_x, rig.s().Geometry().lvwf_x);
}

// The up-down controls beside the screen-time preview move the page-clock region a pixel at a
// time; a later calibration re-reads the file but keeps the moves. Other spins go on to the
// strategy controls.
TEST(PerceptionRoleCalibration, ClockRegionSpinsMoveTheRegionAcrossCalibrations) {
    PerceptionRig rig;
    console::testing::WriteIni("bin/coordinatebaseline.ini", "Position",
                               {{"ocr_systime_left", "200"}, {"ocr_systime_top", "100"}});
    rig.c().OnCommand(1160);
    const auto region = [&] {
        const auto g = rig.role->geometry()->Get();
        return Point{g->ocr_systime_left, g->ocr_systime_top};
    };
    ASSERT_EQ(region(), (Point{200, 100}));
    // The role's spin hook in front of a recorder standing for the strategy controls.
    using console::SpinArrow;
    std::vector<std::pair<int, SpinArrow>> forwarded;
    console::ConsoleHooks hooks;
    hooks.spinMoved = [&](console::CKestravaDlg&, int id, SpinArrow arrow) { forwarded.emplace_back(id, arrow); };
    AttachPerception(rig.role, hooks);
    const std::pair<int, SpinArrow> clicks[] = {
        {1156, SpinArrow::Up},    {1156, SpinArrow::Up},   {1156, SpinArrow::Down}, {1156, SpinArrow::Up},
        {1157, SpinArrow::Right}, {1157, SpinArrow::Left}, {1157, SpinArrow::Right},
        {1156, SpinArrow::Left},  // arrows a control does not have move nothing
        {1157, SpinArrow::Up},    {1149, SpinArrow::Up},
    };
    for (auto [id, arrow] : clicks) hooks.spinMoved(rig.c(), id, arrow);
    EXPECT_EQ(region(), (Point{201, 98})) << "up moves the region up, right moves it right";
    EXPECT_EQ(forwarded, (std::vector<std::pair<int, SpinArrow>>{{1149, SpinArrow::Up}}));
    rig.c().OnCommand(1160);
    EXPECT_EQ(region(), (Point{201, 98}));
}

TEST(PerceptionRoleClock, RemainingTimeThroughTheSubmitTick) {
    struct Case {
        const char* name;
        int moniornot;
        int systime_screentime;
        int pageMinute, pageSecond;  // the fed page clock, 11:mm:ss
        int remaining;               // expected; -1: not updated
        int shownMinute, shownSecond;
    };
    const Case cases[] = {
        {"PC clock", 0, 0, 20, 0, 60, 0, 0},
        {"page clock", 0, 1, 29, 30, 30, 29, 30},
        {"practice page clock", 1, 1, 29, 30, 30, 29, 30},
        {"practice page past 11:30", 1, 1, 31, 0, -1, 31, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig(MakeLocal(2026, 12, 10, 11, 29, 0));
        auto& s = rig.s();
        s.moniornot = k.moniornot;
        s.systime_screentime = k.systime_screentime;
        s.auctionPhase = 3;
        s.remainingSeconds = 999;
        rig.engine->SetPageClock(rig.c(), 11, k.pageMinute, k.pageSecond);
        rig.hooks.submitTick(rig.c());
        EXPECT_EQ(s.remainingSeconds.load(), k.remaining == -1 ? 999 : k.remaining);
        EXPECT_EQ(s.pageMinute.load(), k.shownMinute);
        EXPECT_EQ(s.pageSecond.load(), k.shownSecond);
        if (k.remaining >= 0) {
            EXPECT_EQ(s.remainingDisplay.load(), k.remaining);
            EXPECT_EQ(rig.c().controls.Text(1045), "11:30:00");
        }
    }

    PerceptionRig rig(MakeLocal(2026, 12, 10, 11, 29, 0));
    rig.s().auctionPhase = 3;
    rig.s().remainingSeconds = 999;
    rig.RemovePage();
    rig.s().pageWindow = 0;
    EXPECT_FALSE(rig.role->UpdateRemainingTime(rig.c()));
    rig.hooks.submitTick(rig.c());
    EXPECT_EQ(rig.s().remainingSeconds.load(), 999);
}

// A page window of another id than the one the one-second tick found last is a shell started
// again in between, not yet told to open the auction page: neither the submit tick's remaining
// time nor the scan tick's revision work touches it until the one-second tick has taken it in.
TEST(PerceptionRoleShell, TheTicksLeaveAWindowTheOneSecondTickHasNotTakenIn) {
    PerceptionRig rig(MakeLocal(2026, 12, 10, 11, 29, 0));
    auto& s = rig.s();
    s.auctionPhase = 3;
    s.appliedPrice = 89700;
    for (const bool taken : {false, true}) {
        SCOPED_TRACE(taken ? "taken in" : "not yet taken in");
        s.takenPageWindow = taken ? rig.page : rig.page + 100;
        s.remainingSeconds = 999;
        rig.c().controls.SetText(1104, "x");
        EXPECT_EQ(rig.role->UpdateRemainingTime(rig.c()), taken);
        EXPECT_EQ(s.remainingSeconds.load(), taken ? 60 : 999);
        rig.hooks.scanTick(rig.c());
        EXPECT_EQ(rig.c().controls.Text(1104), taken ? "89700" : "x");
    }
}

TEST(PerceptionRoleStart, TextRecognitionByMode) {
    struct Case {
        const char* name;
        int moniornot;
        const char* font;
        bool ok;
        bool ready;
    };
    const Case cases[] = {
        {"unknown trained data stops the start", 0, "no_such_trained_data", false, false},
        {"a mode that reads no prices starts none", 2, "no_such_trained_data", true, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PerceptionRig rig;
        rig.Conf({{"OCRfont", k.font}});
        rig.s().moniornot = k.moniornot;
        EXPECT_EQ(rig.hooks.initOcr(rig.c()), k.ok);
        EXPECT_EQ(rig.role->reader().Ready(), k.ready);
    }
}

TEST(PerceptionRoleDay, ResetClearsTheRoleAndTheEngine) {
    PerceptionRig rig;
    rig.rec().priceAt62 = 89300;
    rig.rec().iconCheckState = 2;
    rig.rec().finalShotState = 4;
    rig.rec().endShotDone = 1;
    rig.engine->records.feedLowestPrice = 90000;
    rig.c().ResetAuctionDay();
    EXPECT_EQ(rig.rec().priceAt62.load(), 0);
    EXPECT_EQ(rig.rec().iconCheckState.load(), 0);
    EXPECT_EQ(rig.rec().finalShotState.load(), 0);
    EXPECT_EQ(rig.rec().endShotDone.load(), 0);
    EXPECT_EQ(rig.engine->records.feedLowestPrice.load(), 0);
}

}  // namespace
}  // namespace kestrava::perception
