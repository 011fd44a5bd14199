// The page's own digit glyphs, learned from the engine's confident readings whose price the price
// gate believed: a figure whose every glyph is, pixel for pixel, one the engine has read before is
// read without the engine (a tenth of a millisecond instead of three). The page draws its price in one font at one size, so after a
// few price changes most figures are made of known glyphs.
//
// A glyph is a run of columns holding ink, cut out of the figure with its ink mask and its grey
// levels (four levels of the ink-dark-on-white picture); two glyphs are the same only when all of
// that is equal. Learning takes a reading only when the engine's digits and the glyph runs pair
// off one to one; a glyph the engine once read as another digit empties the cache.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "perception/figure_evidence.h"

namespace kestrava::perception {

class GlyphCache {
public:
    // The figure's glyph runs read from the cache as one symbol each (confidence 100, the run's
    // box), for the same row checks as the engine's symbols; none unless every run is known.
    std::optional<std::vector<EngineSymbol>> Read(const FigureInk& ink) const;
    // Learns the glyphs of a figure the engine read as `symbols`, every check passed.
    void Learn(const FigureInk& ink, const std::vector<EngineSymbol>& symbols);
    void Clear() { glyphs_.clear(); }
    std::size_t Size() const { return glyphs_.size(); }

private:
    std::map<std::vector<std::uint8_t>, char> glyphs_;
};

}  // namespace kestrava::perception
