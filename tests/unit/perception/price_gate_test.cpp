#include <gtest/gtest.h>

#include "perception/price_gate.h"

#include <string>
#include <vector>

namespace kestrava::perception {
namespace {

FigureReading Read(int price) {
    FigureReading r;
    r.price = price;
    return r;
}

FigureReading Refused(const char* why) {
    FigureReading r;
    r.refusal = why;
    return r;
}

// One reading after the gate believed 89300 at a tick count (0 unless said), or nothing, in a context.
TEST(PriceGate, WhatAReadingIsHeldAgainst) {
    struct Case {
        const char* name;
        std::optional<int> believed;
        int price;
        GateContext context;
        std::optional<int> result;
        const char* refusal;
        std::uint32_t believedAt = 0;  // the tick count of the belief
    };
    const GateContext none{};
    const Case cases[] = {
        {"first reading of the day", std::nullopt, 89300, none, 89300, ""},
        {"not a multiple of 100", std::nullopt, 89350, none, std::nullopt, "89350 is not a price (a multiple of 100 up to 119900)"},
        {"above the price range", std::nullopt, 120000, none, std::nullopt, "120000 is not a price (a multiple of 100 up to 119900)"},
        {"below the warning price", std::nullopt, 36400, {86000, std::nullopt, 0}, std::nullopt, "36400 is below the warning price 86000"},
        {"at the warning price", std::nullopt, 86000, {86000, std::nullopt, 0}, 86000, ""},
        {"a fresh feed that disagrees", std::nullopt, 89300, {0, 90000, 0}, std::nullopt, "89300 disagrees with the page feed's 90000"},
        {"a fresh feed within its tolerance", 89300, 89600, {0, 89300, 100}, 89600, ""},
        {"a fresh feed that agrees outweighs a jump", 89300, 91000, {0, 91000, 100}, 91000, ""},
        {"a step of 100", 89300, 89400, none, 89400, ""},
        {"a rise of two steps", 89300, 89500, none, std::nullopt,
         "89500 rises 200 above the last believed 89300: waiting for it to stand a page second"},
        {"a fall", 89300, 89200, none, std::nullopt, "89200 is below the last believed 89300: the lowest price does not fall"},
        {"a fall of 9300", 89300, 80000, none, std::nullopt, "80000 is below the last believed 89300: the lowest price does not fall"},
        {"a fall the fresh feed agrees with", 89300, 89000, {0, 89000, 100}, 89000, ""},
        {"a fall while the feed is known but no longer fresh", 89300, 89000, {0, std::nullopt, 100, 89000}, std::nullopt,
         "89000 is below the last believed 89300: the lowest price does not fall"},
        {"a fall a minute on the tick count after the last belief", 89300, 89000, {0, std::nullopt, kReferenceLifetimeMs + 1}, 89000, ""},
        {"far above", 89300, 96400, none, std::nullopt, "96400 is implausibly far above the last believed 89300"},
        {"far above, but the last belief is a minute old", 89300, 96400, {0, std::nullopt, kReferenceLifetimeMs + 1}, 96400, ""},
        {"a second later on a tick count that wrapped meanwhile", 89300, 89000, {0, std::nullopt, 1000}, std::nullopt,
         "89000 is below the last believed 89300: the lowest price does not fall", 0xFFFF'FF00u},
        {"a minute later on a tick count that wrapped meanwhile", 89300, 96400,
         {0, std::nullopt, kReferenceLifetimeMs + 1 - 0x100u}, 96400, "", 0xFFFF'FF00u},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PriceGate gate;
        if (k.believed) gate.Believe(*k.believed, k.believedAt);
        const GateDecision d = gate.Judge(Read(k.price), k.context);
        EXPECT_EQ(d.price, k.result);
        EXPECT_EQ(d.refusal, k.refusal);
    }
}

// Without a fresh feed, a rise of more than one step is believed only once the screen has shown
// it for a page second, with nothing at or below the believed price in between, and no faster
// than the price climbs. Each case starts from 89300 read at tick 0; each reading (0: a figure
// without a price) is followed by the price the gate then believes.
TEST(PriceGate, ARiseIsBelievedOnlyWhenAMisreadCouldNotHaveRepeatedIt) {
    struct Reading {
        std::uint32_t tickMs;
        int price;
        std::optional<int> feed;  // the fresh feed's price
        int believed;
    };
    struct Case {
        const char* name;
        std::vector<Reading> readings;
    };
    const std::optional<int> none;
    const Case cases[] = {
        {"single steps count on the scan that reads them",
         {{100, 89400, none, 89400}, {200, 89500, none, 89500}, {300, 89500, none, 89500}}},
        {"a misread four steps up, repeated on every scan, then the true figure",
         {{100, 89700, none, 89300}, {200, 89700, none, 89300}, {300, 89700, none, 89300}, {400, 89300, none, 89300},
          {1100, 89700, none, 89300}, {1200, 89400, none, 89400}}},
        {"a misread far up read again on the next scan",
         {{100, 90300, none, 89300}, {200, 90300, none, 89300}, {300, 89300, none, 89300}}},
        {"a rise of three steps that stands a page second",
         {{100, 89600, none, 89300}, {600, 89600, none, 89300}, {1000, 89600, none, 89300}, {1100, 89600, none, 89600}}},
        {"a rise that goes on rising while it is held",
         {{100, 89500, none, 89300}, {500, 89600, none, 89300}, {1100, 89700, none, 89300}, {1200, 89700, none, 89700}}},
        {"a reading of the believed price starts the page second again",
         {{100, 89600, none, 89300}, {600, 89300, none, 89300}, {1100, 89600, none, 89300}, {1600, 89600, none, 89300},
          {2100, 89600, none, 89600}}},
        {"a lower rise in between is another figure",
         {{100, 89900, none, 89300}, {600, 89600, none, 89300}, {1100, 89600, none, 89300}, {1600, 89600, none, 89600}}},
        {"a figure without a price says nothing",
         {{100, 89600, none, 89300}, {500, 0, none, 89300}, {1100, 89600, none, 89600}}},
        {"ten steps at once wait for the price's pace",
         {{100, 90300, none, 89300}, {1100, 90300, none, 89300}, {2900, 90300, none, 89300}, {3000, 90300, none, 90300}}},
        {"the pace counts from the last believed reading",
         {{2000, 89300, none, 89300}, {2100, 90300, none, 89300}, {3100, 90300, none, 89300}, {4900, 90300, none, 89300},
          {5000, 90300, none, 90300}}},
        {"a fresh feed rules at once", {{100, 89700, 89700, 89700}, {200, 90000, 89700, 90000}}},
        {"a rise held before the feed came back starts again after it",
         {{100, 89600, none, 89300}, {600, 89600, 90000, 89300}, {1100, 89600, none, 89300}, {1200, 89600, none, 89300},
          {2100, 89600, none, 89600}}},
        {"a reading a minute after the last belief need not hold",
         {{kReferenceLifetimeMs + 1, 90300, none, 90300}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PriceGate gate;
        ASSERT_EQ(gate.Judge(Read(89300), {}).price, 89300);
        for (const Reading& r : k.readings) {
            SCOPED_TRACE(r.tickMs);
            const GateDecision d =
                gate.Judge(r.price ? Read(r.price) : Refused("blank figure"), {0, r.feed, r.tickMs, r.feed.value_or(0)});
            EXPECT_EQ(gate.LastBelieved(), r.believed) << d.refusal;
            EXPECT_EQ(d.price, r.price == r.believed ? std::optional<int>(r.believed) : std::nullopt);
        }
    }
}

// A held rise says what it waits for, logged when its hold begins. It is no fault of the price
// region: however long it is held, it asks for no calibration and neither lengthens nor ends a
// streak of refusals.
TEST(PriceGate, AHeldRiseIsLoggedOnceAndAsksForNoCalibration) {
    PriceGate gate;
    gate.Believe(89300, 0);
    const GateDecision first = gate.Judge(Read(90300), {0, std::nullopt, 100});
    EXPECT_EQ(first.refusal, "90300 rises 1000 above the last believed 89300: waiting for it to stand a page second");
    EXPECT_TRUE(first.logRefusal);
    int logged = 0;
    int calibrations = 0;
    for (std::uint32_t tick = 200; tick < 3000; tick += 100) {
        const GateDecision d = gate.Judge(Read(90300), {0, std::nullopt, tick});
        ASSERT_FALSE(d.price) << tick;
        logged += d.logRefusal;
        calibrations += d.calibrate;
        if (tick == 1100) EXPECT_EQ(d.refusal, "90300 rises 1000 above the last believed 89300: faster than the price climbs");
    }
    EXPECT_EQ(logged, 0);
    EXPECT_EQ(calibrations, 0);
    EXPECT_EQ(gate.Streak(), 0);
    EXPECT_EQ(gate.Judge(Read(90300), {0, std::nullopt, 3000}).endedStreak, 0);

    gate.Believe(89300, 0);
    EXPECT_TRUE(gate.Judge(Refused("blank figure"), {0, std::nullopt, 100}).logRefusal);
    EXPECT_FALSE(gate.Judge(Read(89900), {0, std::nullopt, 200}).calibrate);
    EXPECT_EQ(gate.Streak(), 1) << "the streak of the blank figure stands";
}

// The same low misread again and again (the glyph cache repeats one exactly) never becomes the
// price; the true figure between the misreads keeps being believed.
TEST(PriceGate, AFallIsNotBelievedHoweverOftenItRepeats) {
    PriceGate gate;
    gate.Believe(89000, 0);
    for (std::uint32_t tick = 100; tick <= 59'000; tick += 100) {
        const bool misread = tick % 1000 != 0;
        const GateDecision d = gate.Judge(Read(misread ? 80000 : 89000), {0, std::nullopt, tick});
        ASSERT_EQ(d.price, misread ? std::nullopt : std::optional<int>(89000)) << tick;
    }
    EXPECT_EQ(gate.LastBelieved(), 89000);
    // The feed, fresh and saying so, is the only one that can lower it.
    EXPECT_EQ(gate.Judge(Read(88800), {0, 88800, 59'100}).price, 88800);
}

// A reader that learned a wrong glyph reads the unchanged figure high on every scan, for as long
// as the page shows it: from the pixels the believed price came from, no rise is believed, however
// long it stands; the same rise from new pixels is the page's and is believed as a rise is.
TEST(PriceGate, ARiseReadFromTheSamePixelsIsAMisreadHoweverLongItRepeats) {
    const std::vector<std::uint8_t> figure(64, 7), repainted(64, 9);
    const std::uint64_t same = FigureHash(figure, 8, 2), changed = FigureHash(repainted, 8, 2);
    ASSERT_NE(same, changed);
    for (const bool newPixels : {false, true}) {
        SCOPED_TRACE(newPixels ? "the figure repainted" : "the same figure");
        PriceGate gate;
        GateContext context{0, std::nullopt, 0, 0, same};
        ASSERT_EQ(gate.Judge(Read(89000), context).price, 89000);
        std::optional<int> believed;
        for (std::uint32_t tick = 100; tick <= 5'000 && !believed; tick += 100) {
            context.tickMs = tick;
            context.figureHash = newPixels ? changed : same;
            believed = gate.Judge(Read(89400), context).price;
        }
        EXPECT_EQ(believed, newPixels ? std::optional<int>(89400) : std::nullopt);
    }
}

// A stored warning price holds until the page says it is not today's: the feed's price below it,
// or, with no feed, one whole figure below it for ten seconds. It is then ignored for the day,
// and the decision that finds so says it once.
TEST(PriceGate, AStoredWarningPriceThePageContradictsIsIgnored) {
    struct Reading {
        std::uint32_t tickMs;
        int price;
        int feedPrice;
        std::optional<int> result;
        const char* ignored;
    };
    struct Case {
        const char* name;
        int warning;
        std::vector<Reading> readings;
    };
    const char* none = "";
    const Case cases[] = {
        {"the feed reports a price below it",
         92000,
         {{0, 89300, 89300, 89300, "stored warning price 92000 ignored: the page feed reports 89300"},
          {100, 89300, 89300, 89300, none}}},
        {"the feed agrees with it: a figure below it stays a misread",
         89000,
         {{0, 39300, 89300, std::nullopt, none}, {20'000, 39300, 89300, std::nullopt, none}}},
        {"no feed: ten seconds of one figure below it",
         92000,
         {{0, 89300, 0, std::nullopt, none},
          {9'900, 89300, 0, std::nullopt, none},
          {10'000, 89300, 0, 89300, "stored warning price 92000 ignored: the page has shown 89300 for 10 s"},
          {10'100, 89400, 0, 89400, none}}},
        {"no feed: another figure in between starts the ten seconds again",
         92000,
         {{0, 89300, 0, std::nullopt, none},
          {5'000, 89400, 0, std::nullopt, none},
          {10'000, 89400, 0, std::nullopt, none},
          {15'000, 89400, 0, 89400, "stored warning price 92000 ignored: the page has shown 89400 for 10 s"}}},
        {"no feed: a figure without a price in between starts them again",
         92000,
         {{0, 89300, 0, std::nullopt, none},
          {5'000, 0, 0, std::nullopt, none},
          {6'000, 89300, 0, std::nullopt, none},
          {15'900, 89300, 0, std::nullopt, none},
          {16'000, 89300, 0, 89300, "stored warning price 92000 ignored: the page has shown 89300 for 10 s"}}},
        {"figures at or above it", 89000, {{0, 89000, 0, 89000, none}, {20'000, 89100, 0, 89100, none}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PriceGate gate;
        for (const Reading& r : k.readings) {
            SCOPED_TRACE(r.tickMs);
            GateContext context{k.warning, std::nullopt, r.tickMs, r.feedPrice};
            const GateDecision d = gate.Judge(r.price ? Read(r.price) : Refused("blank figure"), context);
            EXPECT_EQ(d.price, r.result) << d.refusal;
            EXPECT_EQ(d.warningIgnored, r.ignored);
        }
    }

    // The day's reset holds readings against the stored value again.
    PriceGate gate;
    EXPECT_EQ(gate.Judge(Read(89300), {92000, std::nullopt, 0, 89300}).price, 89300);
    gate.Reset();
    EXPECT_EQ(gate.Judge(Read(89300), {92000, std::nullopt, 0, 0}).refusal, "89300 is below the warning price 92000");
}

TEST(PriceGate, OneLogLinePerStreakAndCalibrationsAsItGoesOn) {
    PriceGate gate;
    int logged = 0;
    std::vector<int> calibratedAt;
    for (int i = 1; i <= kRefusalsBeforeCalibration + 2 * kRefusalsBetweenCalibrations; ++i) {
        const GateDecision d = gate.Judge(Refused("ink on the figure's left edge (a digit is cut)"), {});
        logged += d.logRefusal;
        if (d.calibrate) calibratedAt.push_back(i);
    }
    EXPECT_EQ(logged, 1);
    EXPECT_EQ(calibratedAt, (std::vector<int>{kRefusalsBeforeCalibration, kRefusalsBeforeCalibration + kRefusalsBetweenCalibrations,
                                               kRefusalsBeforeCalibration + 2 * kRefusalsBetweenCalibrations}));

    const GateDecision back = gate.Judge(Read(89300), {});
    EXPECT_EQ(back.price, 89300);
    EXPECT_EQ(back.endedStreak, kRefusalsBeforeCalibration + 2 * kRefusalsBetweenCalibrations);
    EXPECT_TRUE(gate.Judge(Refused("blank figure"), {}).logRefusal) << "a new streak logs again";

    gate.Reset();
    EXPECT_EQ(gate.LastBelieved(), std::nullopt);
    EXPECT_EQ(gate.Judge(Read(96400), {}).price, 96400);
}

}  // namespace
}  // namespace kestrava::perception
