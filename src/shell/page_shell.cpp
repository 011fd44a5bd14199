#include "shell/page_shell.h"

#include "log/log_book.h"
#include "platform/keys.h"

namespace kestrava::shell {

namespace wm = platform::wm;
namespace vk = platform::vk;

PageShell::PageShell(platform::Desktop& desktop, platform::Clock& clock, platform::Programs& programs,
                     platform::Notices& notices, PageLink& link)
    : desktop_(desktop), clock_(clock), programs_(programs), notices_(notices), link_(link) {}

void PageShell::Log(std::string_view text) {
    if (logLine_) logLine_(text);
}

// ---- Windows

PageWindows PageShell::FindPageWindows() {
    PageWindows w;
    w.window = desktop_.FindWindowByTitle(kPageWindowTitle);
    if (w.window) w.frame = desktop_.FindChild(w.window, kPageFrameClass);
    if (w.frame) w.view = desktop_.FindChild(w.frame, kPageViewClass);
    return w;
}

platform::WindowId PageShell::RefreshPageWindow() {
    const platform::WindowId w = desktop_.FindWindowByTitle(kPageWindowTitle);
    link_.pageWindow = w;
    return w;
}

PageWindows PageShell::RefreshPageWindows() {
    const PageWindows w = FindPageWindows();
    link_.pageWindow = w.window;
    link_.pageFrame = w.frame;
    link_.pageView = w.view;
    return w;
}

// ---- Commands

bool PageShell::Post(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) {
    const platform::WindowId target = link_.pageWindow.load();
    if (!target) return false;
    const platform::Message m{msg, wParam, lParam};
    if (!desktop_.PostMessage(target, m)) return false;
    if (posted_) posted_(m);
    return true;
}

bool PageShell::PostPoint(std::uint32_t msg, PagePoint p) { return Post(msg, static_cast<std::uint32_t>(p.x), p.y); }

bool PageShell::ClosePage() { return Post(wm::Close); }
bool PageShell::OpenRealPage() {
    link_.openedWindow = link_.pageWindow.load();
    return Post(cmd::OpenRealPage);
}
bool PageShell::OpenSimulationPage() {
    link_.openedWindow = link_.pageWindow.load();
    return Post(cmd::OpenSimulationPage);
}
bool PageShell::RunCompatibilityTest() { return Post(cmd::CompatibilityTest); }
bool PageShell::ClickAt(PagePoint p) { return PostPoint(cmd::ClickAt, p); }
bool PageShell::ClickPlusBoxAt(PagePoint p) { return PostPoint(cmd::ClickPlusBoxAt, p); }
bool PageShell::PressBidElement() { return Post(cmd::PressBidElement); }
bool PageShell::PointCodeBox(PagePoint p) { return PostPoint(cmd::CodeBoxPoint, p); }
bool PageShell::ConfirmCodeElement(std::uint32_t token) {
    return Post(cmd::ConfirmCodeElement, 0, static_cast<std::int32_t>(token));
}
bool PageShell::CancelCodeElement() { return Post(cmd::CancelCodeElement); }
bool PageShell::CloseInfoElement() { return Post(cmd::CloseInfoElement); }
bool PageShell::FocusPlusBoxElement() { return Post(cmd::FocusPlusBoxElement); }
bool PageShell::PressAddElement() { return Post(cmd::PressAddElement); }
bool PageShell::ReportCalibrationDone() { return Post(cmd::CalibrationDone); }

void PageShell::AskStatusIconRecovery() {
    Post(cmd::StatusIconRecoveryFirst);
    Post(cmd::StatusIconRecoverySecond);
}

// ---- Primitives

void PageShell::PressBidButton() {
    if (ElementMode()) {
        PressBidElement();
    } else {
        const PageGeometry g = link_.Geometry();
        ClickAt(g.At(g.bidbutton_picPot_x, g.bidbutton_picPot_y));
    }
    log::DebugPrintf("点击主界面出价\n");
}

void PageShell::CloseInfoDialog() {
    if (!ElementMode()) {
        const PageGeometry g = link_.Geometry();
        ClickAt(g.At(g.vk_ret_info_enterx, g.vk_ret_info_entery));
    }
    CloseInfoElement();
}

void PageShell::CancelCodeDialog() {
    if (!ElementMode()) {
        const PageGeometry g = link_.Geometry();
        ClickAt(g.At(g.vk_esc_x, g.vk_esc_y));
        ClickAt(g.At(g.vk_esc_x2, g.vk_esc_y2));
        ClickAt(g.At(g.vk_esc_x3, g.vk_esc_y3));
    }
    CancelCodeElement();
}

void PageShell::FocusPlusBox() {
    if (ElementMode()) {
        FocusPlusBoxElement();
    } else {
        const PageGeometry g = link_.Geometry();
        ClickPlusBoxAt(g.At(g.plusinput_picPot_x, g.plusinput_picPot_y));
    }
}

void PageShell::PressAddButton() {
    if (ElementMode()) {
        PressAddElement();
    } else {
        const PageGeometry g = link_.Geometry();
        ClickAt(g.At(g.plusbutton_picPot_x, g.plusbutton_picPot_y));
    }
}

void PageShell::TypeDigits(std::string_view text) {
    // The shell may have recreated its view since the last lookup; keys must reach the live one.
    const platform::WindowId view = FindPageWindows().view;
    if (!view) return;
    desktop_.PostMessage(view, platform::Message{wm::KeyDown, vk::Delete, 1});
    desktop_.PostMessage(view, platform::Message{wm::KeyUp, vk::Delete, 1});
    clock_.SleepMs(200);
    for (const char c : text) {
        if (c < '0' || c > '9') continue;
        desktop_.PostMessage(view, platform::Message{wm::Char, static_cast<std::uint32_t>(c), 0});
    }
}

// ---- The shell program

bool PageShell::ShellPresent() { return programs_.FileExists(kShellPath); }

bool PageShell::StartShell() { return programs_.Start(kShellPath, {}); }

bool PageShell::StartLearning(bool simulation) {
    Log(simulation ? "页面学习_模拟页面" : "页面学习_国拍页面");
    return programs_.Start(kShellPath, simulation ? std::vector<std::string>{"--learn"}
                                                  : std::vector<std::string>{"--learn", "real"});
}

void PageShell::RestartShell() {
    if (const platform::WindowId w = desktop_.FindWindowByTitle(kPageWindowTitle)) {
        desktop_.PostMessage(w, platform::Message{wm::Close, 0, 0});
        clock_.SleepMs(1000);
    }
    StartShell();
}

bool PageShell::OnOpenAuction(bool simulation) {
    Log("鼠标点击_打开国拍");
    if (!RefreshPageWindow()) {
        StartShell();
        clock_.SleepMs(1000);
        if (!RefreshPageWindow()) {
            notices_.Show(kShellNotStartingText, "");
            return false;
        }
    }
    if (simulation) {
        Log("打开国拍_模拟拍牌");
        OpenSimulationPage();
    } else {
        Log("打开国拍_正式拍牌");
        OpenRealPage();
    }
    return true;
}

}  // namespace kestrava::shell
