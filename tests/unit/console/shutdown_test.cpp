// Closing the console: the order of its steps, and that nothing runs after it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "console/console.h"
#include "console_rig.h"

namespace kestrava::console::testing {
namespace {

// A sync client that notes what the console's shutdown looked like when it was asked to end.
struct RecordingWorker : Worker {
    struct Seen {
        std::vector<std::string> steps;
        int activeTimersAtWait = -1;
        bool logWrittenAtWait = false;
        std::int64_t waitAtMs = 0;
        std::uint32_t waitedMs = 0;
    };
    RecordingWorker(ConsoleRig& rig, Seen& seen, bool ends) : rig(rig), seen(seen), ends(ends) {}
    void RequestStop() override { seen.steps.push_back("stop"); }
    bool WaitUntilEnded(std::uint32_t ms) override {
        seen.steps.push_back("wait");
        seen.activeTimersAtWait = rig.fp.clock.ActiveTimers();
        seen.logWrittenAtWait = std::filesystem::exists(rig.book.DayFilePath("12345678"));
        seen.waitAtMs = rig.fp.clock.EpochMillis();
        seen.waitedMs = ms;
        return ends;
    }
    void Abandon() override { seen.steps.push_back("abandon"); }
    ConsoleRig& rig;
    Seen& seen;
    bool ends;
};

TEST(ShutdownTest, TimersStopAndTheLogIsWrittenBeforeTheSyncClientIsWaitedFor) {
    struct Case {
        bool workerEnds;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {true, {"stop", "wait"}},
        {false, {"stop", "wait", "abandon"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.workerEnds ? "worker ends" : "worker hangs");
        ConsoleRig rig;
        rig.AddPage();
        RecordingWorker::Seen seen;
        rig.hooks.startSync = [&](CKestravaDlg&) { return std::make_unique<RecordingWorker>(rig, seen, c.workerEnds); };
        auto& con = rig.Start();
        rig.fp.clock.Advance(2500);
        ASSERT_EQ(rig.fp.clock.ActiveTimers(), 5);
        const std::int64_t closedAt = rig.fp.clock.EpochMillis();
        con.OnClose();
        EXPECT_EQ(seen.steps, c.steps);
        EXPECT_EQ(seen.activeTimersAtWait, 0);
        EXPECT_TRUE(seen.logWrittenAtWait);
        EXPECT_EQ(seen.waitAtMs - closedAt, 200);
        EXPECT_EQ(seen.waitedMs, 500u);
        EXPECT_EQ(con.state.auctionPhase.load(), 0);
        EXPECT_EQ(rig.book.Pending(), "");
    }
}

TEST(ShutdownTest, NothingRunsAfterTheConsoleIsClosedOrGone) {
    ConsoleRig rig;
    rig.AddPage();
    int ticks = 0, calibrations = 0;
    for (auto* hook : {&rig.hooks.pageStateTick, &rig.hooks.scanTick, &rig.hooks.submitTick, &rig.hooks.heartbeatTick,
                       &rig.hooks.refreshControls})
        *hook = [&](CKestravaDlg&) { ++ticks; };
    rig.hooks.smartCalibrate = [&](CKestravaDlg&) { ++calibrations; };
    auto& con = rig.Start();
    con.StartCancelTimer();
    rig.fp.clock.Advance(1000);
    ASSERT_GT(ticks, 0);
    rig.fp.desktop.ClearPosted();

    con.OnClose();
    const int ticksAtClose = ticks;
    const int runState = con.state.runState.load();
    EXPECT_EQ(rig.fp.clock.ActiveTimers(), 0);
    rig.fp.clock.Advance(60000);
    EXPECT_FALSE(con.HandleMessage({0x492, 0, 0}));
    con.OnSecondTick();
    con.OnCommand(1160);
    con.StartCancelTimer();
    rig.fp.clock.Advance(5000);
    EXPECT_EQ(ticks, ticksAtClose);
    EXPECT_EQ(calibrations, 1);  // the start-up's only
    EXPECT_EQ(con.state.runState.load(), runState);
    EXPECT_TRUE(rig.fp.desktop.Posted().empty());  // not even the pending cancel clicks

    rig.console.reset();  // a second close from the destructor is harmless
    rig.fp.clock.Advance(60000);
    EXPECT_EQ(ticks, ticksAtClose);
}

TEST(ShutdownTest, CancelTimerClicksOnceThreeSecondsLater) {
    struct Case {
        int divmode;
        std::vector<std::uint32_t> messages;
    };
    const Case cases[] = {
        {0, {0x46a, 0x46a, 0x46a, 0x4a4}},
        {1, {0x4a4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.divmode);
        ConsoleRig rig;
        rig.AddPage();
        auto& con = rig.Start();
        con.state.divmode = c.divmode;
        rig.fp.desktop.ClearPosted();
        const std::int64_t t0 = rig.fp.clock.EpochMillis();
        con.StartCancelTimer();
        rig.fp.clock.Advance(10000);
        const auto posted = rig.fp.desktop.PostedTo(rig.page);
        ASSERT_EQ(posted.size(), c.messages.size());
        for (std::size_t i = 0; i < posted.size(); ++i) {
            EXPECT_EQ(posted[i].message.msg, c.messages[i]);
            EXPECT_EQ(posted[i].atMillis - t0, 3000);
        }
        EXPECT_EQ(rig.fp.clock.ActiveTimers(), 5);  // released by the next one-second tick
    }
}

// A message box waits for a person. One opened by a command or a window message must find the
// console's lock free: the one-second tick runs on meanwhile, so the close, which waits for that
// tick, is never stuck behind the box.
TEST(ShutdownTest, MessageBoxesOpenOnlyWithTheConsoleLockFree) {
    struct Case {
        const char* what;
        std::function<void(CKestravaDlg&)> act;
    };
    const Case cases[] = {
        {"打开国拍 with a page shell that shows no window", [](CKestravaDlg& c) { c.OnCommand(1060); }},
        {"an update ready without the updater", [](CKestravaDlg& c) { c.HandleMessage(platform::Message{0x464, 0, 0}); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ConsoleRig rig;
        rig.hooks.installUpdate = [](CKestravaDlg& c) { c.platform.notices.Show("程序目录下缺少升级程序Updater.exe！", ""); };

        // The box: while it is "open", the one-second tick runs on another thread.
        struct TickWhileOpen : platform::Notices {
            CKestravaDlg* console = nullptr;
            std::vector<std::string> shown;
            std::vector<bool> tickRan;
            std::vector<std::future<void>> ticks;  // waited for once the box is closed
            void Show(std::string_view text, std::string_view) override {
                shown.emplace_back(text);
                ticks.push_back(std::async(std::launch::async, [c = console] { c->OnSecondTick(); }));
                tickRan.push_back(ticks.back().wait_for(std::chrono::seconds(2)) == std::future_status::ready);
            }
        } boxes;
        platform::Platform p = rig.fp.Get();
        CKestravaDlg c(platform::Platform{p.clock, p.timers, p.desktop, p.screen, p.keyboard, p.registry, p.programs,
                                          p.sound, boxes, p.systemTime, p.power, p.singleInstance},
                       rig.book, LoginInfo{"12345678"}, rig.hooks);
        boxes.console = &c;
        k.act(c);
        for (auto& tick : boxes.ticks) tick.wait();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_TRUE(boxes.tickRan[0]) << "the tick waited for the box: " << boxes.shown[0];
    }
}

}  // namespace
}  // namespace kestrava::console::testing
