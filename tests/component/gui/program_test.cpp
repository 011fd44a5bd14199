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
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "log/gbk.h"
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
    bool Signal(int signal) const { return pid_ > 0 && ::kill(pid_, signal) == 0; }

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
        // An update server that is not there: the check ends quietly.
        std::string update = "[MAINVER]\nmainver=8.2\n[URL]\n";
        for (int i = 0; i < 5; ++i) update += "iniurl" + std::to_string(i) + "=http://127.0.0.1:9/Updater.ini\n";
        kestrava::testing::WriteFile("Update.ini", update);
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

    // Logs in for a practice run with a stand-in page shell that starts and ends at once, skips
    // the help pages and waits for the console (its information bar shows below it).
    void OpenPracticeConsole(Program& program) {
        kestrava::testing::WriteFile("Sorrelpane", "#!/bin/sh\nexit 0\n");
        ASSERT_EQ(::chmod("Sorrelpane", 0755), 0);
        ASSERT_TRUE(program.Started());
        const platform::WindowId login = WaitForWindow(kLoginTitle);
        ASSERT_NE(login, 0u);
        std::this_thread::sleep_for(500ms);
        ClickAt(login, (52 + 59) * 3 / 2, (104 + 15) * 13 / 8);
        const platform::WindowId help = WaitForWindow(kHelpTitle, 5000);
        ASSERT_NE(help, 0u);
        std::this_thread::sleep_for(300ms);
        ClickAt(help, 660, 500);  // "知道了，跳过"
        ASSERT_NE(WaitForWindow(kInfoBarTitle, 15000), 0u);
        std::this_thread::sleep_for(500ms);  // placed and painted
        ASSERT_EQ(program.Wait(0), -1);
    }

    // The program's windows without a title of their own (they show the program's name): a
    // message box with no caption is one. (Read from the whole tree: a search by name may stop
    // at a window the window manager destroys meanwhile.)
    static int UntitledWindows() {
        FILE* out = ::popen("xwininfo -root -tree 2>/dev/null", "r");
        if (!out) return 0;
        int n = 0;
        std::array<char, 512> line{};
        while (std::fgets(line.data(), static_cast<int>(line.size()), out)) {
            if (std::strstr(line.data(), "\"kestrava\": (\"kestrava\" \"kestrava\")")) ++n;
        }
        ::pclose(out);
        return n;
    }

    void PostCloseToConsole() {
        for (platform::WindowId w : WindowsTitled(kConsoleTitle)) {
            x11_->Get().desktop.PostMessage(w, platform::Message{0x10, 0, 0});
        }
    }

    // Today's log of the stored bid number.
    static std::string DayLogPath() {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        return std::string("Log/12345678_") + date + ".log";
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    Program program;
    ASSERT_NO_FATAL_FAILURE(OpenPracticeConsole(program));
    PostCloseToConsole();
    EXPECT_EQ(program.Wait(10000), 0);
}

// "打开模拟" with a page shell that never shows its window: the console says so in a message
// box. While the box waits for the person, the one-second tick goes on, and a close request (as
// the updater or kestrava-post sends it) ends the program at once, box and all, with the log of
// the run written.
TEST_F(ProgramTest, ACloseRequestEndsTheProgramWhileAMessageBoxIsOpen) {
    Program program;
    ASSERT_NO_FATAL_FAILURE(OpenPracticeConsole(program));
    const std::vector<platform::WindowId> consoles = WindowsTitled(kConsoleTitle);
    ASSERT_EQ(consoles.size(), 1u) << "the console alone carries its title before the box";
    const platform::WindowId console = consoles.front();
    const int boxesBefore = UntitledWindows();
    ClickAt(console, (116 + 25) * 3 / 2, (3 + 8) * 3 / 2);  // 1060 at (116, 3, 50, 16) dialog units
    // The shell is given a second to show its window, then the box opens.
    bool boxOpen = false;
    for (int waited = 0; waited < 5000 && !boxOpen; waited += 100) {
        std::this_thread::sleep_for(100ms);
        boxOpen = UntitledWindows() > boxesBefore;
    }
    ASSERT_TRUE(boxOpen) << "no message box after 打开模拟";
    // Long enough for the one-second tick to fall due while the box is open.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(program.Wait(0), -1) << "the box waits for the person";

    PostCloseToConsole();
    EXPECT_EQ(program.Wait(2000), 0) << "the program did not end within 2 s of the close request";
    const std::string log = log::GbkToUtf8(ReadFile(DayLogPath()));
    EXPECT_NE(log.find("鼠标点击_打开国拍"), std::string::npos) << log;
}

// A logout, a shutdown or `kill` (SIGTERM; SIGHUP when the session's terminal goes) ends the console
// as a close request does: code 0, and the day's log holds the run's lines up to that moment, here
// with the message box of "打开模拟" still open.
TEST_F(ProgramTest, ATerminationSignalEndsTheConsoleWithItsLogWritten) {
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGHUP");
        std::remove(DayLogPath().c_str());
        Program program;
        ASSERT_NO_FATAL_FAILURE(OpenPracticeConsole(program));
        const std::vector<platform::WindowId> consoles = WindowsTitled(kConsoleTitle);
        ASSERT_EQ(consoles.size(), 1u);
        ClickAt(consoles.front(), (116 + 25) * 3 / 2, (3 + 8) * 3 / 2);  // 打开模拟: its click is logged
        std::this_thread::sleep_for(1500ms);
        ASSERT_EQ(program.Wait(0), -1);

        ASSERT_TRUE(program.Signal(signal));
        EXPECT_EQ(program.Wait(3000), 0) << "the program did not end on its own within 3 s";
        const std::string log = log::GbkToUtf8(ReadFile(DayLogPath()));
        EXPECT_NE(log.find("鼠标点击_打开国拍"), std::string::npos) << log;
    }
}
