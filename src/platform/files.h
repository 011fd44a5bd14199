// The file calls of the core that differ between POSIX and Windows, behind one set of functions,
// so that the settings, the log, the strategies and page learning write the same bytes in the
// same all-or-nothing way on both systems. files_posix.cpp and files_windows.cpp implement them;
// the build compiles the one of the system it targets.
//
// Paths are UTF-8 strings here as everywhere in the program; the Windows side turns them into
// UTF-16 at the system call (a path that is not valid UTF-8 fails there, it is never guessed
// at). Every file is opened in binary mode: what the caller hands over is what lands on the
// disk, line ends included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace kestrava::platform {

// A path from the program's UTF-8 text, and back. A plain std::string given to std::filesystem
// is read in the system's ANSI code page on Windows, which garbles every Chinese file name.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Who may read a file that a replacement creates or replaces. Windows has no permission bits
// worth keeping: there a file inherits the access of its folder (the person's own profile).
enum class FileAccess {
    Keep,       // POSIX: an existing file keeps its permission bits; a new one gets 0666 minus the umask
    OwnerOnly,  // POSIX: 0600 whether new or existing (secrets: passwords, card numbers)
};

// What a read learned of a file that a later replacement must keep (POSIX: mode and owner).
struct FileKeeps {
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

enum class ReadResult { Ok, Missing, Failed };

// The whole content of the regular file `path`. Failed for a folder, an unreadable file or one
// larger than `maxBytes`; Missing when there is no such file. `keeps`, when given, receives what
// a replacement of this file keeps.
ReadResult ReadWholeFile(const std::string& path, std::string& content, std::size_t maxBytes,
                         FileKeeps* keeps = nullptr);

// Writes `content` to a new file beside `path`, makes it durable, and puts it in place of `path`
// in one step, so a reader, or a crash, sees the old file or the new one and never half of one.
// `old` is what ReadWholeFile learned of the file being replaced (none when it is new). Never
// creates the folder. False, with `path` untouched and nothing left beside it, on any failure.
bool ReplaceFileContent(const std::string& path, std::string_view content, FileAccess access,
                        const FileKeeps* old);

// Appends `bytes` to the regular file `path` (created when missing, 0644 on POSIX) and makes
// them durable. All or nothing: a write that fails half way is cut back off.
bool AppendToFile(const std::string& path, std::string_view bytes);

// Puts `from` in place of `to` in one step, replacing `to` when it exists. (Windows: durable when
// it returns; POSIX: SyncFolder makes it so.) On failure `why`, when given, gets the system's reason.
bool RenameOver(const std::string& from, const std::string& to, std::error_code* why = nullptr);

// Copies the regular file `from` to `to`, replacing `to` when it exists. False when `from` is
// missing or `to` cannot be written; `why`, when given, gets the system's reason.
bool CopyOver(const std::string& from, const std::string& to, std::error_code* why = nullptr);

// Makes what was written to the file `path` durable. (POSIX fsync; Windows FlushFileBuffers,
// which needs a handle opened for writing.)
bool SyncFile(const std::string& path);

// Makes the names in the folder `path` durable (a rename into it, a new file). Windows has no
// such call (its renames are made durable by the rename itself): there it does nothing.
void SyncFolder(const std::string& path);

// Makes the folder `path` (one level). True when it was made or is there already as a folder.
bool MakeFolder(const std::string& path);

// Where a private temporary folder goes.
enum class TempPlace {
    Disk,    // the system's temporary folder (TMPDIR or /tmp; Windows GetTempPath)
    Memory,  // POSIX: /dev/shm only (none when it is missing); Windows: as Disk
};

// A new folder that only this user can enter (0700 on POSIX), named `prefix` and a unique
// ending. Nothing when none can be made. The caller removes it.
std::optional<std::string> MakePrivateTempFolder(std::string_view prefix, TempPlace place = TempPlace::Disk);

// Sets the environment variable `name` of this process (and of the programs it starts).
bool SetEnvironmentValue(const std::string& name, const std::string& value);

// The broken-down UTC time of `t` (seconds since 1970). Nothing for a time the system cannot
// convert.
std::optional<std::tm> UtcTime(std::time_t t);

}  // namespace kestrava::platform
