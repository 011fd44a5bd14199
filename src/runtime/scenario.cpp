#include "runtime/scenario.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "perception/page_geometry.h"
#include "strategy/policy_files.h"
#include "strategy/strategy_values.h"

namespace kestrava::runtime {

namespace {

constexpr DayMs kDayMs = 24LL * 3600 * 1000;

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '#') ++j;
        out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// Decimal, or hexadecimal with 0x; an optional minus sign.
std::optional<std::int64_t> Integer(std::string_view w) {
    bool negative = false;
    if (!w.empty() && w.front() == '-') {
        negative = true;
        w.remove_prefix(1);
    }
    int base = 10;
    if (w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X')) {
        base = 16;
        w.remove_prefix(2);
    }
    if (w.empty()) return std::nullopt;
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v, base);
    if (ec != std::errc() || end != w.data() + w.size()) return std::nullopt;
    return negative ? -v : v;
}

// A clock offset: "+300", "-300" or "300" ms, within a minute either way.
std::optional<int> OffsetMs(std::string_view w) {
    if (!w.empty() && w.front() == '+') w.remove_prefix(1);
    if (!w.empty() && w.front() == '+') return std::nullopt;
    const auto v = Integer(w);
    if (!v || *v < -60000 || *v > 60000) return std::nullopt;
    return static_cast<int>(*v);
}

bool PlainKey(std::string_view k) {
    return !k.empty() && std::all_of(k.begin(), k.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
    });
}

bool StrategyKeyKnown(std::string_view k) {
    for (const auto& key : strategy::kStrategyKeys)
        if (key.name == k) return true;
    return false;
}

bool GeometryKeyKnown(std::string_view k) {
    for (const auto& key : perception::GeometryKeys())
        if (key.name == k) return true;
    return false;
}

class Parser {
public:
    explicit Parser(std::string name) { s_.name = std::move(name); }

    std::optional<ParseError> Line(int number, std::string_view text) {
        line_ = number;
        // A scenario is text: a NUL or another control character would end up in a settings
        // value that no settings file can hold, and the value would be lost without a word.
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t' && c != '\r') || u == 0x7f)
                return ParseError{number, "control character " + std::to_string(u) + " in the line"};
        }
        const std::vector<std::string_view> w = Words(text);
        if (w.empty()) return std::nullopt;
        std::string error = Statement(w);
        if (error.empty()) return std::nullopt;
        return ParseError{number, std::move(error)};
    }

    std::optional<ParseError> Finish() {
        if (s_.stop && *s_.stop <= s_.start) return ParseError{stopLine_, "the stop time must lie after the start time"};
        std::stable_sort(s_.events.begin(), s_.events.end(),
                         [](const ScenarioEvent& a, const ScenarioEvent& b) { return a.at < b.at; });
        return std::nullopt;
    }

    Scenario Take() { return std::move(s_); }

private:
    std::string Statement(const std::vector<std::string_view>& w) {
        const std::string_view verb = w[0];
        if (verb == "start" || verb == "stop") {
            if (w.size() != 2) return std::string(verb) + " takes one time (HH:MM:SS[.mmm])";
            const auto t = ParseClock(w[1]);
            if (!t) return "not a time of day: \"" + std::string(w[1]) + "\" (HH:MM:SS[.mmm])";
            if (verb == "start") {
                if (!s_.events.empty() || !s_.feeds.empty()) return "start must come before the timed lines";
                s_.start = *t;
            } else {
                s_.stop = *t;
                stopLine_ = line_;
            }
            return {};
        }
        if (verb == "bid") {
            if (w.size() != 2 || w[1].size() != 8 || !Integer(w[1])) return "bid takes an eight-digit bid number";
            s_.bidNumber = std::string(w[1]);
            return {};
        }
        if (verb == "set") return Set(w);
        if (verb == "slot") {
            const auto n = w.size() == 2 ? Integer(w[1]) : std::nullopt;
            if (!n || *n < 1 || *n > strategy::kSlots) return "slot takes a strategy slot 1 … 20";
            s_.settings.push_back({".//bin//userconf.ini", "Configure", "SelPolicy", std::to_string(*n - 1)});
            return {};
        }
        if (verb == "box") {
            ScenarioEvent e;
            if (std::string err = Box(w, 1, e); !err.empty()) return err;
            e.at = s_.start;
            s_.startBoxes.push_back(e);
            return {};
        }
        if (verb == "feed") return FeedLine(w);
        if (verb == "page") {
            const auto offset = w.size() == 3 && w[1] == "clock" ? OffsetMs(w[2]) : std::nullopt;
            if (!offset) return "page takes clock and an offset in ms (+MS or -MS, up to 60000)";
            s_.pageClockOffsetMs = *offset;
            return {};
        }
        if (verb == "at") return At(w);
        return "unknown statement \"" + std::string(verb) +
               "\" (expected start, stop, bid, set, slot, box, feed, page or at)";
    }

    std::string Set(const std::vector<std::string_view>& w) {
        if (w.size() < 2) return "set takes a file, a key and a value";
        const std::string_view file = w[1];
        std::size_t k = 2;
        SettingValue v;
        if (file == "conf") {
            v = {".//bin//conf.ini", "Configure", "", ""};
        } else if (file == "userconf") {
            v = {".//bin//userconf.ini", "Configure", "", ""};
        } else if (file == "strategy") {
            v = {".//bin//strategy.ini", std::string(strategy::kStrategySection), "", ""};
        } else if (file == "geometry") {
            v = {".//bin//coordinatebaseline.ini", perception::kGeometrySection, "", ""};
        } else if (file == "policy") {
            const auto n = w.size() > 2 ? Integer(w[2]) : std::nullopt;
            if (!n || *n < 1 || *n > strategy::kSlots) return "set policy takes a slot 1 … 20, a key and a value";
            v = {strategy::PolicyFilePath(static_cast<int>(*n)), std::string(strategy::kStrategySection), "", ""};
            k = 3;
        } else {
            return "unknown settings file \"" + std::string(file) +
                   "\" (expected conf, userconf, strategy, geometry or policy)";
        }
        if (w.size() != k + 2) return "set " + std::string(file) + " takes a key and one value";
        const std::string_view key = w[k];
        if (!PlainKey(key)) return "not a settings key: \"" + std::string(key) + "\"";
        if ((file == "policy" || file == "strategy") && !StrategyKeyKnown(key))
            return "unknown strategy key \"" + std::string(key) + "\"";
        if (file == "geometry" && !GeometryKeyKnown(key)) return "unknown geometry key \"" + std::string(key) + "\"";
        if ((file == "policy" || file == "geometry") && !Integer(w[k + 1]))
            return "the value of " + std::string(key) + " must be a whole number";
        v.key = std::string(key);
        v.value = std::string(w[k + 1]);
        s_.settings.push_back(std::move(v));
        return {};
    }

    std::string Box(const std::vector<std::string_view>& w, std::size_t i, ScenarioEvent& e) {
        const auto id = w.size() == i + 2 ? Integer(w[i]) : std::nullopt;
        if (!id || *id <= 0 || *id > 65535 || (w[i + 1] != "on" && w[i + 1] != "off"))
            return "box takes a control id and on or off";
        e.kind = EventKind::Box;
        e.a = *id;
        e.b = w[i + 1] == "on" ? 1 : 0;
        e.line = line_;
        return {};
    }

    std::optional<DayMs> TimeNotBeforeStart(std::string_view word, std::string& error) {
        const auto t = ParseClock(word);
        if (!t) {
            error = "not a time of day: \"" + std::string(word) + "\" (HH:MM:SS[.mmm])";
            return std::nullopt;
        }
        if (*t < s_.start) {
            error = std::string(word) + " lies before the console starts (" + FormatClock(s_.start) + ")";
            return std::nullopt;
        }
        return t;
    }

    std::string FeedLine(const std::vector<std::string_view>& w) {
        if (w.size() < 3 || w.size() % 2 == 0)
            return "feed takes a start time, an end time and optionally: every <ms>, delay <ms>, burst <ms>, clock <±ms>";
        std::string error;
        Feed f;
        f.line = line_;
        const auto from = TimeNotBeforeStart(w[1], error);
        if (!from) return error;
        const auto to = TimeNotBeforeStart(w[2], error);
        if (!to) return error;
        if (*to < *from) return "the feed ends before it starts";
        f.from = *from;
        f.to = *to;
        for (std::size_t i = 3; i + 1 < w.size(); i += 2) {
            const std::string_view option = w[i];
            if (option == "clock") {
                f.clockOffsetMs = OffsetMs(w[i + 1]);
                if (!f.clockOffsetMs) return "feed clock: clock <±ms>, up to 60000 either way";
                continue;
            }
            const auto ms = Integer(w[i + 1]);
            if (option == "every") {
                if (!ms || *ms < 1 || *ms > 60000) return "feed period: every <ms>, 1 … 60000";
                f.periodMs = static_cast<int>(*ms);
            } else if (option == "delay") {
                if (!ms || *ms < 0 || *ms > 60000) return "feed delay: delay <ms>, 0 … 60000";
                f.delayMs = static_cast<int>(*ms);
            } else if (option == "burst") {
                if (!ms || *ms < 1 || *ms > 60000) return "feed burst: burst <ms>, 1 … 60000";
                f.burstMs = static_cast<int>(*ms);
            } else {
                return "unknown feed option \"" + std::string(option) + "\" (expected every, delay, burst or clock)";
            }
        }
        s_.feeds.push_back(f);
        return {};
    }

    std::string At(const std::vector<std::string_view>& w) {
        if (w.size() < 3) return "at takes a time and an event";
        std::string error;
        const auto t = TimeNotBeforeStart(w[1], error);
        if (!t) return error;
        ScenarioEvent e;
        e.at = *t;
        e.line = line_;
        const std::string_view what = w[2];
        const std::size_t n = w.size() - 3;  // arguments after the event's name
        auto arg = [&](std::size_t i) { return Integer(w[3 + i]); };
        if (what == "page" && n == 2 && w[3] == "closes" && w[4] == "dialog") {
            e.kind = EventKind::PageClosesDialog;
        } else if (what == "page" || what == "server") {
            const auto price = n == 2 ? arg(0) : std::nullopt;
            const auto code = n == 2 ? arg(1) : std::nullopt;
            if (!price || !code || *price < 0 || *price > 0xFFFFFFFFLL || *code < INT32_MIN || *code > INT32_MAX)
                return what == "page" ? "page takes a price and a page time code (HHMMSS or HHMMSSffff), or: closes dialog"
                                      : "server takes a price and a page time code (HHMMSSffff)";
            e.kind = what == "page" ? EventKind::PageReport : EventKind::ServerReport;
            e.a = *price;
            e.b = *code;
        } else if (what == "price") {
            const auto price = n == 1 ? arg(0) : std::nullopt;
            if (!price || *price < 0 || *price > 0xFFFFFFFFLL) return "price takes the lowest price the page shows";
            e.kind = EventKind::Price;
            e.a = *price;
        } else if (what == "screen") {
            const bool misread = n == 2 && w[4] == "misread";
            const auto price = n == 1 || misread ? arg(0) : std::nullopt;
            if (!price || *price < 0 || *price > kMaxScreenPrice)
                return "screen takes the price the page's figure shows, 0 … " + std::to_string(kMaxScreenPrice) +
                       ", and optionally: misread";
            e.kind = EventKind::ScreenPrice;
            e.a = *price;
            e.b = misread ? 1 : 0;
        } else if (what == "jam") {
            const auto count = n == 1 ? arg(0) : std::nullopt;
            if (!count || *count < 0 || *count > 0xFFFFFFFFLL) return "jam takes the server's count";
            e.kind = EventKind::Jam;
            e.a = *count;
        } else if (what == "key") {
            if (n == 3 && w[3] == "enter" && w[4] == "held") {
                // Held down: the keyboard repeats it while it is down.
                const auto ms = arg(2);
                if (!ms || *ms < 1 || *ms > 60000) return "key enter held takes how long it is held, 1 … 60000 ms";
                e.b = *ms;
            } else if (n != 1) {
                return "key takes one of enter, ctrl+enter, escape, f3 (or: enter held <ms>)";
            }
            e.kind = EventKind::Key;
            const std::string_view k = w[3];
            if (k == "enter") {
                e.key = Key::Enter;
            } else if (k == "ctrl+enter") {
                e.key = Key::CtrlEnter;
            } else if (k == "escape") {
                e.key = Key::Escape;
            } else if (k == "f3") {
                e.key = Key::F3;
            } else {
                return "unknown key \"" + std::string(k) + "\" (expected enter, ctrl+enter, escape or f3)";
            }
        } else if (what == "log") {
            if (n != 1 || (w[3] != "writable" && w[3] != "unwritable")) return "log takes writable or unwritable";
            e.kind = EventKind::LogFolder;
            e.a = w[3] == "writable" ? 1 : 0;
        } else if (what == "shell") {
            if (n == 2 && w[3] == "fails" && w[4] == "confirm") {
                e.kind = EventKind::ShellFailsConfirm;
            } else {
                if (n != 1 || (w[3] != "killed" && w[3] != "started"))
                    return "shell takes killed or started, or: fails confirm";
                e.kind = EventKind::Shell;
                e.a = w[3] == "started" ? 1 : 0;
            }
        } else if (what == "clock") {
            const auto to = n == 1 ? ParseClock(w[3]) : std::nullopt;
            if (!to) return "clock takes the time of day the PC clock is set to (HH:MM:SS[.mmm])";
            e.kind = EventKind::ClockStep;
            e.a = *to;
        } else if (what == "login" || what == "simstart") {
            if (n != 0) return std::string(what) + " takes no arguments";
            e.kind = what == "login" ? EventKind::PageLogin : EventKind::StartSimulation;
        } else if (what == "box") {
            if (std::string err = Box(w, 3, e); !err.empty()) return err;
            e.at = *t;
        } else if (what == "post") {
            if (n < 1 || n > 3) return "post takes a message number and optionally wParam and lParam";
            const auto m = arg(0);
            const auto wp = n > 1 ? arg(1) : std::optional<std::int64_t>(0);
            const auto lp = n > 2 ? arg(2) : std::optional<std::int64_t>(0);
            if (!m || !wp || !lp || *m < 0 || *m > 0xFFFFFFFFLL || *wp < 0 || *wp > 0xFFFFFFFFLL || *lp < INT32_MIN ||
                *lp > INT32_MAX)
                return "post takes whole numbers: message, wParam (unsigned 32 bits), lParam (signed 32 bits)";
            e.kind = EventKind::Post;
            e.a = *m;
            e.b = *wp;
            e.c = *lp;
        } else {
            return "unknown event \"" + std::string(what) +
                   "\" (expected page, server, price, screen, jam, key, log, shell, clock, login, simstart, box or post)";
        }
        s_.events.push_back(e);
        return {};
    }

    Scenario s_;
    int line_ = 0;
    int stopLine_ = 0;
};

}  // namespace

std::optional<DayMs> ParseClock(std::string_view text) {
    // HH:MM:SS with an optional fraction of one to three digits.
    auto two = [&](std::size_t at) -> std::optional<int> {
        if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9')
            return std::nullopt;
        return (text[at] - '0') * 10 + (text[at + 1] - '0');
    };
    if (text.size() < 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto h = two(0), m = two(3), s = two(6);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    int ms = 0;
    if (text.size() > 8) {
        if (text[8] != '.' || text.size() == 9 || text.size() > 12) return std::nullopt;
        int scale = 100;
        for (std::size_t i = 9; i < text.size(); ++i, scale /= 10) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            ms += (text[i] - '0') * scale;
        }
    }
    return ((*h * 60LL + *m) * 60 + *s) * 1000 + ms;
}

std::string FormatClock(DayMs ms) {
    ms = ((ms % kDayMs) + kDayMs) % kDayMs;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return text;
}

ParseResult ParseScenario(std::string_view text, std::string name) {
    Parser parser(std::move(name));
    int number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        ++number;
        if (auto error = parser.Line(number, line)) return ParseResult{std::nullopt, std::move(error)};
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    if (auto error = parser.Finish()) return ParseResult{std::nullopt, std::move(error)};
    return ParseResult{parser.Take(), std::nullopt};
}

ParseResult LoadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ParseResult{std::nullopt, ParseError{0, "cannot read " + path}};
    std::ostringstream text;
    text << in.rdbuf();
    std::string name = path;
    if (const std::size_t slash = name.find_last_of('/'); slash != std::string::npos) name = name.substr(slash + 1);
    return ParseScenario(text.str(), std::move(name));
}

}  // namespace kestrava::runtime
