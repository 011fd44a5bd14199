// Sorrelpane: the page shell. Shows the auction page (the operator's or the bundled practice page)
// in a window the console finds by title and class, carries out the console's commands on it and
// reports the page's price and clock back.
//
//   Sorrelpane                          wait for the console's commands
//   Sorrelpane --practice               open the practice page at once
//   Sorrelpane --write-geometry FILE    measure the practice page into a geometry file and exit
//   Sorrelpane --learn [URL] [--auto]   learn a page (default: the practice page) in the learning
//                                       view; --auto writes and checks without asking and exits
//                                       (0 when every check passed)
//   Sorrelpane --check [URL]            check the installed files against a page and exit
//
// One shell per user and display: a copy started while another runs (also one still starting,
// its window not yet shown) notes it in the day log and exits with status 0 at once.
#include <QApplication>
#include <QDir>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "console_link.h"
#include "native_bridge.h"
#include "page_learning.h"
#include "page_shell.h"
#include "platform/x11/flock_single_instance.h"

namespace {

void AppendChromiumFlags(const QByteArray& flags) {
    QByteArray current = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", current.isEmpty() ? flags : current + ' ' + flags);
}

// Everything the engine needs on these machines (root, no GPU, no network), so that a person can
// simply run the program.
void PrepareEnvironment() {
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = "/tmp/runtime-" + QByteArray::number(geteuid());
        mkdir(dir.constData(), 0700);
        chmod(dir.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    // Native child windows render black unless Qt Quick draws in software.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    AppendChromiumFlags(
        "--disable-gpu --disable-background-networking --disable-component-update --disable-sync "
        "--disable-default-apps --disable-domain-reliability --disable-breakpad --no-first-run "
        "--no-default-browser-check --disable-features=Translate,MediaRouter,OptimizationHints,AutofillServerCommunication "
        // The page's clock and price must keep their pace while another window covers the shell.
        "--disable-background-timer-throttling --disable-renderer-backgrounding "
        "--disable-backgrounding-occluded-windows");
}

// The name of the lock that keeps one shell per user and display. The lock file lies in
// $XDG_RUNTIME_DIR (set above when missing), so it goes with the user's session; the kernel
// releases the lock when the process ends, however it ends.
std::string InstanceLockName() {
    const char* display = std::getenv("DISPLAY");
    return "Sorrelpane-" + std::to_string(geteuid()) + "-" + (display ? display : "");
}

bool MeasuringOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--write-geometry") == 0 || std::strcmp(argv[i], "--learn") == 0 ||
            std::strcmp(argv[i], "--check") == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareEnvironment();

    using namespace kestrava::sorrelpane;
    // Decided before the engine starts, so that a second copy costs next to nothing. Measuring the
    // page is a tool run that ends by itself; it neither takes the lock nor is refused by it.
    namespace x11 = kestrava::platform::x11;
    x11::FlockSingleInstance instance;
    const std::string lockName = InstanceLockName();
    const std::string lockPath = x11::FlockSingleInstance::LockPath(lockName);
    if (!MeasuringOnly(argc, argv) && !instance.TryAcquire(lockName)) {
        ShellLog startLog(ShellSettings::Load().bidNumber);
        // A lock file this user cannot open says nothing about other shells: run without the guard.
        if (access(lockPath.c_str(), R_OK | W_OK) != 0) {
            startLog.Write(QStringLiteral("cannot open the lock file %1: running without the one-shell guard")
                               .arg(QString::fromStdString(lockPath)));
        } else {
            const QString note = QStringLiteral("another page shell is running on display %1 (lock %2): this one ends")
                                     .arg(QString::fromLocal8Bit(qgetenv("DISPLAY")), QString::fromStdString(lockPath));
            startLog.Write(note);
            std::fprintf(stderr, "Sorrelpane: %s\n", note.toLocal8Bit().constData());
            return 0;
        }
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sorrelpane"));

    QString geometryPath;
    bool openPractice = false;
    bool learn = false;
    bool automatic = false;
    bool check = false;
    QString learnUrl;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--write-geometry") && i + 1 < args.size()) geometryPath = args[++i];
        else if (args[i] == QLatin1String("--practice")) openPractice = true;
        else if (args[i] == QLatin1String("--learn")) learn = true;
        else if (args[i] == QLatin1String("--check")) learn = check = true;
        else if (args[i] == QLatin1String("--auto")) automatic = true;
        else if (learn && learnUrl.isEmpty() && !args[i].startsWith(QLatin1String("--"))) learnUrl = args[i];
    }

    ShellSettings settings = ShellSettings::Load();
    ShellLog log(settings.bidNumber);
    if (learn) {
        // Learning is a tool run beside (not instead of) the page shell: its window is not the
        // console's page window.
        LearningFiles files;
        QUrl url;
        if (learnUrl.isEmpty()) {
            url = PracticeUrl(settings, QStringLiteral("view=bid"));
            // The shipped selectors of the practice page stay as they are; the learned ones go
            // to the installation's settings folder.
            files.elements = check ? settings.practiceElements : QStringLiteral("bin/practiceelements.ini");
            files.elementsKey = QStringLiteral("practiceelements");
            files.previousElements = settings.practiceElements;
        } else {
            // "real": the operator's page the shell opens for a real run.
            const QString address = learnUrl == QLatin1String("real") ? settings.realUrl : learnUrl;
            if (address.isEmpty()) {
                std::fprintf(stderr, "Sorrelpane: no realurl in bin/sorrelpane.ini: nothing to learn\n");
                log.Write(QStringLiteral("learning: no realurl in bin/sorrelpane.ini"));
                return 2;
            }
            url = QUrl::fromUserInput(address, QDir::currentPath());
            files.elements = settings.realElements;
            files.previousElements = settings.realElements;
        }
        const LearningMode mode = check       ? LearningMode::CheckOnly
                                  : automatic ? LearningMode::Automatic
                                              : LearningMode::Interactive;
        LearningView view(settings, url, files, mode, &log);
        view.show();
        view.Start();
        return app.exec();
    }
    std::unique_ptr<ConsoleLink> console = ConsoleLink::Open();
    if (!console) log.Write(QStringLiteral("no X display for the window protocol: nothing will reach the console"));

    PageShell shell(settings, console.get(), &log);
    MessageFilter filter([&shell](std::uint32_t, const kestrava::platform::Message& m) {
        QMetaObject::invokeMethod(&shell, [&shell, m] { shell.HandleMessage(m); }, Qt::QueuedConnection);
    });
    app.installNativeEventFilter(&filter);
    shell.show();

    if (!geometryPath.isEmpty()) shell.WriteGeometry(QDir::current().absoluteFilePath(geometryPath));
    else if (openPractice) shell.OpenPractice();
    const int code = app.exec();
    app.removeNativeEventFilter(&filter);
    return code;
}
