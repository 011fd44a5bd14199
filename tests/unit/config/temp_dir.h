// A fresh directory per test, removed afterwards, with small file helpers.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/files.h"

namespace kestrava::testing {

class TempDir {
public:
    TempDir() {
        if (const std::optional<std::string> dir = platform::MakePrivateTempFolder("kestrava-"))
            path_ = platform::PathFromUtf8(*dir);
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // UTF-8, as the program's paths are.
    std::string operator/(const std::string& name) const {
        return platform::Utf8FromPath(path_ / platform::PathFromUtf8(name));
    }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(platform::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kestrava::testing
