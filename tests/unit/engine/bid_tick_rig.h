// What the bid tick's tests share: a price curve read as the screen or the feed would give it,
// the time of a post, one bid tick at a given second.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine_rig.h"

namespace kestrava::engine::testing {

// A price curve by remaining seconds: the lowest price from the key's second downwards, read
// at the start of every bid tick as the screen or the feed would give it.
using PriceCurve = std::map<int, int, std::greater<>>;

inline EngineOptions CurveReader(const PriceCurve& curve) {
    EngineOptions options;
    options.readLowestPrice = [curve](console::CKestravaDlg& c) {
        const int r = c.state.remainingSeconds.load();
        int price = curve.begin()->second;
        for (const auto& [from, p] : curve)
            if (r <= from) price = p;
        c.state.lowestPrice = price;
        c.state.lowestText.Set(std::to_string(price));
    };
    return options;
}

// The virtual time (HH:MM:SS.mmm) of the first post of `msg`, or "" when there is none.
inline std::string FirstPostTime(EngineRig& rig, const std::vector<Post>& posts, std::uint32_t msg) {
    for (const Post& p : posts) {
        if (p.msg != msg) continue;
        const platform::LocalTime t = rig.fp.clock.EpochMillisToLocal(rig.startMillis + p.at);
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
        return text;
    }
    return "";
}

// One bid tick at `r` seconds left, without a new per-second pass unless asked.
inline void TickAt(EngineRig& rig, int r, bool newSecond = false) {
    rig.c().state.remainingSeconds = r;
    if (!newSecond) rig.rec().lastTickSecond = r;
    rig.e().BidTick(rig.c());
}

}  // namespace kestrava::engine::testing
