// INI files with private-profile semantics: sections and keys matched without regard to case,
// integers from the leading digits (optional sign), a missing file, section or key gives the
// caller's default, strings cut to the caller's buffer size minus one. Writes create the file
// and the section when missing, keep every other line, and replace the file atomically.
//
// Details that follow the classic Windows functions:
// - values are trimmed of surrounding blanks, and one pair of matching quotes around the whole
//   value ('...' or "...") is dropped;
// - an integer key present with an empty value reads as the default (as with no key), a value
//   with no leading digit reads as 0; out-of-range numbers clamp to INT_MIN / INT_MAX;
// - the first occurrence of a section (and of a key inside it) is the one read and written;
// - lines before the first section, comments and lines without '=' are never matched and are
//   kept as they are by writes;
// - a write never creates the folder: a missing folder makes it fail.
// Text is taken byte for byte (UTF-8 inside the program); a cut never splits a UTF-8 character.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace kestrava::config {

// Who may read a file that a write creates or replaces (Keep, OwnerOnly: see platform/files.h).
using FileAccess = platform::FileAccess;

int ReadProfileInt(std::string_view section, std::string_view key, int defaultValue, const std::string& path);

std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize, const std::string& path);

// False when the file cannot be written, or when `value` holds a line break (it would add lines
// to the file). Also false for a section or key that could not be read back (empty, a line
// break, ']' in a section, '=' in a key, surrounding blanks). Writes to one path from several
// threads of the process are serialised, so none loses another's key.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path, FileAccess access = FileAccess::Keep);

bool WriteProfileInt(std::string_view section, std::string_view key, int value, const std::string& path,
                     FileAccess access = FileAccess::Keep);

// Adds to `path` every key of `defaultsPath` that a read of `path` does not find, in the order of
// the defaults (a missing section is added with them); keys `path` has keep their values,
// whatever the defaults say. A missing `path` is created. One atomic replacement, and none when
// nothing is missing. The number of keys added, or nothing when a file cannot be read or written
// (`path` then stays as it was).
std::optional<int> MergeProfileDefaults(const std::string& defaultsPath, const std::string& path,
                                        FileAccess access = FileAccess::Keep);

// The leading whole bytes of `text` that fit in `maxBytes`, never ending inside a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace kestrava::config
