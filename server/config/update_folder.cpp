#include "update_folder.h"

#include <algorithm>
#include <vector>

#include "config/profile.h"

namespace kestrava::config_server {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxSegments = 16;
constexpr std::size_t kMaxSegmentLength = 128;

bool IsPlainSegment(std::string_view s) {
    if (s.empty() || s.size() > kMaxSegmentLength || s.front() == '.') return false;
    for (char c : s) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                        c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::vector<std::string> Segments(std::string_view path) {
    std::vector<std::string> out;
    path.remove_prefix(1);
    while (true) {
        const std::size_t slash = path.find('/');
        out.emplace_back(path.substr(0, slash));
        if (slash == std::string_view::npos) return out;
        path.remove_prefix(slash + 1);
    }
}

// True when `named` (a [FILES] value) is exactly the relative path `relative`.
bool Names(const fs::path& updaterIni, const std::string& relative) {
    for (int i = 0; i < kMaxNamedFiles; ++i) {
        const std::string value =
            config::ReadProfileString("FILES", "file" + std::to_string(i), "", 1024, updaterIni.string());
        if (value == relative) return true;
    }
    return false;
}

// Inside `root` after every link is followed: a link in the folder must not lead out of it.
bool Inside(const fs::path& root, const fs::path& file) {
    std::error_code ec;
    const fs::path r = fs::canonical(root, ec);
    if (ec) return false;
    const fs::path f = fs::canonical(file, ec);
    if (ec) return false;
    auto [rootEnd, _] = std::mismatch(r.begin(), r.end(), f.begin(), f.end());
    return rootEnd == r.end();
}

}  // namespace

bool IsPlainRequestPath(std::string_view path) {
    if (path.size() < 2 || path.front() != '/') return false;
    const std::vector<std::string> segments = Segments(path);
    if (segments.size() > kMaxSegments) return false;
    for (const std::string& s : segments) {
        if (!IsPlainSegment(s)) return false;
    }
    return true;
}

UpdateLookup FindUpdateFile(const fs::path& folder, std::string_view requestPath) {
    if (!IsPlainRequestPath(requestPath)) return {400, {}};
    const std::vector<std::string> segments = Segments(requestPath);
    fs::path file = folder;
    for (const std::string& s : segments) file /= s;

    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || !Inside(folder, file)) return {404, {}};
    if (segments.back() == kUpdaterIni) return {200, file};

    // The folders from the file's own up to the repository's root, each with the path of the
    // file relative to it.
    std::string relative = segments.back();
    for (std::size_t depth = segments.size() - 1;; --depth) {
        fs::path dir = folder;
        for (std::size_t i = 0; i < depth; ++i) dir /= segments[i];
        const fs::path ini = dir / kUpdaterIni;
        if (fs::is_regular_file(ini, ec) && Inside(folder, ini) && Names(ini, relative)) return {200, file};
        if (depth == 0) break;
        relative = segments[depth - 1] + "/" + relative;
    }
    return {404, {}};
}

}  // namespace kestrava::config_server
