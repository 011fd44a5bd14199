// A corpus of price figures made at test time: the page's lowest-price figure rendered by
// ImageMagick in the fonts a page may use (DejaVu, Nimbus, WenQuanYi), at the sizes of the
// display scales 1.0 … 2.5, in the page's red and in black, then taken through a price region
// the way the console takes it: exactly, or degraded the ways a region goes wrong on a real
// desktop (shifted so a digit is cut at one of the four edges, blurred, faint, caught in the
// middle of a repaint, taken at the wrong display scale).
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "component/perception/rendered_text.h"
#include "perception/capture.h"
#include "perception/figure_evidence.h"
#include "perception/page_geometry.h"

namespace kestrava::perception::testing {

enum class FigureKind { Clean, CutLeft, CutRight, CutTop, CutBottom, Blur, LowContrast, Repaint, WrongScale };
inline constexpr std::array<FigureKind, 9> kFigureKinds{FigureKind::Clean,  FigureKind::CutLeft,     FigureKind::CutRight,
                                                        FigureKind::CutTop, FigureKind::CutBottom,   FigureKind::Blur,
                                                        FigureKind::LowContrast, FigureKind::Repaint, FigureKind::WrongScale};

inline const char* KindName(FigureKind k) {
    switch (k) {
        case FigureKind::Clean: return "clean";
        case FigureKind::CutLeft: return "cut at left";
        case FigureKind::CutRight: return "cut at right";
        case FigureKind::CutTop: return "cut at top";
        case FigureKind::CutBottom: return "cut at bottom";
        case FigureKind::Blur: return "blurred";
        case FigureKind::LowContrast: return "low contrast";
        case FigureKind::Repaint: return "mid-repaint";
        case FigureKind::WrongScale: return "wrong scale";
    }
    return "?";
}

struct CorpusFigure {
    FigureKind kind;
    std::string name;       // font, scale, colour, price
    PixelBuffer figure;
    std::vector<int> right;  // the prices that are a right reading (two while a repaint is caught)
};

struct CorpusStyle {
    const char* font;
    const char* label;
};
// The practice page's own font first.
inline constexpr CorpusStyle kCorpusFonts[] = {
    {"DejaVu-Sans-Mono-Bold", "DejaVu Sans Mono Bold"},
    {"DejaVu-Sans", "DejaVu Sans"},
    {"Nimbus-Sans-Regular", "Nimbus Sans"},
    {"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", "WenQuanYi Micro Hei"},
};
inline constexpr float kCorpusScales[] = {1.0f, 1.25f, 1.5f, 1.75f, 2.0f, 2.25f, 2.5f};
struct CorpusInk {
    const char* ink;
    const char* faint;  // the same ink at a quarter of its contrast
    const char* label;
};
inline constexpr CorpusInk kCorpusInks[] = {{"#c00000", "#efbfbf", "red"}, {"black", "#bfbfbf", "black"}};
// The misreads seen on cut figures (86400 as 36400, 90900 as 10900, 82400 as 62400), others, and
// a six-digit price.
inline constexpr int kCorpusPrices[] = {86400, 90900, 82400, 89300, 91700, 88800, 100500, 87600};

// The figure's region at scale 1.0: 100 x 36 with the digits, 20 pixels high, centred; the page
// around it is paper for 40 pixels on every side.
inline constexpr int kRegionW = 100, kRegionH = 36, kPagePad = 40;

// `page` cut to `r` (page pixels); pixels off the page are paper (white).
inline PixelBuffer Crop(const platform::Image& page, const platform::Rect& r) {
    PixelBuffer b;
    b.width = r.right - r.left;
    b.height = r.bottom - r.top;
    b.bytes.assign(static_cast<std::size_t>(b.width) * b.height * 4, 0xFF);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            if (x < 0 || y < 0 || x >= page.width || y >= page.height) continue;
            std::copy_n(page.Pixel(x, y), 4, b.bytes.data() + (static_cast<std::size_t>(y - r.top) * b.width + (x - r.left)) * 4);
        }
    return b;
}

// A 3 x 3 box blur, `passes` times.
inline PixelBuffer Blurred(PixelBuffer b, int passes) {
    for (int p = 0; p < passes; ++p) {
        const PixelBuffer src = b;
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0, n = 0;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx) {
                            const int xx = x + dx, yy = y + dy;
                            if (xx < 0 || yy < 0 || xx >= b.width || yy >= b.height) continue;
                            sum += src.bytes[(static_cast<std::size_t>(yy) * b.width + xx) * 4 + c];
                            ++n;
                        }
                    b.bytes[(static_cast<std::size_t>(y) * b.width + x) * 4 + c] = static_cast<std::uint8_t>(sum / n);
                }
    }
    return b;
}

// The upper rows of `fresh` over the lower rows of `old`: a frame grabbed while the page repaints.
inline PixelBuffer Torn(const PixelBuffer& fresh, const PixelBuffer& old, int rows) {
    PixelBuffer b = old;
    std::copy_n(fresh.bytes.begin(), static_cast<std::size_t>(rows) * fresh.width * 4, b.bytes.begin());
    return b;
}

// The page at one font, scale and ink, showing `price`; none when convert cannot render.
inline std::optional<platform::Image> CorpusPage(const CorpusStyle& font, float scale, const char* ink, int price) {
    TextStyle style;
    style.font = font.font;
    style.ink = ink;
    style.paper = "white";
    style.pointSize = ScaleOffset(20, scale);
    style.width = ScaleOffset(kRegionW + 2 * kPagePad, scale);
    style.height = ScaleOffset(kRegionH + 2 * kPagePad, scale);
    return RenderText(std::to_string(price), style);
}

// Every figure of the corpus. Empty when convert is missing.
inline std::vector<CorpusFigure> MakeCorpus() {
    std::vector<CorpusFigure> corpus;
    int turn = 0;
    for (const CorpusStyle& font : kCorpusFonts)
        for (float scale : kCorpusScales)
            for (const CorpusInk& ink : kCorpusInks) {
                const int price = kCorpusPrices[turn % std::size(kCorpusPrices)];
                const int next = price + 700;  // the price the page is repainting to
                const double depth = 0.25 + 0.25 * (turn % 3);  // how deep a cut goes into a digit
                ++turn;
                const std::string name = std::string(font.label) + " x" + std::to_string(scale).substr(0, 4) + " " +
                                         ink.label + " " + std::to_string(price);
                const std::optional<platform::Image> page = CorpusPage(font, scale, ink.ink, price);
                const std::optional<platform::Image> faint = CorpusPage(font, scale, ink.faint, price);
                const std::optional<platform::Image> repainted = CorpusPage(font, scale, ink.ink, next);
                if (!page || !faint || !repainted) return {};

                const int pad = ScaleOffset(kPagePad, scale);
                const platform::Rect region{pad, pad, pad + ScaleOffset(kRegionW, scale), pad + ScaleOffset(kRegionH, scale)};
                const PixelBuffer clean = Crop(*page, region);
                const FigureInk seen = MeasureInk(clean);
                const int digits = static_cast<int>(std::to_string(price).size());
                const int cell = (seen.bounds.right - seen.bounds.left) / digits;
                const int inkH = seen.bounds.bottom - seen.bounds.top;
                const auto shifted = [&](int dx, int dy) {
                    return Crop(*page, platform::Rect{region.left + dx, region.top + dy, region.right + dx, region.bottom + dy});
                };
                const int cut = static_cast<int>(depth * cell);
                const int cutRows = std::max(1, static_cast<int>(depth * inkH));
                const int w = region.right - region.left, h = region.bottom - region.top;
                const auto add = [&](FigureKind k, PixelBuffer b, std::vector<int> right) {
                    corpus.push_back(CorpusFigure{k, name, std::move(b), std::move(right)});
                };
                add(FigureKind::Clean, clean, {price});
                add(FigureKind::CutLeft, shifted(seen.bounds.left + cut, 0), {price});
                add(FigureKind::CutRight, shifted(seen.bounds.right - cut - w, 0), {price});
                add(FigureKind::CutTop, shifted(0, seen.bounds.top + cutRows), {price});
                add(FigureKind::CutBottom, shifted(0, seen.bounds.bottom - cutRows - h), {price});
                add(FigureKind::Blur, Blurred(clean, scale < 1.5f ? 1 : 2), {price});
                add(FigureKind::LowContrast, Crop(*faint, region), {price});
                add(FigureKind::Repaint, Torn(Crop(*repainted, region), clean, seen.bounds.top + cutRows), {price, next});
                // The region of another display scale at the same place: too small for a figure
                // drawn larger, wider than one drawn smaller.
                const float other = scale >= 1.5f ? 1.0f : 2.5f;
                add(FigureKind::WrongScale,
                    Crop(*page, platform::Rect{region.left, region.top, region.left + ScaleOffset(kRegionW, other),
                                               region.top + ScaleOffset(kRegionH, other)}),
                    {price});
            }
    return corpus;
}

}  // namespace kestrava::perception::testing
