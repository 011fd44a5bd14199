// Named process-wide locks: flock on a file in $XDG_RUNTIME_DIR (or /tmp). The kernel drops the
// lock when the process ends, however it ends.
#pragma once

#include "platform/platform.h"

#include <map>
#include <mutex>
#include <string>

namespace kestrava::platform::x11 {

class FlockSingleInstance final : public SingleInstance {
public:
    FlockSingleInstance() = default;
    ~FlockSingleInstance() override;
    FlockSingleInstance(const FlockSingleInstance&) = delete;
    FlockSingleInstance& operator=(const FlockSingleInstance&) = delete;

    bool TryAcquire(std::string_view name) override;

    // The lock file used for `name`.
    static std::string LockPath(std::string_view name);

private:
    std::mutex mutex_;
    std::map<std::string, int, std::less<>> held_;  // name -> open descriptor
};

}  // namespace kestrava::platform::x11
