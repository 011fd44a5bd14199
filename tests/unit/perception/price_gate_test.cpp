#include <gtest/gtest.h>

#include "perception/price_gate.h"

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

// One reading after the gate believed 89300 at time 0 (or nothing), in a context.
TEST(PriceGate, WhatAReadingIsHeldAgainst) {
    struct Case {
        const char* name;
        std::optional<int> believed;
        int price;
        GateContext context;
        std::optional<int> result;
        const char* refusal;
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
        {"a fall", 89300, 89200, none, std::nullopt, "89200 jumps from 89300; waiting for the next reading to agree"},
        {"far above", 89300, 96400, none, std::nullopt, "96400 is implausibly far above the last believed 89300"},
        {"far above, but the last belief is a minute old", 89300, 96400, {0, std::nullopt, kReferenceLifetimeMs + 1}, 96400, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PriceGate gate;
        if (k.believed) gate.Believe(*k.believed, 0);
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
    EXPECT_FALSE(gate.Judge(Read(88000), {}).price);
    EXPECT_FALSE(gate.Judge(Refused("blank figure"), {}).price);
    EXPECT_FALSE(gate.Judge(Read(88000), {}).price);
    EXPECT_FALSE(gate.Judge(Read(93300), {}).price);
    EXPECT_FALSE(gate.Judge(Read(88000), {}).price);
    EXPECT_EQ(gate.Judge(Read(88000), {}).price, 88000);
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
