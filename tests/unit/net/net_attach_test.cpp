// The network services in the console on the fake platform: when the update check runs and what
// its answers do, the network clock, the heartbeat, and what the short-lived workers and the sync
// client may still do once the console has closed.
#include "net/net_attach.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "console/console.h"
#include "log/log_book.h"
#include "net/window_messages.h"
#include "platform/keys.h"
#include "unit/console/console_rig.h"

namespace kestrava::net {
namespace {

using console::CKestravaDlg;
using console::testing::ConsoleRig;
using platform::LocalTime;
using platform::fake::MakeLocal;

constexpr char kMissingUpdater[] = "程序目录下缺少升级程序Updater.exe！，请重新下载完整版本！";
constexpr std::int64_t kNetworkTime = 1765000000;

// Holds a worker until the test lets it go.
class Hold {
public:
    void Wait() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
    }
    void WaitUntilEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

// A console on the fake platform with the network role attached. The role's checks and clock
// queries are the test's, so nothing leaves the process; the sync URL does not parse, so the sync
// client never opens a socket.
struct NetRig : ConsoleRig {
    explicit NetRig(LocalTime start = MakeLocal(2026, 12, 10, 11, 20, 0)) : ConsoleRig(start) {
        AddPage();
        consoleWindow = fp.desktop.AddWindow(console::kConsoleTitle, "Kestrava", platform::Rect{2, 0, 340, 970});
        options.syncUrl = "no url";
        options.checkForUpdate = [this](platform::Clock&, platform::Desktop& desktop, platform::Notices&) {
            ++checks;
            if (holdCheck) holdCheck->Wait();
            if (checkPosts) desktop.PostMessage(desktop.FindWindowByTitle(console::kConsoleTitle), {*checkPosts, 0, 0});
            return UpdateCheckResult::UpToDate;
        };
        options.syncClock = [this](platform::SystemTime& systemTime) -> std::optional<std::int64_t> {
            if (holdClock) holdClock->Wait();
            systemTime.SetUtc(kNetworkTime);
            return kNetworkTime;
        };
    }
    ~NetRig() {
        // The injected work refers to this rig; no worker may still be inside it.
        if (role) {
            EXPECT_TRUE(role->WaitForWorkers(5000));
        }
    }

    CKestravaDlg& StartWithNetwork() {
        role = std::make_shared<NetworkRole>(fp.Get(), options);
        AttachNetwork(role, hooks);
        return Start();
    }

    std::vector<std::uint32_t> PostedNumbers(platform::WindowId w) {
        std::vector<std::uint32_t> out;
        for (const auto& p : fp.desktop.PostedTo(w)) out.push_back(p.message.msg);
        return out;
    }

    NetworkOptions options;
    std::shared_ptr<NetworkRole> role;
    platform::WindowId consoleWindow = 0;
    std::atomic<int> checks{0};
    Hold* holdCheck = nullptr;
    Hold* holdClock = nullptr;
    std::optional<std::uint32_t> checkPosts;
};

TEST(NetAttachTest, UpdateCheckAtStartStaysOutOfTheQuietMinutesAndAwayFromAnOpenUpdater) {
    struct Case {
        const char* name;
        LocalTime start;
        bool updaterOpen;
        int checks;
    };
    const Case cases[] = {
        {"11:02:00", MakeLocal(2026, 12, 10, 11, 2, 0), false, 1},
        {"11:02:01", MakeLocal(2026, 12, 10, 11, 2, 1), false, 0},
        {"11:06:59", MakeLocal(2026, 12, 10, 11, 6, 59), false, 0},
        {"11:07:00", MakeLocal(2026, 12, 10, 11, 7, 0), false, 1},
        {"09:15:00", MakeLocal(2026, 12, 10, 9, 15, 0), false, 1},
        {"updater open", MakeLocal(2026, 12, 10, 9, 15, 0), true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NetRig rig(c.start);
        if (c.updaterOpen) rig.fp.desktop.AddWindow(std::string(kUpdaterTitle), "Updater", platform::Rect{0, 0, 300, 200});
        rig.StartWithNetwork();
        ASSERT_TRUE(rig.role->WaitForWorkers(5000));
        EXPECT_EQ(rig.checks.load(), c.checks);
    }
}

TEST(NetAttachTest, OneUpdateCheckAtATimeWhateverStartsIt) {
    NetRig rig;
    Hold hold;
    rig.holdCheck = &hold;
    rig.checkPosts = kMsgUpdateQuietly;
    auto& con = rig.StartWithNetwork();
    hold.WaitUntilEntered();

    // The hidden version button, the configuration message and the page-state tick's trigger
    // while the start-up's check still waits for its server.
    con.OnCommand(1112);
    con.HandleMessage({console::msg::ConfigChanged, 0, 0});
    EXPECT_FALSE(rig.role->StartUpdateCheck());
    hold.Release();
    ASSERT_TRUE(rig.role->WaitForWorkers(5000));
    EXPECT_EQ(rig.checks.load(), 1);
    EXPECT_EQ(rig.PostedNumbers(rig.consoleWindow), std::vector<std::uint32_t>{kMsgUpdateQuietly});

    con.OnCommand(1112);
    ASSERT_TRUE(rig.role->WaitForWorkers(5000));
    EXPECT_EQ(rig.checks.load(), 2);
}

TEST(NetAttachTest, UpdateMessagesStartTheUpdaterAndOnlyARestartEndsTheRun) {
    struct Case {
        const char* name;
        std::uint32_t msg;
        bool updaterPresent;
        const char* argument;
        bool notice;
        bool ends;
    };
    const Case cases[] = {
        {"0x464", console::msg::UpdateReady, true, "-p", false, true},
        {"0x464 without updater", console::msg::UpdateReady, false, "-p", true, false},
        {"0x493", console::msg::QuietUpdateReady, true, "-pmute", false, false},
        {"0x493 without updater", console::msg::QuietUpdateReady, false, "-pmute", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NetRig rig(MakeLocal(2026, 12, 10, 11, 4, 0));  // no check at start
        if (c.updaterPresent) rig.fp.programs.AddFile("./Updater.exe");
        auto& con = rig.StartWithNetwork();
        rig.fp.desktop.ClearPosted();
        const auto startedBefore = rig.fp.programs.Started().size();

        EXPECT_TRUE(con.HandleMessage({c.msg, 0, 0}));

        const auto started = rig.fp.programs.Started();
        ASSERT_EQ(started.size(), startedBefore + 1);
        EXPECT_EQ(started.back().path, "./Updater.exe");
        EXPECT_EQ(started.back().args, std::vector<std::string>{c.argument});
        const auto shown = rig.fp.notices.Shown();
        if (c.notice) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].first, kMissingUpdater);
        } else {
            EXPECT_TRUE(shown.empty());
        }
        // The run ends through the console's own close, on its own thread: a close request to
        // its window and to the page's, never an exit from inside the handler.
        const std::vector<std::uint32_t> closeRequest = c.ends ? std::vector<std::uint32_t>{platform::wm::Close}
                                                               : std::vector<std::uint32_t>{};
        EXPECT_EQ(rig.PostedNumbers(rig.consoleWindow), closeRequest);
        EXPECT_EQ(rig.PostedNumbers(rig.page), closeRequest);
        EXPECT_FALSE(con.Closed());
    }
}

TEST(NetAttachTest, ClockCommandSetsTheSystemClockFromAWorker) {
    NetRig rig(MakeLocal(2026, 12, 10, 11, 4, 0));
    Hold hold;
    rig.holdClock = &hold;
    auto& con = rig.StartWithNetwork();

    con.OnCommand(1137);
    // The command returns while the worker still waits for its server.
    hold.WaitUntilEntered();
    EXPECT_TRUE(rig.fp.systemTime.Sets().empty());
    EXPECT_EQ(rig.LogMessages().back(), "鼠标点击_校正时间");
    hold.Release();
    ASSERT_TRUE(rig.role->WaitForWorkers(5000));
    EXPECT_EQ(rig.fp.systemTime.Sets(), std::vector<std::int64_t>{kNetworkTime});

    // The login starts the same worker without the console.
    EXPECT_TRUE(rig.role->StartNetworkClock());
    ASSERT_TRUE(rig.role->WaitForWorkers(5000));
    EXPECT_EQ(rig.fp.systemTime.Sets().size(), 2u);
}

TEST(NetAttachTest, WorkersThatAnswerAfterTheConsoleClosedTouchNothing) {
    enum class Work { UpdateCheck, NetworkClock };
    for (const Work work : {Work::UpdateCheck, Work::NetworkClock}) {
        SCOPED_TRACE(work == Work::UpdateCheck ? "update check" : "network clock");
        NetRig rig(MakeLocal(2026, 12, 10, 11, 4, 0));  // no check at start
        Hold hold;
        rig.holdCheck = work == Work::UpdateCheck ? &hold : nullptr;
        rig.holdClock = work == Work::NetworkClock ? &hold : nullptr;
        rig.checkPosts = kMsgUpdateAndRestart;
        auto& con = rig.StartWithNetwork();
        con.OnCommand(work == Work::UpdateCheck ? 1112 : 1137);
        hold.WaitUntilEntered();
        rig.fp.desktop.ClearPosted();

        con.OnClose();
        hold.Release();
        ASSERT_TRUE(rig.role->WaitForWorkers(5000));
        EXPECT_TRUE(rig.fp.desktop.Posted().empty());
        EXPECT_TRUE(rig.fp.systemTime.Sets().empty());
        // Nor does a new one start.
        EXPECT_FALSE(rig.role->StartNetworkClock());
        EXPECT_FALSE(rig.role->StartUpdateCheck());
    }
}

// Forwards to the role's sync worker and notes what the console's shutdown looked like then.
struct WatchedWorker : console::Worker {
    struct Seen {
        int activeTimersAtStop = -1;
        bool ended = false;
        bool abandoned = false;
    };
    WatchedWorker(std::unique_ptr<console::Worker> real, ConsoleRig& rig, Seen& seen)
        : real(std::move(real)), rig(rig), seen(seen) {}
    void RequestStop() override {
        seen.activeTimersAtStop = rig.fp.clock.ActiveTimers();
        real->RequestStop();
    }
    bool WaitUntilEnded(std::uint32_t ms) override { return seen.ended = real->WaitUntilEnded(ms); }
    void Abandon() override {
        seen.abandoned = true;
        real->Abandon();
    }
    std::unique_ptr<console::Worker> real;
    ConsoleRig& rig;
    Seen& seen;
};

TEST(NetAttachTest, HeartbeatRetriesEveryThirtySecondsAndShutdownEndsTheSyncClientLast) {
    NetRig rig(MakeLocal(2026, 12, 10, 11, 4, 0));
    rig.role = std::make_shared<NetworkRole>(rig.fp.Get(), rig.options);
    AttachNetwork(rig.role, rig.hooks);
    WatchedWorker::Seen seen;
    rig.hooks.startSync = [&, start = rig.hooks.startSync](CKestravaDlg& c) -> std::unique_ptr<console::Worker> {
        return std::make_unique<WatchedWorker>(start(c), rig, seen);
    };
    log::SetDebugConsole(true);
    ::testing::internal::CaptureStdout();
    auto& con = rig.Start();
    rig.fp.clock.Advance(29999);
    const std::string beforeHeartbeat = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    rig.fp.clock.Advance(1);
    const std::string heartbeat = ::testing::internal::GetCapturedStdout();
    log::SetDebugConsole(false);

    // The first try failed; the heartbeat tries again.
    EXPECT_EQ(beforeHeartbeat.find("30秒间隔"), std::string::npos);
    EXPECT_NE(heartbeat.find("30秒间隔............... 4:30"), std::string::npos);
    EXPECT_NE(heartbeat.find("目前已经被断开，准备重连"), std::string::npos);
    EXPECT_EQ(rig.role->SyncState(), LinkState::None);
    EXPECT_FALSE(rig.role->SendToSync("6_0"));

    con.OnClose();
    EXPECT_EQ(seen.activeTimersAtStop, 0);
    EXPECT_TRUE(seen.ended);
    EXPECT_FALSE(seen.abandoned);
    // A heartbeat that came late would find no client to restart.
    log::SetDebugConsole(true);
    ::testing::internal::CaptureStdout();
    rig.role->HeartbeatTick();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    log::SetDebugConsole(false);
    EXPECT_FALSE(rig.role->SyncSender()("1_1129575678,89500"));
}

}  // namespace
}  // namespace kestrava::net
