// The settings-file reader and writer on any file text: reads never fail, integers follow the
// leading digits and clamp, strings fit the buffer, and a write followed by a read gives back
// what was written while every other line of the file stays as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <string>

#include "config/profile.h"
#include "fuzz_support.h"

namespace {

using namespace kestrava;
using kestrava::fuzz::ReadFile;
using kestrava::fuzz::WriteFile;

// A name a write accepts: no blanks around it, no line break, no NUL, no ']' or '=' in it.
bool Writable(const std::string& name, bool section) {
    if (name.empty() || name.find_first_of("\r\n") != std::string::npos || name.find('\0') != std::string::npos)
        return false;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    if (blank(name.front()) || blank(name.back())) return false;
    if (section) return name.find(']') == std::string::npos;
    return name.find('=') == std::string::npos && name.front() != '[' && name.front() != ';';
}

// The lines of a text without their line ends, for comparing what a write kept.
std::size_t CountLines(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n + (!text.empty() && text.back() != '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ScratchInstallation();
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(24);
    const std::string key = in.ConsumeRandomLengthString(24);
    const std::string value = in.ConsumeRandomLengthString(64);
    const std::size_t buffer = in.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string file = in.ConsumeRemainingBytesAsString();
    const std::string path = "bin/fuzz.ini";
    WriteFile(path, file);

    const std::string text = config::ReadProfileString(section, key, "dflt", buffer, path);
    FUZZ_CHECK(buffer == 0 ? text.empty() : text.size() <= buffer - 1);
    FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos);
    const int number = config::ReadProfileInt(section, key, -7, path);
    // The integer is the leading digits of the same value the string read gives, when it fits.
    if (buffer > 64 && text != "dflt" && !text.empty()) {
        std::string_view s = text;
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\v' ||
                              s.front() == '\f'))
            s.remove_prefix(1);
        bool negative = false;
        if (!s.empty() && (s.front() == '+' || s.front() == '-')) negative = s.front() == '-', s.remove_prefix(1);
        long long expected = 0;
        for (char c : s) {
            if (c < '0' || c > '9') break;
            expected = expected * 10 + (c - '0');
            if (expected > static_cast<long long>(INT_MAX) + 1) expected = static_cast<long long>(INT_MAX) + 1;
        }
        if (negative) expected = -expected;
        expected = expected < INT_MIN ? INT_MIN : expected > INT_MAX ? INT_MAX : expected;
        FUZZ_CHECK(number == expected);
    }

    // A write of a value the reader can give back, then the read: the round trip.
    const bool cleanValue = value.find_first_of("\r\n") == std::string::npos && value.find('\0') == std::string::npos;
    const bool written = config::WriteProfileString(section, key, value, path);
    FUZZ_CHECK(written == (Writable(section, true) && Writable(key, false) && cleanValue));
    const std::string after = ReadFile(path);
    if (!written) {
        FUZZ_CHECK(after == file);  // a refused write leaves the file alone
        return 0;
    }
    // Surrounding blanks and one pair of quotes are the reader's to drop; a value without them
    // comes back byte for byte.
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    const bool plain = value.empty() || (!blank(value.front()) && !blank(value.back()) &&
                                         !(value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                                           value.back() == value.front()));
    if (plain) FUZZ_CHECK(config::ReadProfileString(section, key, "", value.size() + 1, path) == value);
    // One line replaced, or at most two (section header, key) and a separating blank line added.
    FUZZ_CHECK(CountLines(after) >= CountLines(file));
    FUZZ_CHECK(CountLines(after) <= CountLines(file) + 4);
    // A second write of the same value changes nothing.
    FUZZ_CHECK(config::WriteProfileString(section, key, value, path));
    FUZZ_CHECK(ReadFile(path) == after);
    return 0;
}
