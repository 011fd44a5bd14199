// The control model: the console's layout, change counting, and use from several threads.
#include "console/console_controls.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace kestrava::console {
namespace {

TEST(ConsoleControlsTest, LayoutHasEachIdOnceInsideTheDialog) {
    std::set<int> ids;
    for (const ControlPlace& c : ConsoleLayout()) {
        SCOPED_TRACE(c.id);
        if (c.id != kNoId) {
            EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id";
        }
        EXPECT_GT(c.width, 0);
        EXPECT_GT(c.height, 0);
        // Shown controls of the visible column fit its 169 x 485 units; the rest lie beyond it.
        if (c.visible && c.x < kConsoleWidthDu) {
            EXPECT_LE(c.x + c.width, kConsoleWidthDu);
            EXPECT_LE(c.y + c.height, kConsoleHeightDu);
        }
    }
}

TEST(ConsoleControlsTest, ControlsStartWithTheirCaptionsAndStates) {
    struct Case {
        int id;
        const char* text;
        bool visible;
        bool enabled;
    };
    const Case cases[] = {
        {1060, "打开国拍", true, true},   {1058, "保存策略", true, true},  {1059, "打开日志", true, true},
        {1160, "智能校正", true, true},   {1117, "人工校正", true, true}, {1138, "开始模拟", false, true},
        {1112, "8.401版本", false, false}, {1137, "校正时间", false, true}, {1135, "Button11", false, true},
        {1161, "11:29:50", true, true},   {1072, "11:29:52", true, true},  {1169, "11:29:59.1", true, true},
        {1212, "0.5", true, true},        {1208, "延0.7", true, true},     {1211, "延0.0", true, true},
        {1143, ".", true, true},          {1025, "", true, true},          {1141, "", false, true},
        {1124, "语音", true, true},       {1193, "X", false, true},        {1098, "差额≤", false, true},
    };
    ConsoleControls controls;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const ControlSnapshot s = controls.Snapshot(c.id);
        EXPECT_TRUE(s.exists);
        EXPECT_EQ(s.text, c.text);
        EXPECT_EQ(s.visible, c.visible);
        EXPECT_EQ(s.enabled, c.enabled);
        EXPECT_EQ(s.check, 0);
        EXPECT_EQ(s.changes, 0u);
    }
    EXPECT_FALSE(controls.Exists(kNoId));
}

TEST(ConsoleControlsTest, OnlyRealChangesAreCounted) {
    ConsoleControls controls;
    controls.SetText(1104, "92300");
    controls.SetText(1104, "92300");
    controls.SetCheck(1010, 1);
    controls.SetCheck(1010, 1);
    controls.Enable(1112, false);  // already disabled
    controls.Show(1138, true);
    controls.SetText(9999, "no such control");
    controls.SetCheck(9999, 1);
    EXPECT_EQ(controls.Changes(1104), 1u);
    EXPECT_EQ(controls.Changes(1010), 1u);
    EXPECT_EQ(controls.Changes(1112), 0u);
    EXPECT_EQ(controls.Changes(1138), 1u);
    EXPECT_EQ(controls.Changes(), 3u);
    EXPECT_FALSE(controls.Exists(9999));
    EXPECT_EQ(controls.Text(9999), "");

    controls.SetItems(1175, {"策略01", "策略02"});
    controls.Select(1175, 5);  // beyond the list: nothing selected
    EXPECT_EQ(controls.Selection(1175), -1);
    controls.Select(1175, 1);
    EXPECT_EQ(controls.Selection(1175), 1);
    auto picture = std::make_shared<const platform::Image>(4, 2);
    controls.SetPicture(1136, picture);
    EXPECT_EQ(controls.Picture(1136), picture);
    controls.SetPicture(1136, nullptr);
    EXPECT_EQ(controls.Picture(1136), nullptr);
    EXPECT_EQ(controls.Changes(), 7u);
}

TEST(ConsoleControlsTest, ThreadsChangingControlsLoseNoChange) {
    ConsoleControls controls;
    constexpr int kRounds = 5000;
    auto writer = [&](int id) {
        for (int i = 0; i < kRounds; ++i) controls.SetText(id, std::to_string(i));
    };
    std::thread a(writer, 1104), b(writer, 1105), c([&] {
        for (int i = 0; i < kRounds; ++i) controls.SetCheck(1010, i % 2);
    });
    std::uint64_t seen = 0;
    for (int i = 0; i < 1000; ++i) seen = std::max(seen, controls.Changes());  // a view polling meanwhile
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(controls.Changes(1104), static_cast<std::uint64_t>(kRounds));
    EXPECT_EQ(controls.Changes(1105), static_cast<std::uint64_t>(kRounds));
    EXPECT_EQ(controls.Changes(1010), static_cast<std::uint64_t>(kRounds - 1));  // the first sets 0 again
    EXPECT_EQ(controls.Changes(), 3u * kRounds - 1);
    EXPECT_LE(seen, controls.Changes());
    EXPECT_EQ(controls.Text(1104), std::to_string(kRounds - 1));
}

}  // namespace
}  // namespace kestrava::console
