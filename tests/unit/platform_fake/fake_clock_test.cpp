// The virtual clock is what every engine test stands on: its timers must behave like the real
// periodic timers (no overlap, skipped ticks, deadline order) or the tests prove nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

using namespace kestrava::platform;
using namespace kestrava::platform::fake;

TEST(FakeClock, LocalTimeRoundTripsThroughEpochInItsOwnZone) {
    struct Case {
        LocalTime local;
        int offsetMinutes;
        std::int64_t epochSeconds;
    };
    const Case cases[] = {
        {MakeLocal(1970, 1, 1, 8, 0, 0), 480, 0},
        {MakeLocal(2024, 1, 1, 0, 0, 0), 0, 1704067200},
        {MakeLocal(2026, 12, 10, 11, 30, 0), 480, 1796873400},
        {MakeLocal(2028, 2, 29, 23, 59, 59), 480, 1835452799},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.epochSeconds);
        FakeClock clock(c.local, c.offsetMinutes);
        EXPECT_EQ(clock.LocalToEpochSeconds(c.local), c.epochSeconds);
        const LocalTime back = clock.EpochMillisToLocal(c.epochSeconds * 1000 + 42);
        EXPECT_EQ(back.year, c.local.year);
        EXPECT_EQ(back.month, c.local.month);
        EXPECT_EQ(back.day, c.local.day);
        EXPECT_EQ(back.hour, c.local.hour);
        EXPECT_EQ(back.minute, c.local.minute);
        EXPECT_EQ(back.second, c.local.second);
        EXPECT_EQ(back.millisecond, 42);
    }
    EXPECT_EQ(MakeLocal(2026, 12, 10, 0, 0, 0).weekday, 4);  // a Thursday
}

TEST(FakeClock, TimersFireInDeadlineOrderAndTheTickCountWraps) {
    FakeClock clock(MakeLocal(2026, 12, 10, 11, 29, 0), 480, 0xFFFFFF00u);
    std::vector<std::string> fired;
    auto fast = clock.StartPeriodic(10, [&] { fired.push_back("10@" + std::to_string(clock.TickCount() - 0xFFFFFF00u)); });
    auto slow = clock.StartPeriodic(25, [&] { fired.push_back("25@" + std::to_string(clock.TickCount() - 0xFFFFFF00u)); });
    clock.Advance(50);
    EXPECT_EQ(fired, (std::vector<std::string>{"10@10", "10@20", "25@25", "10@30", "10@40", "10@50", "25@50"}));
    EXPECT_EQ(clock.TickCount(), 0xFFFFFF32u);
    clock.Advance(300);
    EXPECT_LT(clock.TickCount(), 100u);  // wrapped; callers compare by unsigned difference
    EXPECT_EQ(clock.TickCount() - 0xFFFFFF00u, 350u);
}

TEST(FakeClock, SleepInsideATickFiresOtherTimersAndSkipsItsOwn) {
    FakeClock clock;
    int scanTicks = 0, submitTicks = 0;
    std::vector<std::int64_t> scanStarts;
    const std::int64_t t0 = clock.EpochMillis();
    auto scan = clock.StartPeriodic(100, [&] {
        ++scanTicks;
        scanStarts.push_back(clock.EpochMillis() - t0);
        if (scanTicks == 1) clock.SleepMs(250);  // a bid application's wait
    });
    auto submit = clock.StartPeriodic(10, [&] { ++submitTicks; });
    clock.Advance(1000);
    // The submit tick kept its rhythm through the 250 ms sleep; the scan ticks due at 200 and 300
    // fell inside the sleep (which ended at 350) and were skipped, not queued.
    EXPECT_EQ(submitTicks, 100);
    EXPECT_EQ(scanStarts, (std::vector<std::int64_t>{100, 400, 500, 600, 700, 800, 900, 1000}));
}

TEST(FakeClock, StoppedTimersNeverFireAgainAndMayStopThemselves) {
    FakeClock clock;
    int a = 0, b = 0;
    std::unique_ptr<PeriodicTimer> ta, tb;
    ta = clock.StartPeriodic(10, [&] {
        if (++a == 3) ta->Stop();
    });
    tb = clock.StartPeriodic(10, [&] { ++b; });
    clock.Advance(100);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 10);
    tb.reset();
    clock.Advance(100);
    EXPECT_EQ(b, 10);
    EXPECT_EQ(clock.ActiveTimers(), 0);
}

TEST(FakeClock, SetNowJumpsWithoutFiringAndKeepsTheTickCount) {
    FakeClock clock(MakeLocal(2026, 12, 10, 9, 0, 0));
    int ticks = 0;
    auto t = clock.StartPeriodic(1000, [&] { ++ticks; });
    const std::uint32_t tick = clock.TickCount();
    clock.SetNow(MakeLocal(2026, 12, 10, 11, 29, 50));
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(clock.TickCount(), tick);
    EXPECT_EQ(clock.Now().minute, 29);
    clock.AdvanceTo(MakeLocal(2026, 12, 10, 11, 30, 0));
    EXPECT_EQ(ticks, 10);
}

TEST(FakeDesktop, FindsWindowsAndDescendantsAndStampsPosts) {
    FakeClock clock;
    FakeDesktop desktop(&clock);
    const WindowId page = desktop.AddWindow("客车额度拍卖InternetExplorer", "Shell", Rect{100, 50, 1100, 850});
    const WindowId frame = desktop.AddWindow("", "Chrome_WidgetWin_0", Rect{100, 80, 1100, 850}, page);
    const WindowId view = desktop.AddWindow("", "Chrome_WidgetWin_1", Rect{100, 80, 1100, 850}, frame);
    EXPECT_EQ(desktop.FindWindowByTitle("客车额度拍卖InternetExplorer"), page);
    EXPECT_EQ(desktop.FindChild(page, "Chrome_WidgetWin_1"), view);
    EXPECT_EQ(desktop.FindChild(frame, "Chrome_WidgetWin_0"), 0u);
    clock.Advance(5);
    EXPECT_TRUE(desktop.PostMessage(view, Message{0x102, '7', 0}));
    desktop.RemoveWindow(page);
    EXPECT_FALSE(desktop.IsWindow(view));
    EXPECT_FALSE(desktop.PostMessage(view, Message{0x102, '8', 0}));
    const auto posted = desktop.Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message.wParam, static_cast<std::uint32_t>('7'));
    EXPECT_EQ(posted[0].atMillis, clock.EpochMillis());
}

TEST(FakeDevices, ScreenCaptureClipsAndKeysLatchUntilQueried) {
    FakeScreen screen(40, 30);
    screen.Fill(Rect{30, 20, 40, 30}, 1, 2, 3);
    Image img;
    Rect clipped;
    ASSERT_TRUE(screen.Capture(Rect{35, 25, 60, 60}, img, &clipped));
    EXPECT_EQ(clipped, (Rect{35, 25, 40, 30}));
    EXPECT_EQ(img.width, 5);
    EXPECT_EQ(img.Pixel(4, 4)[2], 3);
    EXPECT_FALSE(screen.Capture(Rect{50, 50, 60, 60}, img));

    FakeKeyboard keys;
    keys.Tap(0x0D);
    EXPECT_TRUE(keys.Query(0x0D).pressedSince);
    EXPECT_FALSE(keys.Query(0x0D).pressedSince);
    keys.SetDown(0x11, true);
    EXPECT_TRUE(keys.Query(0x11).down);

    auto table = FakeSingleInstance::NewTable();
    FakeSingleInstance first(table), second(table);
    EXPECT_TRUE(first.TryAcquire("kestrava"));
    EXPECT_FALSE(second.TryAcquire("kestrava"));
}
