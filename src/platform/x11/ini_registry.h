// The few registry values the program keeps, in a small INI file (bin/registry.ini by default).
// "AppliedDPI" falls back to the desktop's Xft.dpi when the file does not hold it.
#pragma once

#include "platform/platform.h"

#include <mutex>
#include <string>

namespace kestrava::platform::x11 {

class IniRegistry final : public Registry {
public:
    // `displayName` null means $DISPLAY (used only for the Xft.dpi fallback).
    explicit IniRegistry(std::string path = "bin/registry.ini", const char* displayName = nullptr);

    std::optional<std::uint32_t> ReadDword(std::string_view name) override;
    bool WriteDword(std::string_view name, std::uint32_t value) override;
    std::optional<std::string> ReadString(std::string_view name) override;

    // Xft.dpi of the display's resource database, rounded; nothing when unset or unreachable.
    static std::optional<std::uint32_t> DesktopDpi(const char* displayName = nullptr);
    // The dpi from the text of a resource database ("Xft.dpi:\t96\n…").
    static std::optional<std::uint32_t> ParseXftDpi(std::string_view resources);

private:
    std::mutex mutex_;  // read-modify-write of the file by one thread at a time
    std::string path_;
    std::string displayName_;
};

}  // namespace kestrava::platform::x11
