#include "perception/price_reader.h"

#include <tesseract/baseapi.h>

#include <cctype>
#include <limits>
#include <utility>

namespace kestrava::perception {

namespace {

constexpr char kDigits[] = "0123456789";
constexpr char kDefaultLanguage[] = "eng";
// A five-digit price is the shortest reading worth taking; three and four digits are partial
// reads of a figure being redrawn.
constexpr std::size_t kMinPriceChars = 5;

// Initialises one engine; the library may throw on allocation failure, which is reported here.
bool StartEngine(tesseract::TessBaseAPI& engine, const char* dataPath, const char* language) {
    try {
        if (engine.Init(dataPath, language, tesseract::OEM_DEFAULT) != 0) return false;
        return engine.SetVariable("tessedit_char_whitelist", kDigits);
    } catch (...) {
        return false;
    }
}

}  // namespace

PriceReader::PriceReader() = default;

PriceReader::PriceReader(TextRecognizer recognizer) : recognizer_(std::move(recognizer)) {}

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

std::string PriceReader::RecognizeText(const PixelBuffer& buffer) {
    std::lock_guard lock(mutex_);
    if (!initResult_ || !initResult_->ok) return {};
    if (buffer.width <= 0 || buffer.height <= 0 || buffer.bitsPerPixel != 32 ||
        buffer.bytes.size() < static_cast<std::size_t>(buffer.width) * buffer.height * 4)
        return {};
    if (recognizer_) return recognizer_(buffer);
    try {
        priceEngine_->SetImage(buffer.bytes.data(), buffer.width, buffer.height, 4, buffer.width * 4);
        std::unique_ptr<char[]> text(priceEngine_->GetUTF8Text());
        return text ? std::string(text.get()) : std::string();
    } catch (...) {
        return {};
    }
}

std::optional<int> PriceReader::ReadPrice(const PixelBuffer& buffer) { return ParseScreenPrice(RecognizeText(buffer)); }

std::optional<PixelBuffer> GrabPriceFigure(platform::Desktop& desktop, platform::Screen& screen,
                                           const PageGeometry& g) {
    const platform::WindowId view = FindPageView(desktop);
    if (view == 0) return std::nullopt;
    const std::optional<platform::Rect> viewRect = desktop.WindowRect(view);
    if (!viewRect) return std::nullopt;
    const platform::Rect r = PriceRect(g);
    return GrabPixels(screen, *viewRect, r.left, r.top, g.C_P2_LEFTPRICE_W, g.C_P2_LEFTPRICE_H);
}

std::optional<int> ParseScreenPrice(const std::string& engineText) {
    std::string text;
    text.reserve(engineText.size());
    for (char c : engineText)
        if (c != ' ') text.push_back(c);
    // Engines differ in how many line breaks end their text (one or two); they do not count.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.size() < kMinPriceChars) return std::nullopt;

    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        // Far beyond any price: keep it out of range instead of overflowing.
        if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    }
    return static_cast<int>(value);
}

bool IsAcceptableScreenPrice(int price) { return price >= 0 && price <= 119999 && price % 100 == 0; }

}  // namespace kestrava::perception
