// The login dialog's behaviour, without its window: the start-up sequence, the two mode buttons,
// the login routine, the compatibility self-test and the notice line. The Qt dialog shows the
// state kept here and forwards the clicks; a unit test drives the same object on the fake
// platform.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/kestrava_app.h"
#include "app/remote_config.h"
#include "platform/platform.h"

namespace kestrava::app {

// What the login routine opens next.
enum class NextWindow {
    None,       // the dialog stays (or, for an unknown auto_update value, nothing opens)
    HelpPages,  // the help pages, then the console
    Console,    // the console directly
};

struct LoginHooks {
    HttpGetFunction httpGet;
    // Starts the network-clock thread (it runs beside the dialog; nothing is kept of it).
    std::function<void()> startNetworkClock;
    // Places the login window at (2, 5), always on top or not; the view owns the window.
    std::function<void(bool topmost)> placeDialog;
};

// Texts the dialog shows.
inline constexpr char kSecondCopyText[] = "Vonter沪牌抢拍助手已经打开了";
inline constexpr char kShortBidNumberText[] = "请在上面的输入框中输入您自己的8位投标号";
inline constexpr char kCompatibilityFailedText[] = "兼容测试未通过!!！ 请联系客服。";
inline constexpr char kLogoMissingText[] = "LOGO没加载成功";
// The notification program and its window.
inline constexpr char kNotifyPath[] = "./notify";
inline constexpr char kNotifyWindowTitle[] = "远程通知栏";
// The single-instance lock and the bid number length.
inline constexpr std::size_t kBidNumberLength = 8;
// Timer id the page shell uses to start the compatibility check.
inline constexpr int kCompatibilityTimerId = 1;

class CBidNumDlg {
public:
    CBidNumDlg(platform::Platform& platform, CKestravaApp& app, LoginHooks hooks);

    struct StartupOutcome {
        bool keepRunning = true;
        int exitCode = 0;
    };
    // The start-up sequence up to reading auto_update. keepRunning false: a second copy; the
    // process ends with exitCode and nothing else is done.
    StartupOutcome OnInitDialog();
    // With auto_update 1, the login routine on the stored bid number; otherwise None.
    NextWindow AutoLoginIfAsked();
    // What follows an automatic login in the sequence: the network-clock thread.
    void FinishStartup();

    // ---- State the view shows
    std::string storedBidNumber;  // edit 1003 at start
    std::string noticeText = "aaa";
    int autoLogin = 0;
    std::string WindowTitle() const;     // "Vonter沪牌抢拍助手 <version>.Ravedadi"
    std::string VersionCaption() const;  // "版本号 <version>"

    // ---- Commands
    NextWindow OnSimulationLogin(std::string_view typed);
    NextWindow OnRealLogin(std::string_view typed);
    NextWindow DoLogin(std::string_view typed);
    void OnCompatibilityTest(std::string_view typed);
    void OnTimer(int id);
    // The text for the notice line after a click on the version button.
    std::string OnVersionButton() const;
    void OnNoticeClicked();

private:
    NextWindow ModeLogin(std::string_view typed, int moniornot);
    void DrawPolicyOnFirstUse();
    void RunCompatibilityCheck();
    void Place(bool topmost);

    platform::Platform& platform_;
    CKestravaApp& app_;
    LoginHooks hooks_;
};

}  // namespace kestrava::app
