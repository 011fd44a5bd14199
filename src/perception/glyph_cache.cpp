#include "perception/glyph_cache.h"

#include <algorithm>

namespace kestrava::perception {

namespace {

// More glyphs than a page's digits at a few sub-pixel phases: something else is being learned.
constexpr std::size_t kMaxGlyphs = 512;

struct Run {
    platform::Rect box;
    std::vector<std::uint8_t> key;
};

// The runs of ink columns, left to right, each with its ink box and its key: width, height, then
// per pixel of the box the ink bit and the grey level in four steps.
std::vector<Run> GlyphRuns(const FigureInk& ink) {
    std::vector<Run> runs;
    const platform::Rect& b = ink.bounds;
    const auto columnHasInk = [&](int x) {
        for (int y = b.top; y < b.bottom; ++y)
            if (ink.Ink(x, y)) return true;
        return false;
    };
    for (int x = b.left; x < b.right;) {
        if (!columnHasInk(x)) {
            ++x;
            continue;
        }
        Run run;
        run.box = platform::Rect{x, b.bottom, x, b.top};
        while (x < b.right && columnHasInk(x)) ++x;
        run.box.right = x;
        for (int y = b.top; y < b.bottom; ++y)
            for (int cx = run.box.left; cx < run.box.right; ++cx)
                if (ink.Ink(cx, y)) {
                    run.box.top = std::min(run.box.top, y);
                    run.box.bottom = std::max(run.box.bottom, y + 1);
                }
        const int w = run.box.right - run.box.left;
        const int h = run.box.bottom - run.box.top;
        run.key = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(h),
                   static_cast<std::uint8_t>(h >> 8)};
        for (int y = run.box.top; y < run.box.bottom; ++y)
            for (int cx = run.box.left; cx < run.box.right; ++cx)
                run.key.push_back(static_cast<std::uint8_t>(
                    (ink.Ink(cx, y) ? 4 : 0) | (ink.grey[static_cast<std::size_t>(y) * ink.width + cx] >> 6)));
        runs.push_back(std::move(run));
    }
    return runs;
}

}  // namespace

std::optional<std::vector<EngineSymbol>> GlyphCache::Read(const FigureInk& ink) const {
    if (glyphs_.empty() || ink.inkPixels == 0) return std::nullopt;
    std::vector<EngineSymbol> symbols;
    for (const Run& run : GlyphRuns(ink)) {
        const auto found = glyphs_.find(run.key);
        if (found == glyphs_.end()) return std::nullopt;
        symbols.push_back(EngineSymbol{found->second, run.box, 100.0f});
    }
    return symbols;
}

void GlyphCache::Learn(const FigureInk& ink, const std::vector<EngineSymbol>& symbols) {
    const std::vector<Run> runs = GlyphRuns(ink);
    if (runs.size() != symbols.size()) return;  // touching or broken glyphs: nothing to pair
    for (std::size_t i = 0; i < runs.size(); ++i) {
        // The engine's box and the run must be the same glyph: they overlap by most of the run.
        const platform::Rect& r = runs[i].box;
        const platform::Rect& s = symbols[i].box;
        const int overlap = std::min(r.right, s.right) - std::max(r.left, s.left);
        if (2 * overlap < r.right - r.left) return;
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto [at, inserted] = glyphs_.emplace(runs[i].key, symbols[i].digit);
        if (!inserted && at->second != symbols[i].digit) {
            glyphs_.clear();  // the engine read one picture as two digits: trust nothing learned
            return;
        }
    }
    if (glyphs_.size() > kMaxGlyphs) glyphs_.clear();
}

}  // namespace kestrava::perception
