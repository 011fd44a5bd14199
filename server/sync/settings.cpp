#include "settings.h"

#include <charconv>
#include <fstream>
#include <functional>
#include <map>
#include <string_view>

namespace kestrava::sync {

namespace {

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

template <typename T>
bool ToNumber(const std::string& text, T& out) {
    T v{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    out = v;
    return true;
}

bool IsBidNumber(std::string_view s) {
    if (s.size() != 8) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

using Setter = std::function<bool(ServerSettings&, const std::string&)>;

template <typename T>
Setter Number(T RuleSettings::*field, T min) {
    return [field, min](ServerSettings& s, const std::string& v) {
        T n{};
        if (!ToNumber(v, n) || n < min) return false;
        s.rules.*field = n;
        return true;
    };
}

const std::map<std::string, Setter, std::less<>>& Keys() {
    static const std::map<std::string, Setter, std::less<>> keys = {
        {"bind", [](ServerSettings& s, const std::string& v) { s.bind = v; return !v.empty(); }},
        {"port", [](ServerSettings& s, const std::string& v) { return ToNumber(v, s.port) && s.port >= 0 && s.port < 65536; }},
        {"redis", [](ServerSettings& s, const std::string& v) { return v.empty() ? (s.redisHost.clear(), true) : ParseHostPort(v, s.redisHost, s.redisPort); }},
        {"node", [](ServerSettings& s, const std::string& v) { s.node = v; return v.find(' ') == std::string::npos; }},
        {"room", [](ServerSettings& s, const std::string& v) { s.room = v; return !v.empty() && v.find(' ') == std::string::npos; }},
        {"allow_list", [](ServerSettings& s, const std::string& v) { s.allowListFile = v; return true; }},
        {"clock_skew_ms", Number(&RuleSettings::clockSkewMs, std::int64_t{0})},
        {"utc_offset_minutes", Number(&RuleSettings::utcOffsetMinutes, -14 * 60)},
        {"jam_quorum", Number(&RuleSettings::jamQuorum, 1)},
        {"jam_window_ms", Number(&RuleSettings::jamWindowMs, std::int64_t{1})},
        {"jump_limit", Number(&RuleSettings::jumpLimit, 0)},
        {"jump_quorum_ms", Number(&RuleSettings::jumpQuorumMs, std::int64_t{1})},
        {"rate_per_second", Number(&RuleSettings::ratePerSecond, 1)},
        {"drop_after_refusals", Number(&RuleSettings::dropAfterRefusals, 0)},
        {"frame_limit", Number(&RuleSettings::frameLimit, std::size_t{20})},
        {"backlog_limit", Number(&RuleSettings::backlogLimit, std::size_t{0})},
        {"connections_per_address", Number(&RuleSettings::connectionsPerAddress, 0)},
        {"max_connections", Number(&RuleSettings::maxConnections, 0)},
        {"room_forget_ms", Number(&RuleSettings::roomForgetMs, std::int64_t{1})},
        {"streak_quiet_ms", Number(&RuleSettings::streakQuietMs, std::int64_t{1})},
    };
    return keys;
}

}  // namespace

bool ParseHostPort(const std::string& text, std::string& host, int& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        host = text;
        port = 6379;
        return !host.empty();
    }
    int p = 0;
    if (!ToNumber(text.substr(colon + 1), p) || p <= 0 || p > 65535 || colon == 0) return false;
    host = text.substr(0, colon);
    port = p;
    return true;
}

// Calls `line` with each line's text (comments and blanks skipped) and its "path:N: " prefix;
// stops at the first false. False also when the file cannot be read.
bool ForEachLine(const std::string& path, std::string* error,
                 const std::function<bool(const std::string& text, const std::string& where)>& line) {
    std::ifstream in(path);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string text = Trim(raw.substr(0, raw.find('#')));
        if (!text.empty() && !line(text, path + ":" + std::to_string(number) + ": ")) return false;
    }
    return true;
}

bool LoadSettingsFile(const std::string& path, ServerSettings& settings, std::string* error) {
    return ForEachLine(path, error, [&](const std::string& text, const std::string& where) {
        const auto eq = text.find('=');
        if (eq == std::string::npos) {
            *error = where + "not a key = value line";
            return false;
        }
        const std::string key = Trim(std::string_view(text).substr(0, eq));
        const std::string value = Trim(std::string_view(text).substr(eq + 1));
        const auto it = Keys().find(key);
        if (it == Keys().end()) {
            *error = where + "unknown key " + key;
            return false;
        }
        if (!it->second(settings, value)) {
            *error = where + "bad value for " + key + ": " + value;
            return false;
        }
        return true;
    });
}

bool LoadAllowList(const std::string& path, std::set<std::string>& out, std::string* error) {
    std::set<std::string> ids;
    const bool ok = ForEachLine(path, error, [&](const std::string& text, const std::string& where) {
        if (!IsBidNumber(text)) {
            *error = where + "not an eight-digit bid number: " + text;
            return false;
        }
        ids.insert(text);
        return true;
    });
    if (ok) out = std::move(ids);
    return ok;
}

bool ParseCommandLine(int argc, const char* const* argv, ServerSettings& settings, std::string* error) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) == "--settings" && !LoadSettingsFile(argv[i + 1], settings, error)) return false;
    }
    static const std::map<std::string_view, std::string_view> options = {
        {"--port", "port"}, {"--bind", "bind"}, {"--redis", "redis"}, {"--node", "node"}, {"--settings", ""}};
    for (int i = 1; i < argc; ++i) {
        const auto it = options.find(argv[i]);
        if (it == options.end()) {
            *error = std::string("unknown option ") + argv[i];
            return false;
        }
        if (i + 1 >= argc) {
            *error = std::string(argv[i]) + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (!it->second.empty() && !Keys().find(it->second)->second(settings, value)) {
            *error = "bad value for " + std::string(it->first) + ": " + value;
            return false;
        }
    }
    if (!settings.allowListFile.empty() && !LoadAllowList(settings.allowListFile, settings.rules.allowList, error)) {
        return false;
    }
    return true;
}

}  // namespace kestrava::sync
