#include "console/console.h"

namespace kestrava::console {

namespace {
platform::Platform WithNotices(const platform::Platform& p, platform::Notices& notices) {
    return platform::Platform{p.clock,    p.timers,   p.desktop, p.screen,     p.keyboard, p.registry,
                              p.programs, p.sound,    notices,   p.systemTime, p.power,    p.singleInstance};
}
}  // namespace

CKestravaDlg::CKestravaDlg(platform::Platform p, log::LogBook& book, LoginInfo login, ConsoleHooks hooks)
    : interfaceLock_(p.notices),
      shell(p.desktop, p.clock, p.programs, interfaceLock_, state),
      platform(WithNotices(p, interfaceLock_)),
      logBook(book),
      hooks_(std::move(hooks)) {
    state.bidNumber.Set(std::move(login.bidNumber));
    state.productVersion.Set(std::move(login.productVersion));
    state.ispClass = login.ispClass;
    state.loginSecond = login.loginSecond;
    shell.SetLogLine([this](std::string_view text) { WriteLogLine(text); });
    shell.SetPosted([this](const platform::Message& m) {
        if (IsSimulation()) guide.OnCommandSent(m.msg, m.wParam, platform.clock.EpochMillis());
    });
}

CKestravaDlg::~CKestravaDlg() { OnClose(); }

void CKestravaDlg::Run(const ConsoleHooks::Step& step) {
    if (step) step(*this);
}

void CKestravaDlg::WriteLogLine(std::string_view text) {
    logBook.WriteLogLine(state.pageMinute.load(), state.pageSecond.load(), text);
    if (IsSimulation()) guide.OnLogLine(text, platform.clock.EpochMillis());
}

void CKestravaDlg::SetInfoHeader(std::string_view text) { state.infoHeader.Set(std::string(text)); }

void CKestravaDlg::SetInfoBody(std::string_view text) { state.infoBody.Set(std::string(text)); }

// The style goes first so a view that sees the new text also sees its colour.
void CKestravaDlg::SetInfoHeader(std::string_view text, int style) {
    state.infoHeaderStyle = style;
    SetInfoHeader(text);
}

void CKestravaDlg::SetInfoBody(std::string_view text, int style) {
    state.infoBodyStyle = style;
    SetInfoBody(text);
}

bool CKestravaDlg::OpenMessageWindow() {
    messageWindow_ = platform.desktop.CreateMessageWindow(
        kConsoleTitle, "Kestrava", [this](const platform::Message& m) { HandleMessage(m); });
    return messageWindow_ != nullptr;
}

}  // namespace kestrava::console
