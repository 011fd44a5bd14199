#include "perception/price_gate.h"

#include <cstdlib>

namespace kestrava::perception {

GateDecision PriceGate::Judge(const FigureReading& reading, const GateContext& context) {
    if (!reading.price) {
        pendingJump_.reset();  // "the next reading" means the very next one
        belowWarning_.reset();
        return Refuse(reading.refusal.empty() ? std::string("no price in the figure") : reading.refusal);
    }
    const int price = *reading.price;
    std::string warningIgnored;
    const int floor = WarningFloor(price, context, warningIgnored);
    GateDecision d;
    if (std::optional<std::string> why = Objection(price, floor, context)) {
        d = Refuse(std::move(*why));
    } else {
        d.price = price;
        d.endedStreak = streak_;
        streak_ = 0;
        Believe(price, context.tickMs);
    }
    d.warningIgnored = std::move(warningIgnored);
    return d;
}

int PriceGate::WarningFloor(int price, const GateContext& context, std::string& ignored) {
    const int stored = context.warningPrice;
    if (stored <= 0 || stored == ignoredWarning_) return 0;
    const std::string s = std::to_string(stored);
    // The feed is the page's own number: below the stored value, that value is not today's.
    if (context.feedPrice > 0) {
        if (context.feedPrice >= stored) return stored;
        ignoredWarning_ = stored;
        ignored = "stored warning price " + s + " ignored: the page feed reports " + std::to_string(context.feedPrice);
        return 0;
    }
    // Without a feed only the figure itself can say so, by showing one price below the stored
    // value, whole, for long enough that it is no repaint.
    if (price >= stored || !IsAcceptableScreenPrice(price)) {
        belowWarning_.reset();
        return stored;
    }
    if (belowWarning_ != price) {
        belowWarning_ = price;
        belowSinceMs_ = context.tickMs;
        return stored;
    }
    if (context.tickMs - belowSinceMs_ < kWarningContradictedAfterMs) return stored;
    ignoredWarning_ = stored;
    ignored = "stored warning price " + s + " ignored: the page has shown " + std::to_string(price) + " for " +
              std::to_string(kWarningContradictedAfterMs / 1000) + " s";
    return 0;
}

std::optional<std::string> PriceGate::Objection(int price, int warningFloor, const GateContext& context) {
    const std::string p = std::to_string(price);
    const std::optional<int> pending = pendingJump_;
    pendingJump_.reset();
    if (!IsAcceptableScreenPrice(price)) return p + " is not a price (a multiple of 100 up to 119900)";
    if (warningFloor > 0 && price < warningFloor)
        return p + " is below the warning price " + std::to_string(warningFloor);
    if (context.freshFeedPrice) {
        // The feed saw the same page: its agreement outweighs any jump, and only it can say the
        // price has fallen.
        if (std::abs(price - *context.freshFeedPrice) > kFeedTolerance)
            return p + " disagrees with the page feed's " + std::to_string(*context.freshFeedPrice);
        return std::nullopt;
    }
    if (!last_ || context.tickMs - lastAtMs_ > kReferenceLifetimeMs) return std::nullopt;
    const std::string last = std::to_string(*last_);
    // The lowest price of an auction never falls. A lower reading is a misread (a frame grabbed
    // in the middle of a repaint mixes the old and new digits into one lower, and the same
    // picture read again gives the same wrong digits), however often it repeats.
    if (price < *last_) return p + " is below the last believed " + last + ": the lowest price does not fall";
    if (price > *last_ + kFarAbove) return p + " is implausibly far above the last believed " + last;
    if (price > *last_ + kJumpBound && pending != price) {
        pendingJump_ = price;
        return p + " jumps from " + last + "; waiting for the next reading to agree";
    }
    return std::nullopt;
}

GateDecision PriceGate::Refuse(std::string why) {
    GateDecision d;
    d.refusal = std::move(why);
    ++streak_;
    d.logRefusal = streak_ == 1;
    d.calibrate = streak_ == kRefusalsBeforeCalibration ||
                  (streak_ > kRefusalsBeforeCalibration &&
                   (streak_ - kRefusalsBeforeCalibration) % kRefusalsBetweenCalibrations == 0);
    return d;
}

void PriceGate::Believe(int price, std::uint32_t tickMs) {
    last_ = price;
    lastAtMs_ = tickMs;
    pendingJump_.reset();
}

void PriceGate::Reset() {
    last_.reset();
    lastAtMs_ = 0;
    pendingJump_.reset();
    streak_ = 0;
    ignoredWarning_ = 0;
    belowWarning_.reset();
    belowSinceMs_ = 0;
}

}  // namespace kestrava::perception
