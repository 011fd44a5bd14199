// Sorrelpane: the page shell. Shows the auction page (the operator's or the bundled practice page)
// in a window the console finds by title and class, carries out the console's commands on it and
// reports the page's price and clock back.
//
//   Sorrelpane                          wait for the console's commands
//   Sorrelpane --practice               open the practice page at once
//   Sorrelpane --write-geometry FILE    measure the practice page into a geometry file and exit
#include <QApplication>
#include <QDir>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "console_link.h"
#include "native_bridge.h"
#include "page_shell.h"

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

}  // namespace

int main(int argc, char** argv) {
    PrepareEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sorrelpane"));

    QString geometryPath;
    bool openPractice = false;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--write-geometry") && i + 1 < args.size()) geometryPath = args[++i];
        else if (args[i] == QLatin1String("--practice")) openPractice = true;
    }

    using namespace kestrava::sorrelpane;
    ShellSettings settings = ShellSettings::Load();
    ShellLog log(settings.bidNumber);
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
