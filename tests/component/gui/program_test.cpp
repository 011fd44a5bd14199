// The kestrava program driven from outside, as a person would: it starts, shows the login dialog
// under its title, a second copy gives way, and a practice login opens the help pages and then
// the console.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/x11_platform.h"
#include "unit/app/install_dir.h"

extern char** environ;

using namespace kestrava;
using namespace std::chrono_literals;

namespace {

constexpr char kLoginTitle[] = "Vonter沪牌抢拍助手 8.2.Ravedadi";
constexpr char kHelpTitle[] = "帮助手册";
constexpr char kBoxTitle[] = "Vonter沪牌抢拍助手";
constexpr char kConsoleTitle[] = "Vonter沪牌抢拍助手";
constexpr char kInfoBarTitle[] = "软件信息提示";

// One run of the program in the current folder; ended (and reaped) with the object.
class Program {
public:
    Program() {
        const char* argv[] = {KESTRAVA_PROGRAM, nullptr};
        if (posix_spawn(&pid_, KESTRAVA_PROGRAM, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGTERM);
            Wait(5000);
        }
    }
    // The exit status once the program has ended within `ms`; -1 when it still runs.
    int Wait(int ms) {
        for (int waited = 0; waited <= ms; waited += 20) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = 0;
    bool exited_ = false;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        x11_ = platform::x11::X11Platform::Create();
        ASSERT_NE(x11_, nullptr);
        // A stored bid number, no address to fetch from, and no time server but our own.
        kestrava::testing::WriteFile("bin/userconf.ini", "[Configure]\nbidnumber=12345678\nfirstuse=1\n");
        kestrava::testing::WriteFile("bin/conf.ini", "[Configure]\ntimeservers=127.0.0.1\n");
    }

    platform::WindowId WaitForWindow(const char* title, int ms = 10000) {
        for (int waited = 0; waited <= ms; waited += 50) {
            if (platform::WindowId w = x11_->Get().desktop.FindWindowByTitle(title)) return w;
            std::this_thread::sleep_for(50ms);
        }
        return 0;
    }

    // Clicks at (x, y) of the window the way a person does, through the X server.
    static void ClickAt(platform::WindowId w, int x, int y) {
        const std::string command = "xdotool mousemove --window " + std::to_string(w) + " " + std::to_string(x) + " " +
                                    std::to_string(y) + " click 1";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    // Every window whose title is exactly `title` (a message box may share the console's title).
    static std::vector<platform::WindowId> WindowsTitled(const std::string& title) {
        std::vector<platform::WindowId> ids;
        FILE* out = ::popen(("xdotool search --name '^" + title + "$' 2>/dev/null").c_str(), "r");
        if (!out) return ids;
        std::array<char, 64> line{};
        while (std::fgets(line.data(), static_cast<int>(line.size()), out)) ids.push_back(std::strtoull(line.data(), nullptr, 10));
        ::pclose(out);
        return ids;
    }

    // Presses Return, as a person acknowledging the message box that has the focus, until the
    // program ends; its exit status. (Other windows may carry the box's title, so the key goes
    // to the focus rather than to a window found by title.)
    static int AcknowledgeAndWait(Program& program) {
        std::this_thread::sleep_for(300ms);
        const std::string press = "xdotool key Return";
        int code = -1;
        for (int attempt = 0; attempt < 10 && code < 0; ++attempt) {
            if (std::system(press.c_str()) != 0) std::this_thread::sleep_for(100ms);
            code = program.Wait(500);
        }
        return code;
    }

    kestrava::testing::InstallDir dir_;
    std::unique_ptr<platform::x11::X11Platform> x11_;
};

}  // namespace

TEST_F(ProgramTest, PracticeLoginOpensTheHelpPages) {
    Program program;
    ASSERT_TRUE(program.Started());
    const platform::WindowId login = WaitForWindow(kLoginTitle);
    ASSERT_NE(login, 0u);
    std::this_thread::sleep_for(500ms);  // mapped and placed
    // "模拟拍牌登录": template button 1060 at (52, 104, 118, 30) dialog units.
    ClickAt(login, (52 + 59) * 3 / 2, (104 + 15) * 13 / 8);
    const platform::WindowId help = WaitForWindow(kHelpTitle, 5000);
    ASSERT_NE(help, 0u);
    EXPECT_EQ(x11_->Get().desktop.FindWindowByTitle(kLoginTitle), 0u);
    EXPECT_EQ(program.Wait(0), -1);

    // Leaving the help pages, even by a close request, opens the console; without the page
    // shell in the folder it says what is missing and the program ends with code 0.
    ASSERT_TRUE(x11_->Get().desktop.PostMessage(help, platform::Message{0x10, 0, 0}));
    const platform::WindowId box = WaitForWindow(kBoxTitle, 10000);
    ASSERT_NE(box, 0u);
    EXPECT_EQ(AcknowledgeAndWait(program), 0);
}

TEST_F(ProgramTest, SecondCopyGivesWayWithCodeZero) {
    Program first;
    ASSERT_NE(WaitForWindow(kLoginTitle), 0u);
    Program second;
    // The second copy says so in a message box and ends once it is acknowledged.
    const platform::WindowId box = WaitForWindow(kBoxTitle, 10000);
    ASSERT_NE(box, 0u);
    EXPECT_EQ(AcknowledgeAndWait(second), 0);
    EXPECT_EQ(first.Wait(0), -1);  // the first copy runs on
}

TEST_F(ProgramTest, ConsoleRunEndsWithCodeZeroOnACloseRequest) {
    // A stand-in page shell lets the console start.
    kestrava::testing::WriteFile("Sorrelpane", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod("Sorrelpane", 0755), 0);
    Program program;
    const platform::WindowId login = WaitForWindow(kLoginTitle);
    ASSERT_NE(login, 0u);
    std::this_thread::sleep_for(500ms);
    ClickAt(login, (52 + 59) * 3 / 2, (104 + 15) * 13 / 8);
    const platform::WindowId help = WaitForWindow(kHelpTitle, 5000);
    ASSERT_NE(help, 0u);
    std::this_thread::sleep_for(300ms);
    ClickAt(help, 660, 500);  // "知道了，跳过"
    // The console is up once its information bar shows below it.
    ASSERT_NE(WaitForWindow(kInfoBarTitle, 15000), 0u);
    EXPECT_EQ(program.Wait(0), -1);
    for (platform::WindowId w : WindowsTitled(kConsoleTitle)) {
        x11_->Get().desktop.PostMessage(w, platform::Message{0x10, 0, 0});
    }
    EXPECT_EQ(program.Wait(10000), 0);
}
