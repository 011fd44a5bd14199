// The console's start-up sequence. The order matters: the log header must come before any other
// log line, the auction-day reset before the display state is cleared, the page windows before
// the open command, and the timers only once every field they read has its value.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/profile.h"
#include "config/settings.h"
#include "console/console.h"
#include "console/ini_files.h"

namespace kestrava::console {

namespace {

// How much longer than the fixed two seconds the start waits for a shell's window to appear: a
// page engine's first window can take that long on a cold start.
constexpr int kShellWindowWaitMs = 3000;

// The update check stays away from the minutes when bidders calibrate and revise their bids.
bool InUpdateQuietWindow(const platform::LocalTime& t) {
    const int secondOfDay = t.hour * 3600 + t.minute * 60 + t.second;
    return secondOfDay > 11 * 3600 + 2 * 60 && secondOfDay < 11 * 3600 + 7 * 60;
}

}  // namespace

void CKestravaDlg::StartUpdateCheckUnlessRunning() {
    if (platform.desktop.FindWindowByTitle(kUpdaterTitle)) return;
    Run(hooks_.startUpdateCheck);
}

InitResult CKestravaDlg::OnInitDialog() {
    std::lock_guard lock(interfaceLock_);
    auto& s = state;

    // Icons are the view's; the display scale belongs to screen perception.
    Run(hooks_.readDisplayScale);

    // The kind of run and how the page is acted on.
    s.moniornot = config::Read(config::user::moniornot);
    s.divmode = config::Read(config::user::divmode);

    // An automatic login happens once per request: the flag goes back to 0 at every start.
    if (!InUpdateQuietWindow(platform.clock.Now())) StartUpdateCheckUnlessRunning();
    config::Write(config::conf::auto_update, 0);

    // The anchor is kept unscaled until calibration scales the geometry.
    s.starttimehour = config::Read(config::conf::starttimehour);
    s.endtimehour = config::Read(config::conf::endtimehour);
    s.UpdateGeometry([](shell::PageGeometry& g) {
        g.lvwf_x = config::ReadProfileInt(kGeometrySection, "lvwf_x", 0, kGeometryIni);
        g.lvwf_y = config::ReadProfileInt(kGeometrySection, "lvwf_y", 0, kGeometryIni);
    });

    // The day's instants and records, then a blank display.
    ResetAuctionDay();
    s.pageSeen = 0;
    s.lowestText.Set("0");
    s.statusText.Set("----");
    s.appliedPrice = 0;
    s.gapClass = 0;
    Run(hooks_.clearDisplayFlags);
    s.runState = 0;
    s.auctionPhase = 0;
    s.startMarkFound = 0;

    // The decisions that spread bidders over time use these.
    s.startSecondDigit = platform.clock.Now().second % 10;

    // The page windows; the shell is started when its window is missing.
    shell::PageWindows page = shell.RefreshPageWindows();
    if (!page.window) {
        if (!shell.ShellPresent()) {
            platform.notices.Show(shell::kShellMissingText, kConsoleTitle);
            return InitResult{false, 0};
        }
        shell.StartShell();
        platform.clock.SleepMs(2000);
        // A shell that has its window up by now (the one just started, or the one the login
        // dialog started a moment before us) gets its page opened below like one found at once.
        page = shell.RefreshPageWindows();
        for (int waited = 0; !page.window && waited < kShellWindowWaitMs; waited += 100) {
            platform.clock.SleepMs(100);
            page = shell.RefreshPageWindows();
        }
    }
    log::DebugPrintf("launch edge\n");
    if (page.window) platform.desktop.SetForeground(page.window);

    // Text recognition is required: without it the price cannot be read.
    if (hooks_.initOcr && !hooks_.initOcr(*this)) {
        platform.notices.Show("Tess Init failed", kConsoleTitle);
        return InitResult{false, 1};
    }

    // The bid number and line class were taken over at construction.
    Run(hooks_.placeConsole);

    // The sync server of this bidder.
    const std::string host = config::Read(config::user::synchostip);
    const std::string bidNumber = s.bidNumber.Get();
    s.syncUrl.Set("ws://" + host + ":9002/?id=" + bidNumber + "&type=101");

    Run(hooks_.createPatchNotice);
    controls.AppendText(1141, "调试日志：\r\n");

    // The log header comes before any other line of the run.
    const std::string version = s.productVersion.Get();
    WriteLogLine("==============定制v" + version + "===============");
    WriteLogLine("投标号：" + bidNumber);
    WriteLogLine(s.ispClass.load() == 1 ? "DX" : "FDX");
    controls.SetText(1128, "版本" + version);
    s.windowTitle.Set(kConsoleTitle);
    if (IsSimulation()) {
        WriteLogLine("模拟拍牌开始");
        controls.Show(1138, true);
        controls.SetText(1060, "打开模拟");
        if (page.window) shell.OpenSimulationPage();
    } else {
        WriteLogLine("正式拍牌开始");
        controls.SetText(1060, "打开国拍");
        if (page.window) shell.OpenRealPage();
    }

    Run(hooks_.createFonts);
    ResetTimeDisplays();

    // The gap rule's start and limit, kept with the strategies.
    s.pricelimitStartTime = config::ReadProfileInt(kStrategySection, "pricelimitStartTime", 15, kStrategyIni);
    s.ctrlXpricelimit = config::ReadProfileInt(kStrategySection, "ctrlXpricelimit", 300, kStrategyIni);

    // The geometry record starts zeroed (apart from the anchor read above).
    Run(hooks_.smartCalibrate);

    // The info bar is shown below the console from the start; the hint windows stay hidden.
    Run(hooks_.createHintWindows);
    s.infoBarVisible = true;
    s.summaryWindowVisible = false;
    Run(hooks_.createBalloons);

    // The strategy combo and the active strategy.
    s.SelPolicy = config::Read(config::user::SelPolicy);
    std::vector<std::string> strategies;
    for (int i = 1; i <= 20; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "策略%02d", i);
        strategies.emplace_back(name);
    }
    controls.SetItems(1175, std::move(strategies));
    controls.Select(1175, s.SelPolicy.load());
    if (hooks_.applyStrategySelection) hooks_.applyStrategySelection(*this, s.SelPolicy.load());

    // Forced-submission moments by the rise of the last seconds.
    s.zhangfu300 = config::Read(config::user::zhangfu300);
    s.zhangfu200 = config::Read(config::user::zhangfu200);
    s.zhangfu100 = config::Read(config::user::zhangfu100);
    s.zhangfu000 = config::Read(config::user::zhangfu000);
    if (IsSimulation()) Run(hooks_.setSimulationWarningPrice);

    // The ticks start only now that every field they read has its value.
    s.scanInterval = config::Read(config::user::scanInterval);
    s.jamInterval = config::Read(config::user::jamInterval);
    StartTimers();

    // The practice run's welcome.
    if (IsSimulation() && VoiceOn()) platform.sound.Play(177);

    s.swbidmode = config::Read(config::conf::swbidmode);
    s.launchp = config::Read(config::conf::launchp);
    s.firstbid = config::Read(config::user::firstbid);
    s.wifidivmode = config::Read(config::conf::wifidivmode);
    for (int id : {1139, 1140, 1145, 1146}) controls.Show(id, false);

    // Today's log is uploaded after the auction.
    const std::string dayLog = logBook.DayFilePath(bidNumber);
    s.uploadQueue.With([&](auto& q) { q.push_back(dayLog); });

    platform.power.KeepAwake(true);

    // The debug console first, so the ladder's prints reach it.
    s.debg = config::Read(config::user::debg);
    if (s.debg.load() == config::kDebugModeValue) log::SetDebugConsole(true);
    log::DebugPrintf("yushu %d\n", s.startSecondDigit.load());
    log::DebugPrintf("yushu2 %d\n", s.loginSecond.load());
    log::DebugPrintf("档位价列表初始化\n");
    s.dwbase = config::Read(config::user::dwbase);
    BuildPriceLadder(s.dwbase.load());
    s.hpbase = config::Read(config::user::hpbase);

    // The sync client and its heartbeat.
    if (hooks_.startSync) syncWorker_ = hooks_.startSync(*this);
    {
        std::lock_guard timers(timersMutex_);
        heartbeatTimer_ = StartTick(kHeartbeatTickMs, hooks_.heartbeatTick);
    }

    char line[64];
    std::snprintf(line, sizeof line, "yu %d yu2 %d", s.startSecondDigit.load(), s.loginSecond.load());
    WriteLogLine(line);
    return InitResult{};
}

std::unique_ptr<platform::PeriodicTimer> CKestravaDlg::StartTick(std::uint32_t periodMs, const ConsoleHooks::Step& step,
                                                                 platform::TickPriority priority) {
    return platform.timers.StartPeriodic(
        periodMs,
        [this, &step] {
            if (!closed_.load() && step) step(*this);
        },
        priority);
}

void CKestravaDlg::StartTimers() {
    std::lock_guard timers(timersMutex_);
    lastLogFlushTick_ = platform.clock.TickCount();
    secondTimer_ = platform.timers.StartPeriodic(kSecondTickMs, [this] { OnSecondTick(); });
    pageStateTimer_ = StartTick(kPageStateTickMs, hooks_.pageStateTick);
    // A zero period from a damaged settings file would spin the timer; 1 ms is the finest tick.
    scanTimer_ = StartTick(static_cast<std::uint32_t>(std::max(1, state.scanInterval.load())), hooks_.scanTick);
    // Only the submit tick's lateness costs a bid (its rise rules act on the tenth of a second);
    // the others, text recognition included, leave the page shell and the interface their share.
    submitTimer_ = StartTick(static_cast<std::uint32_t>(std::max(1, state.jamInterval.load())), hooks_.submitTick,
                             platform::TickPriority::RealTime);
}

}  // namespace kestrava::console
