// Programs, locks, sound and the assembled platform, on the real system.

#include "platform/x11/aplay_sound.h"
#include "platform/x11/flock_single_instance.h"
#include "platform/x11/posix_programs.h"
#include "platform/x11/posix_timers.h"
#include "platform/x11/x11_platform.h"
#include "test_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sched.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace kestrava::platform::x11 {
namespace {

namespace fs = std::filesystem;
using testing::WaitFor;

// True once this process has no child left, running or unreaped. WNOWAIT: looking must not
// reap a zombie itself, or the test would hide a missing reaper.
bool NoChildrenLeft() {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
}

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kestrava-x11-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

using ProgramsTest = ScratchDir;

TEST_F(ProgramsTest, StartsProgramsWithArgumentsAndReapsThem) {
    PosixPrograms programs;
    const fs::path out = dir / "started.txt";
    ASSERT_TRUE(programs.Start("/bin/sh", {"-c", "printf '%s|%s' \"$0\" \"$1\" > \"$2\"", "a b", "c", out.string()}));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(out) && fs::file_size(out) > 0; }));
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "a b|c");  // each argument arrives whole, spaces and all

    // Programs found through PATH, too.
    ASSERT_TRUE(programs.Start("true", {}));
    // Every child ends up reaped: no zombie is left for this process to collect.
    EXPECT_TRUE(WaitFor(NoChildrenLeft));

    EXPECT_FALSE(programs.Start((dir / "no-such-program").string(), {}));
    EXPECT_FALSE(programs.Start("kestrava-no-such-program-on-path", {}));
    EXPECT_FALSE(programs.Start("", {}));
}

// A tick may run at a real-time priority (the submit tick does); a program it starts must not
// inherit it.
TEST_F(ProgramsTest, ProgramsStartedFromATimerTickRunAtNormalPriority) {
    PosixPrograms programs;
    PosixTimers timers;
    const fs::path out = dir / "policy.txt";
    std::atomic<int> tickPolicy{-1};
    std::atomic<bool> started{false};
    auto timer = timers.StartPeriodic(
        5,
        [&] {
            if (started.exchange(true)) return;
            tickPolicy = sched_getscheduler(0);
            programs.Start("/bin/sh", {"-c", "chrt -p $$ > \"$0\"", out.string()});
        },
        TickPriority::RealTime);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(out) && fs::file_size(out) > 0; }));
    timer->Stop();
    std::ifstream in(out);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("SCHED_OTHER"), std::string::npos) << text;
    if (tickPolicy != SCHED_FIFO) GTEST_SKIP() << "ticks run at normal priority here; nothing to inherit";
}

TEST_F(ProgramsTest, FileExistsOnlyForFiles) {
    PosixPrograms programs;
    std::ofstream(dir / "Sorrelpane").put('x');
    EXPECT_TRUE(programs.FileExists((dir / "Sorrelpane").string()));
    EXPECT_FALSE(programs.FileExists(dir.string()));  // a folder of that name does not count
    EXPECT_FALSE(programs.FileExists((dir / "missing").string()));
}

TEST_F(ProgramsTest, SoundIgnoresMissingPromptsAndFailingPlayers) {
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    fs::create_directories("res/sounds");
    std::ofstream("res/sounds/187.wav") << "not really a wave file";
    AplaySound sound;
    sound.Play(187);  // aplay fails here (no sound card, bad file): silently
    sound.Play(9999);
    fs::current_path(old);
    EXPECT_TRUE(WaitFor(NoChildrenLeft));
}

TEST(SingleInstanceTest, ALockIsHeldByOneHolderAtATime) {
    const std::string name = "test-lock-" + std::to_string(getpid());
    auto first = std::make_unique<FlockSingleInstance>();
    FlockSingleInstance second;
    EXPECT_TRUE(first->TryAcquire(name));
    EXPECT_TRUE(first->TryAcquire(name));  // asking again keeps it
    EXPECT_FALSE(second.TryAcquire(name));
    EXPECT_TRUE(second.TryAcquire(name + "-other"));
    first.reset();
    EXPECT_TRUE(second.TryAcquire(name));
    // A name with a slash stays one file in the runtime folder.
    EXPECT_EQ(fs::path(FlockSingleInstance::LockPath("a/b")).filename(), "kestrava-a_b.lock");
    unlink(FlockSingleInstance::LockPath(name).c_str());
    unlink(FlockSingleInstance::LockPath(name + "-other").c_str());
}

class RecordingNotices : public Notices {
public:
    void Show(std::string_view text, std::string_view caption) override { shown = std::string(caption) + "|" + std::string(text); }
    std::string shown;
};

TEST(X11PlatformTest, ReplacedNoticesReachEarlierHolders) {
    std::string error;
    auto x11 = X11Platform::Create(&error);
    ASSERT_NE(x11, nullptr) << error;
    Platform p = x11->Get();
    EXPECT_FALSE(p.desktop.ScreenRect().Empty());
    EXPECT_EQ(p.screen.Bounds(), p.desktop.ScreenRect());
    RecordingNotices gui;
    x11->SetNotices(&gui);
    p.notices.Show("Tess Init failed", "Kestrava");
    EXPECT_EQ(gui.shown, "Kestrava|Tess Init failed");
    x11->SetNotices(nullptr);
    p.notices.Show("back on stderr", "Kestrava");
    EXPECT_EQ(gui.shown, "Kestrava|Tess Init failed");
}

}  // namespace
}  // namespace kestrava::platform::x11
