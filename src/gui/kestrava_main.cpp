// The kestrava program: the login dialog, the help pages and the console, on the X11 platform.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/bid_num_dlg.h"
#include "app/remote_config.h"
#include "gui/help_pages_dialog.h"
#include "gui/login_dialog.h"
#include "gui/qt_notices.h"
#include "net/http_get.h"
#include "net/network_clock.h"
#include "platform/threads.h"
#include "platform/x11/x11_platform.h"

#ifdef KESTRAVA_HAVE_CONSOLE
#include <atomic>

#include "gui/console_view.h"
#endif

namespace {

using namespace kestrava;

// Text recognition runs eight times slower unless OMP_THREAD_LIMIT is in the environment when the
// process starts; setting it later is too late, so the program starts itself once more with it.
void EnsureSingleThreadedOcr(char** argv) {
    if (std::getenv("OMP_THREAD_LIMIT")) return;
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    ::execv("/proc/self/exe", argv);
    // Could not start again: run on, only slower.
}

// Time servers for the clock thread: `timeservers` of conf.ini (comma-separated) or the defaults.
inline constexpr config::StringKey kTimeServers{config::kConfFile, "timeservers", "", 512};

net::ClockSyncOptions ClockOptions() {
    net::ClockSyncOptions options;
    const std::string list = config::Read(kTimeServers);
    if (list.empty()) return options;
    options.servers.clear();
    std::string item;
    for (int i = 0; app::ListItem(list, i, item); ++i) {
        if (app::IsPlainHost(item)) options.servers.push_back(item);
    }
    return options;
}

// The network-clock thread: runs beside the windows and shares nothing with them. It keeps the
// platform alive for itself, since a slow time server may answer after the windows are gone.
void StartNetworkClock(const std::shared_ptr<platform::x11::X11Platform>& x11) {
    platform::StartThread([x11, options = ClockOptions()] { net::SyncClockFromNetwork(x11->Get().systemTime, options); })
        .detach();
}

}  // namespace

int main(int argc, char** argv) {
    EnsureSingleThreadedOcr(argv);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    std::string error;
    std::shared_ptr<platform::x11::X11Platform> x11 = platform::x11::X11Platform::Create(&error);
    if (!x11) {
        std::fprintf(stderr, "kestrava: %s\n", error.c_str());
        return 1;
    }
    gui::QtNotices notices;
    x11->SetNotices(&notices);
    platform::Platform platform = x11->Get();

    app::CKestravaApp app;
    app::LoginHooks hooks;
    hooks.httpGet = [](const std::string& url) { return net::HttpGet(url); };
    hooks.startNetworkClock = [x11] { StartNetworkClock(x11); };

    int exitCode = 0;
    {
        gui::LoginDialog login(platform, app, hooks);
        const auto outcome = login.Initialise();
        if (!outcome.keepRunning) {
            x11->SetNotices(nullptr);
            return outcome.exitCode;
        }
        app::NextWindow next = login.Core().AutoLoginIfAsked();
        if (next == app::NextWindow::None) {
            login.FinishStartup();
            login.exec();
            next = login.Next();
        }
        if (next == app::NextWindow::HelpPages) {
            gui::CRegBidNum help;
            help.exec();
            next = app::NextWindow::Console;
        }
        if (next == app::NextWindow::Console) {
#ifdef KESTRAVA_HAVE_CONSOLE
            console::LoginInfo info;
            info.bidNumber = app.bidNumber;
            info.productVersion = app.productVersion;
            info.ispClass = app.ispClass;
            info.loginSecond = app.loginSecond;
            console::ConsoleHooks consoleHooks;
            consoleHooks.startNetworkClock = [x11](console::CKestravaDlg&) { StartNetworkClock(x11); };
            // Balloons asked for by the engine's ticks reach the view while it exists; the ticks
            // are stopped before it goes.
            std::atomic<gui::ConsoleView*> view{nullptr};
#ifdef KESTRAVA_HAVE_RUNTIME
            runtime::RoleOptions roles;
            gui::LinkBalloons(view, roles);
            roles.networkOptions.clockSync = ClockOptions();
            runtime::AttachAll(consoleHooks, platform, std::move(roles));
#elif defined(KESTRAVA_HAVE_ENGINE)
            engine::EngineOptions engineOptions;
            engineOptions.showBalloon = gui::ShowBalloonsOn(view);
            engine::Engine::Attach(std::make_shared<engine::Engine>(std::move(engineOptions)), consoleHooks);
#endif
            exitCode = gui::RunConsole(platform, info, std::move(consoleHooks),
                                       [&view](gui::ConsoleView* v) { view.store(v); });
#else
            std::fprintf(stderr, "kestrava: this build has no console\n");
#endif
        }
    }
    x11->SetNotices(nullptr);
    return exitCode;
}
