// The run's log: time-stamped lines kept in memory and appended to the day's file on demand.
//
// Writing a line costs one formatting step and one append under a short lock; only FlushLog
// touches the disk. Lines from any number of threads reach the buffer whole, and a flush running
// meanwhile neither loses nor repeats any of them.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace kestrava::log {

// "<bidNumber>_<YYYY-MM-DD>.log" for the date of `day`. A '/' in the bid number becomes '_', so
// the name always stays inside the log folder.
std::string LogFileName(std::string_view bidNumber, const platform::LocalTime& day);

// The stamp of a line written at PC time `pc` while the page clock stands at pageMinute:pageSecond:
// "[电脑%2d:%2d:%2d.%03d - 国拍%2d:%2d:%2d] " (the auction hour is always 11).
std::string LogStamp(const platform::LocalTime& pc, int pageMinute, int pageSecond);

class LogBook {
public:
    // `logDirectory` is the folder of the day's files, e.g. "./Log".
    LogBook(platform::Clock& clock, std::string logDirectory);

    LogBook(const LogBook&) = delete;
    LogBook& operator=(const LogBook&) = delete;

    // Appends "[电脑%2d:%2d:%2d.%03d - 国拍11:%2d:%2d] " + message + CR LF to the buffer (UTF-8
    // inside). False only when the line could not be built; then nothing is appended.
    bool WriteLogLine(int pageMinute, int pageSecond, std::string_view message);

    // Appends the buffer, converted to GBK, to <dir>/<bidNumber>_<YYYY-MM-DD>.log and empties it.
    // Creates the folder (one level) and the file when missing, even for an empty buffer.
    // On failure the lines stay in the buffer, ahead of any written meanwhile, for the next flush.
    bool FlushLog(std::string_view bidNumber);

    // The path of the day's file for `bidNumber` (the date of now).
    std::string DayFilePath(std::string_view bidNumber);

    // A copy of the lines not yet flushed (UTF-8), for tests and the replay tool.
    std::string Pending() const;

private:
    platform::Clock& clock_;
    const std::string logDirectory_;
    mutable std::mutex bufferMutex_;  // guards buffer_; held only for appends and swaps
    std::string buffer_;
    std::mutex flushMutex_;  // one flush at a time, so the file gets the lines in order
};

// The debug console: diagnostic prints reach the terminal only when switched on (debg 99).
// Each print is written and flushed whole; prints from several threads never interleave.
void SetDebugConsole(bool on);
bool DebugConsoleOn();
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for text already formatted (stream-style output).
void DebugPrint(std::string_view text);

}  // namespace kestrava::log
