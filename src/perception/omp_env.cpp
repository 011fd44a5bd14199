#include "perception/omp_env.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/files.h"

namespace kestrava::perception {

bool EnsureOmpThreadLimit(int argc, char** argv) {
    if (std::getenv("OMP_THREAD_LIMIT") != nullptr) return true;
    if (!platform::SetEnvironmentValue("OMP_THREAD_LIMIT", "1")) return false;
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    // /proc/self/exe names this very program even when it was started through a relative path
    // from another directory or through PATH.
    execv("/proc/self/exe", args.data());
    std::fprintf(stderr, "could not restart with OMP_THREAD_LIMIT=1; text recognition will be slow\n");
    return false;
}

}  // namespace kestrava::perception
