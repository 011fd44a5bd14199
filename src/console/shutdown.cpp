// Closing the console. The order matters: no tick may run once the state starts to go away, so
// every timer is stopped first; the log is written only after the ticks that add to it are
// stopped; and the sync client is waited for last, with no timer left that could restart it.
#include "console/console.h"

namespace kestrava::console {

void CKestravaDlg::OnClose() {
    if (closed_.exchange(true)) return;
    // Nobody answers a box from here on, and one left open would keep the program from ending.
    interfaceLock_.StopShowing();
    // Messages from other programs have no target from here on.
    messageWindow_.reset();

    state.auctionPhase = 0;

    std::unique_ptr<platform::PeriodicTimer> stopping[6];
    {
        std::lock_guard timers(timersMutex_);
        stopping[0] = std::move(pageStateTimer_);
        stopping[1] = std::move(scanTimer_);
        stopping[2] = std::move(submitTimer_);
        stopping[3] = std::move(heartbeatTimer_);
        stopping[4] = std::move(secondTimer_);
        stopping[5] = std::move(cancelTimer_);
    }
    // Stop waits for a running tick to finish, so this must not hold a lock a tick takes.
    for (auto& timer : stopping) {
        if (timer) timer->Stop();
        timer.reset();
    }

    logBook.FlushLog(state.bidNumber.Get());
    platform.clock.SleepMs(200);

    if (syncWorker_) {
        syncWorker_->RequestStop();
        if (!syncWorker_->WaitUntilEnded(500)) syncWorker_->Abandon();
        syncWorker_.reset();
    }
    platform.power.KeepAwake(false);
}

}  // namespace kestrava::console
