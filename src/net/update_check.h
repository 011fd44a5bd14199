// The update check: the installed version (Update.ini) against the version file on one of the
// update servers (downloaded into Updater.ini beside it), and the start of the updater.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "net/http_socket.h"
#include "platform/platform.h"

namespace kestrava::net {

// Compares two version numbers as decimal fractions ("8.41" > "8.401"); text that is not a
// number reads as 0. Returns < 0, 0 or > 0.
int CompareVersions(std::string_view a, std::string_view b);

enum class UpdateCheckResult {
    UpdateIniBroken,  // the chosen address was empty; the user was told
    DownloadFailed,   // the user was told
    UpToDate,         // Updater.ini was deleted
    NewerRestart,     // 0x464 posted to the console
    NewerQuiet,       // 0x493 posted to the console
};

struct UpdateCheckOptions {
    std::string updateIniPath = "Update.ini";
    // Where and how the version file is fetched; its outputPath is replaced by "Updater.ini"
    // beside `updateIniPath`.
    DownloadOptions download;
    // Which of "iniurl0" … "iniurl4" to use (0 … 4); by default a random choice seeded with the
    // time.
    std::function<int()> pickUrl;
    std::string consoleTitle = "Vonter沪牌抢拍助手";
};

// The update worker. Talks to the console only by posting 0x464 or 0x493 to its window.
UpdateCheckResult CheckForUpdate(platform::Clock& clock, platform::Desktop& desktop, platform::Notices& notices,
                                 const UpdateCheckOptions& options = {});

// "Updater.ini" in the folder of `updateIniPath`.
std::string UpdaterIniPath(const std::string& updateIniPath);

// True while the updater's window ("自动更新") is open; no check is started then.
bool UpdaterWindowOpen(platform::Desktop& desktop);

struct UpdaterLaunch {
    bool started = false;
    std::string notice;       // to show when not empty
    bool endProcess = false;  // the console ends at once with exit code 0
};

// The console's handlers of 0x464 (`restart` true: "-p") and 0x493 ("-pmute"). With "-p" and a
// started updater, brings the updater's window forward and asks the page window to close.
UpdaterLaunch StartUpdater(platform::Programs& programs, platform::Desktop& desktop, bool restart,
                           const std::string& updaterPath = "./Updater.exe");

}  // namespace kestrava::net
