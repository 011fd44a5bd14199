#include "net/update_check.h"

#include <cstdio>
#include <random>

#include "config/profile.h"
#include "log/log_book.h"
#include "net/window_messages.h"
#include "platform/keys.h"

namespace kestrava::net {

namespace {

constexpr std::size_t kUrlBufferSize = 260;

// The whole and fractional digits of a version text, without the zeros that do not count.
struct Decimal {
    std::string whole;
    std::string fraction;
};

Decimal ParseDecimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    Decimal d;
    std::size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') d.whole.push_back(text[i++]);
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') d.fraction.push_back(text[i++]);
    }
    d.whole.erase(0, d.whole.find_first_not_of('0') == std::string::npos ? d.whole.size()
                                                                         : d.whole.find_first_not_of('0'));
    while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
    return d;
}

std::string ReadVersion(const std::string& path) {
    return config::ReadProfileString("MAINVER", "mainver", "", 64, path);
}

}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
    const Decimal x = ParseDecimal(a);
    const Decimal y = ParseDecimal(b);
    if (x.whole.size() != y.whole.size()) return x.whole.size() < y.whole.size() ? -1 : 1;
    if (const int c = x.whole.compare(y.whole); c != 0) return c;
    return x.fraction.compare(y.fraction);  // trailing zeros gone, so plain text order is numeric
}

std::string UpdaterIniPath(const std::string& updateIniPath) {
    const std::size_t slash = updateIniPath.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : updateIniPath.substr(0, slash + 1)) + "Updater.ini";
}

bool UpdaterWindowOpen(platform::Desktop& desktop) { return desktop.FindWindowByTitle(kUpdaterTitle) != 0; }

UpdateCheckResult CheckForUpdate(platform::Clock& clock, platform::Desktop& desktop, platform::Notices& notices,
                                 const UpdateCheckOptions& options) {
    const std::string installed = ReadVersion(options.updateIniPath);

    int pick;
    if (options.pickUrl) {
        pick = options.pickUrl();
    } else {
        std::minstd_rand random(static_cast<std::uint32_t>(clock.EpochMillis() / 1000));
        pick = static_cast<int>(random() % 5);
    }
    const std::string key = "iniurl" + std::to_string(((pick % 5) + 5) % 5);
    const std::string url = config::ReadProfileString("URL", key, "", kUrlBufferSize, options.updateIniPath);
    if (url.empty()) {
        notices.Show("Update.ini文件有误，请手动下载新版本！", "");
        return UpdateCheckResult::UpdateIniBroken;
    }

    DownloadOptions download = options.download;
    download.outputPath = UpdaterIniPath(options.updateIniPath);
    if (!DownloadToFile(url, notices, download)) {
        notices.Show("检测新版本失败！如果软件不能使用请手动下载更新!", "");
        return UpdateCheckResult::DownloadFailed;
    }

    const std::string offered = ReadVersion(download.outputPath);
    const int restart = config::ReadProfileInt("MAINVER", "updaterestart", 0, download.outputPath);
    if (CompareVersions(offered, installed) <= 0) {
        std::remove(download.outputPath.c_str());
        return UpdateCheckResult::UpToDate;
    }
    log::DebugPrintf("new version %s (installed %s)\n", offered.c_str(), installed.c_str());
    const bool restartNow = restart == 1;
    const platform::WindowId console = desktop.FindWindowByTitle(options.consoleTitle);
    if (console != 0) {
        desktop.PostMessage(console, platform::Message{restartNow ? kMsgUpdateAndRestart : kMsgUpdateQuietly, 0, 0});
    }
    return restartNow ? UpdateCheckResult::NewerRestart : UpdateCheckResult::NewerQuiet;
}

UpdaterLaunch StartUpdater(platform::Programs& programs, platform::Desktop& desktop, bool restart,
                           const std::string& updaterPath) {
    UpdaterLaunch launch;
    launch.started = programs.Start(updaterPath, {restart ? "-p" : "-pmute"});
    if (!launch.started) {
        launch.notice = "程序目录下缺少升级程序Updater.exe！，请重新下载完整版本！";
        return launch;
    }
    if (restart) {
        if (const platform::WindowId updater = desktop.FindWindowByTitle(kUpdaterTitle); updater != 0) {
            desktop.SetForeground(updater);
        }
        if (const platform::WindowId page = desktop.FindWindowByTitle(kPageWindowTitle); page != 0) {
            desktop.PostMessage(page, platform::Message{platform::wm::Close, 0, 0});
        }
        launch.endProcess = true;
    }
    return launch;
}

}  // namespace kestrava::net
