// kestrava-read-price: reads a picture of the lowest-price figure the way the console's screen
// path reads it (the same engine, the same figure checks and the same price gate) and says what
// the console would make of it.
//
//   kestrava-read-price FIGURE [--last P] [--warning W] [--feed P]
//
// FIGURE is a .png or .bmp of the price region. --last is the screen price the console last
// believed, --warning the strategy's warning price, --feed the price of a fresh page feed. The
// first line printed is the price, or "none: <reason>"; a second line shows the engine's text,
// and a third, when the feed's price contradicts the warning price, that the console ignores it.
// Run in the build folder, the price engine's language is the OCRfont of bin/conf.ini.
//
// Exit status: 0 when a price was printed, 1 when not, 2 for a wrong command line.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "perception/image_files.h"
#include "perception/omp_env.h"
#include "perception/price_gate.h"
#include "perception/price_reader.h"

namespace {

using namespace kestrava;

int Usage(const char* program) {
    std::fprintf(stderr, "usage: %s FIGURE [--last P] [--warning W] [--feed P]\n", program);
    return 2;
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// The engine's text on one line, its line breaks shown as \n.
std::string Shown(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    perception::EnsureOmpThreadLimit(argc, argv);
    const char* program = argc > 0 ? argv[0] : "kestrava-read-price";
    std::optional<std::string> figurePath;
    std::optional<int> last, warning, feed;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::optional<int>* option = arg == "--last" ? &last : arg == "--warning" ? &warning : arg == "--feed" ? &feed : nullptr;
        if (option) {
            if (i + 1 == argc || *option) return Usage(program);
            *option = Number(argv[++i]);
            if (!*option) return Usage(program);
        } else if (arg.empty() || arg.front() == '-' || figurePath) {
            return Usage(program);
        } else {
            figurePath = std::string(arg);
        }
    }
    if (!figurePath) return Usage(program);

    const std::optional<platform::Image> picture = perception::LoadBitmapFile(*figurePath);
    if (!picture) {
        std::printf("none: cannot read %s as a picture\n", figurePath->c_str());
        return 1;
    }
    perception::PixelBuffer figure;
    figure.width = picture->width;
    figure.height = picture->height;
    figure.bytes = picture->bgra;

    perception::PriceReader reader;
    const perception::TextEngineStatus status = reader.Init(config::Read(config::conf::OCRfont));
    if (!status.ok) {
        std::printf("none: %s\n", status.error.c_str());
        return 1;
    }

    perception::PriceGate gate;
    perception::GateContext context;
    if (last) gate.Believe(*last, context.tickMs);
    context.warningPrice = warning.value_or(0);
    context.freshFeedPrice = feed;
    context.feedPrice = feed.value_or(0);  // as the console has it: a fresh feed is the day's feed too
    const perception::FigureReading reading = reader.ReadFigure(figure);
    const perception::GateDecision d = gate.Judge(reading, context);
    if (d.price)
        std::printf("%d\n", *d.price);
    else
        std::printf("none: %s\n", d.refusal.c_str());
    std::printf("engine text: \"%s\" (figure %d x %d)\n", Shown(reading.text).c_str(), figure.width, figure.height);
    if (!d.warningIgnored.empty()) std::printf("%s\n", d.warningIgnored.c_str());
    return d.price ? 0 : 1;
}
