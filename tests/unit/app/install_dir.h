// Runs a test inside a fresh installation folder (bin/ and ScreenShot/ present), because the
// settings files are addressed relative to the working directory.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "unit/config/temp_dir.h"

namespace kestrava::testing {

class InstallDir {
public:
    InstallDir() : previous_(std::filesystem::current_path()) {
        std::filesystem::create_directories(dir_.Path() / "bin");
        std::filesystem::create_directories(dir_.Path() / "ScreenShot");
        std::filesystem::current_path(dir_.Path());
    }
    ~InstallDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }
    InstallDir(const InstallDir&) = delete;
    InstallDir& operator=(const InstallDir&) = delete;

private:
    std::filesystem::path previous_;
    TempDir dir_;
};

inline unsigned PermissionBits(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 0777;
}

}  // namespace kestrava::testing
