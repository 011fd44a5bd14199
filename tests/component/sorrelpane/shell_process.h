// Helpers of the page shell's component tests: waiting for a condition, reading a file, and the
// shell as a child process in an installation folder (its output in shell.out there).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kestrava::testing {

namespace fs = std::filesystem;

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

inline std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Sorrelpane started in `dir` with `args` (and QT_SCALE_FACTOR when given); ended with SIGTERM
// (then SIGKILL) when the test leaves it running.
class ShellProcess {
public:
    ShellProcess(const fs::path& dir, std::vector<std::string> args = {}, const char* scaleFactor = nullptr) {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            if (scaleFactor) setenv("QT_SCALE_FACTOR", scaleFactor, 1);
            const int out = open("shell.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
            }
            std::vector<char*> argv{const_cast<char*>(SORRELPANE_PATH)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(SORRELPANE_PATH, argv.data());
            _exit(127);
        }
    }
    ~ShellProcess() {
        if (pid_ <= 0 || exited_) return;
        kill(pid_, SIGTERM);
        if (!WaitExit(5000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool WaitExit(int timeoutMs) {
        return WaitUntil([&] {
            if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
            return exited_;
        }, timeoutMs);
    }
    bool ExitedCleanly() const { return ExitCode() == 0; }
    int ExitCode() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
};

}  // namespace kestrava::testing
