#include "perception/price_gate.h"

#include <cstdlib>

namespace kestrava::perception {

GateDecision PriceGate::Judge(const FigureReading& reading, const GateContext& context) {
    if (!reading.price) {
        pendingJump_.reset();  // "the next reading" means the very next one
        return Refuse(reading.refusal.empty() ? std::string("no price in the figure") : reading.refusal);
    }
    const int price = *reading.price;
    if (std::optional<std::string> why = Objection(price, context)) return Refuse(std::move(*why));
    GateDecision d;
    d.price = price;
    d.endedStreak = streak_;
    streak_ = 0;
    Believe(price, context.nowMs);
    return d;
}

std::optional<std::string> PriceGate::Objection(int price, const GateContext& context) {
    const std::string p = std::to_string(price);
    const std::optional<int> pending = pendingJump_;
    pendingJump_.reset();
    if (!IsAcceptableScreenPrice(price)) return p + " is not a price (a multiple of 100 up to 119900)";
    if (context.warningPrice > 0 && price < context.warningPrice)
        return p + " is below the warning price " + std::to_string(context.warningPrice);
    if (context.freshFeedPrice) {
        // The feed saw the same page: its agreement outweighs any jump.
        if (std::abs(price - *context.freshFeedPrice) > kFeedTolerance)
            return p + " disagrees with the page feed's " + std::to_string(*context.freshFeedPrice);
        return std::nullopt;
    }
    if (!last_ || context.nowMs - lastAtMs_ > kReferenceLifetimeMs) return std::nullopt;
    const std::string last = std::to_string(*last_);
    if (price > *last_ + kFarAbove) return p + " is implausibly far above the last believed " + last;
    if ((price < *last_ || price > *last_ + kJumpBound) && pending != price) {
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

void PriceGate::Believe(int price, std::int64_t nowMs) {
    last_ = price;
    lastAtMs_ = nowMs;
    pendingJump_.reset();
}

void PriceGate::Reset() {
    last_.reset();
    lastAtMs_ = 0;
    pendingJump_.reset();
    streak_ = 0;
}

}  // namespace kestrava::perception
