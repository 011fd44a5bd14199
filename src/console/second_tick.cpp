// The one-second tick: follows the page window and drives the run-state machine
// (0 waiting for the page, 1 starting, 2 in progress, 4 simulation finished).
#include <cstdio>
#include <string>

#include "console/console.h"

namespace kestrava::console {

namespace {
constexpr char kTimeBase[] = "00:00:00";  // the time displays' base value, 1 January 2014 00:00:00

std::string ShellReplacedLine(platform::WindowId before, std::uint32_t processBefore, platform::WindowId now,
                              std::uint32_t process) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "page shell restarted within a second: window 0x%lx of process %u is now 0x%lx of process %u",
                  static_cast<unsigned long>(before), processBefore, static_cast<unsigned long>(now), process);
    return text;
}

std::string HhMmSs(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600 % 24),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}
}  // namespace

void CKestravaDlg::ResetTimeDisplays() {
    for (int id : {1043, 1045, 1046}) controls.SetText(id, kTimeBase);
}

void CKestravaDlg::BlankEndedRun() {
    controls.SetText(1043, kTimeBase);
    controls.SetText(1045, kTimeBase);
    controls.SetText(1046, HhMmSs(state.remainingDisplay.load()));
    for (int id : {1104, 1105, 1106}) controls.SetText(id, "---");
    controls.SetText(1155, "");
    controls.SetText(1040, "");
    SetInfoHeader("");
    SetInfoBody("");
    state.summaryWindowVisible = false;
    state.runState = IsSimulation() ? 4 : 0;
}

// The page shell gone (killed, crashed, closed by mistake) while a real run is under way: its next
// start must not count as a new auction day, whose reset would forget the applied price, an armed
// submission and the prices seen. The run's state is kept, the bidder is told how to get the page
// back, and the times stand still until it is (the remaining time is read off the page).
bool CKestravaDlg::KeepRunWithoutPage() {
    auto& s = state;
    const int phase = s.auctionPhase.load();
    if (IsSimulation() || s.runState.load() != 2 || phase == 0 || phase == 4) return false;
    if (s.pageShellLost.exchange(1) == 0) {
        // The gone shell's page went with it (and the server may hand its window id to the next).
        s.openedWindow = 0;
        WriteLogLine(kShellGoneText);
        SetInfoHeader("提示：国拍页面已关闭，请点击“打开国拍”，本场的状态已保留");
        Run(hooks_.pageShellLost);
    }
    Run(hooks_.refreshControls);
    return true;
}

// The shell's new window: a shell started by "打开国拍" has been sent the open command already;
// one started by hand shows no page until it is. Back after the auction's end, the armed
// submission is dropped: nothing may be confirmed for an auction that is over. (Until this tick
// has run, the scan and submit ticks leave the page alone, so no rule gets there first.)
void CKestravaDlg::PageShellBack() {
    WriteLogLine(kShellBackText);
    if (platform.clock.EpochMillis() / 1000 >= state.auctionEnd.load()) {
        WriteLogLine(kShellBackAfterEndText);
        Run(hooks_.clearDisplayFlags);
        state.appliedPrice = 0;
    }
    if (state.openedWindow.load() != state.pageWindow.load()) shell.OpenRealPage();
}

void CKestravaDlg::RunPhaseSounds() {
    if (!IsSimulation() || !VoiceOn()) return;
    const int phase = state.auctionPhase.load();
    if (phase == 2 && !state.phase2SoundPlayed.exchange(1)) platform.sound.Play(178);
    if (phase == 3 && !state.phase3SoundPlayed.exchange(1)) platform.sound.Play(188);
}

void CKestravaDlg::FlushLogEveryMinute() {
    if (closed_.load()) return;  // the close writes it
    const std::uint32_t now = platform.clock.TickCount();
    if (now - lastLogFlushTick_ < kLogFlushEveryMs) return;
    const int remaining = state.remainingSeconds.load();
    if (state.auctionPhase.load() == 3 && remaining >= 0 && remaining <= kNoFlushSeconds) return;
    lastLogFlushTick_ = now;
    logBook.FlushLog(state.bidNumber.Get());
}

void CKestravaDlg::OnSecondTick() {
    // Outside the interface lock: a slow disk holds up no message and no command.
    FlushLogEveryMinute();
    std::lock_guard lock(interfaceLock_);
    if (closed_.load()) return;
    auto& s = state;

    // A test bid's cancel timer that has done its work is released here, off its own thread.
    if (cancelDue_.load() == false) {
        std::lock_guard timers(timersMutex_);
        cancelTimer_.reset();
    }

    const platform::WindowId found = shell.RefreshPageWindow();
    const std::uint32_t process = found ? platform.desktop.WindowProcess(found).value_or(0) : 0;
    const platform::WindowId before = s.takenPageWindow.exchange(found);
    const std::uint32_t processBefore = s.takenPageProcess.exchange(process);
    // A window of another id, or of another process, than a second ago: the shell went and came
    // back in between. Noticed by the window alone, since it was never missing at a tick (the X
    // server often hands the new shell its predecessor's ids, never its process id); its run is
    // kept and the new window told to open the page below, as for a shell missed for longer.
    const bool replaced = found != 0 && before != 0 &&
                          (found != before || (process != 0 && processBefore != 0 && process != processBefore));
    if (replaced) WriteLogLine(ShellReplacedLine(before, processBefore, found, process));
    if (!found || replaced) {
        const platform::WindowId opened = s.openedWindow.load();
        if (!KeepRunWithoutPage()) {
            s.runState = 0;
            s.auctionPhase = 0;
            ResetTimeDisplays();
            SetInfoHeader("提示：点击软件界面上的“打开国拍”");
            Run(hooks_.refreshControls);
            return;
        }
        if (!found) return;  // the run waits for the shell
        // Replaced: the new window is here already and is taken back below, at once; one that
        // "打开国拍" has opened meanwhile is not opened again (that would reload its page). With
        // the old id back, the open on record may be the dead window's: it is sent again.
        if (opened == found && found != before) s.openedWindow = found;
    }
    s.pageSeen = 1;
    if (s.pageShellLost.load() == 1) {
        PageShellBack();
        s.pageShellLost = 0;  // only now may the ticks act on the page again
    }

    if (s.runState.load() == 0) {
        if (!IsSimulation()) {
            s.runState = 1;
        } else {
            SetInfoHeader("提示：已进入投标竞拍，拍牌尚未开始");
            bool hit = false;
            if (hooks_.findStartMark) {
                if (const auto mark = hooks_.findStartMark(*this)) {
                    s.UpdateGeometry([&](shell::PageGeometry& g) {
                        g.lvwf_x = mark->x;
                        g.lvwf_y = mark->y;
                    });
                    s.startMarkFound = 1;
                    hit = true;
                }
            }
            if (s.startMarkFound.load() == 1) StartSimulation();
            // After StartSimulation, which clears the run's labels, so the bidder sees the mark.
            if (hit) controls.SetText(1143, "OK");
        }
    }

    // A finished run stays finished until the page window goes away.
    if (s.runState.load() >= 1 && s.auctionPhase.load() == 4) {
        BlankEndedRun();
        UpdateGuide();
        Run(hooks_.refreshControls);
        return;
    }

    if (s.runState.load() == 1) {
        if (IsSimulation() && VoiceOn()) platform.sound.Play(187);
        s.runState = 2;
        ResetAuctionDay();
        UpdateAuctionPhase();
    }

    if (s.runState.load() == 2) {
        s.infoBarVisible = true;
        RunPhaseSounds();
        if (s.pageLoginSeen.load() == 1 && s.hintThreeShown.load() == 0 && s.auctionPhase.load() == 2 &&
            s.remainingSeconds.load() > 120) {
            if (hooks_.showHint) hooks_.showHint(*this, 3);
            s.hintThreeShown = 1;
        }
        UpdateAuctionPhase();
    }

    UpdateGuide();
    Run(hooks_.refreshControls);
}

void CKestravaDlg::UpdateGuide() {
    if (!IsSimulation()) return;
    const auto& s = state;
    const Guidance g = guide.Decide(GuideRun{s.runState.load(), s.auctionPhase.load(), s.appliedPrice.load(),
                                             s.ctrlXpricelimit.load()});
    // The text first, so a view that sees the new serial also sees its text.
    state.guideText.Set(g.text);
    state.guideSerial = g.serial;
    if (const std::optional<std::string> outcome = guide.TakeOutcomeToPrint()) {
        std::printf("%s\n", outcome->c_str());
        std::fflush(stdout);
    }
}

}  // namespace kestrava::console
