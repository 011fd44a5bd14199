// The network services in the console: the update check and the updater, the sync client as the
// console's worker with its heartbeat, the console's sends to the sync server, the network clock,
// and the uploads after the auction.
//
// Threads: the update check and the network clock run on short-lived threads of their own, so
// neither the console nor the login ever waits for a server. Such a thread reaches the desktop,
// the clock, the message boxes and the system clock only through a gate that the role closes
// when the console shuts down (or the role goes away): a thread still waiting for a slow server
// then finishes on its own without touching anything of the console's again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/console_hooks.h"
#include "net/network_clock.h"
#include "net/oss_upload.h"
#include "net/sync_client.h"
#include "net/update_check.h"
#include "platform/platform.h"

namespace kestrava::console {
class CKestravaDlg;
}

namespace kestrava::net {

struct NetworkOptions {
    // ---- Update check
    UpdateCheckOptions updateCheck;
    std::string updaterPath = "./Updater.exe";
    // The check a worker runs; by default CheckForUpdate with `updateCheck`.
    std::function<UpdateCheckResult(platform::Clock&, platform::Desktop&, platform::Notices&)> checkForUpdate;
    // Ends the run once the updater has been started with "-p". By default a close request
    // (WM_CLOSE) to the console's window, so the console shuts down in order on its own thread
    // and the program ends with exit code 0.
    std::function<void(console::CKestravaDlg&)> endRun;

    // ---- Network clock
    ClockSyncOptions clockSync;
    // What a clock worker runs; by default SyncClockFromNetwork with `clockSync`.
    std::function<std::optional<std::int64_t>(platform::SystemTime&)> syncClock;

    // ---- Sync client
    // Empty: the console's sync URL, built at start from `synchostip` (port 9002).
    std::string syncUrl;
    std::uint32_t syncStopWaitMs = 500;

    // ---- Uploads after the auction
    // Converts a ".bmp" screenshot into its ".jpg" (quality 20); without it only a ".jpg" that
    // already exists is uploaded.
    JpegConverter toJpeg;
    std::string ossSettingsPath = std::string(kOssSettingsPath);
};

class NetworkRole {
public:
    // `platform` must outlive the role; threads left running after it only touch shared state.
    explicit NetworkRole(platform::Platform platform, NetworkOptions options = {});
    ~NetworkRole();
    NetworkRole(const NetworkRole&) = delete;
    NetworkRole& operator=(const NetworkRole&) = delete;

    // ---- Update check
    // Starts the update-check worker unless one is running, the updater's window is open or the
    // role is closed. True when a worker was started.
    bool StartUpdateCheck();
    // The console's handlers of 0x464 (`restart`: "-p", then the run ends) and 0x493 ("-pmute").
    void OnUpdateReady(console::CKestravaDlg& c, bool restart);

    // ---- Network clock (console command 1137, and the login's start)
    // Starts a clock worker; false when the role is closed or no thread could be started.
    bool StartNetworkClock();

    // ---- Sync client
    // Starts the sync client on the console's URL and hands it to the console as its worker. The
    // worker's stop also closes the gate of the short-lived workers: the console is going away.
    std::unique_ptr<console::Worker> StartSync(console::CKestravaDlg& c);
    void HeartbeatTick();
    // Sends a text frame when the link is open; false otherwise.
    bool SendToSync(std::string_view text);
    // SendToSync as a function for the engine's page reports; safe to call before the sync
    // client starts and after it has stopped (nothing is sent then).
    std::function<bool(std::string_view)> SyncSender();
    LinkState SyncState();

    // ---- Uploads after a real auction, in the shape the scan tick's end-of-auction sequence
    // calls them (it writes "upload rizhi" and picks the page shell's log itself): the upload
    // queue with the log copy in place of its first entry, and the final-result screenshot.
    using LogUpload =
        std::function<int(const std::vector<std::string>& queue, const std::string& logCopy, const std::string& ieLog)>;
    using FinalResultUpload = std::function<bool(const std::string& bidNumber)>;
    LogUpload LogUploader() const;
    FinalResultUpload FinalResultUploader() const;

    // ---- Lifetime
    // Closes the gate and stops the sync client (waiting up to `syncWaitMs`): from then on no
    // worker starts and none makes a call into the platform. True when the sync client ended in
    // time.
    bool Close(std::uint32_t syncWaitMs = 500);
    // Waits (real time, at most `ms`) until no short-lived worker is running.
    bool WaitForWorkers(std::uint32_t ms);

    struct Gate;

private:
    struct SyncLink;
    class SyncWorker;
    bool StartWorker(std::function<void(Gate&)> body, bool updateCheck);
    std::shared_ptr<SyncClient> Client();

    platform::Platform platform_;
    NetworkOptions options_;
    std::shared_ptr<Gate> gate_;
    std::shared_ptr<SyncLink> sync_;
};

// Puts the role into the console's network hooks: update check and updater, the sync client with
// its heartbeat and sends, the network clock. The hooks hold the role, so it lives at least as
// long as the console that runs them.
void AttachNetwork(const std::shared_ptr<NetworkRole>& role, console::ConsoleHooks& hooks);

}  // namespace kestrava::net
