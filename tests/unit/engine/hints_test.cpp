// The hint balloons: which balloon, where, and never without a page to point at.
#include <gtest/gtest.h>

#include "engine_rig.h"

namespace kestrava::engine::testing {
namespace {

TEST(ShowHintTest, BalloonsSitAtTheirCalibratedPointsOnThePageView) {
    struct Case {
        int n;
        int balloon;
        int x, y;  // screen point; the page view starts at (0, 30)
        int anchorControl;
        std::string textStart;
    };
    const Case cases[] = {
        {1, 1, 11, 42, 0, "<h1>依据设置开始强制提交"},
        {2, 2, 21, 52, 0, "<table align=center"},
        {3, 3, 21, 52, 0, "<h1>请在右侧价格框内输入2次相同的金额"},
        {4, 4, 41, 72, 0, "<h1>补救功能开启"},
        {6, 5, 21, 52, 0, "信息提示（出价有效）"},
        {7, 5, 0, 0, 1165, "软件会自动在倒数35秒"},
        {8, 5, 0, 0, 1165, "由于拍牌人数减少"},
    };
    auto store = std::make_shared<perception::GeometryStore>();
    store->Update([](perception::PageGeometry& g) {
        g.tooltip1_x = 11, g.tooltip1_y = 12;
        g.tooltip2_x = 21, g.tooltip2_y = 22;
        g.tooltip4_x = 41, g.tooltip4_y = 42;
    });
    for (const Case& k : cases) {
        SCOPED_TRACE(k.n);
        std::vector<Hint> shown;
        EngineOptions options;
        options.geometry = store;
        options.showBalloon = [&](const Hint& h) { shown.push_back(h); };
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 0), options);
        rig.e().ShowHint(rig.c(), k.n);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].balloon, k.balloon);
        EXPECT_EQ(shown[0].x, k.x);
        EXPECT_EQ(shown[0].y, k.y);
        EXPECT_EQ(shown[0].anchorControl, k.anchorControl);
        EXPECT_EQ(shown[0].text.rfind(k.textStart, 0), 0u) << shown[0].text;
    }
}

TEST(ShowHintTest, NothingForOtherNumbersOrWithoutAPageView) {
    std::vector<Hint> shown;
    EngineOptions options;
    options.showBalloon = [&](const Hint& h) { shown.push_back(h); };
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 0), options);
    rig.e().ShowHint(rig.c(), 5);
    rig.e().ShowHint(rig.c(), 11);
    EXPECT_TRUE(shown.empty());
    rig.RemovePage();
    rig.e().ShowHint(rig.c(), 1);
    EXPECT_TRUE(shown.empty());
}

TEST(VoicePromptTest, PracticeRunsWithTheVoiceBoxOnly) {
    struct Case {
        int moniornot;
        bool voice;
        std::vector<int> played;
    };
    for (const Case& k : {Case{1, true, {189, 180}}, Case{1, false, {}}, Case{0, true, {}}}) {
        SCOPED_TRACE(std::to_string(k.moniornot) + (k.voice ? " voice" : ""));
        EngineRig rig;
        rig.c().state.moniornot = k.moniornot;
        rig.Tick(box::Voice, k.voice);
        rig.c().state.remainingSeconds = 30;
        rig.SetPrices(90000, 91000);
        rig.e().HandleKey(rig.c(), platform::vk::Return);  // arms: prompt 189
        rig.fp.keyboard.SetDown(platform::vk::Control, true);
        rig.e().HandleKey(rig.c(), platform::vk::Return);  // Ctrl+Enter: prompt 180
        EXPECT_EQ(rig.fp.sound.Played(), k.played);
    }
}

}  // namespace
}  // namespace kestrava::engine::testing
