// The page shell's window: the auction page in a web view inside two named native children, the
// console's commands carried out on it, and the page's changes reported back to the console.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>

#include "platform/platform.h"
#include "shell/scheduled_confirm.h"

class QWebEngineProfile;
class QWebEngineView;

namespace kestrava::sorrelpane {

class ConsoleLink;

// A page report: the lowest price and the page time code, stamped by the page (epoch ms).
struct PageReport {
    std::uint32_t price = 0;
    std::int32_t code = 0;
    qint64 madeAt = 0;
    platform::Message Message() const { return platform::Message{0x46e, price, code}; }
};

// What the shell reads from the installation (paths relative to the working directory).
struct ShellSettings {
    // bin/sorrelpane.ini, section Sorrelpane.
    QString realUrl;          // realurl: the operator's page; empty shows a notice
    QString realElements;     // realelements: element selectors of the real page
    QString practiceUrl;      // practiceurl: file (relative to the working directory) or URL
    QString practiceParams;   // practiceparams: query of the practice page (test mode, timeline)
    QString practiceElements; // practiceelements: element selectors of the practice page
    QRect geometry;           // x, y, width, height: the page view's place and size
    // bin/userconf.ini, section Configure.
    QString bidNumber;
    QString bidPassword;
    QString idCard;
    bool firstBid = false;

    static ShellSettings Load();
};

// The practice page's address: the configured file or URL with the configured query and `extraQuery`.
QUrl PracticeUrl(const ShellSettings& settings, const QString& extraQuery = {});

// The shell's day log, Log/<bid>_<YYYY-MM-DD>_ie.log, one time-stamped line per event, in GBK
// like the console's day log.
class ShellLog {
public:
    explicit ShellLog(QString bidNumber);
    void Write(const QString& text);

private:
    QString bidNumber_;
};

// Hands the page's console lines to the shell; lines of the shell's own prefix are the page's
// reports, others go to the log.
class ShellPage final : public QWebEnginePage {
    Q_OBJECT
public:
    ShellPage(QWebEngineProfile* profile, QObject* parent);

signals:
    void pageLine(const QString& line);
    void consoleText(const QString& line);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
};

class PageShell final : public QWidget {
    Q_OBJECT
public:
    PageShell(ShellSettings settings, ConsoleLink* console, ShellLog* log);
    ~PageShell() override;

    // A message posted to one of the shell's windows (the page window or the page view).
    void HandleMessage(const platform::Message& m);

    void OpenPractice(const QString& extraQuery = {});
    void OpenReal();

    // Loads the practice page, measures it and writes the geometry file to `path`; the
    // application then exits (0 when written).
    void WriteGeometry(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Open(const QUrl& url, const QString& elementsFile);
    void HandleInput(const platform::Message& m);
    void RunInput(std::function<void()> action);
    void LookupDone();
    void OnPageLine(const QString& line);
    static std::optional<PageReport> ParseReport(const QStringList& fields);
    void LogReport(const PageReport& r, bool sent, qint64 postedAt);
    void PostToConsole(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam, const char* what);

    // Input delivered to the view as real events.
    void EnsurePageFocus();
    void ClickAtViewPixel(int x, int y);
    void SendMouse(QEvent::Type type, const QPointF& p);
    void ClickAtLogical(const QPointF& p, const QString& what, bool move = true);
    // Clicks `role` where the page's watch last showed it, or else where the page says it is now;
    // `done` learns whether it was clicked.
    void ClickElement(const QString& role, std::function<void(bool clicked)> done = {}, bool move = true);
    // The console's confirm command, naming the scheduled confirmation it stands in for.
    void OnConfirmCommand(const platform::Message& m);
    bool ClickWatchedElement(const QString& role, bool move = true);
    void WatchElements();
    void OnElementRect(const QStringList& fields);
    // The code dialog, watched in the page and reported to the console (page_shell_dialog.cpp).
    void WatchCodeDialog();
    void OnCodeDialogLine(const QStringList& fields);
    // The document that showed an open code dialog is gone (a new page loading, the renderer ended).
    void CodeDialogGone(const QString& why);
    void FillElement(const QString& role, const QString& value);
    void SendKey(int vk, bool down);
    void SendChar(std::uint32_t ch);

    // A confirmation clicked at a moment the console named ahead of time.
    void OnScheduleConfirm(const platform::Message& m);
    void OnCancelScheduledConfirm(const platform::Message& m);
    void ApplyScheduleStep(std::uint32_t token, const shell::ShellConfirmTimer::Step& step);
    // Arms the one confirm clock: `wake` runs after `millis` (replacing what it would have run).
    void StartConfirmClock(std::int32_t millis, std::function<void()> wake);
    void OnConfirmClock(std::uint32_t token);
    void OnPageHold(std::uint32_t token, int millisLeft);
    void SendHeldConfirm(std::uint32_t token);
    void FireScheduledConfirm(std::uint32_t token);
    void ClickScheduledConfirm(std::uint32_t token, bool move = true);
    void AnswerSchedule(std::uint32_t token, shell::ScheduleAnswer answer);

    void CompatibilityStep();
    void AutoLogin();
    void FirstBid(int warningPrice);
    void RestoreView();
    void RecoverPage();

    ShellSettings settings_;
    ConsoleLink* console_;
    ShellLog* log_;
    QWidget* frame_ = nullptr;
    QWidget* inner_ = nullptr;
    QWebEngineView* view_ = nullptr;
    QWebEngineProfile* profile_ = nullptr;
    ShellPage* page_ = nullptr;
    QHash<QString, QString> elements_;
    bool firstBidDone_ = false;
    bool buttonDown_ = false;
    // Element lookups under way, and the input that arrived meanwhile, in order.
    int lookupsInFlight_ = 0;
    std::deque<std::function<void()>> heldInput_;
    // Where the page shows each clickable element now (page pixels, before zoom), kept current by
    // a watch in the page, so a click needs no script round trip. A role absent here is not shown
    // (or the watch has not reported it yet).
    QHash<QString, QRectF> shownRects_;
    int scriptsInFlight_ = 0;
    shell::ShellConfirmTimer confirmTimer_;
    QTimer* confirmClock_ = nullptr;
    std::uint32_t heldToken_ = 0;  // the schedule whose moment the page holds its input for
    // The code dialog as last reported to the console, and the price it showed.
    bool codeDialogOpen_ = false;
    std::uint32_t codeDialogPrice_ = 0;
    int compatState_ = 0;  // 1: test page shown and the login dialog's timer sent
    QElapsedTimer compatSince_;
};

}  // namespace kestrava::sorrelpane
