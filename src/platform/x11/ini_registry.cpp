#include "platform/x11/ini_registry.h"

#include "config/profile.h"
#include "platform/x11/x11_connection.h"

#include <charconv>
#include <cmath>

namespace kestrava::platform::x11 {
namespace {

constexpr std::string_view kSection = "Registry";
// A value can never hold a line break (the writer refuses them), so this default means "absent".
constexpr std::string_view kAbsent = "\n";
constexpr std::size_t kMaxValue = 1024;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

IniRegistry::IniRegistry(std::string path, const char* displayName)
    : path_(std::move(path)), displayName_(displayName ? displayName : "") {}

std::optional<std::string> IniRegistry::ReadString(std::string_view name) {
    std::lock_guard lock(mutex_);
    std::string v = config::ReadProfileString(kSection, name, kAbsent, kMaxValue, path_);
    if (v == kAbsent) return std::nullopt;
    return v;
}

std::optional<std::uint32_t> IniRegistry::ReadDword(std::string_view name) {
    std::optional<std::string> text = ReadString(name);
    if (text) {
        std::string_view s = Trim(*text);
        std::uint32_t value = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec == std::errc() && end == s.data() + s.size() && !s.empty()) return value;
        return std::nullopt;  // a damaged value counts as absent rather than as some number
    }
    if (name == "AppliedDPI") return DesktopDpi(displayName_.empty() ? nullptr : displayName_.c_str());
    return std::nullopt;
}

bool IniRegistry::WriteDword(std::string_view name, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    return config::WriteProfileString(kSection, name, std::to_string(value), path_);
}

std::optional<std::uint32_t> IniRegistry::ParseXftDpi(std::string_view resources) {
    while (!resources.empty()) {
        const std::size_t eol = resources.find('\n');
        std::string_view line = resources.substr(0, eol);
        resources = eol == std::string_view::npos ? std::string_view() : resources.substr(eol + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || Trim(line.substr(0, colon)) != "Xft.dpi") continue;
        const std::string_view value = Trim(line.substr(colon + 1));
        double dpi = 0;  // from_chars: no locale may turn the decimal point into a comma
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), dpi);
        if (ec != std::errc() || !std::isfinite(dpi) || dpi <= 0 || dpi > 10000) return std::nullopt;
        return static_cast<std::uint32_t>(std::lround(dpi));
    }
    return std::nullopt;
}

std::optional<std::uint32_t> IniRegistry::DesktopDpi(const char* displayName) {
    Display* d = OpenDisplay(displayName);
    if (!d) return std::nullopt;
    std::optional<std::uint32_t> dpi;
    if (const char* resources = XResourceManagerString(d)) dpi = ParseXftDpi(resources);
    XCloseDisplay(d);
    return dpi;
}

}  // namespace kestrava::platform::x11
