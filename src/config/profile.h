// INI files with private-profile semantics: sections and keys matched without regard to case,
// integers from the leading digits (optional sign), a missing file, section or key gives the
// caller's default, strings cut to the caller's buffer size minus one. Writes create the file
// and the section when missing, keep every other line, and replace the file atomically.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava::config {

int ReadProfileInt(std::string_view section, std::string_view key, int defaultValue, const std::string& path);

std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize, const std::string& path);

// False when the file cannot be written, or when `value` holds a line break (it would add lines
// to the file).
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path);

bool WriteProfileInt(std::string_view section, std::string_view key, int value, const std::string& path);

}  // namespace kestrava::config
