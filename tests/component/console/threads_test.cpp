// Closing the console while its ticks run on real timer threads and another thread keeps posting
// messages: once OnClose returns nothing of the console runs again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "console/console.h"
#include "platform/x11/posix_clock.h"
#include "platform/x11/posix_timers.h"
#include "unit/console/console_rig.h"

namespace kestrava::console::testing {
namespace {

TEST(ConsoleThreadsTest, CloseWhileEveryTickIsBusyLeavesNothingRunning) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ScratchFolder folder;
        WriteIni("bin/userconf.ini", "Configure", {{"scanInterval", "3"}, {"jamInterval", "1"}});
        platform::x11::PosixClock clock;
        platform::x11::PosixTimers timers;
        platform::fake::FakePlatform fakes;
        const platform::Platform p{clock,          timers,         fakes.desktop,    fakes.screen,
                                   fakes.keyboard, fakes.registry, fakes.programs,   fakes.sound,
                                   fakes.notices,  fakes.systemTime, fakes.power,    fakes.singleInstance};
        log::LogBook book(clock, "./Log");
        const auto page = fakes.desktop.AddWindow(shell::kPageWindowTitle, "Sorrelpane", platform::Rect{0, 0, 800, 600});
        fakes.desktop.AddWindow("", shell::kPageFrameClass, platform::Rect{0, 0, 800, 600}, page);

        std::atomic<int> work{0};
        ConsoleHooks hooks;
        hooks.scanTick = [&](CKestravaDlg& c) {
            c.shell.PressBidButton();
            c.controls.SetText(1104, std::to_string(c.state.lowestPrice.fetch_add(100)));
            c.WriteLogLine("scan");
            ++work;
        };
        hooks.submitTick = [&](CKestravaDlg& c) {
            c.state.remainingSeconds = c.state.remainingSeconds.load() - 1;
            c.UpdateAuctionPhase();
            ++work;
        };
        hooks.pageStateTick = [&](CKestravaDlg& c) {
            c.controls.SetCheck(1010, c.controls.Check(1010) ^ 1);
            ++work;
        };
        hooks.pageReport = [&](CKestravaDlg& c, std::uint32_t w, std::int32_t) {
            c.state.lowestPrice = static_cast<int>(w);
            ++work;
        };
        auto console = std::make_unique<CKestravaDlg>(p, book, LoginInfo{"12345678", "8.2", 1, 3}, hooks);
        ASSERT_TRUE(console->OnInitDialog().ok);

        std::atomic<bool> posting{true};
        std::thread poster([&] {
            while (posting.load()) {
                console->HandleMessage({msg::PageReport, 91000, 112959});
                console->OnSpin(1149, SpinArrow::Down);
                std::this_thread::yield();
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1100 + 37 * round));
        console->OnClose();
        const int atClose = work.load();
        EXPECT_GT(atClose, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(work.load(), atClose);
        posting = false;
        poster.join();
        EXPECT_EQ(work.load(), atClose);
        EXPECT_EQ(console->state.runState.load(), 2);  // the one-second tick ran on its thread too
        console.reset();
    }
}

}  // namespace
}  // namespace kestrava::console::testing
