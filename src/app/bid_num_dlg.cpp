#include "app/bid_num_dlg.h"

#include <random>

#include "config/settings.h"
#include "perception/calibration.h"
#include "perception/capture.h"
#include "perception/image_files.h"
#include "perception/page_geometry.h"
#include "perception/template_search.h"
#include "shell/browser_settings.h"
#include "shell/page_commands.h"
#include "shell/page_link.h"
#include "shell/page_shell.h"

namespace kestrava::app {

CBidNumDlg::CBidNumDlg(platform::Platform& platform, CKestravaApp& app, LoginHooks hooks)
    : platform_(platform), app_(app), hooks_(std::move(hooks)) {}

CBidNumDlg::StartupOutcome CBidNumDlg::OnInitDialog() {
    if (config::Read(config::user::firstuse) == 0) shell::SetSecureProtocols(platform_.registry);

    if (!platform_.singleInstance.TryAcquire(kProductName)) {
        platform_.notices.Show(kSecondCopyText, kProductName);
        return {false, 0};
    }
    // A settings file carried over from an older installation may be readable by anyone; it holds
    // the page password and the identity-card number.
    config::ProtectUserConf();

    shell::SetBrowserEmulation(platform_.registry, "Quillpane.exe");
    storedBidNumber = config::Read(config::user::bidnumber);
    if (storedBidNumber.size() > kBidNumberLength) storedBidNumber.resize(kBidNumberLength);

    app_.loginSecond = platform_.clock.Now().second;
    if (app_.loginSecond < 0 || app_.loginSecond > 59) app_.loginSecond = -1;
    noticeText = FetchRemoteConfig(hooks_.httpGet, app_.loginSecond).noticeText;

    shell::PageLink link;
    shell::PageShell(platform_.desktop, platform_.clock, platform_.programs, platform_.notices, link).RestartShell();
    if (!platform_.desktop.FindWindowByTitle(kNotifyWindowTitle)) platform_.programs.Start(kNotifyPath, {});

    Place(true);
    app_.ispClass = DetectIspClass(hooks_.httpGet);
    app_.productVersion = ReadProductVersion();
    autoLogin = config::Read(config::conf::auto_update);
    return {};
}

NextWindow CBidNumDlg::AutoLoginIfAsked() {
    return autoLogin == 1 ? DoLogin(storedBidNumber) : NextWindow::None;
}

void CBidNumDlg::FinishStartup() {
    if (hooks_.startNetworkClock) hooks_.startNetworkClock();
}

std::string CBidNumDlg::WindowTitle() const {
    return std::string(kProductName) + " " + app_.productVersion + ".Ravedadi";
}

std::string CBidNumDlg::VersionCaption() const { return "版本号 " + app_.productVersion; }

NextWindow CBidNumDlg::OnSimulationLogin(std::string_view typed) { return ModeLogin(typed, 1); }

NextWindow CBidNumDlg::OnRealLogin(std::string_view typed) { return ModeLogin(typed, 0); }

NextWindow CBidNumDlg::ModeLogin(std::string_view typed, int moniornot) {
    DrawPolicyOnFirstUse();
    if (typed.size() < kBidNumberLength) {
        platform_.notices.Show(kShortBidNumberText, kProductName);
        return NextWindow::None;
    }
    config::Write(config::user::moniornot, moniornot);
    return DoLogin(typed);
}

NextWindow CBidNumDlg::DoLogin(std::string_view typed) {
    // The field takes eight digits; anything longer did not come from it.
    app_.bidNumber = std::string(typed.substr(0, kBidNumberLength));
    config::Write(config::user::bidnumber, app_.bidNumber);
    if (app_.bidNumber.size() < kBidNumberLength) {
        platform_.notices.Show(kShortBidNumberText, kProductName);
        app_.bidNumber.clear();
        return NextWindow::None;
    }
    if (autoLogin == 0) return NextWindow::HelpPages;
    if (autoLogin == 1) return NextWindow::Console;
    return NextWindow::None;
}

void CBidNumDlg::DrawPolicyOnFirstUse() {
    if (config::Read(config::user::firstuse) != 0) return;
    config::Write(config::user::firstuse, 1);
    std::minstd_rand random(static_cast<std::uint32_t>(platform_.clock.EpochMillis() / 1000));
    config::Write(config::user::SelPolicy, static_cast<int>(random() % 3) + 1);
}

void CBidNumDlg::OnCompatibilityTest(std::string_view typed) {
    if (typed.size() >= kBidNumberLength) {
        config::Write(config::user::bidnumber, typed.substr(0, kBidNumberLength));
    }
    DrawPolicyOnFirstUse();
    config::Write(config::user::firstuse, 1);
    const platform::WindowId page = platform_.desktop.FindWindowByTitle(shell::kPageWindowTitle);
    if (!page) return;
    platform_.desktop.SetForeground(page);
    platform_.desktop.PostMessage(page, platform::Message{shell::cmd::CompatibilityTest, 0, 0});
}

void CBidNumDlg::OnTimer(int id) {
    if (id == kCompatibilityTimerId) RunCompatibilityCheck();
}

void CBidNumDlg::RunCompatibilityCheck() {
    Place(false);
    platform::Desktop& desktop = platform_.desktop;
    const platform::WindowId page = desktop.FindWindowByTitle(shell::kPageWindowTitle);
    if (page) desktop.SetForeground(page);

    const float scale = perception::ReadDisplayScale(platform_.registry);
    platform::Rect pageClient;
    if (page) pageClient = desktop.ClientRect(page).value_or(platform::Rect{});
    const auto capture = perception::CapturePage(desktop, platform_.screen, pageClient);
    const auto reference = perception::LoadReferenceImage(std::string(perception::kPictureDir) +
                                                          perception::GreenTemplateName(scale));
    bool found = false;
    if (capture && reference) {
        const perception::Bgr24Image pixels = perception::LockAs24(*capture);
        found = perception::FindTemplate(pixels.View(), reference->View()).has_value();
    }
    if (found) {
        if (page) desktop.PostMessage(page, platform::Message{shell::cmd::CompatibilityTest, 0, 0});
    } else {
        platform_.notices.Show(kCompatibilityFailedText, kProductName);
    }
    Place(true);
}

std::string CBidNumDlg::OnVersionButton() const { return noticeText + "->S0"; }

void CBidNumDlg::OnNoticeClicked() {
    const std::string page = config::Read(remote::downloadpage);
    if (!page.empty()) platform_.programs.Open(page + "#ruanjianxiazai");
}

void CBidNumDlg::Place(bool topmost) {
    if (hooks_.placeDialog) hooks_.placeDialog(topmost);
}

}  // namespace kestrava::app
