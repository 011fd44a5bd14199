#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "log/log_book.h"

namespace kestrava::log {
namespace {

std::atomic<bool> consoleOn{false};

std::mutex& OutputMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

void SetDebugConsole(bool on) {
    consoleOn.store(on);
}

bool DebugConsoleOn() {
    return consoleOn.load();
}

void DebugPrint(std::string_view text) {
    if (!consoleOn.load()) return;
    std::lock_guard<std::mutex> lock(OutputMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void DebugPrintf(const char* format, ...) {
    if (!consoleOn.load()) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        va_end(again);
        DebugPrint(std::string_view(small, static_cast<std::size_t>(n)));
        return;
    }
    std::string large(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, again);
    va_end(again);
    large.resize(static_cast<std::size_t>(n));
    DebugPrint(large);
}

}  // namespace kestrava::log
