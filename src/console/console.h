// The console: the object that owns the run's state from console start to shutdown, its start-up
// sequence, the one-second tick with the run-state machine, the auction-day reset, the table of
// window messages it answers, its commands and its orderly shutdown.
//
// Threads: the start-up, the one-second tick, the window messages and the commands are
// serialised as the interface thread would serialise them; the four periodic ticks run on
// their own timer threads and work on the shared state directly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <string_view>

#include "console/console_controls.h"
#include "console/console_hooks.h"
#include "console/console_state.h"
#include "console/interface_lock.h"
#include "console/practice_guide.h"
#include "log/log_book.h"
#include "platform/platform.h"
#include "shell/page_shell.h"

namespace kestrava::console {

// The title other programs find the console by; it stays the same for the whole run.
inline constexpr char kConsoleTitle[] = "Vonter沪牌抢拍助手";
inline constexpr char kUpdaterTitle[] = "自动更新";
// The log lines of a page shell that goes away in the middle of a real run and comes back.
inline constexpr char kShellGoneText[] = "page shell gone: the run's state is kept until the shell is back";
inline constexpr char kShellBackText[] = "page shell back: the run goes on with its state";
inline constexpr char kShellBackAfterEndText[] = "page shell back after the auction's end: the armed submission is dropped";

// Window messages the console answers.
namespace msg {
inline constexpr std::uint32_t UpdateReady = 0x464;
inline constexpr std::uint32_t PageLoggedIn = 0x465;
inline constexpr std::uint32_t ConfigChanged = 0x466;
inline constexpr std::uint32_t PageReport = 0x46e;
inline constexpr std::uint32_t ServerReport = 0x46f;
inline constexpr std::uint32_t Recalibrate = 0x492;
inline constexpr std::uint32_t QuietUpdateReady = 0x493;
inline constexpr std::uint32_t ProgressBarSeen = 0x49a;
inline constexpr std::uint32_t JamSignal = 0x49c;
inline constexpr std::uint32_t StartSimulationRun = 0x49d;
inline constexpr std::uint32_t ScheduleAnswer = 0x4ad;
// The practice page's own accounts, relayed by the page shell.
inline constexpr std::uint32_t PageConfirmSeen = 0x4ae;
inline constexpr std::uint32_t PageVerdict = 0x4af;
inline constexpr std::uint32_t PageResult = 0x4b0;
// The page's verification-code dialog, as the page shell sees it: wParam the price the dialog
// shows (0 when the shell cannot read it), lParam one of CodeDialog below.
inline constexpr std::uint32_t CodeDialog = 0x4b1;
}  // namespace msg

// lParam of msg::CodeDialog.
enum class CodeDialog : std::int32_t {
    ClosedOtherwise = 0,  // cancelled, timed out, or closed by the page itself
    Opened = 1,
    ClosedByConfirm = 2,  // its confirm button was pressed
};

// What the console takes over from the login.
struct LoginInfo {
    std::string bidNumber;
    std::string productVersion = "8.2";
    int ispClass = 1;
    int loginSecond = -1;
};

// The start-up either succeeds or tells the application to end with an exit code.
struct InitResult {
    bool ok = true;
    int exitCode = 0;
};

class CKestravaDlg;

struct MessageRow {
    std::uint32_t msg;
    std::string_view sender;
    void (CKestravaDlg::*handle)(const platform::Message&);
};

class CKestravaDlg {
    // First, since `shell` and `platform` below show their message boxes through it.
    InterfaceLock interfaceLock_;

public:
    CKestravaDlg(platform::Platform platform, log::LogBook& logBook, LoginInfo login, ConsoleHooks hooks = {});
    ~CKestravaDlg();
    CKestravaDlg(const CKestravaDlg&) = delete;
    CKestravaDlg& operator=(const CKestravaDlg&) = delete;

    // ---- Lifecycle
    InitResult OnInitDialog();
    // Stops every timer and waits for the sync client; afterwards no tick, hook or message runs.
    void OnClose();
    bool Closed() const { return closed_.load(); }

    // ---- Entry points of the interface thread
    void OnSecondTick();
    // Dispatches through the message table; unknown numbers are ignored. False when ignored.
    bool HandleMessage(const platform::Message& m);
    // A button click, or a click on a check box or radio button after the view has put the
    // control's new check state into the model.
    void OnCommand(int controlId);
    // A click on an arrow of an up-down control.
    void OnSpin(int controlId, SpinArrow arrow);
    // Timer 5: the cancel clicks of a test bid, 3000 ms after it is started.
    // Cancels the code dialog kCancelDelayMs from now; `cancelled` runs right after the cancel.
    void StartCancelTimer(std::function<void()> cancelled = {});
    // A window titled kConsoleTitle that hands posted messages to HandleMessage, for runs without
    // the GUI (the GUI's own console window does this otherwise).
    bool OpenMessageWindow();

    // ---- Operations the roles share
    void ResetAuctionDay();
    void UpdateAuctionPhase();
    void StartSimulation();
    void OnOpenAuction();
    void BuildPriceLadder(int base);
    void WriteLogLine(std::string_view text);
    // Without a style the line keeps the style it had.
    void SetInfoHeader(std::string_view text);
    void SetInfoBody(std::string_view text);
    void SetInfoHeader(std::string_view text, int style);
    void SetInfoBody(std::string_view text, int style);
    bool IsSimulation() const { return state.moniornot.load() == 1; }
    bool VoiceOn() const { return controls.IsChecked(kVoiceBox); }

    static std::span<const MessageRow> MessageTable();

    // ---- What the roles work on
    ConsoleState state;
    ConsoleControls controls;
    shell::PageShell shell;
    // The platform as the console's code sees it: its message boxes (`notices`) are the interface
    // lock's, so a box asked for under the lock opens only once the lock is released.
    platform::Platform platform;
    log::LogBook& logBook;
    // What a practice run tells the bidder at each step and at its end.
    PracticeGuide guide;
    // The roles plug in here (or through the constructor) before OnInitDialog; from then on the
    // ticks read the hooks without a lock, so they must not change.
    ConsoleHooks& hooks() { return hooks_; }

    static constexpr int kVoiceBox = 1124;
    static constexpr std::uint32_t kSecondTickMs = 1000;
    static constexpr std::uint32_t kPageStateTickMs = 900;
    static constexpr std::uint32_t kHeartbeatTickMs = 30000;
    static constexpr std::uint32_t kCancelDelayMs = 3000;
    // The one-second tick writes the day's log this often, except in the auction's last minute.
    static constexpr std::uint32_t kLogFlushEveryMs = 60'000;
    static constexpr int kNoFlushSeconds = 60;

private:
    // Message handlers (the rows of MessageTable).
    void OnUpdateReady(const platform::Message& m);
    void OnQuietUpdateReady(const platform::Message& m);
    void OnPageLoggedIn(const platform::Message& m);
    void OnConfigChanged(const platform::Message& m);
    void OnPageReport(const platform::Message& m);
    void OnServerReport(const platform::Message& m);
    void OnRecalibrate(const platform::Message& m);
    void OnProgressBarSeen(const platform::Message& m);
    void OnJamSignal(const platform::Message& m);
    void OnScheduleAnswer(const platform::Message& m);
    void OnCodeDialog(const platform::Message& m);
    void OnStartSimulationRun(const platform::Message& m);
    void OnPageConfirmSeen(const platform::Message& m);
    void OnPageVerdict(const platform::Message& m);
    void OnPageResult(const platform::Message& m);

    void Run(const ConsoleHooks::Step& step);
    void StartUpdateCheckUnlessRunning();
    void StartTimers();
    std::unique_ptr<platform::PeriodicTimer> StartTick(std::uint32_t periodMs, const ConsoleHooks::Step& step,
                                                       platform::TickPriority priority = platform::TickPriority::Normal);
    void ResetTimeDisplays();
    void BlankEndedRun();
    // The one-second tick without a page window in the middle of a real run: keeps the run.
    bool KeepRunWithoutPage();
    void PageShellBack();
    void RunPhaseSounds();
    // A practice run: the guide's decision into the state the views show; the outcome, once, to
    // the standard output (the terminal of a practice run).
    void UpdateGuide();
    // The day's log to its file once a minute, so a console that ends without its close (a power
    // cut, a kill) loses at most a minute of lines; never in the last minute, whose ticks must not
    // wait for the disk.
    void FlushLogEveryMinute();

    ConsoleHooks hooks_;
    std::atomic<bool> closed_{false};
    std::mt19937 random_;

    std::mutex timersMutex_;
    std::unique_ptr<platform::PeriodicTimer> secondTimer_;
    std::uint32_t lastLogFlushTick_ = 0;  // the one-second tick's alone, from the timers' start
    std::unique_ptr<platform::PeriodicTimer> pageStateTimer_;
    std::unique_ptr<platform::PeriodicTimer> scanTimer_;
    std::unique_ptr<platform::PeriodicTimer> submitTimer_;
    std::unique_ptr<platform::PeriodicTimer> heartbeatTimer_;
    std::unique_ptr<platform::PeriodicTimer> cancelTimer_;
    std::atomic<bool> cancelDue_{false};
    std::unique_ptr<Worker> syncWorker_;
    std::unique_ptr<platform::MessageWindow> messageWindow_;
};

}  // namespace kestrava::console
