// A replay scenario: the settings of an installation and what the page, the sync server and the
// bidder do over the last minutes of an auction, as a small line-based text (docs/replay.md).
// Parsing never throws; a malformed line gives its number and a message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::runtime {

// Milliseconds since midnight of the replayed day (2026-12-10, local time).
using DayMs = std::int64_t;

// One value for one settings file of the installation.
struct SettingValue {
    std::string file;     // path relative to the installation folder, e.g. ".//bin//conf.ini"
    std::string section;  // the file's section
    std::string key;
    std::string value;
};

enum class EventKind {
    PageReport,    // 0x46e: a = price, b = time code
    ServerReport,  // 0x46f: a = price, b = time code
    Jam,           // 0x49c: a = count
    Key,           // the bidder's key: key names it
    PageLogin,     // 0x465
    StartSimulation,  // 0x49d
    Box,           // a console box: a = control id, b = 1 ticked / 0 cleared
    Post,          // any message to the console: a = message, b = wParam, c = lParam
    Price,         // from now on the page shows lowest price a (used by the feed)
    ScreenPrice,   // from now on the page's price figure on the screen reads a; b = 1: a misread
                   // (the page's own price is not a)
    LogFolder,     // from now on the Log folder can be written (a = 1) or not (a = 0)
    Shell,         // the page shell's process is killed (a = 0) or started again by hand (a = 1)
    ClockStep,     // a network-time correction sets the PC clock to time of day a (ms); the
                   // page, the feed and the scenario's times keep the true time
    PageClosesDialog,   // the page closes its verification-code dialog by itself
    ShellFailsConfirm,  // from now on the shell's scheduled clicks find no confirm button
};

// The highest price a `screen` line can put on the page: the replay's fake page draws its price
// figure as one colour, whose three bytes carry the figure.
inline constexpr std::int64_t kMaxScreenPrice = 0xFFFFFF;

enum class Key { Enter, CtrlEnter, Escape, F3 };

struct ScenarioEvent {
    DayMs at = 0;
    EventKind kind = EventKind::Post;
    std::int64_t a = 0;
    std::int64_t b = 0;
    std::int64_t c = 0;
    Key key = Key::Enter;  // Key: b = how long it is held (ms), 0 for a tap
    int line = 0;  // where the scenario said it
};

// The page's regular reports: every `periodMs` from `from` to `to` (inclusive), the current
// price with the page time code of that moment. A report reaches the console `delayMs` after its
// moment; with `burstMs` the reports are held back and handed over together at every burstMs
// from `from` (then delayed). The time codes run `clockOffsetMs` from the true time (unset: the
// scenario's page clock).
struct Feed {
    DayMs from = 0;
    DayMs to = 0;
    int periodMs = 100;
    int delayMs = 0;
    int burstMs = 0;
    std::optional<int> clockOffsetMs;
    int line = 0;
};

struct Scenario {
    std::string name;  // the file's name, for the printout
    DayMs start = 11 * 3600000LL + 29 * 60000LL;  // console start
    std::optional<DayMs> stop;                     // default: two seconds after the auction end
    std::string bidNumber = "12345678";
    std::vector<SettingValue> settings;  // in file order; a later value of a key wins
    std::vector<ScenarioEvent> startBoxes;  // boxes set right after the console's start-up
    std::vector<ScenarioEvent> events;      // in time order (stable for equal times)
    std::vector<Feed> feeds;
    int pageClockOffsetMs = 0;  // `page clock ±MS`: how far the page's time codes run from the true time
};

struct ParseError {
    int line = 0;  // 1-based; 0 for the file as a whole
    std::string message;
};

struct ParseResult {
    std::optional<Scenario> scenario;
    std::optional<ParseError> error;
};

ParseResult ParseScenario(std::string_view text, std::string name = {});
// Reads and parses a file; a file that cannot be read is an error of line 0.
ParseResult LoadScenario(const std::string& path);

// "HH:MM:SS" or "HH:MM:SS.f…" (up to three digits of fraction) as ms since midnight.
std::optional<DayMs> ParseClock(std::string_view text);
// "HH:MM:SS.mmm".
std::string FormatClock(DayMs ms);

}  // namespace kestrava::runtime
