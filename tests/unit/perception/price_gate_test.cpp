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
        {"a rise of 500", 89300, 89800, none, 89800, ""},
        {"a rise of 600", 89300, 89900, none, std::nullopt, "89900 jumps from 89300; waiting for the next reading to agree"},
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

TEST(PriceGate, AJumpIsBelievedWhenTheNextReadingAgrees) {
    PriceGate gate;
    gate.Believe(89300, 0);
    EXPECT_FALSE(gate.Judge(Read(91300), {}).price);
    EXPECT_EQ(gate.Judge(Read(91300), {}).price, 91300);

    // A different reading in between, or a refused one, is not agreement.
    EXPECT_FALSE(gate.Judge(Read(92300), {}).price);
    EXPECT_FALSE(gate.Judge(Refused("blank figure"), {}).price);
    EXPECT_FALSE(gate.Judge(Read(92300), {}).price);
    EXPECT_FALSE(gate.Judge(Read(94300), {}).price);
    EXPECT_FALSE(gate.Judge(Read(92300), {}).price);
    EXPECT_EQ(gate.Judge(Read(92300), {}).price, 92300);
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
        {"figures at or above it", 89000, {{0, 89000, 0, 89000, none}, {20'000, 89300, 0, 89300, none}}},
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
