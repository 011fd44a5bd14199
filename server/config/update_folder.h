// The update repository: "Updater.ini" files and the files each of them names, from one folder.
//
// A request path maps onto the folder one segment at a time ("/kestrava/Updater.ini" is
// <folder>/kestrava/Updater.ini). Only plain names are accepted (letters, digits, '.', '_', '-',
// not starting with a dot), so no request leaves the folder or reaches a hidden file; a file is
// served only when it is an "Updater.ini" or is named, by its path relative to it, in the
// [FILES] section (keys file0, file1, ...) of an "Updater.ini" in its own folder or one above.
// Anything else placed in the folder stays private.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrava::config_server {

inline constexpr char kUpdaterIni[] = "Updater.ini";
// How many "fileN" keys of [FILES] are looked at.
inline constexpr int kMaxNamedFiles = 200;

struct UpdateLookup {
    int status = 200;      // 200, or 400 (a path that is not a plain path), 404 (not served)
    std::filesystem::path file;  // when 200
};

// True for a request path of plain segments: "/a/b.ini", never "", "/", "/a//b", "/../x",
// "/.hidden", "/a/", "/a\\b".
bool IsPlainRequestPath(std::string_view path);

UpdateLookup FindUpdateFile(const std::filesystem::path& folder, std::string_view requestPath);

}  // namespace kestrava::config_server
