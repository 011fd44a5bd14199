#include "platform/x11/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "platform/threads.h"

extern char** environ;

namespace kestrava::platform::x11 {

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args, bool quiet) {
    if (program.empty()) return false;
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    // Programs started from a timer tick would inherit its real-time priority (posix_timers.cpp);
    // they get the ordinary one.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sched_param normal{};
    posix_spawnattr_setschedpolicy(&attr, SCHED_OTHER);
    posix_spawnattr_setschedparam(&attr, &normal);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSCHEDULER);
    pid_t pid = 0;
    // glibc reports a failed exec (missing file, no permission) as the result of the call.
    const int rc = program.find('/') == std::string::npos
                       ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
                       : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;

    // A reaper per child instead of ignoring SIGCHLD, which would take waitpid away from the
    // rest of the process.
    try {
        StartThread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // Without a thread the child is left to be reaped when this process ends.
    }
    return true;
}

}  // namespace kestrava::platform::x11
