#include "page_shell.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "config/profile.h"
#include "console_link.h"
#include "native_bridge.h"
#include "platform/keys.h"
#include "shell/page_commands.h"
#include "shell/page_learning.h"
#include "shell/scheduled_confirm.h"

#include "page_shell_scripts.h"
namespace kestrava::sorrelpane {

namespace cmd = shell::cmd;
namespace wm = platform::wm;
namespace vk = platform::vk;


// ---- settings and log ------------------------------------------------------------------------

ShellSettings ShellSettings::Load() {
    ShellSettings s;
    s.realUrl = ReadString("Sorrelpane", "realurl", "", kShellIni);
    s.realElements = ReadString("Sorrelpane", "realelements", "bin/realelements.ini", kShellIni);
    s.practiceUrl = ReadString("Sorrelpane", "practiceurl", "practice/index.html", kShellIni);
    s.practiceParams = ReadString("Sorrelpane", "practiceparams", "", kShellIni);
    s.practiceElements = ReadString("Sorrelpane", "practiceelements", "practice/elements.ini", kShellIni);
    s.geometry = QRect(config::ReadProfileInt("Sorrelpane", "x", 0, kShellIni),
                       config::ReadProfileInt("Sorrelpane", "y", 0, kShellIni),
                       config::ReadProfileInt("Sorrelpane", "width", 1000, kShellIni),
                       config::ReadProfileInt("Sorrelpane", "height", 720, kShellIni));
    s.bidNumber = ReadString("Configure", "bidnumber", "", kUserIni);
    s.bidPassword = ReadString("Configure", "bidpassword", "", kUserIni);
    s.idCard = ReadString("Configure", "idcard", "", kUserIni);
    s.firstBid = config::ReadProfileInt("Configure", "firstbid", 0, kUserIni) == 1;
    return s;
}

ShellLog::ShellLog(QString bidNumber) : bidNumber_(bidNumber.isEmpty() ? QStringLiteral("0") : bidNumber) {}

void ShellLog::Write(const QString& text) {
    const QDateTime now = QDateTime::currentDateTime();
    QDir().mkpath(QStringLiteral("Log"));
    QFile file(QStringLiteral("Log/%1_%2_ie.log").arg(bidNumber_, now.date().toString(Qt::ISODate)));
    if (!file.open(QIODevice::Append)) return;
    std::string line = Gbk(QStringLiteral("[%1] %2\n").arg(now.time().toString(QStringLiteral("HH:mm:ss.zzz")), text));
    file.write(line.data(), static_cast<qint64>(line.size()));
}

// ---- page ------------------------------------------------------------------------------------

ShellPage::ShellPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

void ShellPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int lineNumber,
                                         const QString& sourceID) {
    if (message.startsWith(QLatin1String(kPageLinePrefix))) {
        emit pageLine(message);
    } else {
        emit consoleText(QStringLiteral("js %1:%2 %3").arg(QFileInfo(sourceID).fileName()).arg(lineNumber).arg(message));
    }
}

// ---- window ----------------------------------------------------------------------------------

PageShell::PageShell(ShellSettings settings, ConsoleLink* console, ShellLog* log)
    : settings_(std::move(settings)), console_(console), log_(log) {
    setWindowTitle(QString::fromUtf8(shell::kPageWindowTitle));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    frame_ = new QWidget(this);
    outer->addWidget(frame_);
    auto* frameLayout = new QVBoxLayout(frame_);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    inner_ = new QWidget(frame_);
    frameLayout->addWidget(inner_);
    auto* innerLayout = new QVBoxLayout(inner_);
    innerLayout->setContentsMargins(0, 0, 0, 0);

    // Off the record: nothing of a practice run is kept on disk between starts.
    profile_ = new QWebEngineProfile(this);
    page_ = new ShellPage(profile_, this);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    view_ = new QWebEngineView(inner_);
    view_->setPage(page_);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    innerLayout->addWidget(view_);

    KeepWindowClass(frame_, "chrome_widgetwin_0", shell::kPageFrameClass);
    KeepWindowClass(inner_, "chrome_widgetwin_1", shell::kPageViewClass);

    connect(page_, &ShellPage::pageLine, this, &PageShell::OnPageLine);
    connect(page_, &ShellPage::consoleText, this, [this](const QString& text) { log_->Write(text); });
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        log_->Write(QStringLiteral("page loaded %1 %2").arg(ok ? "ok" : "FAILED", page_->url().toString()));
        if (!ok) return;
        WatchElements();
        WatchCodeDialog();
    });
    // Only a navigation to another document starts a load: the one that showed the dialog goes.
    connect(page_, &QWebEnginePage::loadStarted, this,
            [this] { CodeDialogGone(QStringLiteral("another page is loading")); });
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
            [this] { CodeDialogGone(QStringLiteral("the page's renderer ended")); });
    confirmClock_ = new QTimer(this);
    confirmClock_->setSingleShot(true);
    confirmClock_->setTimerType(Qt::PreciseTimer);

    resize(settings_.geometry.size());
    move(settings_.geometry.topLeft());
    page_->setHtml(QStringLiteral("<html><body style=\"font-family:'WenQuanYi Micro Hei';background:#e9eef4\">"
                                  "<p style=\"margin:40px\">等待助手打开拍卖页面……</p></body></html>"));
    log_->Write(QStringLiteral("shell started"));
}

PageShell::~PageShell() {
    // The page must go before its profile.
    view_->setPage(nullptr);
    delete page_;
    page_ = nullptr;
}

void PageShell::closeEvent(QCloseEvent* event) {
    log_->Write(QStringLiteral("shell closing"));
    CodeDialogGone(QStringLiteral("the shell is closing"));
    page_->triggerAction(QWebEnginePage::Stop);
    event->accept();
}

void PageShell::Open(const QUrl& url, const QString& elementsFile) {
    elements_ = ReadElements(elementsFile);
    shownRects_.clear();
    firstBidDone_ = false;
    log_->Write(QStringLiteral("open %1 (%2 element selectors)").arg(url.toString()).arg(elements_.size()));
    page_->load(url);
}

QUrl PracticeUrl(const ShellSettings& settings, const QString& extraQuery) {
    const QString& configured = settings.practiceUrl;
    QUrl url = configured.contains(QLatin1String("://")) ? QUrl(configured)
                                                          : QUrl::fromLocalFile(QDir::current().absoluteFilePath(configured));
    QStringList query;
    if (!url.query().isEmpty()) query << url.query();
    if (!settings.practiceParams.isEmpty()) query << settings.practiceParams;
    if (!extraQuery.isEmpty()) query << extraQuery;
    url.setQuery(query.join('&'));
    return url;
}

void PageShell::OpenPractice(const QString& extraQuery) {
    // Each practice auction takes the practice page's settings as they stand now: a person or a
    // script may have changed them since the shell started.
    const ShellSettings now = ShellSettings::Load();
    settings_.practiceUrl = now.practiceUrl;
    settings_.practiceParams = now.practiceParams;
    settings_.practiceElements = now.practiceElements;
    Open(PracticeUrl(settings_, extraQuery), settings_.practiceElements);
}

void PageShell::OpenReal() {
    if (settings_.realUrl.isEmpty()) {
        log_->Write(QStringLiteral("open real page: no realurl in bin/sorrelpane.ini"));
        elements_.clear();
        page_->setHtml(QStringLiteral(
            "<html><body style=\"font-family:'WenQuanYi Micro Hei';background:#e9eef4\"><p style=\"margin:40px\">"
            "未设置国拍网址：请在 bin/sorrelpane.ini 的 [Sorrelpane] 节填写 realurl。</p></body></html>"));
        return;
    }
    Open(QUrl(settings_.realUrl), settings_.realElements);
}

// ---- console ---------------------------------------------------------------------------------

void PageShell::PostToConsole(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam, const char* what) {
    const bool sent = console_ && console_->PostToConsole(platform::Message{msg, wParam, lParam});
    log_->Write(QStringLiteral("%1 0x%2 %3 %4%5")
                    .arg(QLatin1String(what))
                    .arg(msg, 0, 16)
                    .arg(wParam)
                    .arg(lParam)
                    .arg(sent ? "" : " (no console)"));
}

namespace {
// The practice page's accounts of a run, relayed to the console as they come (two numbers each).
struct PageAccount {
    const char* kind;
    std::uint32_t msg;
    const char* what;
};
constexpr PageAccount kPageAccounts[] = {
    {"confirmseen", 0x4ae, "page saw its confirm click"},
    {"verdict", 0x4af, "page judged the bid"},
    {"result", 0x4b0, "page result"},
};
const PageAccount* FindAccount(const QString& kind) {
    for (const PageAccount& a : kPageAccounts)
        if (kind == QLatin1String(a.kind)) return &a;
    return nullptr;
}
}  // namespace

void PageShell::OnPageLine(const QString& line) {
    const QStringList f = line.mid(int(sizeof kPageLinePrefix) - 1).split('|');
    const QString kind = f.value(0);
    if (kind == QLatin1String("report")) {
        if (std::optional<PageReport> r = ParseReport(f)) {
            const bool sent = console_ && console_->PostToConsole(r->Message());
            LogReport(*r, sent, QDateTime::currentMSecsSinceEpoch());
        }
    } else if (kind == QLatin1String("rect")) {
        OnElementRect(f);
    } else if (kind == QLatin1String("codedialog")) {
        OnCodeDialogLine(f);
    } else if (kind == QLatin1String("hold") && f.size() >= 3) {
        bool ok = false;
        const std::uint32_t token = f[1].toUInt(&ok);
        if (ok) OnPageHold(token, f[2].toInt());
    } else if (kind == QLatin1String("log")) {
        log_->Write(QStringLiteral("page: ") + line.mid(int(sizeof kPageLinePrefix) - 1 + 4));
    } else if (kind == QLatin1String("login")) {
        QTimer::singleShot(kSettleMs, this, [this] { PostToConsole(0x465, 0, 0, "page logged in"); });
    } else if (kind == QLatin1String("start")) {
        QTimer::singleShot(kSettleMs, this, [this] { PostToConsole(0x49d, 0, 0, "practice auction started"); });
    } else if (const PageAccount* account = FindAccount(kind); account && f.size() >= 3) {
        bool wOk = false;
        bool lOk = false;
        const std::uint32_t w = f[1].toUInt(&wOk);
        const std::int32_t l = f[2].toInt(&lOk);
        if (wOk && lOk) PostToConsole(account->msg, w, l, account->what);
        else log_->Write(QStringLiteral("malformed page line: ") + line);
    } else if (kind == QLatin1String("progress")) {
        PostToConsole(0x49a, 0, 0, "progress bar shown");
    } else if (kind == QLatin1String("loginform")) {
        AutoLogin();
    } else if (kind == QLatin1String("phase") && f.size() >= 3) {
        if (f[1] == QLatin1String("1")) FirstBid(f[2].toInt());
    } else if (kind == QLatin1String("compat")) {
        QTimer::singleShot(kSettleMs, this, [this] {
            const bool sent = console_ && console_->PostTo(FindWindowByTitlePrefix(kLoginDialogTitlePrefix),
                                                           platform::Message{wm::Timer, kCompatTimerId, 0});
            log_->Write(QStringLiteral("compatibility page shown, timer 1 %1").arg(sent ? "sent" : "not sent (no login dialog)"));
        });
    } else {
        log_->Write(QStringLiteral("unknown page line: ") + line);
    }
}

std::optional<PageReport> PageShell::ParseReport(const QStringList& fields) {
    bool priceOk = false;
    bool codeOk = false;
    PageReport r;
    r.price = fields.value(1).toUInt(&priceOk);
    r.code = fields.value(2).toInt(&codeOk);
    r.madeAt = fields.value(3).toLongLong();
    if (!priceOk || !codeOk) return std::nullopt;
    return r;
}

void PageShell::LogReport(const PageReport& r, bool sent, qint64 postedAt) {
    // The page stamps its reports, so the log shows how long one took to reach the console.
    log_->Write(QStringLiteral("report 0x46e %1 %2 after %3 ms%4")
                    .arg(r.price)
                    .arg(r.code)
                    .arg(r.madeAt > 0 ? postedAt - r.madeAt : -1)
                    .arg(sent ? "" : " (no console)"));
}

// ---- commands --------------------------------------------------------------------------------

void PageShell::HandleMessage(const platform::Message& m) {
    switch (m.msg) {
    case wm::Close:
        log_->Write(QStringLiteral("WM_CLOSE"));
        close();
        return;
    case cmd::OpenRealPage:
        OpenReal();
        return;
    case cmd::OpenSimulationPage:
        OpenPractice();
        return;
    case cmd::CompatibilityTest:
        CompatibilityStep();
        return;
    case cmd::StatusIconRecoveryFirst:
        RestoreView();
        return;
    case cmd::StatusIconRecoverySecond:
        RecoverPage();
        return;
    case shell::cmd::ScheduleConfirm:
        // Not queued behind input: the moment must be armed at once.
        OnScheduleConfirm(m);
        return;
    case shell::cmd::CancelScheduledConfirm:
        OnCancelScheduledConfirm(m);
        return;
    case cmd::CalibrationDone:
        // The console has found the page and chosen its action mode; the page must keep still
        // from now on, so the shell only notes it.
        log_->Write(QStringLiteral("console calibrated"));
        return;
    default:
        break;
    }
    // Input keeps the order the console posted it in, also behind an element lookup.
    RunInput([this, m] { HandleInput(m); });
}

void PageShell::HandleInput(const platform::Message& m) {
    switch (m.msg) {
    case wm::KeyDown:
    case wm::KeyUp:
        SendKey(static_cast<int>(m.wParam), m.msg == wm::KeyDown);
        return;
    case wm::Char:
        SendChar(m.wParam);
        return;
    case wm::MouseMove:
    case wm::LButtonDown:
    case wm::LButtonUp: {
        // Mouse messages pack the page-view point into lParam, in device pixels.
        const qreal ratio = inner_->devicePixelRatioF();
        const QPointF p(platform::LoWord(m.lParam) / ratio, platform::HiWord(m.lParam) / ratio);
        SendMouse(m.msg == wm::MouseMove      ? QEvent::MouseMove
                  : m.msg == wm::LButtonDown ? QEvent::MouseButtonPress
                                             : QEvent::MouseButtonRelease,
                  p);
        if (m.msg != wm::MouseMove) {
            log_->Write(QStringLiteral("mouse %1 %2,%3")
                            .arg(m.msg == wm::LButtonDown ? "down" : "up")
                            .arg(platform::LoWord(m.lParam))
                            .arg(platform::HiWord(m.lParam)));
        }
        return;
    }
    case cmd::ClickAt:
    case cmd::ClickPlusBoxAt:
    case cmd::CodeBoxPoint:
        ClickAtViewPixel(static_cast<std::int32_t>(m.wParam), m.lParam);
        return;
    case cmd::PressBidElement: ClickElement(QStringLiteral("bidbutton")); return;
    case cmd::ConfirmCodeElement: OnConfirmCommand(m); return;
    case cmd::CancelCodeElement: ClickElement(QStringLiteral("cancel")); return;
    case cmd::CloseInfoElement: ClickElement(QStringLiteral("infoclose")); return;
    case cmd::FocusPlusBoxElement: ClickElement(QStringLiteral("plusbox")); return;
    case cmd::PressAddElement: ClickElement(QStringLiteral("addbutton")); return;
    default:
        log_->Write(QStringLiteral("ignored message 0x%1 %2 %3").arg(m.msg, 0, 16).arg(m.wParam).arg(m.lParam));
        return;
    }
}

void PageShell::RunInput(std::function<void()> action) {
    if (lookupsInFlight_ > 0) {
        heldInput_.push_back(std::move(action));
    } else {
        action();
    }
}

void PageShell::LookupDone() {
    if (lookupsInFlight_ > 0) --lookupsInFlight_;
    while (lookupsInFlight_ == 0 && !heldInput_.empty()) {
        std::function<void()> next = std::move(heldInput_.front());
        heldInput_.pop_front();
        next();
    }
}

void PageShell::EnsurePageFocus() {
    if (!isActiveWindow()) activateWindow();
    QWidget* target = view_->focusProxy() ? view_->focusProxy() : view_;
    if (!target->hasFocus()) {
        target->setFocus(Qt::OtherFocusReason);
        // Without window-manager focus Qt delivers no focus-in, and the page would not take keys.
        if (!target->hasFocus()) {
            QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
            QApplication::sendEvent(target, &in);
        }
    }
}

}  // namespace kestrava::sorrelpane
