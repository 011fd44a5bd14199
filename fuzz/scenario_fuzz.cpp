// The replay's scenario files: a text either parses or names a line of it and says why; a parsed
// scenario has its events in time order, none before the console's start, feeds with a sound
// period, settings that fit on one line of a settings file, and every time prints back as itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "runtime/scenario.h"

namespace {

bool OneLine(const std::string& s) { return s.find_first_of("\r\n") == std::string::npos && s.find('\0') == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava::runtime;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParseResult r = ParseScenario(text, "fuzz.scn");
    FUZZ_CHECK(r.scenario.has_value() != r.error.has_value());

    // Each clock-shaped word of the text prints back as itself.
    for (std::size_t at = 0; at + 8 <= text.size(); ++at) {
        const std::string_view word = text.substr(at, std::min<std::size_t>(12, text.size() - at));
        for (std::size_t n = 8; n <= word.size(); ++n) {
            const auto t = ParseClock(word.substr(0, n));
            if (!t) continue;
            FUZZ_CHECK(*t >= 0 && *t < 86400000);
            FUZZ_CHECK(ParseClock(FormatClock(*t)) == t);
        }
    }

    if (r.error) {
        std::size_t lines = 1;
        for (char c : text) lines += c == '\n';
        FUZZ_CHECK(r.error->line >= 1 && static_cast<std::size_t>(r.error->line) <= lines);
        FUZZ_CHECK(!r.error->message.empty());
        return 0;
    }
    const Scenario& s = *r.scenario;
    FUZZ_CHECK(s.start >= 0 && s.start < 86400000);
    if (s.stop) FUZZ_CHECK(*s.stop > s.start);
    FUZZ_CHECK(s.bidNumber.size() == 8);
    DayMs previous = s.start;
    for (const ScenarioEvent& e : s.events) {
        FUZZ_CHECK(e.at >= previous);
        previous = e.at;
        FUZZ_CHECK(e.line >= 1);
        if (e.kind == EventKind::ClockStep) FUZZ_CHECK(e.a >= 0 && e.a < 86400000);
        if (e.kind == EventKind::Shell || e.kind == EventKind::LogFolder) FUZZ_CHECK(e.a == 0 || e.a == 1);
        if (e.kind == EventKind::Key) FUZZ_CHECK(e.b >= 0 && e.b <= 60000);
    }
    FUZZ_CHECK(s.pageClockOffsetMs >= -60000 && s.pageClockOffsetMs <= 60000);
    for (const Feed& f : s.feeds) {
        FUZZ_CHECK(f.from >= s.start && f.to >= f.from && f.periodMs >= 1 && f.periodMs <= 60000);
        FUZZ_CHECK(f.delayMs >= 0 && f.delayMs <= 60000 && f.burstMs >= 0 && f.burstMs <= 60000);
        if (f.clockOffsetMs) FUZZ_CHECK(*f.clockOffsetMs >= -60000 && *f.clockOffsetMs <= 60000);
    }
    for (const SettingValue& v : s.settings) {
        FUZZ_CHECK(!v.file.empty() && !v.key.empty());
        FUZZ_CHECK(OneLine(v.key) && OneLine(v.value) && OneLine(v.section));
    }
    return 0;
}
