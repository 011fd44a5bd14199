#include "perception/figure_evidence.h"

#include <algorithm>
#include <cstdlib>

namespace kestrava::perception {

namespace {

// Tolerances of the digit row, as fractions of the row's median pitch or height. Tabular digits
// (every price font has them) sit on one pitch; a '1' is narrower but centred in its cell.
constexpr double kPitchTolerance = 0.3;
constexpr double kHeightTolerance = 0.2;
constexpr double kTopTolerance = 0.15;
// Whole digits are taller than their pitch is wide (about 1.2 in every font measured); a digit
// whose lower part is not yet drawn, or is cut off, is much flatter.
constexpr double kMinHeightToPitch = 0.9;
// Ink outside every digit box (grown by one pixel): a trace of anti-aliasing is allowed, a
// stroke of a further digit or a mark is not.
constexpr int kStrayInkAllowance = 4;
constexpr double kStrayInkFraction = 0.02;

int Luma(const std::uint8_t* bgra) { return (bgra[2] * 299 + bgra[1] * 587 + bgra[0] * 114) / 1000; }

int Median(std::vector<int> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

}  // namespace

FigureInk MeasureInk(const PixelBuffer& figure) {
    FigureInk ink;
    const int w = figure.width;
    const int h = figure.height;
    if (w <= 0 || h <= 0 || figure.bytes.size() < static_cast<std::size_t>(w) * h * 4) return ink;
    ink.width = w;
    ink.height = h;
    const std::size_t n = static_cast<std::size_t>(w) * h;
    std::vector<int> luma(n);
    for (std::size_t i = 0; i < n; ++i) luma[i] = Luma(figure.bytes.data() + i * 4);

    std::vector<int> border;
    border.reserve(static_cast<std::size_t>(2 * (w + h)));
    for (int x = 0; x < w; ++x) {
        border.push_back(luma[static_cast<std::size_t>(x)]);
        border.push_back(luma[static_cast<std::size_t>(h - 1) * w + x]);
    }
    for (int y = 0; y < h; ++y) {
        border.push_back(luma[static_cast<std::size_t>(y) * w]);
        border.push_back(luma[static_cast<std::size_t>(y) * w + w - 1]);
    }
    const int paper = Median(std::move(border));

    std::vector<int> deviation(n);
    for (std::size_t i = 0; i < n; ++i) {
        deviation[i] = std::abs(luma[i] - paper);
        ink.contrast = std::max(ink.contrast, deviation[i]);
    }
    ink.grey.assign(n, 255);
    ink.mask.assign(n, 0);
    if (ink.contrast < kMinFigureContrast) return ink;

    const int threshold = (ink.contrast + 1) / 2;
    int left = w, top = h, right = -1, bottom = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            ink.grey[i] = static_cast<std::uint8_t>(255 - deviation[i] * 255 / ink.contrast);
            if (deviation[i] < threshold) continue;
            ink.mask[i] = 1;
            ++ink.inkPixels;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    ink.bounds = platform::Rect{left, top, right + 1, bottom + 1};
    ink.touchesLeft = left == 0;
    ink.touchesRight = right == w - 1;
    ink.touchesTop = top == 0;
    ink.touchesBottom = bottom == h - 1;
    return ink;
}

std::optional<std::string> InkRefusal(const FigureInk& ink) {
    if (ink.width <= 0 || ink.height <= 0) return "empty figure";
    if (ink.inkPixels == 0) return "blank figure (contrast " + std::to_string(ink.contrast) + ")";
    if (ink.touchesLeft) return "ink on the figure's left edge (a digit is cut)";
    if (ink.touchesRight) return "ink on the figure's right edge (a digit is cut)";
    if (ink.touchesTop) return "ink on the figure's top edge (the digits are cut)";
    if (ink.touchesBottom) return "ink on the figure's bottom edge (the digits are cut)";
    return std::nullopt;
}

std::optional<std::string> DigitBoxRefusal(const FigureInk& ink, const std::string& digits,
                                           const std::vector<EngineSymbol>& symbols) {
    if (symbols.size() != digits.size())
        return std::to_string(symbols.size()) + " digit boxes for " + std::to_string(digits.size()) + " digits";
    if (symbols.empty()) return "no digit boxes";
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        const EngineSymbol& s = symbols[i];
        if (s.digit != digits[i]) return "digit boxes do not match the text";
        if (s.confidence < kMinDigitConfidence)
            return std::string("low confidence ") + std::to_string(static_cast<int>(s.confidence)) + " for digit " +
                   std::to_string(i + 1) + " ('" + s.digit + "')";
        if (s.box.right <= s.box.left || s.box.bottom <= s.box.top) return "empty digit box";
    }

    std::vector<int> heights, tops, pitches;
    for (const EngineSymbol& s : symbols) {
        heights.push_back(s.box.bottom - s.box.top);
        tops.push_back(s.box.top);
    }
    // Centres in half pixels, so a pitch of odd width stays exact.
    for (std::size_t i = 1; i < symbols.size(); ++i)
        pitches.push_back((symbols[i].box.left + symbols[i].box.right) - (symbols[i - 1].box.left + symbols[i - 1].box.right));
    const int height = Median(heights);
    const int top = Median(tops);
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (std::abs(heights[i] - height) > std::max(1.0, kHeightTolerance * height))
            return "digit " + std::to_string(i + 1) + " is not the height of the others";
        if (std::abs(tops[i] - top) > std::max(1.0, kTopTolerance * height))
            return "digit " + std::to_string(i + 1) + " is out of line";
    }
    if (!pitches.empty()) {
        const int pitch = Median(pitches);  // half pixels
        if (pitch <= 0) return "digit boxes overlap";
        for (std::size_t i = 0; i < pitches.size(); ++i)
            if (std::abs(pitches[i] - pitch) > std::max(2.0, kPitchTolerance * pitch))
                return "uneven spacing between digits " + std::to_string(i + 1) + " and " + std::to_string(i + 2);
        if (2 * height < kMinHeightToPitch * pitch) return "digits too flat for whole digits (half drawn or cut)";
    }

    // Every bit of ink belongs to a digit.
    int stray = 0;
    for (int y = 0; y < ink.height; ++y)
        for (int x = 0; x < ink.width; ++x) {
            if (!ink.Ink(x, y)) continue;
            const bool inside = std::any_of(symbols.begin(), symbols.end(), [&](const EngineSymbol& s) {
                return x >= s.box.left - 1 && x <= s.box.right && y >= s.box.top - 1 && y <= s.box.bottom;
            });
            if (!inside) ++stray;
        }
    if (stray > std::max(kStrayInkAllowance, static_cast<int>(kStrayInkFraction * ink.inkPixels)))
        return std::to_string(stray) + " ink pixels outside the digits";
    return std::nullopt;
}

}  // namespace kestrava::perception
