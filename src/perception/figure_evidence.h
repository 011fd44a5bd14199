// What a picture of the price figure shows before and after the engine has read it: where its ink
// lies, and whether the engine's digits account for that ink as one clean row of whole digits.
// A figure is believed only on this evidence: a region a few pixels off cuts a digit at its edge,
// and the engine then reads a different digit (8 as 3, 9 as 1) with nothing in its text to show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "perception/capture.h"
#include "platform/platform.h"

namespace kestrava::perception {

// The ink of a figure, measured against its paper: the paper is the median brightness of the
// figure's outermost pixels (a figure is drawn inside its region, so its border is mostly paper),
// and a pixel is ink when it differs from the paper by at least half the figure's contrast.
struct FigureInk {
    int width = 0;
    int height = 0;
    int contrast = 0;  // 0 … 255: the largest difference from the paper
    // Ink dark on white whatever the page's colours: 0 is full ink, 255 paper; width x height.
    std::vector<std::uint8_t> grey;
    std::vector<std::uint8_t> mask;  // 1 where ink, width x height
    int inkPixels = 0;
    platform::Rect bounds;  // of the ink; empty when there is none
    bool touchesLeft = false, touchesRight = false, touchesTop = false, touchesBottom = false;

    bool Ink(int x, int y) const { return mask[static_cast<std::size_t>(y) * width + x] != 0; }
};

// Below this contrast a figure is taken as blank (all paper, all black, a page not yet drawn).
inline constexpr int kMinFigureContrast = 40;

FigureInk MeasureInk(const PixelBuffer& figure);

// The reason a figure cannot be a whole price before any engine looks at it: blank, or ink on
// one of its four edges (a digit cut by the region). None when it may be read.
std::optional<std::string> InkRefusal(const FigureInk& ink);

// One symbol as the engine reports it, in figure pixels (right and bottom exclusive).
struct EngineSymbol {
    char digit = 0;
    platform::Rect box;
    float confidence = 0;  // the engine's own 0 … 100
};

// Below this the engine is not sure enough of a digit for a price to rest on it.
inline constexpr float kMinDigitConfidence = 85.0f;

// The reason the engine's symbols are not one row of `digits` whole, evenly spaced digits of one
// height that account for all of the figure's ink; none when they are. `digits` is the line the
// engine read.
std::optional<std::string> DigitBoxRefusal(const FigureInk& ink, const std::string& digits,
                                           const std::vector<EngineSymbol>& symbols);

}  // namespace kestrava::perception
