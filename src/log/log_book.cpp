#include "log/log_book.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "config/file_io.h"
#include "log/gbk.h"

namespace kestrava::log {
namespace {

// Appends `bytes` to `path`, creating it when missing. All or nothing: a write that fails half
// way is cut back off, so that the retry of a later flush does not repeat its lines.
bool AppendAll(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // The log is what is left of a run after a crash or a power cut: make it durable.
    const bool written = config::WriteAll(fd, bytes) && ::fdatasync(fd) == 0;
    if (!written) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd, st.st_size);
        ::close(fd);
        return false;
    }
    return ::close(fd) == 0;
}

}  // namespace

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
        // One level only; when it cannot be made the open below fails and says so.
        ::mkdir(logDirectory_.c_str(), 0755);
        ok = AppendAll(path, Utf8ToGbk(pending));
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
