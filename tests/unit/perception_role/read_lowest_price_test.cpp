// The lowest-price reading as the engine's bid tick runs it: the real text-recognition engine
// reads a price rendered in a real font into the fake framebuffer, the page feed lives in the
// engine's records, and the role decides which source is believed and what the displays show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "component/perception/rendered_text.h"
#include "console/console.h"
#include "unit/perception_role/perception_rig.h"

namespace kestrava::perception {
namespace {

using testing::PerceptionRig;

constexpr int kFed = 89500;  // within the feed tolerance of the screen's 89300
constexpr int kBefore = 85000;

// The engines start once for all the tests.
std::shared_ptr<PriceReader> SharedReader() {
    static const std::shared_ptr<PriceReader> reader = [] {
        auto r = std::make_shared<PriceReader>();
        const TextEngineStatus status = r->Init("");
        EXPECT_TRUE(status.ok) << status.error;
        return r;
    }();
    return reader;
}

// A revision-phase rig at 11:29:00 whose page shows `figure` at anchor (100, 50) + (40, 220).
struct PriceRig : PerceptionRig {
    explicit PriceRig(const std::string& figure = "89300")
        : PerceptionRig(platform::fake::MakeLocal(2026, 12, 10, 11, 29, 0), SharedReader()) {
        role->geometry()->Update([](PageGeometry& g) {
            g.lvwf_x = 100, g.lvwf_y = 50;
            g.C_P2_LEFTPRICE_X = 40, g.C_P2_LEFTPRICE_Y = 220;
            g.C_P2_LEFTPRICE_W = 200, g.C_P2_LEFTPRICE_H = 60;
        });
        fp.screen.Fill(platform::Rect{0, 30, 1200, 900}, 0xF0, 0xF0, 0xF0);
        Show(figure);
        auto& st = s();
        st.auctionPhase = 3;
        st.remainingSeconds = 60;
        st.lowestPrice = kBefore;
        engine->records.feedLowestPrice = kFed;
    }
    void Show(const std::string& figure) {
        const std::optional<platform::Image> picture = testing::RenderText(figure, testing::TextStyle{});
        ASSERT_TRUE(picture.has_value()) << "convert could not render";
        fp.screen.Blit(*picture, 0 + 100 + 40, 30 + 50 + 220);
    }
    void BidTick() { engine->BidTick(c()); }
    // The figure painted over with the page's background: no reading this tick.
    void BlankFigure() { fp.screen.Fill(platform::Rect{140, 300, 340, 360}, 0xF0, 0xF0, 0xF0); }
    // The tracked region of the change detector, in screen coordinates, painted a new colour.
    void ChangeTrackedRegion(std::uint8_t shade) { fp.screen.Fill(platform::Rect{178, 429, 253, 568}, shade, 0, 0); }
};

// A run that takes its price from the screen (swbidmode 2), 100 s before the end.
struct ScreenPathRig : PriceRig {
    ScreenPathRig() {
        s().swbidmode = 2;
        s().remainingSeconds = 100;
    }
};

TEST(ReadLowestPrice, SourceSelectionThroughTheBidTick) {
    struct Case {
        int moniornot;
        int swbidmode;
        bool feedFresh;
        int expected;
    };
    const Case cases[] = {
        {0, 0, true, kFed}, {0, 0, false, 89300}, {0, 1, false, kFed},    {0, 2, true, 89300},
        {0, 3, true, kBefore}, {1, 0, false, kFed}, {1, 2, false, kFed}, {2, 0, true, kBefore},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("moniornot " + std::to_string(k.moniornot) + " swbidmode " + std::to_string(k.swbidmode) +
                     (k.feedFresh ? " fresh" : " stale"));
        PriceRig rig;
        rig.s().moniornot = k.moniornot;
        rig.s().swbidmode = k.swbidmode;
        rig.engine->records.feedFresh = k.feedFresh ? 1 : 0;
        rig.BidTick();
        EXPECT_EQ(rig.s().lowestPrice.load(), k.expected);
        if (k.expected != kBefore) {
            EXPECT_EQ(rig.s().lowestText.Get(), std::to_string(k.expected));
            EXPECT_EQ(rig.c().controls.Text(1105), std::to_string(k.expected));
            EXPECT_EQ(rig.c().controls.Text(1106), std::to_string(k.expected + 300));
            EXPECT_EQ(rig.c().controls.Text(1155), std::to_string(k.expected));
        }
    }
}

TEST(ReadLowestPrice, StalledFeedDiesAfterOneHundredTicksAndTheScreenTakesOver) {
    PriceRig rig;
    auto& s = rig.s();
    s.launchp = 1;
    s.pageLoginSeen = 1;
    rig.engine->SetPageClock(rig.c(), 11, 29, 10);
    for (int i = 0; i < 100; ++i) rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), kFed);
    EXPECT_EQ(rig.LoggedCount("DPQD"), 0);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    EXPECT_EQ(s.infoHeader.Get(), "目前软件工作正常DP ");
    EXPECT_EQ(s.infoHeaderStyle.load(), 2);  // blue
    for (int i = 0; i < 20; ++i) rig.BidTick();
    EXPECT_EQ(rig.LoggedCount("DPQD"), 1);

    // A valid time code revives it; one out of range does not.
    rig.c().HandleMessage(platform::Message{console::msg::PageReport, 90500, 1200005960});
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    rig.c().HandleMessage(platform::Message{console::msg::PageReport, 90500, 1129200000});
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 90500);
}

// A page feed that stops, the page still showing 89300: the bid tick watches the feed once the
// page has logged in or has reported (a console started after the login never sees that message)
// and gives the price to the screen after a hundred ticks; in the last minute, once the page is
// quieter than its rhythm (a report each second) and the slack.
TEST(ReadLowestPrice, AStalledFeedGivesWayToTheScreen) {
    struct Case {
        const char* name;
        bool loginSeen;
        int remaining;
        int ticksOnTheFeed;  // bid ticks, 100 ms apart, after the last report that still show the feed's price
    };
    const Case cases[] = {
        {"login seen, two minutes before the end", true, 120, 100},
        {"started after the login, two minutes before the end", false, 120, 100},
        {"login seen, in the last minute", true, 40, 13},
        {"started after the login, in the last minute", false, 40, 13},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PriceRig rig;
        auto& s = rig.s();
        s.launchp = 1;
        s.pageLoginSeen = k.loginSeen ? 1 : 0;
        for (std::int32_t code : {1129010000, 1129020000, 1129030000}) {
            if (code != 1129010000) rig.fp.clock.Advance(1000);
            rig.c().HandleMessage(platform::Message{console::msg::PageReport, kFed, code});
        }
        s.remainingSeconds = k.remaining;
        int onTheFeed = 0;
        for (int tick = 1; tick <= 120 && s.lowestPrice.load() != 89300; ++tick) {
            rig.fp.clock.Advance(100);
            rig.BidTick();
            if (s.lowestPrice.load() == kFed) onTheFeed = tick;
        }
        EXPECT_EQ(onTheFeed, k.ticksOnTheFeed);
        EXPECT_EQ(s.lowestPrice.load(), 89300);
        EXPECT_EQ(rig.LoggedCount("DPQD"), 1);
    }
}

// Bad figures of every sort: the console keeps its last good price and its displays.
TEST(ReadLowestPrice, UnusableScreenReadingsLeaveThePriceAlone) {
    struct Case {
        const char* name;
        const char* figure;
        int anchorX;
        int anchorY;
        int fill;  // -1: the figure as drawn; else the whole figure painted this grey
    };
    const Case cases[] = {
        {"not a multiple of 100", "89350", 100, 50, -1},
        {"above the price range", "120000", 100, 50, -1},
        {"letters", "ABCDE", 100, 50, -1},
        {"four digits", "8930", 100, 50, -1},
        {"price rectangle off the display", "89300", 5000, 50, -1},
        {"all white", "89300", 100, 50, 0xFF},
        {"all black", "89300", 100, 50, 0x00},
        {"region shifted right: the first digit cut", "89300", 172, 50, -1},
        {"region shifted left: the last digit cut", "89300", 28, 50, -1},
        {"page scrolled: the digits cut at the top", "89300", 100, 80, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PriceRig rig(k.figure);
        rig.s().swbidmode = 2;
        if (k.fill >= 0) rig.fp.screen.Fill(platform::Rect{140, 300, 340, 360}, k.fill, k.fill, k.fill);
        rig.role->geometry()->Update([&](PageGeometry& g) {
            g.lvwf_x = k.anchorX;
            g.lvwf_y = k.anchorY;
        });
        rig.c().controls.SetText(1106, "x");
        rig.BidTick();
        EXPECT_EQ(rig.s().lowestPrice.load(), kBefore);
        EXPECT_EQ(rig.c().controls.Text(1106), "x");
    }
}

// A region that slipped: the readings are refused with their reason, logged once for the whole
// streak, the price stays, and after ten refusals the console calibrates. A reading believed
// again ends the streak; a fall from the believed price is refused however often it is read.
TEST(ReadLowestPrice, RefusalStreakKeepsThePriceLogsOnceAndCalibrates) {
    PriceRig rig;
    auto& s = rig.s();
    s.swbidmode = 2;
    s.remainingSeconds = 100;
    rig.BidTick();
    ASSERT_EQ(s.lowestPrice.load(), 89300);

    const auto region = [&](int anchorX) {
        rig.role->geometry()->Update([&](PageGeometry& g) {
            g.lvwf_x = anchorX, g.lvwf_y = 50;
            g.C_P2_LEFTPRICE_X = 40, g.C_P2_LEFTPRICE_Y = 220;
            g.C_P2_LEFTPRICE_W = 200, g.C_P2_LEFTPRICE_H = 60;
        });
    };
    region(172);
    for (int i = 0; i < 9; ++i) rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    EXPECT_EQ(rig.LoggedCount("screen price refused: ink on the figure's left edge (a digit is cut)"), 1);
    EXPECT_EQ(rig.calibrations, 0);
    region(172);  // as if the calibration found nothing better
    rig.BidTick();
    EXPECT_EQ(rig.calibrations, 1);
    EXPECT_EQ(rig.LoggedCount("price region suspect after 10 refused readings: calibrating"), 1);
    EXPECT_EQ(s.lowestPrice.load(), 89300);

    region(100);
    rig.Show("89400");
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400);
    EXPECT_EQ(rig.LoggedCount("screen price 89400 believed again after 10 refused readings"), 1);

    rig.Show("88400");
    rig.BidTick();
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400) << "the lowest price does not fall";
    EXPECT_EQ(rig.LoggedCount("screen price refused: 88400 is below the last believed 89400: the lowest price does not fall"), 1);

    // In the last minute a calibration could hold up a confirmation: the streak is only noted.
    s.remainingSeconds = 40;
    region(172);
    for (int i = 0; i < 10; ++i) rig.BidTick();
    EXPECT_EQ(rig.calibrations, 1);
    EXPECT_EQ(rig.LoggedCount("price region suspect after 10 refused readings: no calibration in the last minute"), 1);
    EXPECT_EQ(s.lowestPrice.load(), 89400);
}

// The believed price lives sixty seconds of the tick count after its last reading, however the PC
// clock is set meanwhile: a network-time correction a minute ahead does not let a lower figure in,
// a minute of ticks without a believed figure does.
TEST(ReadLowestPrice, TheLastBelievedPriceLivesOnTheTickCount) {
    ScreenPathRig rig;
    auto& s = rig.s();
    rig.BidTick();
    ASSERT_EQ(s.lowestPrice.load(), 89300);

    rig.fp.clock.SetNow(platform::fake::MakeLocal(2026, 12, 10, 11, 30, 5));
    rig.Show("89200");
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300) << "the PC clock jumped, the tick count did not";
    rig.fp.clock.Advance(kReferenceLifetimeMs + 100);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89200) << "nothing believed for a minute of ticks";
}

// Only figures the gate believed teach the reader their glyphs: a refused figure read again goes
// to the engine, a believed one comes from the learned glyphs.
TEST(ReadLowestPrice, OnlyBelievedFiguresTeachTheGlyphCache) {
    ScreenPathRig rig;
    auto& s = rig.s();
    rig.role->reader().ForgetGlyphs();
    const auto readAgain = [&] {
        const std::optional<PixelBuffer> figure =
            GrabPriceFigure(rig.fp.desktop, rig.fp.screen, *rig.role->geometry()->Get());
        return figure ? rig.role->reader().ReadFigure(*figure) : FigureReading{};
    };
    rig.BidTick();
    ASSERT_EQ(s.lowestPrice.load(), 89300);
    EXPECT_TRUE(readAgain().fromGlyphs);

    rig.Show("56700");  // below the believed price: refused
    rig.BidTick();
    ASSERT_EQ(s.lowestPrice.load(), 89300);
    const FigureReading refused = readAgain();
    EXPECT_EQ(refused.price, 56700);
    EXPECT_FALSE(refused.fromGlyphs);
}

// A warning price stored in a policy file of another day: the feed's price lies below it, so it
// is ignored (said once in the log) and the page's figure is believed.
TEST(ReadLowestPrice, AStaleStoredWarningPriceIsIgnoredOnceThePageContradictsIt) {
    ScreenPathRig rig;
    auto& s = rig.s();
    rig.engine->strategy.WarningPrice = 92000;
    rig.engine->records.feedLowestPrice = 0;
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), kBefore);
    EXPECT_EQ(rig.LoggedCount("screen price refused: 89300 is below the warning price 92000"), 1);

    rig.engine->records.feedLowestPrice = 89300;
    for (int i = 0; i < 5; ++i) rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    EXPECT_EQ(rig.LoggedCount("stored warning price 92000 ignored: the page feed reports 89300"), 1);
}

// The screen path of the last 55 seconds: the change tracker starts from the higher of the figure
// read with 62 s left and one believed later, and counts one step for each changed scan without a
// believed figure. A jump of 300 is believed once it has stood a page second, and then it is the
// price, whatever the tracker counted meanwhile.
TEST(ReadLowestPrice, ABelievedFigureWinsOverTheChangeTracker) {
    ScreenPathRig rig;
    auto& s = rig.s();
    rig.Show("89000");
    s.remainingSeconds = 62;
    rig.BidTick();
    ASSERT_EQ(rig.rec().priceAt62.load(), 89000);
    rig.Show("89300");
    s.remainingSeconds = 58;
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89000) << "a jump of 300 waits a page second";
    rig.fp.clock.Advance(kRiseHoldMs);
    rig.BidTick();
    ASSERT_EQ(s.lowestPrice.load(), 89300);

    rig.BlankFigure();
    s.remainingSeconds = 50;
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300) << "started from the later, higher figure";

    rig.Show("89600");
    rig.ChangeTrackedRegion(0x40);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400) << "one step counted while the figure's jump is held";
    rig.fp.clock.Advance(kRiseHoldMs);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89600);

    rig.BlankFigure();
    rig.ChangeTrackedRegion(0x80);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89700);
    EXPECT_EQ(rig.LoggedCount("最低价上涨为 89700"), 1);
}

// A figure misread four steps high, the same on every scan (the same picture read again gives the
// same digits), while the page shows 89300: believed, it would stick (the price does not fall) and
// every gap would be 400 short. It is never the price, and the true figure is read on.
TEST(ReadLowestPrice, AHighMisreadRepeatedOnEveryScanIsNotBelieved) {
    ScreenPathRig rig;
    auto& s = rig.s();
    rig.BidTick();
    ASSERT_EQ(s.lowestPrice.load(), 89300);
    rig.Show("89700");
    for (int tick = 0; tick < 5; ++tick) {
        rig.fp.clock.Advance(100);
        rig.BidTick();
    }
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    EXPECT_EQ(rig.LoggedCount("screen price refused: 89700 rises 400 above the last believed 89300: waiting for it to "
                              "stand a page second"),
              1);
    rig.Show("89300");
    rig.fp.clock.Advance(100);
    rig.BidTick();
    rig.Show("89400");
    rig.fp.clock.Advance(100);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400) << "the true figure is read on, step by step";
}

TEST(ReadLowestPrice, ChangeTrackerAdvancesByOneStepPerChangedTick) {
    PriceRig rig;
    auto& s = rig.s();
    s.swbidmode = 2;
    s.remainingSeconds = 62;
    rig.BidTick();
    EXPECT_EQ(rig.role->records.priceAt62.load(), 89300);

    // The figure goes blank: from here on only the tracker can say anything about the price.
    rig.fp.screen.Fill(platform::Rect{140, 300, 340, 360}, 0xF0, 0xF0, 0xF0);
    s.lowestPrice = kBefore;
    s.remainingSeconds = 56;
    rig.BidTick();
    EXPECT_FALSE(rig.role->changeTracker.Started()) << "the tracker waits for the last 55 seconds";
    EXPECT_EQ(s.lowestPrice.load(), kBefore);

    s.remainingSeconds = 50;
    rig.BidTick();  // first run: starts from the price read at 62 seconds
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    rig.ChangeTrackedRegion(0x40);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400);
    EXPECT_EQ(rig.LoggedCount("最低价上涨为 89400"), 1);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400);
    rig.ChangeTrackedRegion(0x80);
    rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89500);
}

TEST(ReadLowestPrice, ChangeTrackerWithAnUnwritableScreenShotFolderDoesNotRunAway) {
    PriceRig rig;
    auto& s = rig.s();
    s.swbidmode = 2;
    // The folder the tracker writes its picture to cannot hold files.
    std::filesystem::remove_all("ScreenShot");
    std::ofstream("ScreenShot") << "a file where the folder should be";
    s.remainingSeconds = 62;
    rig.BidTick();
    rig.fp.screen.Fill(platform::Rect{140, 300, 340, 360}, 0xF0, 0xF0, 0xF0);
    s.remainingSeconds = 50;
    for (int tick = 0; tick < 20; ++tick) rig.BidTick();  // two seconds of a still page
    EXPECT_EQ(s.lowestPrice.load(), 89300);
    rig.ChangeTrackedRegion(0x40);
    for (int tick = 0; tick < 5; ++tick) rig.BidTick();
    EXPECT_EQ(s.lowestPrice.load(), 89400);
    EXPECT_FALSE(std::filesystem::exists(rig.role->changeTracker.PictureFile()));
}

}  // namespace
}  // namespace kestrava::perception
