#include "config/profile.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace kestrava::config {
namespace {

// Settings files are a few hundred bytes; anything far larger is not one of ours.
constexpr std::size_t kMaxFileBytes = 16u << 20;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// One physical line of the file as found: its text without the line end, and the line end.
struct Line {
    std::string_view text;
    std::string_view eol;
};

// A line ends at LF, CR LF, or a CR alone (as old Mac editors wrote, and as the classic
// functions read it): a bare CR inside a value would otherwise reach the program as part of a
// host name or a number's text.
std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const std::size_t end = content.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            lines.push_back({content, {}});
            break;
        }
        const std::size_t eolSize = content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({content.substr(0, end), content.substr(end, eolSize)});
        content.remove_prefix(end + eolSize);
    }
    return lines;
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

Parsed ParseLine(std::string_view text, bool first) {
    if (first && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    text = Trim(text);
    if (text.empty() || text.front() == ';') return {};
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return {};
        return {Kind::Section, Trim(text.substr(1, close - 1)), {}};
    }
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) return {};
    const std::string_view name = Trim(text.substr(0, eq));
    if (name.empty()) return {};
    return {Kind::Key, name, Trim(text.substr(eq + 1))};
}

// Where a section and a key sit among the lines: indices into the line vector.
struct Location {
    std::optional<std::size_t> section;  // the header line of the first matching section
    std::optional<std::size_t> key;      // the first matching key line inside it
    std::size_t lastContent = 0;         // the last non-blank line of that section
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key,
              std::string_view* value = nullptr) {
    Location at;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = ParseLine(lines[i].text, i == 0);
        if (!at.section) {
            if (p.kind == Kind::Section && SameName(p.name, section)) {
                at.section = i;
                at.lastContent = i;
            }
            continue;
        }
        if (p.kind == Kind::Section) break;  // the end of our section
        if (!Trim(lines[i].text).empty()) at.lastContent = i;
        if (p.kind == Kind::Key && !at.key && SameName(p.name, key)) {
            at.key = i;
            if (value) *value = p.value;
        }
    }
    return at;
}

using platform::ReadResult;

ReadResult LoadFile(const std::string& path, std::string& content, platform::FileKeeps* keeps = nullptr) {
    return platform::ReadWholeFile(path, content, kMaxFileBytes, keeps);
}

// The value of section/key with private-profile trimming, or nothing when the file, section or
// key is missing.
std::optional<std::string> Lookup(std::string_view section, std::string_view key, const std::string& path) {
    std::string content;
    if (LoadFile(path, content) != ReadResult::Ok) return std::nullopt;
    const std::vector<Line> lines = SplitLines(content);
    std::string_view value;
    if (!Find(lines, section, key, &value).key) return std::nullopt;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool ValidName(std::string_view name) {
    return !name.empty() && Trim(name) == name && !HasLineBreak(name) && name.find('\0') == std::string_view::npos;
}

// One mutex per file for the read-modify-write of a write; the map only grows (a program
// touches a few dozen settings files at most).
std::mutex& PathMutex(const std::string& path) {
    static std::mutex mapMutex;
    static std::map<std::string, std::unique_ptr<std::mutex>> byPath;
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(platform::PathFromUtf8(path), ec);
    const std::string keyText = ec ? path : platform::Utf8FromPath(abs.lexically_normal());
    std::lock_guard<std::mutex> lock(mapMutex);
    auto& slot = byPath[keyText];
    if (!slot) slot = std::make_unique<std::mutex>();
    return *slot;
}

// The file a write should replace: the target of a symbolic link, so that the link survives.
std::string ResolveTarget(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path given = platform::PathFromUtf8(path);
    if (std::filesystem::is_symlink(given, ec)) {
        std::filesystem::path target = std::filesystem::canonical(given, ec);
        if (!ec) return platform::Utf8FromPath(target);
    }
    return path;
}

// A section and key that a read finds again, and a value that stays on its line.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
    return ValidName(section) && section.find(']') == std::string_view::npos && ValidName(key) &&
           key.find('=') == std::string_view::npos && key.front() != '[' && key.front() != ';' &&
           !HasLineBreak(value) && value.find('\0') == std::string_view::npos;
}

// `content` with section/key set to `value`: the key's line replaced in place, or the key added at
// the end of its section, or the section added at the end of the file.
std::string WithKey(std::string_view content, std::string_view section, std::string_view key, std::string_view value) {
    const std::vector<Line> lines = SplitLines(content);
    // New lines take the file's own line end, so a CRLF file stays CRLF.
    std::string_view eol = "\n";
    if (!lines.empty() && !lines.front().eol.empty()) eol = lines.front().eol;
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    const Location at = Find(lines, section, key);
    std::string out;
    out.reserve(content.size() + keyLine.size() + section.size() + 8);
    if (at.section) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (at.key && i == *at.key) {
                // Keep the key's spelling and indentation as the file has it.
                const std::string_view text = lines[i].text;
                const std::size_t eq = text.find('=');
                std::string_view head = text.substr(0, eq);
                while (!head.empty() && IsBlank(head.back())) head.remove_suffix(1);
                out.append(head);
                out.append("=");
                out.append(value);
                out.append(lines[i].eol);
                continue;
            }
            out.append(lines[i].text).append(lines[i].eol);
            if (!at.key && i == at.lastContent) {
                // A new key goes after the section's last line, before any blank lines that
                // separate it from the next section.
                if (lines[i].eol.empty()) out.append(eol);
                out.append(keyLine).append(eol);
            }
        }
    } else {
        out = content;
        if (!out.empty() && out.back() != '\n') out.append(eol);
        if (!lines.empty() && !Trim(lines.back().text).empty()) out.append(eol);  // a blank line between sections
        out.append("[").append(section).append("]").append(eol);
        out.append(keyLine).append(eol);
    }
    return out;
}

bool Write(std::string_view section, std::string_view key, std::string_view value, const std::string& path,
           FileAccess access) {
    if (!Writable(section, key, value)) return false;
    const std::string target = ResolveTarget(path);
    std::lock_guard<std::mutex> lock(PathMutex(target));

    std::string content;
    platform::FileKeeps keeps;
    const ReadResult loaded = LoadFile(target, content, &keeps);
    if (loaded == ReadResult::Failed) return false;

    return platform::ReplaceFileContent(target, WithKey(content, section, key, value), access,
                                        loaded == ReadResult::Ok ? &keeps : nullptr);
}

// The keys a read of `content` sees, in file order: the first block of each section, the first
// line of each key in it; values as written (trimmed, quotes kept).
struct Entry {
    std::string_view section, key, value;
};
std::vector<Entry> ReadableEntries(const std::vector<Line>& lines) {
    std::vector<Entry> entries;
    std::vector<std::string_view> seenSections;
    std::string_view section;
    bool reading = false;  // inside the first block of `section`
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = ParseLine(lines[i].text, i == 0);
        if (p.kind == Kind::Section) {
            reading = true;
            for (std::string_view seen : seenSections) reading = reading && !SameName(seen, p.name);
            if (reading) seenSections.push_back(p.name);
            section = p.name;
        } else if (p.kind == Kind::Key && reading) {
            bool first = true;
            for (const Entry& e : entries) first = first && !(SameName(e.section, section) && SameName(e.key, p.name));
            if (first) entries.push_back({section, p.name, p.value});
        }
    }
    return entries;
}

int ParseLeadingInt(std::string_view s) {
    s = Trim(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::int64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > static_cast<std::int64_t>(INT_MAX) + 1) {
            n = static_cast<std::int64_t>(INT_MAX) + 1;  // clamp; keeps growing digits from overflowing
        }
    }
    if (negative) return static_cast<int>(-n < INT_MIN ? INT_MIN : -n);
    return static_cast<int>(n > INT_MAX ? INT_MAX : n);
}

}  // namespace

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t n = maxBytes;
    // Step back over at most three continuation bytes to the start of the character that would
    // be split; bytes that are not UTF-8 at all are cut where they fall.
    for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++back) --n;
    if ((static_cast<unsigned char>(text[n]) & 0xC0) != 0xC0) n = maxBytes;  // no lead byte found
    return text.substr(0, n);
}

int ReadProfileInt(std::string_view section, std::string_view key, int defaultValue, const std::string& path) {
    try {
        const std::optional<std::string> value = Lookup(section, key, path);
        if (!value || value->empty()) return defaultValue;
        return ParseLeadingInt(*value);
    } catch (...) {
        return defaultValue;
    }
}

std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize, const std::string& path) {
    try {
        if (bufferSize == 0) return {};
        const std::optional<std::string> value = Lookup(section, key, path);
        const std::string_view text = value ? std::string_view(*value) : Trim(defaultValue);
        return std::string(CutUtf8(text, bufferSize - 1));
    } catch (...) {
        return {};
    }
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path, FileAccess access) {
    try {
        return Write(section, key, value, path, access);
    } catch (...) {
        return false;
    }
}

bool WriteProfileInt(std::string_view section, std::string_view key, int value, const std::string& path,
                     FileAccess access) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return WriteProfileString(section, key, text, path, access);
}

std::optional<int> MergeProfileDefaults(const std::string& defaultsPath, const std::string& path, FileAccess access) {
    try {
        std::string defaults;
        if (LoadFile(defaultsPath, defaults) != ReadResult::Ok) return std::nullopt;
        const std::string target = ResolveTarget(path);
        std::lock_guard<std::mutex> lock(PathMutex(target));
        std::string content;
        platform::FileKeeps keeps;
        const ReadResult loaded = LoadFile(target, content, &keeps);
        if (loaded == ReadResult::Failed) return std::nullopt;

        int added = 0;
        for (const Entry& e : ReadableEntries(SplitLines(defaults))) {
            if (!Writable(e.section, e.key, e.value)) continue;
            if (Find(SplitLines(content), e.section, e.key).key) continue;  // the person's value stays
            content = WithKey(content, e.section, e.key, e.value);
            ++added;
        }
        if (added == 0 && loaded == ReadResult::Ok) return 0;
        if (!platform::ReplaceFileContent(target, content, access, loaded == ReadResult::Ok ? &keeps : nullptr))
            return std::nullopt;
        return added;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace kestrava::config
