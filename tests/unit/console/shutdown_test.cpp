// Closing the console: the order of its steps, and that nothing runs after it.
#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace kestrava::console::testing
