// Starting a child process that is reaped when it ends, so no zombie is left behind.
#pragma once

#include <string>
#include <vector>

namespace kestrava::platform::x11 {

// Starts `program` with `args` in the working directory; a program name without a slash is
// looked up in PATH. The child inherits stdin/stdout/stderr unless `quiet`, which sends its
// output to /dev/null. True when the program was started.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args, bool quiet = false);

}  // namespace kestrava::platform::x11
