// Made-up price figures for the figure checks and the glyph cache: digit d is a 6 x 12 black
// block with a white bar at row d + 1, one every 9 pixels from x = 4, on a white 60 x 20 figure.
#pragma once

#include <string>
#include <vector>

#include "perception/figure_evidence.h"

namespace kestrava::perception::testing {

inline constexpr int kPitch = 9, kLeft = 4, kTop = 4, kW = 6, kH = 12;

inline PixelBuffer BlockFigure(const std::string& digits) {
    PixelBuffer b;
    b.width = 60;
    b.height = 20;
    b.bytes.assign(60 * 20 * 4, 0xFF);
    for (std::size_t i = 0; i < digits.size(); ++i)
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (y == digits[i] - '0' + 1) continue;
                std::uint8_t* p = b.bytes.data() + ((kTop + y) * 60 + kLeft + static_cast<int>(i) * kPitch + x) * 4;
                p[0] = p[1] = p[2] = 0;
            }
    return b;
}

// What an engine that read the block figure right would report, its digits being `read`.
inline std::vector<EngineSymbol> BlockSymbols(const std::string& read, float confidence = 99.0f) {
    std::vector<EngineSymbol> out;
    for (std::size_t i = 0; i < read.size(); ++i) {
        const int left = kLeft + static_cast<int>(i) * kPitch;
        out.push_back(EngineSymbol{read[i], platform::Rect{left, kTop, left + kW, kTop + kH}, confidence});
    }
    return out;
}

}  // namespace kestrava::perception::testing
