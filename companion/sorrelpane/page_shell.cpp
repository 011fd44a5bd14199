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

namespace kestrava::sorrelpane {

namespace cmd = shell::cmd;
namespace wm = platform::wm;
namespace vk = platform::vk;

namespace {

constexpr char kShellIni[] = "bin/sorrelpane.ini";
constexpr char kUserIni[] = "bin/userconf.ini";
constexpr char kPageLinePrefix[] = "KESTRAVA|";
// Posted to the login dialog when the compatibility page is on screen.
constexpr std::uint32_t kCompatTimerId = 1;
// The page has painted before it says so, but the pixels still have to travel through the
// compositor to the X server before the console looks at the screen.
constexpr int kSettleMs = 300;
constexpr int kLookupTimeoutMs = 1000;

QString ReadString(const char* section, const char* key, const char* dflt, const char* path) {
    return QString::fromStdString(config::ReadProfileString(section, key, dflt, 1024, path));
}

std::string Gbk(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    iconv_t cd = iconv_open("GBK//TRANSLIT", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8.toStdString();
    std::string out(static_cast<std::size_t>(utf8.size()) * 2 + 8, '\0');
    char* in = utf8.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
            if (outLeft == 0) break;
            // A character GBK cannot hold: keep a question mark and go on.
            ++in;
            --inLeft;
            *dst++ = '?';
            --outLeft;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

QHash<QString, QString> ReadElements(const QString& path) {
    static const char* const kRoles[] = {"bidbutton", "confirm",  "cancel",   "infoclose", "plusbox",
                                         "addbutton", "codebox",  "bidprice", "statusicon", "loginbid",
                                         "loginpwd",  "loginid",  "loginbutton"};
    QHash<QString, QString> roles;
    const std::string file = path.toStdString();
    for (const char* role : kRoles) {
        QString selector = ReadString("Elements", role, "", file.c_str());
        if (!selector.isEmpty()) roles.insert(role, selector);
    }
    return roles;
}

// A script literal for `text` (JSON string syntax is valid JavaScript).
QString JsString(const QString& text) {
    QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString RectScript(const QString& selector) {
    return QStringLiteral(
               "(function(s){var e=document.querySelector(s);if(!e)return null;"
               "if(e.closest&&e.closest('[hidden]'))return null;var r=e.getBoundingClientRect();"
               "return(r.width>0&&r.height>0)?[r.left,r.top,r.width,r.height]:null;})(%1)")
        .arg(JsString(selector));
}

// The elements the console clicks, watched in the page: whenever the document changes (or is
// resized or scrolled) the page reports each element's place that has changed, as a
// "rect|role|left|top|width|height" line (empty numbers: not shown). The shell thus knows where to
// click before it is asked.
constexpr const char* kWatchedRoles[] = {"bidbutton", "confirm", "cancel", "infoclose", "plusbox", "addbutton"};

QString WatchScript(const QJsonObject& roles) {
    return QStringLiteral(
               "(function(roles){"
               "if(window.__kestravaWatch)window.__kestravaWatch.disconnect();"
               "var last={};"
               "function place(s){var e=document.querySelector(s);if(!e)return'';"
               "if(e.closest&&e.closest('[hidden]'))return'';var r=e.getBoundingClientRect();"
               "return(r.width>0&&r.height>0)?[r.left,r.top,r.width,r.height].join('|'):'';}"
               "function scan(){for(var k in roles){var v=place(roles[k]);"
               "if(v!==last[k]){last[k]=v;console.log('%1rect|'+k+'|'+v);}}}"
               "var mo=new MutationObserver(scan);"
               "mo.observe(document.documentElement,{subtree:true,childList:true,attributes:true});"
               "addEventListener('resize',scan,true);addEventListener('scroll',scan,true);"
               "window.__kestravaWatch=mo;scan();})(%2)")
        .arg(QLatin1String(kPageLinePrefix), QString::fromUtf8(QJsonDocument(roles).toJson(QJsonDocument::Compact)));
}

QString FillScript(const QString& selector, const QString& value) {
    return QStringLiteral(
               "(function(s,v){var e=document.querySelector(s);if(!e)return false;e.focus();e.value=v;"
               "e.dispatchEvent(new Event('input',{bubbles:true}));return true;})(%1,%2)")
        .arg(JsString(selector), JsString(value));
}

Qt::Key KeyForVk(int code) {
    if (code >= vk::Digit0 && code <= vk::Digit0 + 9) return static_cast<Qt::Key>(Qt::Key_0 + (code - vk::Digit0));
    if (code >= vk::KeyA && code <= vk::KeyA + 25) return static_cast<Qt::Key>(Qt::Key_A + (code - vk::KeyA));
    if (code >= vk::F1 && code <= vk::F1 + 11) return static_cast<Qt::Key>(Qt::Key_F1 + (code - vk::F1));
    switch (code) {
    case vk::Back: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case vk::Return: return Qt::Key_Return;
    case vk::Escape: return Qt::Key_Escape;
    case vk::Space: return Qt::Key_Space;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x24: return Qt::Key_Home;
    case 0x23: return Qt::Key_End;
    case vk::Delete: return Qt::Key_Delete;
    default: return Qt::Key_unknown;
    }
}

// The geometry file of the practice page from the rectangles the page measured (CSS pixels
// relative to the green icon; the anchor in page-view pixels). Values are for display scale 1.
QByteArray GeometryIni(const QJsonObject& g) {
    const QJsonObject a = g.value("anchor").toObject();
    const double ax = a.value("x").toInt(), ay = a.value("y").toInt();
    auto box = [&](const char* id) {
        const QJsonObject o = g.value(id).toObject();
        return shell::learning::Box{ax + o.value("x").toInt(), ay + o.value("y").toInt(), double(o.value("w").toInt()),
                                    double(o.value("h").toInt())};
    };
    shell::learning::GeometryBoxes b;
    b.anchor = {ax, ay, double(a.value("w").toInt()), double(a.value("h").toInt())};
    b.lowest = box("lowest");
    b.clock = box("clock");
    b.codeInput = box("codeinput");
    b.plusBox = box("plusamount");
    b.addButton = box("addbtn");
    b.bidButton = box("bidbtn");
    b.bidPrice = box("bidprice");
    b.confirm = box("codeok");
    b.cancel = box("codecancel");
    b.infoClose = box("infook");
    // The practice page's dialog area holds the code dialog and the result dialog.
    b.codeDialog = box("codedialog");
    b.infoDialog = box("resultdialog");
    b.leftPanel = box("leftpanel");
    b.lowestTime = box("lowesttime");
    b.bidCount = box("bidcount");
    return QByteArray::fromStdString(shell::learning::GeometryFileText(
        {"Geometry of the bundled practice page at display scale 1.0, measured from the page",
         "by `Sorrelpane --write-geometry`. Offsets are relative to the green network icon",
         "(lvwf_x, lvwf_y in page-view pixels); the tooltip positions are page-view pixels."},
        shell::learning::GeometryKeyValues(b)));
}

}  // namespace

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
        if (ok) WatchElements();
    });
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

// ---- scheduled confirmation ------------------------------------------------------------------

namespace {
std::int64_t EpochMillisNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
QString ClockText(std::int64_t epochMillis) {
    return QDateTime::fromMSecsSinceEpoch(epochMillis).toString(QStringLiteral("HH:mm:ss.zzz"));
}
// The timer wakes this early and the last stretch is waited out on the clock itself: a timer
// wake-up can be a millisecond or two late, a short spin is not.
constexpr int kSpinMs = 3;

// A native click takes its time through the browser engine before the page's handler runs: a few
// milliseconds on an idle machine, 15-20 ms on a busy one (the console reading the screen, another
// program building). So for a scheduled confirmation the page holds its own input for the last
// kHoldMs before the moment: its main thread waits out the moment on the page's clock, and input
// that arrives meanwhile queues behind it. Once the page has reported its hold, the shell sends the
// click up to kHoldLeadMs ahead; the page's handler then runs at the moment, as a trusted click.
// Without the report (a page that does not run the script, a hold that started late) the shell
// clicks at the moment itself.
constexpr int kHoldMs = 50;
constexpr int kHoldLeadMs = 30;
constexpr int kHoldEndsEarlyMs = 1;

QString HoldScript(std::uint32_t token, std::int64_t dueEpochMillis) {
    // The moment is turned into the page's own monotonic clock when the script runs, from the
    // system clock the console and the shell share (the script reaches the page some time after it
    // is sent). The hold ends kHoldEndsEarlyMs before the moment: the press is dispatched first,
    // and the release, whose click the page acts on, follows one engine round trip later.
    return QStringLiteral(
               "(function(t,due,hold,early){var k=window.__kestravaHold||(window.__kestravaHold={});"
               "clearTimeout(k.timer);k.token=t;var target=performance.now()+(due-Date.now());"
               "k.timer=setTimeout(function(){if(k.token!==t)return;"
               "console.log('%1hold|'+t+'|'+Math.round(target-performance.now()));"
               "while(performance.now()<target-early){}k.token=0;"
               "},Math.max(0,target-performance.now()-hold));"
               "return true;})(%2,%3,%4,%5)")
        .arg(QLatin1String(kPageLinePrefix))
        .arg(token)
        .arg(dueEpochMillis)
        .arg(kHoldMs)
        .arg(kHoldEndsEarlyMs);
}

QString ReleaseHoldScript(std::uint32_t token) {
    return QStringLiteral(
               "(function(t){var k=window.__kestravaHold;if(k&&k.token===t){clearTimeout(k.timer);k.token=0;}})(%1)")
        .arg(token);
}
}  // namespace

void PageShell::AnswerSchedule(std::uint32_t token, shell::ScheduleAnswer answer) {
    PostToConsole(shell::kScheduleAnswerMessage, token, static_cast<std::int32_t>(answer),
                  shell::ScheduleAnswerName(answer));
}

void PageShell::OnScheduleConfirm(const platform::Message& m) {
    const auto token = static_cast<std::uint32_t>(m.lParam);
    const shell::DueMoment due{m.wParam};
    const std::int64_t now = EpochMillisNow();
    log_->Write(QStringLiteral("scheduled confirm token %1 due %2").arg(token).arg(ClockText(now + due.MillisFrom(now))));
    if (elements_.value(QStringLiteral("confirm")).isEmpty()) {
        log_->Write(QStringLiteral("scheduled confirm token %1: no confirm selector for this page").arg(token));
        AnswerSchedule(token, shell::ScheduleAnswer::NoElement);
        return;
    }
    ApplyScheduleStep(token, confirmTimer_.OnSchedule(token, due, now));
}

void PageShell::OnCancelScheduledConfirm(const platform::Message& m) {
    const auto token = static_cast<std::uint32_t>(m.lParam);
    ApplyScheduleStep(token, confirmTimer_.OnCancel(token, EpochMillisNow()));
}

void PageShell::ApplyScheduleStep(std::uint32_t token, const shell::ShellConfirmTimer::Step& step) {
    using Action = shell::ShellConfirmTimer::Action;
    if (!step.note.empty()) log_->Write(QString::fromStdString(step.note));
    switch (step.action) {
    case Action::Nothing:
        return;
    case Action::Arm:
        AnswerSchedule(token, shell::ScheduleAnswer::Accepted);
        heldToken_ = 0;
        page_->runJavaScript(HoldScript(token, EpochMillisNow() + step.millisToDue));
        StartConfirmClock(step.millisToDue - kHoldLeadMs, [this, token] { OnConfirmClock(token); });
        return;
    case Action::FireNow:
        confirmClock_->stop();
        AnswerSchedule(token, shell::ScheduleAnswer::Accepted);
        ClickScheduledConfirm(token);
        return;
    case Action::Cancelled:
        confirmClock_->stop();
        page_->runJavaScript(ReleaseHoldScript(token));
        AnswerSchedule(token, shell::ScheduleAnswer::Cancelled);
        return;
    case Action::TooLate:
        AnswerSchedule(token, shell::ScheduleAnswer::CancelTooLate);
        return;
    case Action::Fire:
        return;  // only OnTimer asks to fire
    }
}

void PageShell::StartConfirmClock(std::int32_t millis, std::function<void()> wake) {
    confirmClock_->disconnect();
    connect(confirmClock_, &QTimer::timeout, this, std::move(wake));
    confirmClock_->start(std::max(0, millis));
}

// The clock's first wake-up is kHoldLeadMs ahead of the moment: the click leaves now when the page
// holds its input; otherwise the clock wakes again just before the moment.
void PageShell::OnConfirmClock(std::uint32_t token) {
    if (confirmTimer_.ArmedToken() != token) return;
    if (heldToken_ == token) {
        SendHeldConfirm(token);
        return;
    }
    const std::int32_t left = confirmTimer_.Due().MillisFrom(EpochMillisNow());
    if (left > kSpinMs) {
        StartConfirmClock(left - kSpinMs, [this, token] { FireScheduledConfirm(token); });
        return;
    }
    FireScheduledConfirm(token);
}

// The page reports that it holds its input until the moment of `token`.
void PageShell::OnPageHold(std::uint32_t token, int millisLeft) {
    if (confirmTimer_.ArmedToken() != token) return;  // fired, cancelled or replaced meanwhile
    heldToken_ = token;
    log_->Write(QStringLiteral("token %1: the page holds its input for the last %2 ms").arg(token).arg(millisLeft));

    if (confirmTimer_.Due().MillisFrom(EpochMillisNow()) <= kHoldLeadMs) SendHeldConfirm(token);
}

void PageShell::SendHeldConfirm(std::uint32_t token) {
    confirmClock_->stop();
    const shell::ShellConfirmTimer::Step step = confirmTimer_.OnHeldTimer(token, EpochMillisNow());
    if (!step.note.empty()) log_->Write(QString::fromStdString(step.note));
    if (step.action == shell::ShellConfirmTimer::Action::Fire) ClickScheduledConfirm(token, false);
}

void PageShell::FireScheduledConfirm(std::uint32_t token) {
    if (confirmTimer_.ArmedToken() != token) return;  // cancelled or replaced meanwhile
    const shell::DueMoment due = confirmTimer_.Due();
    while (due.MillisFrom(EpochMillisNow()) > 0) std::this_thread::yield();
    const shell::ShellConfirmTimer::Step step = confirmTimer_.OnTimer(token, EpochMillisNow());
    if (!step.note.empty()) log_->Write(QString::fromStdString(step.note));
    if (step.action == shell::ShellConfirmTimer::Action::Fire) ClickScheduledConfirm(token);
}

void PageShell::ClickScheduledConfirm(std::uint32_t token, bool move) {
    if (ClickWatchedElement(QStringLiteral("confirm"), move)) {
        AnswerSchedule(token, shell::ScheduleAnswer::Fired);
    } else {
        log_->Write(QStringLiteral("scheduled confirm token %1: the confirm button is not shown, nothing clicked").arg(token));
        AnswerSchedule(token, shell::ScheduleAnswer::NotShown);
    }
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
    case cmd::ConfirmCodeElement: ClickElement(QStringLiteral("confirm")); return;
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

void PageShell::ClickAtViewPixel(int x, int y) {
    // Points arrive in device pixels of the page view; the widgets work in logical pixels.
    const qreal ratio = inner_->devicePixelRatioF();
    ClickAtLogical(QPointF(x / ratio, y / ratio), QStringLiteral("point %1,%2").arg(x).arg(y));
}

void PageShell::SendMouse(QEvent::Type type, const QPointF& p) {
    EnsurePageFocus();
    QWidget* target = view_->focusProxy() ? view_->focusProxy() : view_;
    const QPointF local = target->mapFrom(inner_, p);
    const QPointF global = target->mapToGlobal(local);
    if (type == QEvent::MouseButtonPress) buttonDown_ = true;
    if (type == QEvent::MouseButtonRelease) buttonDown_ = false;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, button, buttonDown_ ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void PageShell::ClickAtLogical(const QPointF& p, const QString& what, bool move) {
    if (move) SendMouse(QEvent::MouseMove, p);
    SendMouse(QEvent::MouseButtonPress, p);
    SendMouse(QEvent::MouseButtonRelease, p);
    log_->Write(QStringLiteral("click %1").arg(what));
}

void PageShell::WatchElements() {
    QJsonObject roles;
    for (const char* role : kWatchedRoles) {
        const QString selector = elements_.value(QLatin1String(role));
        if (!selector.isEmpty()) roles.insert(QLatin1String(role), selector);
    }
    shownRects_.clear();
    if (!roles.isEmpty()) page_->runJavaScript(WatchScript(roles));
}

void PageShell::OnElementRect(const QStringList& fields) {
    const QString role = fields.value(1);
    if (role.isEmpty()) return;
    bool ok[4] = {};
    const QRectF r(fields.value(2).toDouble(&ok[0]), fields.value(3).toDouble(&ok[1]), fields.value(4).toDouble(&ok[2]),
                   fields.value(5).toDouble(&ok[3]));
    if (ok[0] && ok[1] && ok[2] && ok[3] && r.width() > 0 && r.height() > 0)
        shownRects_.insert(role, r);
    else
        shownRects_.remove(role);
}

// Clicks `role` at the place the page's watch reported last; false when the watch has not shown
// it, or a script of ours is still to run in the page (then the caller asks the page, in order).
bool PageShell::ClickWatchedElement(const QString& role, bool move) {
    if (scriptsInFlight_ > 0) return false;
    const auto it = shownRects_.constFind(role);
    if (it == shownRects_.constEnd()) return false;
    const qreal zoom = view_->zoomFactor();
    ClickAtLogical(it->center() * zoom, QStringLiteral("element %1").arg(role), move);
    return true;
}

void PageShell::ClickElement(const QString& role) {
    if (ClickWatchedElement(role)) return;
    const QString selector = elements_.value(role);
    if (selector.isEmpty()) {
        log_->Write(QStringLiteral("element %1: no selector for this page").arg(role));
        return;
    }
    // The element's place comes back asynchronously; input posted after this command waits for
    // the click (the console types into the box it has just asked to focus).
    ++lookupsInFlight_;
    auto answered = std::make_shared<bool>(false);
    page_->runJavaScript(RectScript(selector), [this, role, answered](const QVariant& v) {
        if (*answered) return;
        *answered = true;
        const QVariantList r = v.toList();
        if (r.size() == 4) {
            const qreal zoom = view_->zoomFactor();
            const QPointF centre((r[0].toDouble() + r[2].toDouble() / 2) * zoom,
                                 (r[1].toDouble() + r[3].toDouble() / 2) * zoom);
            ClickAtLogical(centre, QStringLiteral("element %1").arg(role));
        } else {
            log_->Write(QStringLiteral("element %1: not shown").arg(role));
        }
        LookupDone();
    });
    // A page that is navigating away may never answer; held input must not wait for ever.
    QTimer::singleShot(kLookupTimeoutMs, this, [this, role, answered] {
        if (*answered) return;
        *answered = true;
        log_->Write(QStringLiteral("element %1: the page did not answer").arg(role));
        LookupDone();
    });
}

void PageShell::FillElement(const QString& role, const QString& value) {
    const QString selector = elements_.value(role);
    if (selector.isEmpty()) return;
    // A click from the watch must not overtake the script that fills the box first.
    ++scriptsInFlight_;
    page_->runJavaScript(FillScript(selector, value), [this](const QVariant&) { --scriptsInFlight_; });
}

void PageShell::SendKey(int code, bool down) {
    const Qt::Key key = KeyForVk(code);
    if (key == Qt::Key_unknown) {
        log_->Write(QStringLiteral("key 0x%1 not supported").arg(code, 0, 16));
        return;
    }
    EnsurePageFocus();
    QWidget* target = view_->focusProxy() ? view_->focusProxy() : view_;
    // Printable keys bring their characters with WM_CHAR; the key-down itself types nothing.
    QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    if (down) log_->Write(QStringLiteral("key down 0x%1").arg(code, 0, 16));
}

void PageShell::SendChar(std::uint32_t ch) {
    if (ch < 0x20 || ch > 0xFFFF) {
        log_->Write(QStringLiteral("char %1 ignored").arg(ch));
        return;
    }
    EnsurePageFocus();
    QWidget* target = view_->focusProxy() ? view_->focusProxy() : view_;
    const QChar c(static_cast<char16_t>(ch));
    Qt::Key key = Qt::Key_unknown;
    if (c.isDigit()) key = static_cast<Qt::Key>(Qt::Key_0 + c.digitValue());
    else if (c.isLetter() && c.toLatin1()) key = static_cast<Qt::Key>(Qt::Key_A + (c.toUpper().toLatin1() - 'A'));
    else if (c == ' ') key = Qt::Key_Space;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    log_->Write(QStringLiteral("char %1").arg(QString(c)));
}

// ---- page automation ---------------------------------------------------------------------------

void PageShell::CompatibilityStep() {
    // The login dialog answers a passed check with 0x469 at once; a 0x469 long after the last
    // step is a new test.
    if (compatState_ == 1 && compatSince_.isValid() && compatSince_.elapsed() < 10000) {
        compatState_ = 0;
        log_->Write(QStringLiteral("compatibility check passed"));
        page_->runJavaScript(QStringLiteral(
            "(function(){var e=document.getElementById('compattext');if(e)e.textContent='兼容检测通过。';})()"));
        return;
    }
    compatState_ = 1;
    compatSince_.start();
    OpenPractice(QStringLiteral("view=compat"));
}

void PageShell::AutoLogin() {
    if (settings_.bidNumber.size() != 8 || settings_.bidPassword.size() != 4 || settings_.idCard.size() != 18) {
        log_->Write(QStringLiteral("login form shown; credentials incomplete in bin/userconf.ini, left to the bidder"));
        return;
    }
    FillElement(QStringLiteral("loginbid"), settings_.bidNumber);
    FillElement(QStringLiteral("loginpwd"), settings_.bidPassword);
    FillElement(QStringLiteral("loginid"), settings_.idCard);
    ClickElement(QStringLiteral("loginbutton"));
    log_->Write(QStringLiteral("login form filled for %1").arg(settings_.bidNumber));
}

void PageShell::FirstBid(int warningPrice) {
    if (!settings_.firstBid || firstBidDone_ || warningPrice <= 0) return;
    firstBidDone_ = true;
    log_->Write(QStringLiteral("first bid at the warning price %1").arg(warningPrice));
    FillElement(QStringLiteral("bidprice"), QString::number(warningPrice));
    ClickElement(QStringLiteral("bidbutton"));
}

void PageShell::RestoreView() {
    // The console could not see the status icon: show the page plainly, unscrolled and unzoomed.
    log_->Write(QStringLiteral("restore view"));
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    view_->setZoomFactor(1.0);
    page_->runJavaScript(QStringLiteral("window.scrollTo(0,0)"));
}

void PageShell::RecoverPage() {
    const QString selector = elements_.value(QStringLiteral("statusicon"));
    if (selector.isEmpty()) {
        log_->Write(QStringLiteral("recover: no status icon selector, page left alone"));
        return;
    }
    page_->runJavaScript(RectScript(selector), [this](const QVariant& v) {
        if (v.toList().size() == 4) {
            log_->Write(QStringLiteral("recover: status icon is shown, page left alone"));
            return;
        }
        log_->Write(QStringLiteral("recover: status icon missing, reloading"));
        page_->triggerAction(QWebEnginePage::Reload);
    });
}

void PageShell::WriteGeometry(const QString& path) {
    connect(page_, &QWebEnginePage::loadFinished, this, [this, path](bool ok) {
        if (!ok) {
            log_->Write(QStringLiteral("geometry: page did not load"));
            QApplication::exit(1);
            return;
        }
        QTimer::singleShot(500, this, [this, path] {
            page_->runJavaScript(QStringLiteral("kestravaGeometry()"), [this, path](const QVariant& v) {
                const QJsonObject g = QJsonDocument::fromJson(v.toString().toUtf8()).object();
                QSaveFile file(path);
                if (g.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(GeometryIni(g)) < 0 || !file.commit()) {
                    log_->Write(QStringLiteral("geometry: not written to %1").arg(path));
                    QApplication::exit(1);
                    return;
                }
                log_->Write(QStringLiteral("geometry written to %1").arg(path));
                QApplication::exit(0);
            });
        });
    });
    OpenPractice(QStringLiteral("view=bid"));
}

}  // namespace kestrava::sorrelpane
