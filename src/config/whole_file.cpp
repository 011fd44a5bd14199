#include "config/whole_file.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/files.h"

namespace kestrava::config {
namespace {

namespace fs = std::filesystem;
using platform::PathFromUtf8;
using platform::Utf8FromPath;

// Where the new content of a file is put together: a private folder (made afresh, so no other user
// can slip a link into it) in memory, or else the target's own folder.
class WorkFile {
public:
    explicit WorkFile(const fs::path& target) {
        if (const std::optional<std::string> dir = platform::MakePrivateTempFolder("kestrava-", platform::TempPlace::Memory)) {
            dir_ = PathFromUtf8(*dir);
            path_ = dir_ / target.filename();
        } else {
            path_ = target.parent_path() / (u8"." + target.filename().u8string() + u8".work");
            std::error_code ec;
            fs::remove(path_, ec);  // left by a crash; a new file must start empty
        }
    }
    ~WorkFile() {
        std::error_code ec;
        if (dir_.empty()) {
            fs::remove(path_, ec);
        } else {
            fs::remove_all(dir_, ec);
        }
    }
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path dir_;
    fs::path path_;
};

}  // namespace

// The work file is copied to a scratch file beside the target (a rename works only within one file
// system), made durable there and renamed over the target.
bool ReplaceWhole(const std::string& path, const std::function<bool(const std::string& target, const std::string& work)>& fill) {
    std::error_code ec;
    fs::path target = PathFromUtf8(path);
    // A link stays a link; its target gets the new content.
    if (fs::is_symlink(target, ec)) {
        target = fs::canonical(target, ec);
        if (ec) return false;
    }
    const WorkFile work(target);
    const std::string scratch =
        Utf8FromPath(target.parent_path() / (u8"." + target.filename().u8string() + u8".saving"));
    fs::remove(PathFromUtf8(scratch), ec);
    const std::string workPath = Utf8FromPath(work.path());
    const std::string targetPath = Utf8FromPath(target);
    bool ok = fill(targetPath, workPath) && platform::CopyOver(workPath, scratch) && platform::SyncFile(scratch);
    if (ok) ok = platform::RenameOver(scratch, targetPath);
    if (!ok) fs::remove(PathFromUtf8(scratch), ec);
    return ok;
}

}  // namespace kestrava::config
