// The file calls of platform/files.h on Windows: wide-character Win32 calls on handles, which
// never translate line ends. Three POSIX habits fail there and are avoided on purpose: `rename`
// onto an existing file (MoveFileExW replaces it), flushing a handle opened only for reading
// (SyncFile opens for writing), and the C++ library's copy_file onto an existing file (CopyFileW).
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "platform/files.h"

namespace kestrava::platform {
namespace {

// The UTF-16 form of a UTF-8 path; nothing for bytes that are not UTF-8.
std::optional<std::wstring> Wide(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                        nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    if (out.find(L'\0') != std::wstring::npos) return std::nullopt;  // a NUL would cut the name short
    return out;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A handle closed at the end of its scope.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool Close() {
        if (!Valid()) return true;
        const bool ok = ::CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

// Readers let others rename over and delete the file while they hold it, as POSIX readers do;
// otherwise a settings write would fail whenever another thread happens to be reading.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsRegular(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WriteAll(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

// A scanner or an indexer holding the target open for a moment makes a replacement fail with a
// sharing error; it is over within milliseconds, so a few tries are worth it.
bool MoveReplacing(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = ::GetLastError();
        if (attempt >= 4 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) return false;
        ::Sleep(20);
    }
}

// The reason of the last failed call; a name that is not UTF-8 never reached the system.
std::error_code LastError(bool reachedTheSystem) {
    if (!reachedTheSystem) return std::make_error_code(std::errc::invalid_argument);
    return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"/\\");
    if (slash == std::wstring::npos) return L".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& content, std::size_t maxBytes, FileKeeps* keeps) {
    content.clear();
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide) return ReadResult::Failed;
    Handle h(Open(*wide, GENERIC_READ, kShareAll, OPEN_EXISTING));
    if (!h.Valid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                              : ReadResult::Failed;
    }
    LARGE_INTEGER size{};
    if (!IsRegular(h.get()) || !::GetFileSizeEx(h.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
        return ReadResult::Failed;
    if (keeps) *keeps = FileKeeps{};
    char buf[8192];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.get(), buf, sizeof buf, &n, nullptr)) return ReadResult::Failed;
        if (n == 0) break;
        content.append(buf, n);
        if (content.size() > maxBytes) return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, FileAccess, const FileKeeps*) {
    const std::optional<std::wstring> target = Wide(path);
    if (!target || target->empty()) return false;
    const std::wstring dir = ParentOf(*target);
    static std::atomic<unsigned> serial{0};
    std::wstring tmp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        tmp = dir + L"\\." + NameOf(*target) + L".tmp." + std::to_wstring(::GetCurrentProcessId()) + L"." +
              std::to_wstring(serial.fetch_add(1));
        raw = Open(tmp, GENERIC_WRITE, 0, CREATE_NEW);
        if (raw == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    Handle h(raw);
    if (!h.Valid()) return false;
    bool ok = WriteAll(h.get(), content) && ::FlushFileBuffers(h.get()) != 0;
    ok = h.Close() && ok;
    if (ok) ok = MoveReplacing(tmp, *target);
    if (!ok) ::DeleteFileW(tmp.c_str());
    return ok;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide) return false;
    // Others may read the log (an editor showing it) while the program runs.
    Handle h(Open(*wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_ALWAYS));
    if (!h.Valid() || !IsRegular(h.get())) return false;
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(h.get(), LARGE_INTEGER{}, &end, FILE_END)) return false;
    if (WriteAll(h.get(), bytes) && ::FlushFileBuffers(h.get())) return h.Close();
    ::SetFilePointerEx(h.get(), end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h.get());
    return false;
}

bool RenameOver(const std::string& from, const std::string& to, std::error_code* why) {
    const std::optional<std::wstring> f = Wide(from), t = Wide(to);
    if (f && t && MoveReplacing(*f, *t)) return true;
    if (why) *why = LastError(f && t);
    return false;
}

bool CopyOver(const std::string& from, const std::string& to, std::error_code* why) {
    const std::optional<std::wstring> f = Wide(from), t = Wide(to);
    if (f && t && ::CopyFileW(f->c_str(), t->c_str(), FALSE) != 0) return true;
    if (why) *why = LastError(f && t);
    return false;
}

bool SyncFile(const std::string& path) {
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide) return false;
    Handle h(Open(*wide, GENERIC_WRITE, kShareAll, OPEN_EXISTING));
    if (!h.Valid()) return false;
    const bool ok = ::FlushFileBuffers(h.get()) != 0;
    return h.Close() && ok;
}

void SyncFolder(const std::string&) {}

bool MakeFolder(const std::string& path) {
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide) return false;
    if (::CreateDirectoryW(wide->c_str(), nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::string> MakePrivateTempFolder(std::string_view prefix, TempPlace) {
    // The temporary folder is the person's own (under their profile), so a folder made in it is
    // private without an access list of its own.
    wchar_t base[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH) return std::nullopt;
    const std::optional<std::wstring> name = Wide(prefix);
    if (!name) return std::nullopt;
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t unique[40];
        std::swprintf(unique, 40, L"%08lx%04x", static_cast<unsigned long>(::GetCurrentProcessId()),
                      (serial.fetch_add(1) + static_cast<unsigned>(::GetTickCount64())) & 0xffffu);
        const std::wstring dir = std::wstring(base, n) + *name + unique;
        if (::CreateDirectoryW(dir.c_str(), nullptr)) return Utf8(dir);
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    const std::optional<std::wstring> n = Wide(name), v = Wide(value);
    // The C library's copy (getenv) and the process's (programs started later) both change.
    return n && v && !n->empty() && ::_wputenv_s(n->c_str(), v->c_str()) == 0;
}

std::optional<std::tm> UtcTime(std::time_t t) {
    std::tm out{};
    if (::gmtime_s(&out, &t) != 0) return std::nullopt;
    return out;
}

}  // namespace kestrava::platform

#endif  // _WIN32
