#include "net/net_attach.h"

#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "console/console.h"
#include "log/log_book.h"
#include "platform/keys.h"
#include "platform/threads.h"

namespace kestrava::net {

using log::DebugPrintf;

// What the short-lived workers share with the role. One recursive lock covers both the
// bookkeeping and every call a worker makes through the gate: a close therefore waits for a call
// under way and no call starts after it, and a handler that the fake desktop runs on the posting
// thread may come back into the gate without deadlocking.
struct NetworkRole::Gate {
    explicit Gate(platform::Platform p) : platform(p) {}

    std::recursive_mutex mutex;
    std::condition_variable_any changed;
    bool open = true;
    int running = 0;
    bool updateCheckRunning = false;
    platform::Platform platform;

    template <class R, class F>
    R Through(R closed, F&& call) {
        std::lock_guard lock(mutex);
        if (!open) return closed;
        return call(platform);
    }

    void Close() {
        std::lock_guard lock(mutex);
        open = false;
    }
};

struct NetworkRole::SyncLink {
    std::mutex mutex;
    std::shared_ptr<SyncClient> client;
    bool stopped = false;

    std::shared_ptr<SyncClient> Client() {
        std::lock_guard lock(mutex);
        return stopped ? nullptr : client;
    }

    // The client, taken away for good: no heartbeat or send reaches it any more.
    std::shared_ptr<SyncClient> Stop() {
        std::lock_guard lock(mutex);
        stopped = true;
        return std::move(client);
    }
};

namespace {

using Gate = NetworkRole::Gate;

// The platform as a short-lived worker sees it: every call goes through the gate and does
// nothing once it is closed.
class GatedClock : public platform::Clock {
public:
    explicit GatedClock(Gate& gate) : gate_(gate) {}
    platform::LocalTime Now() override {
        return gate_.Through(platform::LocalTime{}, [](platform::Platform& p) { return p.clock.Now(); });
    }
    std::int64_t EpochMillis() override {
        return gate_.Through(std::int64_t{0}, [](platform::Platform& p) { return p.clock.EpochMillis(); });
    }
    std::uint32_t TickCount() override {
        return gate_.Through(std::uint32_t{0}, [](platform::Platform& p) { return p.clock.TickCount(); });
    }
    // A sleep holds the gate like any other call; the workers' sleeps are short.
    void SleepMs(std::uint32_t ms) override {
        gate_.Through(0, [ms](platform::Platform& p) {
            p.clock.SleepMs(ms);
            return 0;
        });
    }
    std::int64_t LocalToEpochSeconds(const platform::LocalTime& t) override {
        return gate_.Through(std::int64_t{0}, [&t](platform::Platform& p) { return p.clock.LocalToEpochSeconds(t); });
    }
    platform::LocalTime EpochMillisToLocal(std::int64_t ms) override {
        return gate_.Through(platform::LocalTime{},
                             [ms](platform::Platform& p) { return p.clock.EpochMillisToLocal(ms); });
    }

private:
    Gate& gate_;
};

class GatedDesktop : public platform::Desktop {
public:
    using WindowId = platform::WindowId;
    explicit GatedDesktop(Gate& gate) : gate_(gate) {}
    WindowId FindWindowByTitle(std::string_view title) override {
        return gate_.Through(WindowId{0}, [&](platform::Platform& p) { return p.desktop.FindWindowByTitle(title); });
    }
    WindowId FindWindowByClass(std::string_view className) override {
        return gate_.Through(WindowId{0}, [&](platform::Platform& p) { return p.desktop.FindWindowByClass(className); });
    }
    WindowId FindChild(WindowId parent, std::string_view className) override {
        return gate_.Through(WindowId{0},
                             [&](platform::Platform& p) { return p.desktop.FindChild(parent, className); });
    }
    bool IsWindow(WindowId w) override {
        return gate_.Through(false, [w](platform::Platform& p) { return p.desktop.IsWindow(w); });
    }
    std::string Title(WindowId w) override {
        return gate_.Through(std::string(), [w](platform::Platform& p) { return p.desktop.Title(w); });
    }
    std::optional<platform::Rect> WindowRect(WindowId w) override {
        return gate_.Through(std::optional<platform::Rect>(),
                             [w](platform::Platform& p) { return p.desktop.WindowRect(w); });
    }
    std::optional<platform::Rect> ClientRect(WindowId w) override {
        return gate_.Through(std::optional<platform::Rect>(),
                             [w](platform::Platform& p) { return p.desktop.ClientRect(w); });
    }
    bool PostMessage(WindowId w, const platform::Message& m) override {
        return gate_.Through(false, [&](platform::Platform& p) { return p.desktop.PostMessage(w, m); });
    }
    bool SetForeground(WindowId w) override {
        return gate_.Through(false, [w](platform::Platform& p) { return p.desktop.SetForeground(w); });
    }
    // Asked once, never waited for: the gate's lock must not be held while the desktop settles.
    bool WaitUntilUncovered(WindowId w, std::uint32_t) override {
        return gate_.Through(false, [w](platform::Platform& p) { return p.desktop.WaitUntilUncovered(w, 0); });
    }
    bool Place(WindowId w, int x, int y, bool topmost, bool activate) override {
        return gate_.Through(false, [&](platform::Platform& p) { return p.desktop.Place(w, x, y, topmost, activate); });
    }
    platform::Rect ScreenRect() override {
        return gate_.Through(platform::Rect{}, [](platform::Platform& p) { return p.desktop.ScreenRect(); });
    }
    // A worker has no window of its own: one would outlive the gate.
    std::unique_ptr<platform::MessageWindow> CreateMessageWindow(std::string_view, std::string_view,
                                                                 platform::MessageHandler, bool) override {
        return nullptr;
    }

private:
    Gate& gate_;
};

// A message box waits for the person, and the console's shutdown must not: the box is opened
// through the gate but shown outside its lock. The notices outlive the role (they are the
// platform's), so a box still open when the console closes only keeps its worker waiting.
class GatedNotices : public platform::Notices {
public:
    explicit GatedNotices(Gate& gate) : gate_(gate) {}
    void Show(std::string_view text, std::string_view caption) override {
        platform::Notices* notices =
            gate_.Through<platform::Notices*>(nullptr, [](platform::Platform& p) { return &p.notices; });
        if (notices) notices->Show(text, caption);
    }

private:
    Gate& gate_;
};

class GatedSystemTime : public platform::SystemTime {
public:
    explicit GatedSystemTime(Gate& gate) : gate_(gate) {}
    bool SetUtc(std::int64_t epochSeconds) override {
        return gate_.Through(false, [epochSeconds](platform::Platform& p) { return p.systemTime.SetUtc(epochSeconds); });
    }

private:
    Gate& gate_;
};

}  // namespace

// The console's sync worker. Its stop is the console's shutdown, so it also closes the gate of
// the short-lived workers.
class NetworkRole::SyncWorker : public console::Worker {
public:
    SyncWorker(std::shared_ptr<Gate> gate, std::shared_ptr<SyncLink> link) : gate_(std::move(gate)), link_(std::move(link)) {}

    void RequestStop() override {
        gate_->Close();
        client_ = link_->Stop();
    }
    bool WaitUntilEnded(std::uint32_t ms) override { return client_ ? client_->Shutdown(ms) : true; }
    // Nothing left to do: a connection loop that did not end in time was already cut off from
    // the desktop and the clock by the client and runs out on its own.
    void Abandon() override { client_.reset(); }

private:
    std::shared_ptr<Gate> gate_;
    std::shared_ptr<SyncLink> link_;
    std::shared_ptr<SyncClient> client_;
};

NetworkRole::NetworkRole(platform::Platform platform, NetworkOptions options)
    : platform_(platform),
      options_(std::move(options)),
      gate_(std::make_shared<Gate>(platform)),
      sync_(std::make_shared<SyncLink>()) {
    if (!options_.checkForUpdate) {
        options_.checkForUpdate = [check = options_.updateCheck](platform::Clock& clock, platform::Desktop& desktop,
                                                                 platform::Notices& notices) {
            return CheckForUpdate(clock, desktop, notices, check);
        };
    }
    if (!options_.syncClock) {
        options_.syncClock = [sync = options_.clockSync](platform::SystemTime& systemTime) {
            return SyncClockFromNetwork(systemTime, sync);
        };
    }
    if (!options_.endRun) {
        options_.endRun = [](console::CKestravaDlg& c) {
            const platform::WindowId w = c.platform.desktop.FindWindowByTitle(console::kConsoleTitle);
            if (w != 0) c.platform.desktop.PostMessage(w, platform::Message{platform::wm::Close, 0, 0});
        };
    }
}

NetworkRole::~NetworkRole() { Close(options_.syncStopWaitMs); }

bool NetworkRole::StartWorker(std::function<void(Gate&)> body, bool updateCheck) {
    {
        std::lock_guard lock(gate_->mutex);
        if (!gate_->open) return false;
        if (updateCheck && gate_->updateCheckRunning) return false;
        ++gate_->running;
        if (updateCheck) gate_->updateCheckRunning = true;
    }
    // The thread holds the gate, never the role: it may outlive both the console and the role.
    auto finish = [gate = gate_, updateCheck] {
        std::lock_guard lock(gate->mutex);
        --gate->running;
        if (updateCheck) gate->updateCheckRunning = false;
        gate->changed.notify_all();
    };
    try {
        platform::StartThread([gate = gate_, body = std::move(body), finish] {
            try {
                body(*gate);
            } catch (const std::exception& e) {
                DebugPrintf("network worker: %s\n", e.what());
            } catch (...) {
                DebugPrintf("network worker: unknown failure\n");
            }
            finish();
        }).detach();
    } catch (const std::system_error& e) {
        DebugPrintf("network worker not started: %s\n", e.what());
        finish();
        return false;
    }
    return true;
}

bool NetworkRole::StartUpdateCheck() {
    if (UpdaterWindowOpen(platform_.desktop)) return false;
    return StartWorker(
        [check = options_.checkForUpdate](Gate& gate) {
            GatedClock clock(gate);
            GatedDesktop desktop(gate);
            GatedNotices notices(gate);
            check(clock, desktop, notices);
        },
        true);
}

void NetworkRole::OnUpdateReady(console::CKestravaDlg& c, bool restart) {
    const UpdaterLaunch launch = StartUpdater(c.platform.programs, c.platform.desktop, restart, options_.updaterPath);
    if (!launch.notice.empty()) c.platform.notices.Show(launch.notice, console::kConsoleTitle);
    if (launch.endProcess) options_.endRun(c);
}

bool NetworkRole::StartNetworkClock() {
    return StartWorker(
        [sync = options_.syncClock](Gate& gate) {
            GatedSystemTime systemTime(gate);
            sync(systemTime);
        },
        false);
}

std::unique_ptr<console::Worker> NetworkRole::StartSync(console::CKestravaDlg& c) {
    SyncClient::Options o;
    o.url = options_.syncUrl.empty() ? c.state.syncUrl.Get() : options_.syncUrl;
    o.consoleTitle = console::kConsoleTitle;
    o.stopWaitMs = options_.syncStopWaitMs;
    auto client = std::make_shared<SyncClient>(c.platform.clock, c.platform.desktop, std::move(o));
    std::shared_ptr<SyncClient> previous;
    {
        std::lock_guard lock(sync_->mutex);
        if (sync_->stopped) return nullptr;
        previous = std::exchange(sync_->client, client);
    }
    if (previous) previous->Shutdown();
    client->StartSyncClient();
    return std::make_unique<SyncWorker>(gate_, sync_);
}

std::shared_ptr<SyncClient> NetworkRole::Client() { return sync_->Client(); }

void NetworkRole::HeartbeatTick() {
    if (const auto client = Client()) client->HeartbeatTick();
}

bool NetworkRole::SendToSync(std::string_view text) {
    const auto client = Client();
    return client && client->Send(text);
}

std::function<bool(std::string_view)> NetworkRole::SyncSender() {
    return [link = sync_](std::string_view text) {
        const auto client = link->Client();
        return client && client->Send(text);
    };
}

LinkState NetworkRole::SyncState() {
    const auto client = Client();
    return client ? client->State() : LinkState::None;
}

NetworkRole::LogUpload NetworkRole::LogUploader() const {
    return [context = UploadContext{platform_.clock, options_.toJpeg, options_.ossSettingsPath}](
               const std::vector<std::string>& queue, const std::string& logCopy, const std::string& ieLog) {
        return UploadLogs(context, queue, logCopy, ieLog);
    };
}

NetworkRole::FinalResultUpload NetworkRole::FinalResultUploader() const {
    return [context = UploadContext{platform_.clock, options_.toJpeg, options_.ossSettingsPath}](
               const std::string& bidNumber) { return UploadFinalResult(context, bidNumber); };
}

bool NetworkRole::Close(std::uint32_t syncWaitMs) {
    gate_->Close();
    const auto client = sync_->Stop();
    return client ? client->Shutdown(syncWaitMs) : true;
}

bool NetworkRole::WaitForWorkers(std::uint32_t ms) {
    std::unique_lock lock(gate_->mutex);
    // Real time: a worker's end is another thread's business, not a step of the program's timeline.
    return gate_->changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return gate_->running == 0; });
}

void AttachNetwork(const std::shared_ptr<NetworkRole>& role, console::ConsoleHooks& hooks) {
    using console::CKestravaDlg;
    hooks.startUpdateCheck = [role](CKestravaDlg&) { role->StartUpdateCheck(); };
    hooks.installUpdate = [role](CKestravaDlg& c) { role->OnUpdateReady(c, true); };
    hooks.installQuietUpdate = [role](CKestravaDlg& c) { role->OnUpdateReady(c, false); };
    hooks.sendToSync = [role](CKestravaDlg&, std::string_view text) { role->SendToSync(text); };
    hooks.startSync = [role](CKestravaDlg& c) { return role->StartSync(c); };
    hooks.heartbeatTick = [role](CKestravaDlg&) { role->HeartbeatTick(); };
    hooks.startNetworkClock = [role](CKestravaDlg&) { role->StartNetworkClock(); };
}

}  // namespace kestrava::net
