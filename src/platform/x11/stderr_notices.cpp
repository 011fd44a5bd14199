#include "platform/x11/stderr_notices.h"

#include <cstdio>
#include <string>

namespace kestrava::platform::x11 {

void StderrNotices::Show(std::string_view text, std::string_view caption) {
    std::string line;
    if (!caption.empty()) line.append(caption).append(": ");
    line.append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);  // one write, so lines of threads do not mix
    std::fflush(stderr);
}

}  // namespace kestrava::platform::x11
