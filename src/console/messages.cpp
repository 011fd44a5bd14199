// The window messages other threads and programs send the console: one row per number. A row's
// handler does the console's own part and hands the rest to the role that owns it.
#include <cstdio>

#include "config/profile.h"
#include "console/console.h"
#include "console/ini_files.h"

namespace kestrava::console {

std::span<const MessageRow> CKestravaDlg::MessageTable() {
    static constexpr MessageRow kTable[] = {
        {msg::UpdateReady, "update-check worker", &CKestravaDlg::OnUpdateReady},
        {msg::PageLoggedIn, "page shell", &CKestravaDlg::OnPageLoggedIn},
        {msg::ConfigChanged, "outside program", &CKestravaDlg::OnConfigChanged},
        {msg::PageReport, "page shell", &CKestravaDlg::OnPageReport},
        {msg::ServerReport, "sync client", &CKestravaDlg::OnServerReport},
        {msg::Recalibrate, "outside program", &CKestravaDlg::OnRecalibrate},
        {msg::QuietUpdateReady, "update-check worker", &CKestravaDlg::OnQuietUpdateReady},
        {msg::ProgressBarSeen, "outside program", &CKestravaDlg::OnProgressBarSeen},
        {msg::JamSignal, "sync client", &CKestravaDlg::OnJamSignal},
        {msg::StartSimulationRun, "outside program", &CKestravaDlg::OnStartSimulationRun},
        {msg::ScheduleAnswer, "page shell", &CKestravaDlg::OnScheduleAnswer},
        {msg::CodeDialog, "page shell", &CKestravaDlg::OnCodeDialog},
        {msg::PageConfirmSeen, "page shell (practice page)", &CKestravaDlg::OnPageConfirmSeen},
        {msg::PageVerdict, "page shell (practice page)", &CKestravaDlg::OnPageVerdict},
        {msg::PageResult, "page shell (practice page)", &CKestravaDlg::OnPageResult},
    };
    return kTable;
}

bool CKestravaDlg::HandleMessage(const platform::Message& m) {
    std::lock_guard lock(interfaceLock_);
    if (closed_.load()) return false;
    for (const MessageRow& row : MessageTable()) {
        if (row.msg != m.msg) continue;
        (this->*row.handle)(m);
        return true;
    }
    return false;
}

void CKestravaDlg::OnUpdateReady(const platform::Message&) { Run(hooks_.installUpdate); }

void CKestravaDlg::OnQuietUpdateReady(const platform::Message&) { Run(hooks_.installQuietUpdate); }

void CKestravaDlg::OnPageLoggedIn(const platform::Message&) {
    // Too close to the end a calibration would only get in the way of the confirmation.
    if (state.remainingSeconds.load() < 3) return;
    if (state.pageLoginSeen.exchange(1) == 0) Run(hooks_.smartCalibrate);
}

void CKestravaDlg::OnConfigChanged(const platform::Message&) {
    WriteLogLine("服务器配置需要更新，立即自动更新");
    Run(hooks_.saveStrategy);
    StartUpdateCheckUnlessRunning();
}

void CKestravaDlg::OnPageReport(const platform::Message& m) {
    if (hooks_.pageReport) hooks_.pageReport(*this, m.wParam, m.lParam);
}

void CKestravaDlg::OnServerReport(const platform::Message& m) {
    if (hooks_.serverReport) hooks_.serverReport(*this, m.wParam, m.lParam);
}

void CKestravaDlg::OnRecalibrate(const platform::Message&) {
    WriteLogLine("==============mute===============");
    Run(hooks_.smartCalibrate);
    const std::string version = config::ReadProfileString(kGeometrySection, "version", "8.2", 10, kGeometryIni);
    controls.SetText(1128, "版本" + version);
}

void CKestravaDlg::OnProgressBarSeen(const platform::Message&) {
    if (hooks_.sendToSync) hooks_.sendToSync(*this, "6_0");
    log::DebugPrintf("6_0 屏幕有进度条 \n");
}

void CKestravaDlg::OnJamSignal(const platform::Message& m) {
    if (hooks_.jamSignal) hooks_.jamSignal(*this, m.wParam, m.lParam);
}

void CKestravaDlg::OnScheduleAnswer(const platform::Message& m) {
    if (hooks_.scheduleAnswer) hooks_.scheduleAnswer(*this, m.wParam, m.lParam);
}

void CKestravaDlg::OnCodeDialog(const platform::Message& m) {
    if (hooks_.codeDialog) hooks_.codeDialog(*this, m.wParam, m.lParam);
}

void CKestravaDlg::OnStartSimulationRun(const platform::Message&) {
    StartSimulation();
    if (!IsSimulation()) return;
    guide.Reset();
    const std::int64_t nowMs = platform.clock.EpochMillis();
    state.auctionStart = nowMs / 1000;
    state.auctionEnd = nowMs / 1000 + 190;
    const platform::LocalTime t = platform.clock.EpochMillisToLocal(nowMs);
    log::DebugPrintf("%d:%d:%d\n", t.hour, t.minute, t.second);
}

void CKestravaDlg::OnPageConfirmSeen(const platform::Message& m) { guide.OnConfirmSeen(m.wParam, m.lParam); }

void CKestravaDlg::OnPageVerdict(const platform::Message& m) {
    guide.OnVerdict(static_cast<int>(m.wParam), m.lParam == 1);
}

void CKestravaDlg::OnPageResult(const platform::Message& m) {
    guide.OnResult(static_cast<int>(m.wParam), m.lParam == 1);
    // The outcome is shown at once, not a second later.
    UpdateGuide();
}

}  // namespace kestrava::console
