#include "log/log_book.h"

#include <cstdio>
#include <utility>

#include "log/gbk.h"
#include "platform/files.h"

namespace kestrava::log {

std::string LogFileName(std::string_view bidNumber, const platform::LocalTime& day) {
    std::string name(bidNumber);
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    char date[48];
    std::snprintf(date, sizeof date, "_%d-%02d-%02d.log", day.year, day.month, day.day);
    return name + date;
}

std::string LogStamp(const platform::LocalTime& pc, int pageMinute, int pageSecond) {
    char stamp[160];
    const int n = std::snprintf(stamp, sizeof stamp, "[电脑%2d:%2d:%2d.%03d - 国拍%2d:%2d:%2d] ", pc.hour, pc.minute,
                                pc.second, pc.millisecond, 11, pageMinute, pageSecond);
    return n > 0 ? std::string(stamp, static_cast<std::size_t>(n)) : std::string();
}

LogBook::LogBook(platform::Clock& clock, std::string logDirectory)
    : clock_(clock), logDirectory_(std::move(logDirectory)) {}

bool LogBook::WriteLogLine(int pageMinute, int pageSecond, std::string_view message) {
    try {
        std::string line = LogStamp(clock_.Now(), pageMinute, pageSecond);
        if (line.empty()) return false;
        line.append(message);
        line.append("\r\n");
        std::lock_guard<std::mutex> lock(bufferMutex_);
        buffer_.append(line);
        return true;
    } catch (...) {
        return false;
    }
}

bool LogBook::FlushLog(std::string_view bidNumber) {
    std::lock_guard<std::mutex> flushLock(flushMutex_);
    std::string pending;
    {
        std::lock_guard<std::mutex> lock(bufferMutex_);
        pending.swap(buffer_);
    }
    bool ok = false;
    try {
        const std::string path = DayFilePath(bidNumber);
        // One level only; when it cannot be made the append below fails and says so.
        platform::MakeFolder(logDirectory_);
        // The log is what is left of a run after a crash or a power cut: durable, and all or
        // nothing, so that the retry of a later flush does not repeat its lines.
        ok = platform::AppendToFile(path, Utf8ToGbk(pending));
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        // Back in front of the lines written while this flush ran.
        std::lock_guard<std::mutex> lock(bufferMutex_);
        pending.append(buffer_);
        buffer_.swap(pending);
    }
    return ok;
}

std::string LogBook::DayFilePath(std::string_view bidNumber) {
    return logDirectory_ + "/" + LogFileName(bidNumber, clock_.Now());
}

std::string LogBook::Pending() const {
    std::lock_guard<std::mutex> lock(bufferMutex_);
    return buffer_;
}

}  // namespace kestrava::log
