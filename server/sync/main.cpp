// kestrava-sync-server: relays the consoles' price reports and jam signals (docs/sync-server.md).
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include "settings.h"
#include "sync_node.h"

int main(int argc, char** argv) {
    using namespace kestrava::sync;
    ServerSettings settings;
    std::string error;
    if (!ParseCommandLine(argc, argv, settings, &error)) {
        std::fprintf(stderr, "kestrava-sync-server: %s\n"
                     "usage: kestrava-sync-server [--settings FILE] [--port N] [--bind ADDRESS] "
                     "[--redis HOST:PORT] [--node NAME]\n", error.c_str());
        return 2;
    }
    // SIGINT and SIGTERM are taken by a thread of their own, which stops the event loop.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Every console is a socket: take all the open files the system allows this process.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    SyncNode node(settings);
    if (!node.Listen(&error)) {
        std::fprintf(stderr, "kestrava-sync-server: %s\n", error.c_str());
        return 1;
    }
    std::thread watcher([&node, signals] {
        int sig = 0;
        sigwait(&signals, &sig);
        node.Stop();
    });
    node.Run();
    // Run also ends without a signal only if the loop fails; wake the watcher so it can be joined.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    return 0;
}
