// Reading the lowest-price figure from the screen with two text-recognition engines: the price
// engine (trained data named by the OCRfont setting) and a second engine on "eng" that is kept
// initialised but never asked to read. Both accept digits only.
//
// A figure gives a price only with evidence that it is whole: ink clear of the region's edges,
// one line of five or six digits, each digit sure by the engine's own confidence, the digits'
// boxes one evenly spaced row that accounts for all the ink (figure_evidence.h).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "perception/capture.h"
#include "perception/figure_evidence.h"
#include "perception/glyph_cache.h"
#include "perception/page_geometry.h"
#include "platform/platform.h"

namespace tesseract {
class TessBaseAPI;
}

namespace kestrava::perception {

struct TextEngineStatus {
    bool ok = false;
    std::string error;  // which engine failed, when not ok
};

// The glyphs of a figure the engine read, every check passed, paired with its digits: what the
// glyph cache would learn from it.
struct GlyphLesson {
    FigureInk ink;
    std::vector<EngineSymbol> symbols;
};

// What one picture of the price figure says: a price, or why it gives none.
struct FigureReading {
    std::optional<int> price;  // the figure's number; set only when every check of the figure passed
    std::string refusal;       // why there is no price
    std::string text;          // the engine's text as it came, line breaks included (for diagnosis)
    bool fromGlyphs = false;   // read from glyphs the engine read before, not by the engine
    // An engine reading with a price: its glyphs, learned only when the reader is told the price
    // was believed (PriceReader::Learn). A whole figure can still be a wrong price, and a learned
    // wrong glyph would repeat the misread on every figure that holds it.
    std::shared_ptr<const GlyphLesson> lesson;
};

// A stand-in for the engine and its checks together: reads a picture of the price figure.
using FigureRecognizer = std::function<FigureReading(const PixelBuffer& figure)>;

class PriceReader {
public:
    PriceReader();
    // A reader whose price engine is `recognizer` instead of the library's engines (the replay's
    // fake page, which draws its figure in a form only its own recogniser reads). Init then
    // starts nothing and succeeds.
    explicit PriceReader(FigureRecognizer recognizer);
    ~PriceReader();
    PriceReader(const PriceReader&) = delete;
    PriceReader& operator=(const PriceReader&) = delete;

    // Creates and initialises both engines once (an empty language means "eng").
    // A second call returns the first call's result. `dataPath` null: the library's default.
    TextEngineStatus Init(const std::string& priceLanguage, const char* dataPath = nullptr);
    bool Ready() const;

    // Reads the figure (4 bytes per pixel, 4 × width per line): measures its ink, refuses a
    // blank or cut figure, gives the engine the ink's neighbourhood as dark on white, and checks
    // the engine's digits against the ink. A figure made only of glyphs the engine has read
    // before is read from them, under the same checks (glyph_cache.h). Refused when the engine
    // is not ready. Nothing is learned here: see Learn.
    FigureReading ReadFigure(const PixelBuffer& figure);
    // Learns the glyphs of a reading whose price the caller believes (the price gate's verdict).
    void Learn(const FigureReading& believed);
    std::optional<int> ReadPrice(const PixelBuffer& figure) { return ReadFigure(figure).price; }
    // Forgets the learned glyphs: the next figures are read by the engine (after a region was
    // found suspect, the page may draw differently).
    void ForgetGlyphs();

private:
    FigureReading EngineRead(const FigureInk& ink);
    static FigureReading Checked(const FigureInk& ink, std::string text, const std::vector<EngineSymbol>& symbols);

    mutable std::mutex mutex_;
    GlyphCache glyphs_;
    unsigned cachedReads_ = 0;
    std::unique_ptr<tesseract::TessBaseAPI> priceEngine_;
    std::unique_ptr<tesseract::TessBaseAPI> secondEngine_;
    FigureRecognizer recognizer_;
    std::optional<TextEngineStatus> initResult_;
};

// Grabs the lowest-price figure (anchor + C_P2_LEFTPRICE_* of `g`) from the page view. None when
// the page view cannot be found.
std::optional<PixelBuffer> GrabPriceFigure(platform::Desktop& desktop, platform::Screen& screen, const PageGeometry& g);

// The digits of the engine's text when they are a price figure: spaces removed, exactly one
// non-empty line, and that line five or six digits and nothing else, the first not 0
// ("\n\n900\n", "00\n89300\n" and "00500" are not prices). None otherwise.
std::optional<std::string> PriceDigits(const std::string& engineText);
// PriceDigits as a number.
std::optional<int> ParseScreenPrice(const std::string& engineText);

// A screen price is taken only when it is a multiple of 100 within 0 … 119999.
bool IsAcceptableScreenPrice(int price);

}  // namespace kestrava::perception
