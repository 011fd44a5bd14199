// Reading the lowest-price figure from the screen with two text-recognition engines: the price
// engine (trained data named by the OCRfont setting) and a second engine on "eng" that is kept
// initialised but never asked to read. Both accept digits only.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "perception/capture.h"
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

// What a text-recognition engine makes of a picture of the price figure: its text, line breaks
// included, as the price engine would return it (empty when it reads nothing).
using TextRecognizer = std::function<std::string(const PixelBuffer& figure)>;

class PriceReader {
public:
    PriceReader();
    // A reader whose price engine is `recognizer` instead of the library's engines (the replay's
    // fake page, which draws its figure in a form only its own recogniser reads). Init then
    // starts nothing and succeeds.
    explicit PriceReader(TextRecognizer recognizer);
    ~PriceReader();
    PriceReader(const PriceReader&) = delete;
    PriceReader& operator=(const PriceReader&) = delete;

    // Creates and initialises both engines once (an empty language means "eng").
    // A second call returns the first call's result. `dataPath` null: the library's default.
    TextEngineStatus Init(const std::string& priceLanguage, const char* dataPath = nullptr);
    bool Ready() const;

    // The price engine's text for the buffer, given unchanged (4 bytes per pixel, 4 × width per
    // line). Empty when the engine is not ready or the buffer is empty.
    std::string RecognizeText(const PixelBuffer& buffer);
    // RecognizeText parsed by ParseScreenPrice.
    std::optional<int> ReadPrice(const PixelBuffer& buffer);

private:
    mutable std::mutex mutex_;
    std::unique_ptr<tesseract::TessBaseAPI> priceEngine_;
    std::unique_ptr<tesseract::TessBaseAPI> secondEngine_;
    TextRecognizer recognizer_;
    std::optional<TextEngineStatus> initResult_;
};

// Grabs the lowest-price figure (anchor + C_P2_LEFTPRICE_* of `g`) from the page view. None when
// the page view cannot be found.
std::optional<PixelBuffer> GrabPriceFigure(platform::Desktop& desktop, platform::Screen& screen, const PageGeometry& g);

// The screen price in the engine's text: spaces removed, the line breaks the engine ends its
// text with set aside, at least five characters left, then the leading decimal number. None
// when the text is shorter or starts with no digit.
std::optional<int> ParseScreenPrice(const std::string& engineText);

// A screen price is taken only when it is a multiple of 100 within 0 … 119999.
bool IsAcceptableScreenPrice(int price);

}  // namespace kestrava::perception
