// The file calls of platform/files.h on POSIX systems.
#ifndef _WIN32

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace kestrava::platform {
namespace {

// Writes all of `data` to `fd`, resuming after short writes and signals. False on any error.
bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& content, std::size_t maxBytes, FileKeeps* keeps) {
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return ReadResult::Failed;
    }
    if (keeps) *keeps = {static_cast<std::uint32_t>(st.st_mode & 07777), st.st_uid, st.st_gid};
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) break;
        content.append(buf, static_cast<std::size_t>(n));
        if (content.size() > maxBytes) {
            ::close(fd);
            return ReadResult::Failed;
        }
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, FileAccess access, const FileKeeps* old) {
    const std::filesystem::path target(path);
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    static std::atomic<unsigned> serial{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = (dir / ("." + target.filename().string() + ".tmp." + std::to_string(::getpid()) + "." +
                      std::to_string(serial.fetch_add(1))))
                  .string();
        // 0666 lets the umask decide for a new file, as an ordinary create would.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    access == FileAccess::OwnerOnly ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = true;
    if (access == FileAccess::OwnerOnly) {
        ok = ::fchmod(fd, 0600) == 0;
    } else if (old) {
        ok = ::fchmod(fd, old->mode) == 0;
    }
    if (ok && old && (old->owner != ::geteuid() || old->group != ::getegid())) {
        // Best effort: keeps a user's file theirs when written by a privileged process.
        [[maybe_unused]] const int ignored = ::fchown(fd, old->owner, old->group);
    }
    ok = ok && WriteAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncFolder(dir.string());  // makes the rename itself durable
    return true;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const bool written = WriteAll(fd, bytes) && ::fdatasync(fd) == 0;
    if (!written) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd, st.st_size);
        ::close(fd);
        return false;
    }
    return ::close(fd) == 0;
}

bool RenameOver(const std::string& from, const std::string& to, std::error_code* why) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (why) *why = std::error_code(errno, std::generic_category());
    return false;
}

bool CopyOver(const std::string& from, const std::string& to, std::error_code* why) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec && why) *why = ec;
    return !ec;
}

bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return (::close(fd) == 0) && ok;
}

void SyncFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    struct stat st {};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> MakePrivateTempFolder(std::string_view prefix, TempPlace place) {
    std::string pattern;
    if (place == TempPlace::Memory) {
        pattern = "/dev/shm/";
    } else {
        std::error_code ec;
        const std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
        pattern = (ec ? std::filesystem::path("/tmp") : tmp).string() + "/";
    }
    pattern.append(prefix).append("XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;
    return pattern;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

std::optional<std::tm> UtcTime(std::time_t t) {
    std::tm out{};
    if (::gmtime_r(&t, &out) == nullptr) return std::nullopt;
    return out;
}

}  // namespace kestrava::platform

#endif  // !_WIN32
