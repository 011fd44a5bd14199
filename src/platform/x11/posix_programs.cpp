#include "platform/x11/posix_programs.h"

#include "platform/x11/child_process.h"

#include <sys/stat.h>

namespace kestrava::platform::x11 {

bool PosixPrograms::Start(const std::string& path, const std::vector<std::string>& args) {
    return SpawnDetached(path, args);
}

bool PosixPrograms::Open(const std::string& documentOrUrl) {
    if (documentOrUrl.empty()) return false;
    return SpawnDetached("xdg-open", {documentOrUrl});
}

bool PosixPrograms::FileExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace kestrava::platform::x11
