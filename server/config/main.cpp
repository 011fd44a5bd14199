// kestrava-config-server: the configuration host and update repository a club runs for its
// members' consoles.
//
//   kestrava-config-server [--settings FILE] [--listen ADDRESS] [--port N] [--updates DIR]
//
// FILE (default /etc/kestrava/config-server.ini) holds [server] listen, port, updates and
// [answers] dwbase, hpbase, serverip, notice; the options override [server]. Port 0 picks a free
// port. The console fetches its update file on port 80 whatever its address says, so a host that
// serves updates listens on 80. Ends on SIGINT or SIGTERM. Exit status: 0 stopped by a signal,
// 1 bad settings or the port could not be bound, 2 bad usage.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/profile.h"
#include "config_host.h"

namespace {

using namespace kestrava;

constexpr char kDefaultSettings[] = "/etc/kestrava/config-server.ini";
constexpr int kDefaultPort = 80;

int Usage() {
    std::fputs("usage: kestrava-config-server [--settings FILE] [--listen ADDRESS] [--port N] [--updates DIR]\n",
               stderr);
    return 2;
}

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    port = std::stoi(text);
    return port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
    std::string settings = kDefaultSettings;
    std::string listen, portText, updates;
    bool listenSet = false, portSet = false, updatesSet = false;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) return Usage();
        const std::string& value = args[++i];
        if (a == "--settings") {
            settings = value;
        } else if (a == "--listen") {
            listen = value, listenSet = true;
        } else if (a == "--port") {
            portText = value, portSet = true;
        } else if (a == "--updates") {
            updates = value, updatesSet = true;
        } else {
            return Usage();
        }
    }

    const config_server::LoadedAnswers loaded = config_server::LoadAnswers(settings);
    if (!loaded.answers) {
        std::fprintf(stderr, "kestrava-config-server: %s\n", loaded.error.c_str());
        return 1;
    }
    if (!listenSet) listen = config::ReadProfileString("server", "listen", "0.0.0.0", 256, settings);
    if (!portSet) portText = config::ReadProfileString("server", "port", std::to_string(kDefaultPort), 16, settings);
    if (!updatesSet) updates = config::ReadProfileString("server", "updates", "", 4096, settings);
    int port = 0;
    if (!ParsePort(portText, port)) {
        std::fprintf(stderr, "kestrava-config-server: port must be 0 to 65535, not \"%s\"\n", portText.c_str());
        return 1;
    }

    // The signals are taken by one waiting thread; every other thread (the server's) inherits the
    // mask and never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    config_server::ConfigHost host({*loaded.answers, updates, true});
    const int bound = host.Bind(listen, port);
    if (bound < 0) {
        std::fprintf(stderr, "kestrava-config-server: cannot listen on %s:%d\n", listen.c_str(), port);
        return 1;
    }
    std::printf("kestrava-config-server: listening on %s:%d, answers from %s, updates from %s\n", listen.c_str(),
                bound, settings.c_str(), updates.empty() ? "(none)" : updates.c_str());
    std::fflush(stdout);

    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        host.Stop();
    });
    host.Run();
    if (waiter.joinable()) {
        // Run() also ends when the listening socket fails; the waiter is then released by hand.
        pthread_kill(waiter.native_handle(), SIGTERM);
        waiter.join();
    }
    std::printf("kestrava-config-server: stopped\n");
    return 0;
}
