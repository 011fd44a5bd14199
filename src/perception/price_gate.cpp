#include "perception/price_gate.h"

#include <cstdlib>

namespace kestrava::perception {

GateDecision PriceGate::Judge(const FigureReading& reading, const GateContext& context) {
    if (!reading.price) {
        // A figure without a price says nothing of a rise being held.
        belowWarning_.reset();
        return Refuse(reading.refusal.empty() ? std::string("no price in the figure") : reading.refusal);
    }
    const int price = *reading.price;
    if (context.figureHash != 0 && last_ && lastHash_ == context.figureHash && price > *last_)
        return Refuse(std::to_string(price) + " read from the figure that read " + std::to_string(*last_) +
                      ": the same pixels, misread");
    std::string warningIgnored;
    const int floor = WarningFloor(price, context, warningIgnored);
    GateDecision d;
    if (std::optional<Objection> o = Object(price, floor, context)) {
        if (o->held) {
            d.refusal = std::move(o->why);
            d.logRefusal = o->holdBegins;
        } else {
            d = Refuse(std::move(o->why));
        }
    } else {
        d.price = price;
        d.endedStreak = streak_;
        streak_ = 0;
        Believe(price, context.tickMs, context.figureHash);
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

std::optional<PriceGate::Objection> PriceGate::Object(int price, int warningFloor, const GateContext& context) {
    const std::string p = std::to_string(price);
    if (!IsAcceptableScreenPrice(price)) return Objection{p + " is not a price (a multiple of 100 up to 119900)"};
    if (warningFloor > 0 && price < warningFloor)
        return Objection{p + " is below the warning price " + std::to_string(warningFloor)};
    if (context.freshFeedPrice) {
        // The feed saw the same page: its agreement outweighs any rise, and only it can say the
        // price has fallen. A rise held before it came back is not carried past it.
        rise_.reset();
        if (std::abs(price - *context.freshFeedPrice) > kFeedTolerance)
            return Objection{p + " disagrees with the page feed's " + std::to_string(*context.freshFeedPrice)};
        return std::nullopt;
    }
    if (!last_ || context.tickMs - lastAtMs_ > kReferenceLifetimeMs) return std::nullopt;
    const std::string last = std::to_string(*last_);
    // The lowest price of an auction never falls. A lower reading is a misread (a frame grabbed
    // in the middle of a repaint mixes the old and new digits into one lower, and the same
    // picture read again gives the same wrong digits), however often it repeats.
    if (price < *last_) {
        rise_.reset();
        return Objection{p + " is below the last believed " + last + ": the lowest price does not fall"};
    }
    if (price > *last_ + kFarAbove) {
        rise_.reset();
        return Objection{p + " is implausibly far above the last believed " + last};
    }
    if (price <= *last_ + kRiseOnFirstReading) return std::nullopt;
    return ObjectToRise(price, context.tickMs);
}

std::optional<PriceGate::Objection> PriceGate::ObjectToRise(int price, std::uint32_t tickMs) {
    const std::string rise = std::to_string(price) + " rises " + std::to_string(price - *last_) +
                             " above the last believed " + std::to_string(*last_);
    // A reading below the rise held so far is another figure: its own page second starts now.
    if (!rise_ || price < rise_->reading) {
        rise_ = HeldRise{price, tickMs};
        return Objection{rise + ": waiting for it to stand a page second", true, true};
    }
    const bool repeated = price == rise_->reading;
    rise_->reading = price;
    if (tickMs - rise_->sinceMs < kRiseHoldMs || !repeated)
        return Objection{rise + ": waiting for it to stand a page second", true};
    const std::int64_t sinceBelief = tickMs - lastAtMs_;
    if (price - *last_ > kRiseOnFirstReading + kRisePerSecond * sinceBelief / 1000)
        return Objection{rise + ": faster than the price climbs", true};
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

void PriceGate::Believe(int price, std::uint32_t tickMs, std::uint64_t figureHash) {
    last_ = price;
    lastAtMs_ = tickMs;
    lastHash_ = figureHash;
    rise_.reset();
}

void PriceGate::Reset() {
    last_.reset();
    lastAtMs_ = 0;
    lastHash_ = 0;
    rise_.reset();
    streak_ = 0;
    ignoredWarning_ = 0;
    belowWarning_.reset();
    belowSinceMs_ = 0;
}

std::uint64_t FigureHash(const std::vector<std::uint8_t>& bytes, int width, int height) {
    // FNV-1a over the size and the bytes.
    std::uint64_t h = 1469598103934665603ULL;
    const auto mix = [&h](std::uint8_t b) {
        h ^= b;
        h *= 1099511628211ULL;
    };
    for (int v : {width, height})
        for (int i = 0; i < 4; ++i) mix(static_cast<std::uint8_t>(v >> (8 * i)));
    for (std::uint8_t b : bytes) mix(b);
    return h == 0 ? 1 : h;
}

}  // namespace kestrava::perception
