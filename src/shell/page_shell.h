// Driving the page shell: finding its windows, starting it, posting its commands, and the click
// and key primitives the bidding roles are built from. Nothing here waits for the shell: each
// command is a posted message, and sequences pace themselves with the clock's sleeps.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/platform.h"
#include "shell/page_commands.h"
#include "shell/page_geometry.h"
#include "shell/page_link.h"

namespace kestrava::shell {

class PageShell {
public:
    // Receives the business log lines of the shell operations (the console stamps them).
    using LogLine = std::function<void(std::string_view)>;

    PageShell(platform::Desktop& desktop, platform::Clock& clock, platform::Programs& programs,
              platform::Notices& notices, PageLink& link);

    // Hears every command the page window was sent, right after it went.
    using Posted = std::function<void(const platform::Message&)>;

    // Set before the shell is used from several threads.
    void SetLogLine(LogLine logLine) { logLine_ = std::move(logLine); }
    void SetPosted(Posted posted) { posted_ = std::move(posted); }

    // ---- Windows
    // The three windows looked up afresh: title, then the two classes in turn; a missing link
    // leaves the rest of the chain 0.
    PageWindows FindPageWindows();
    // Looks the page window up by title and keeps it as the target of the commands.
    platform::WindowId RefreshPageWindow();
    // Looks all three up and keeps them.
    PageWindows RefreshPageWindows();

    // ---- Commands to the page window as last looked up (false when there is none or the post
    // failed; nothing is sent without a target).
    bool Post(std::uint32_t msg, std::uint32_t wParam = 0, std::int32_t lParam = 0);
    bool PostPoint(std::uint32_t msg, PagePoint p);
    bool ClosePage();
    bool OpenRealPage();
    bool OpenSimulationPage();
    bool RunCompatibilityTest();
    bool ClickAt(PagePoint p);
    bool ClickPlusBoxAt(PagePoint p);
    bool PressBidElement();
    bool PointCodeBox(PagePoint p);
    // `token`: the scheduled confirmation this command stands in for (0: none); the shell clicks
    // once for the two.
    bool ConfirmCodeElement(std::uint32_t token = 0);
    bool CancelCodeElement();
    bool CloseInfoElement();
    bool FocusPlusBoxElement();
    bool PressAddElement();
    // Sent when the page's status icon cannot be found, after the console has stepped aside.
    void AskStatusIconRecovery();
    bool ReportCalibrationDone();

    // ---- Primitives that follow the action mode
    bool ElementMode() const { return link_.divmode.load() != 0; }
    void PressBidButton();
    void CloseInfoDialog();
    void CancelCodeDialog();
    // Focuses the plus-amount box: a click into it, or the element command.
    void FocusPlusBox();
    // Presses the add-amount button: a click on it, or the element command.
    void PressAddButton();
    // Clears the focused input (Delete down and up), waits 200 ms, then types the digits of
    // `text` as characters; anything but '0'..'9' is skipped. The page view is looked up
    // afresh; without one nothing is posted.
    void TypeDigits(std::string_view text);

    // ---- The shell program
    bool ShellPresent();
    bool StartShell();
    // The page learning view of the shell (Sorrelpane --learn): the practice page in a
    // simulation, the operator's page (its realurl) otherwise. False when it cannot be started.
    bool StartLearning(bool simulation);
    // Login start: closes a running shell (and gives it a second), then starts a fresh one.
    void RestartShell();
    // The "打开国拍"/"打开模拟" button. Starts the shell when its window is missing; false (after
    // telling the user) when it still does not come up, true when the open command was posted.
    bool OnOpenAuction(bool simulation);

private:
    void Log(std::string_view text);

    platform::Desktop& desktop_;
    platform::Clock& clock_;
    platform::Programs& programs_;
    platform::Notices& notices_;
    PageLink& link_;
    LogLine logLine_;
    Posted posted_;
};

}  // namespace kestrava::shell
