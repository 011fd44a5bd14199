// The run's log: time-stamped lines kept in memory and appended to the day's file on demand.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace kestrava::log {

class LogBook {
public:
    // `logDirectory` is the folder of the day's files, e.g. "./Log".
    LogBook(platform::Clock& clock, std::string logDirectory);

    // Appends "[电脑%2d:%2d:%2d.%03d - 国拍11:%2d:%2d] " + message to the buffer (UTF-8 inside).
    bool WriteLogLine(int pageMinute, int pageSecond, std::string_view message);

    // Appends the buffer, converted to GBK, to <dir>/<bidNumber>_<YYYY-MM-DD>.log and empties it.
    // On failure the lines stay in the buffer for the next flush.
    bool FlushLog(std::string_view bidNumber);

    // The path of the day's file for `bidNumber` (the date of now).
    std::string DayFilePath(std::string_view bidNumber);

    // A copy of the lines not yet flushed (UTF-8), for tests and the replay tool.
    std::string Pending() const;
};

// The debug console: diagnostic prints reach the terminal only when switched on (debg 99).
void SetDebugConsole(bool on);
bool DebugConsoleOn();
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrava::log
