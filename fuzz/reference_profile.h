// A second reader of the settings-file format for the fuzz targets, written apart from the
// program's reader so that a target compares what the program imported with what a person reading
// the text finds there, not with another call of the same reader. The format: lines end at LF,
// CR LF or a lone CR; a UTF-8 mark may open the file; blanks (space, tab, CR, VT, FF) around a line,
// a name or a value do not count; ';' opens a comment line; "[name]" opens a section, which the
// next header ends; names compare without ASCII case; the first matching section and the first
// matching key in it win; a value quoted with matching " or ' loses the quotes. A number is the
// value's leading optionally signed digits, held at the ends of int; an empty or missing value is
// the caller's default.
#pragma once

#include <climits>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::fuzz {

namespace reference {
inline bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

inline std::string Stripped(std::string_view s) {
    std::size_t from = 0, to = s.size();
    while (from < to && Blank(s[from])) ++from;
    while (to > from && Blank(s[to - 1])) --to;
    return std::string(s.substr(from, to - from));
}

inline std::string Folded(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return out;
}
}  // namespace reference

// The text of `key` in `section`, or nothing when the section or the key is not there.
inline std::optional<std::string> ReferenceValue(std::string_view text, std::string_view section,
                                                 std::string_view key) {
    using namespace reference;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::string wantedSection = Folded(section);
    const std::string wantedKey = Folded(key);
    bool inside = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        const std::string line = Stripped(text.substr(at, end - at));
        at = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);

        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string::npos) continue;  // not a header: an ordinary line
            if (inside) return std::nullopt;          // the section ended without the key
            inside = Folded(Stripped(std::string_view(line).substr(1, close - 1))) == wantedSection;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inside || eq == std::string::npos) continue;
        const std::string name = Stripped(std::string_view(line).substr(0, eq));
        if (name.empty() || Folded(name) != wantedKey) continue;
        std::string value = Stripped(std::string_view(line).substr(eq + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

inline int ReferenceInt(std::string_view text, std::string_view section, std::string_view key, int missing) {
    const std::optional<std::string> value = ReferenceValue(text, section, key);
    if (!value || value->empty()) return missing;
    const std::string v = reference::Stripped(*value);
    std::size_t i = 0;
    const bool negative = i < v.size() && v[i] == '-';
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) ++i;
    while (i < v.size() && v[i] == '0') ++i;  // leading zeros add no digit
    long long magnitude = 0;
    int digits = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i, ++digits)
        if (digits < 11) magnitude = magnitude * 10 + (v[i] - '0');
    if (digits > 10) magnitude = 1LL << 40;  // beyond any int either way
    const long long signedValue = negative ? -magnitude : magnitude;
    return signedValue > INT_MAX ? INT_MAX : signedValue < INT_MIN ? INT_MIN : static_cast<int>(signedValue);
}

}  // namespace kestrava::fuzz
