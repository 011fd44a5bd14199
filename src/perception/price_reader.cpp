#include "perception/price_reader.h"

#include <tesseract/baseapi.h>

#include <algorithm>
#include <cctype>
#include <utility>

namespace kestrava::perception {

namespace {

constexpr char kDigits[] = "0123456789";
constexpr char kDefaultLanguage[] = "eng";
// Prices are five digits (10000 … 99900) or six (100000 … 119900); three and four digits are
// partial reads of a figure being redrawn.
constexpr std::size_t kMinPriceDigits = 5;
constexpr std::size_t kMaxPriceDigits = 6;
// A screen pixel is about 1/96 inch; telling the engine so spares it estimating (and printing)
// a resolution for every figure.
constexpr int kScreenDpi = 96;
// Every so many figures read from learned glyphs, the engine reads one too (about every 10 s at
// the default scan interval).
constexpr unsigned kEngineCheckEvery = 100;

// Initialises one engine; the library may throw on allocation failure, which is reported here.
// The figure is one line of digits: the single-line mode skips the page-layout analysis.
bool StartEngine(tesseract::TessBaseAPI& engine, const char* dataPath, const char* language) {
    try {
        if (engine.Init(dataPath, language, tesseract::OEM_DEFAULT) != 0) return false;
        engine.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        return engine.SetVariable("tessedit_char_whitelist", kDigits);
    } catch (...) {
        return false;
    }
}

FigureReading Refused(std::string why, std::string text = {}) {
    FigureReading r;
    r.refusal = std::move(why);
    r.text = std::move(text);
    return r;
}

// The part of the figure the engine is shown: the ink with a margin of paper of half its height
// on every side (within the figure). Boxes the engine reports are relative to it.
platform::Rect EngineWindow(const FigureInk& ink) {
    const int margin = std::max(2, (ink.bounds.bottom - ink.bounds.top) / 2);
    return platform::Rect{std::max(0, ink.bounds.left - margin), std::max(0, ink.bounds.top - margin),
                          std::min(ink.width, ink.bounds.right + margin), std::min(ink.height, ink.bounds.bottom + margin)};
}

}  // namespace

PriceReader::PriceReader() = default;

PriceReader::PriceReader(FigureRecognizer recognizer) : recognizer_(std::move(recognizer)) {}

PriceReader::~PriceReader() {
    std::lock_guard lock(mutex_);
    if (priceEngine_) priceEngine_->End();
    if (secondEngine_) secondEngine_->End();
}

TextEngineStatus PriceReader::Init(const std::string& priceLanguage, const char* dataPath) {
    std::lock_guard lock(mutex_);
    if (initResult_) return *initResult_;
    TextEngineStatus status;
    if (recognizer_) {
        status.ok = true;
        initResult_ = status;
        return status;
    }
    try {
        priceEngine_ = std::make_unique<tesseract::TessBaseAPI>();
        secondEngine_ = std::make_unique<tesseract::TessBaseAPI>();
    } catch (...) {
        status.error = "cannot create the text-recognition engines";
        initResult_ = status;
        return status;
    }
    // An empty setting means the library's default language; this library version crashes on
    // recognition when given no language at all, so the default is named.
    const std::string language = priceLanguage.empty() ? kDefaultLanguage : priceLanguage;
    if (!StartEngine(*priceEngine_, dataPath, language.c_str())) {
        status.error = "price engine (language \"" + priceLanguage + "\") failed to initialise";
    } else if (!StartEngine(*secondEngine_, dataPath, kDefaultLanguage)) {
        status.error = "second engine (language \"eng\") failed to initialise";
    } else {
        status.ok = true;
    }
    initResult_ = status;
    return status;
}

bool PriceReader::Ready() const {
    std::lock_guard lock(mutex_);
    return initResult_ && initResult_->ok;
}

FigureReading PriceReader::ReadFigure(const PixelBuffer& figure) {
    std::lock_guard lock(mutex_);
    if (!initResult_ || !initResult_->ok) return Refused("no text-recognition engine");
    if (figure.width <= 0 || figure.height <= 0 || figure.bitsPerPixel != 32 ||
        figure.bytes.size() < static_cast<std::size_t>(figure.width) * figure.height * 4)
        return Refused("empty figure");
    if (recognizer_) return recognizer_(figure);

    const FigureInk ink = MeasureInk(figure);
    if (std::optional<std::string> why = InkRefusal(ink)) return Refused(std::move(*why));

    if (const std::optional<std::vector<EngineSymbol>> known = glyphs_.Read(ink)) {
        std::string text;
        for (const EngineSymbol& s : *known) text.push_back(s.digit);
        FigureReading cached = Checked(ink, text + "\n", *known);
        cached.fromGlyphs = true;
        if (++cachedReads_ % kEngineCheckEvery != 0) return cached;
        // Now and then the engine reads a figure the cache has read: a cache that no longer
        // agrees with it is emptied, and the engine's reading stands.
        FigureReading engine = EngineRead(ink);
        if (engine.price != cached.price) glyphs_.Clear();
        return engine;
    }
    return EngineRead(ink);
}

void PriceReader::Learn(const FigureReading& believed) {
    if (!believed.price || !believed.lesson) return;
    std::lock_guard lock(mutex_);
    glyphs_.Learn(believed.lesson->ink, believed.lesson->symbols);
}

void PriceReader::ForgetGlyphs() {
    std::lock_guard lock(mutex_);
    glyphs_.Clear();
}

FigureReading PriceReader::EngineRead(const FigureInk& ink) {
    const platform::Rect at = EngineWindow(ink);
    std::string text;
    std::vector<EngineSymbol> symbols;
    try {
        const std::uint8_t* origin = ink.grey.data() + static_cast<std::size_t>(at.top) * ink.width + at.left;
        priceEngine_->SetImage(origin, at.right - at.left, at.bottom - at.top, 1, ink.width);
        priceEngine_->SetSourceResolution(kScreenDpi);
        std::unique_ptr<char[]> raw(priceEngine_->GetUTF8Text());
        if (raw) text = raw.get();
        std::unique_ptr<tesseract::ResultIterator> it(priceEngine_->GetIterator());
        if (it && !it->Empty(tesseract::RIL_SYMBOL)) {
            do {
                std::unique_ptr<char[]> symbol(it->GetUTF8Text(tesseract::RIL_SYMBOL));
                EngineSymbol s;
                // Anything but one digit cannot match the text's digit and so refuses the figure.
                if (symbol && symbol[0] != 0 && symbol[1] == 0) s.digit = symbol[0];
                s.confidence = it->Confidence(tesseract::RIL_SYMBOL);
                int l = 0, t = 0, r = 0, b = 0;
                if (it->BoundingBox(tesseract::RIL_SYMBOL, &l, &t, &r, &b))
                    s.box = platform::Rect{at.left + l, at.top + t, at.left + r, at.top + b};
                symbols.push_back(s);
            } while (it->Next(tesseract::RIL_SYMBOL));
        }
    } catch (...) {
        return Refused("the text-recognition engine failed");
    }
    FigureReading r = Checked(ink, std::move(text), symbols);
    if (r.price) r.lesson = std::make_shared<const GlyphLesson>(GlyphLesson{ink, std::move(symbols)});
    return r;
}

FigureReading PriceReader::Checked(const FigureInk& ink, std::string text, const std::vector<EngineSymbol>& symbols) {
    const std::optional<std::string> digits = PriceDigits(text);
    if (!digits) return Refused("not one line of five or six digits", std::move(text));
    if (std::optional<std::string> why = DigitBoxRefusal(ink, *digits, symbols))
        return Refused(std::move(*why), std::move(text));
    FigureReading r;
    r.price = std::stoi(*digits);
    r.text = std::move(text);
    return r;
}

std::optional<PixelBuffer> GrabPriceFigure(platform::Desktop& desktop, platform::Screen& screen,
                                           const PageGeometry& g) {
    const platform::WindowId view = FindPageView(desktop);
    if (view == 0) return std::nullopt;
    const std::optional<platform::Rect> viewRect = desktop.WindowRect(view);
    if (!viewRect) return std::nullopt;
    const platform::Rect r = PriceRect(g);
    return GrabPixels(screen, *viewRect, r.left, r.top, g.C_P2_LEFTPRICE_W, g.C_P2_LEFTPRICE_H);
}

std::optional<std::string> PriceDigits(const std::string& engineText) {
    std::string line;
    bool lineDone = false;
    for (char c : engineText) {
        if (c == ' ') continue;
        if (c == '\n' || c == '\r') {
            lineDone = !line.empty();
            continue;
        }
        if (lineDone) return std::nullopt;  // a second line of text
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        line.push_back(c);
    }
    if (line.size() < kMinPriceDigits || line.size() > kMaxPriceDigits) return std::nullopt;
    // A price figure never starts with 0: "00500" is the tail of a figure whose first digit is
    // out of the region, and "00000" a page with no price yet.
    if (line.front() == '0') return std::nullopt;
    return line;
}

std::optional<int> ParseScreenPrice(const std::string& engineText) {
    const std::optional<std::string> digits = PriceDigits(engineText);
    if (!digits) return std::nullopt;
    return std::stoi(*digits);
}

bool IsAcceptableScreenPrice(int price) { return price >= 0 && price <= 119999 && price % 100 == 0; }

}  // namespace kestrava::perception
