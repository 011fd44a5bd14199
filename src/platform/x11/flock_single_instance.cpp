#include "platform/x11/flock_single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace kestrava::platform::x11 {

FlockSingleInstance::~FlockSingleInstance() {
    for (auto& [name, fd] : held_) close(fd);
}

std::string FlockSingleInstance::LockPath(std::string_view name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    std::string path = dir && *dir ? dir : "/tmp";
    path += "/kestrava-";
    // The name is the user's or the program's; keep it to one plain file name.
    for (unsigned char c : name) path.push_back(c == '/' || c < 0x20 ? '_' : static_cast<char>(c));
    path += ".lock";
    return path;
}

bool FlockSingleInstance::TryAcquire(std::string_view name) {
    std::lock_guard lock(mutex_);
    if (held_.find(name) != held_.end()) return true;
    const int fd = open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    held_.emplace(std::string(name), fd);
    return true;
}

}  // namespace kestrava::platform::x11
