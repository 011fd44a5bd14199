// The console's commands: its buttons, the simulation start, and timer 5 of the test bid.
#include "config/settings.h"
#include "console/console.h"

namespace kestrava::console {

void CKestravaDlg::StartSimulation() {
    std::lock_guard lock(interfaceLock_);
    auto& s = state;
    s.firstbid = config::Read(config::user::firstbid);
    if (!s.pageWindow.load()) return;
    s.runState = 1;
    s.auctionPhase = 0;
    s.phase2SoundPlayed = 0;
    s.phase3SoundPlayed = 0;
    SetInfoHeader("提示：已进入投标竞拍，拍牌尚未开始");
    for (int id : {1136, 1144, 1147, 1152}) controls.SetPicture(id, nullptr);
    for (int id : {1158, 1159, 1143, 1040, 1155}) controls.SetText(id, "");
}

void CKestravaDlg::OnOpenAuction() {
    std::lock_guard lock(interfaceLock_);
    const bool simulation = IsSimulation();
    if (shell.OnOpenAuction(simulation) && simulation) {
        state.runState = 0;
        state.auctionPhase = 0;
    }
}

void CKestravaDlg::OnCommand(int controlId) {
    std::lock_guard lock(interfaceLock_);
    if (closed_.load()) return;
    switch (controlId) {
        case 1060:
            OnOpenAuction();
            return;
        case 1138:
            StartSimulation();
            // Another practice auction: the page starts its timeline again (its start message
            // then times the console's run) and the guide forgets the last one.
            if (IsSimulation() && state.pageWindow.load()) {
                guide.Reset();
                // Nothing of the last auction's bid may be confirmed in this one.
                Run(hooks_.clearDisplayFlags);
                // The engine's reset shows no bid; a console without one shows none either.
                state.appliedPrice = 0;
                shell.OpenSimulationPage();
                UpdateGuide();
            }
            return;
        case 1160:
            Run(hooks_.smartCalibrate);
            return;
        case 1058:
            Run(hooks_.saveStrategy);
            return;
        case 1137:
            WriteLogLine("鼠标点击_校正时间");
            Run(hooks_.startNetworkClock);
            return;
        case 1112:
            StartUpdateCheckUnlessRunning();
            return;
        case 1059: {
            const std::string bidNumber = state.bidNumber.Get();
            logBook.FlushLog(bidNumber);
            platform.programs.Open(logBook.DayFilePath(bidNumber));
            return;
        }
        default:
            if (hooks_.controlClicked) hooks_.controlClicked(*this, controlId);
    }
}

void CKestravaDlg::OnSpin(int controlId, SpinArrow arrow) {
    std::lock_guard lock(interfaceLock_);
    if (closed_.load()) return;
    if (hooks_.spinMoved) hooks_.spinMoved(*this, controlId, arrow);
}

void CKestravaDlg::StartCancelTimer(std::function<void()> cancelled) {
    std::unique_ptr<platform::PeriodicTimer> previous;
    {
        std::lock_guard timers(timersMutex_);
        previous = std::move(cancelTimer_);
    }
    previous.reset();  // stops it outside the lock, which its callback never takes anyway
    cancelDue_ = true;
    auto timer = platform.timers.StartPeriodic(kCancelDelayMs, [this, cancelled = std::move(cancelled)] {
        // Runs once; the one-second tick or the next start releases the timer.
        if (closed_.load() || !cancelDue_.exchange(false)) return;
        shell.CancelCodeDialog();
        if (cancelled) cancelled();
    });
    std::lock_guard timers(timersMutex_);
    // Checked under the lock that OnClose takes after marking the console closed, so a timer
    // started during shutdown is either collected by OnClose or dropped here.
    if (closed_.load()) {
        timer->Stop();
        return;
    }
    cancelTimer_ = std::move(timer);
}

}  // namespace kestrava::console
