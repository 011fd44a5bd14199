// Bid applications: the messages each variant posts and when, the gear fills, and the lines it
// logs and shows.
#include <gtest/gtest.h>

#include "engine_rig.h"

namespace kestrava::engine::testing {
namespace {

namespace cmd = shell::cmd;
namespace wm = platform::wm;

TEST(BidApplicationTest, EachVariantPostsTheSequenceWithItsWaits) {
    struct Case {
        Application kind;
        int a, b, c, d;
    };
    const Case cases[] = {
        {Application::Bid, 100, 200, 400, 200},
        {Application::Rebid, 100, 250, 100, 200},
        {Application::Scheduled, 60, 100, 60, 700},
        {Application::Analysis, 60, 100, 60, 700},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.kind));
        EngineRig rig;
        rig.SetPrices(90000, 0);
        rig.c().state.remainingSeconds = 50;  // outside every gear-fill window
        switch (k.kind) {
            case Application::Bid: rig.e().ApplyBid(rig.c(), 700); break;
            case Application::Rebid: rig.e().ApplyRebid(rig.c(), 700); break;
            case Application::Scheduled: rig.e().ApplyScheduledBid(rig.c(), 700); break;
            case Application::Analysis: rig.e().ApplyAnalysisBid(rig.c(), 700); break;
        }
        const int typed = k.a + 200;  // TypeDigits clears the box and waits 200 ms itself
        const int add = typed + k.b;
        const int bid = add + k.c;
        const int code = bid + k.d;
        const std::vector<Post> expected = {
            {cmd::ClickAt, kAnchorX + 50, kAnchorY + 51, 0},  // the info dialog's confirm point
            {cmd::CloseInfoElement, 0, 0, 0},
            {cmd::ClickPlusBoxAt, kAnchorX + 10, kAnchorY + 11, 0},
            {wm::KeyDown, platform::vk::Delete, 1, k.a},
            {wm::KeyUp, platform::vk::Delete, 1, k.a},
            {wm::Char, '7', 0, typed},
            {wm::Char, '0', 0, typed},
            {wm::Char, '0', 0, typed},
            {cmd::ClickAt, kAnchorX + 20, kAnchorY + 21, add},
            {cmd::ClickAt, kAnchorX + 30, kAnchorY + 31, bid},
            {cmd::CodeBoxPoint, kAnchorX + 40, kAnchorY + 41, code},
        };
        EXPECT_EQ(rig.Posts(), expected);
        EXPECT_EQ(rig.c().state.appliedPrice.load(), 90700);
        EXPECT_EQ(rig.c().state.infoBody.Get(), " 加价700，请输入验证码，然后按一次回车");
        EXPECT_EQ(rig.fp.desktop.Foreground(), rig.page);
    }
}

TEST(BidApplicationTest, ElementModeUsesThePageElements) {
    EngineRig rig;
    rig.c().state.divmode = 1;
    rig.SetPrices(90000, 0);
    rig.e().ApplyBid(rig.c(), 3000);
    std::vector<std::uint32_t> messages;
    for (const Post& p : rig.Posts()) messages.push_back(p.msg == wm::Char ? p.wParam : p.msg);
    const std::vector<std::uint32_t> expected = {cmd::CloseInfoElement, cmd::FocusPlusBoxElement, wm::KeyDown, wm::KeyUp,
                                                 '3', '0', '0', '0', cmd::PressAddElement, cmd::PressBidElement,
                                                 cmd::CodeBoxPoint};
    EXPECT_EQ(messages, expected);
}

TEST(BidApplicationTest, GearFills) {
    struct Case {
        const char* name;
        Application kind;
        const char* lowestText;
        int amount;
        int remaining;
        int secondBidTime, thirdBidTime;
        bool secondBox, thirdBox;  // 1142, 1021
        int gearSeconds;
        int typed;
        bool secondBoxAfter, thirdBoxAfter;
    };
    const Case cases[] = {
        {"second window: onto the next gear", Application::Scheduled, "92700", 300, 20, 20, 10, true, false, 2, 500,
         true, false},
        {"five seconds in one gear: no fill, box cleared", Application::Scheduled, "92700", 300, 20, 20, 10, true, false,
         5, 300, false, false},
        {"third window", Application::Scheduled, "93000", 400, 8, 20, 10, false, true, 0, 500, false, true},
        {"already on a gear", Application::Scheduled, "92600", 300, 20, 20, 10, true, false, 0, 300, true, false},
        {"below the table", Application::Scheduled, "92000", 600, 20, 20, 10, true, false, 0, 600, true, false},
        {"above the table", Application::Scheduled, "97000", 200, 20, 20, 10, true, false, 0, 200, true, false},
        {"outside both windows", Application::Scheduled, "92700", 300, 14, 20, 10, true, true, 0, 300, true, true},
        {"box unticked", Application::Scheduled, "92700", 300, 20, 20, 10, false, true, 0, 300, false, true},
        // Windows 20…16 and 18…14 overlap at 17: the price still goes onto the gear, once.
        {"overlapping windows, both boxes", Application::Scheduled, "92700", 300, 17, 20, 18, true, true, 0, 500, true,
         true},
        {"analysis bid at 33 s", Application::Analysis, "91300", 1200, 33, 0, 0, true, false, 9, 1400, true, false},
        {"analysis bid outside 30…35 s", Application::Analysis, "91300", 1200, 36, 0, 0, true, false, 0, 1200, true,
         false},
        {"analysis table ends at 94500", Application::Analysis, "93700", 900, 33, 0, 0, true, false, 0, 900, true, false},
        {"no fill for the remedy's bid", Application::Bid, "92700", 300, 20, 20, 10, true, true, 0, 300, true, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.c().state.lowestText.Set(k.lowestText);
        rig.c().state.remainingSeconds = k.remaining;
        rig.e().strategy.SecondBidTime = k.secondBidTime;
        rig.e().strategy.ThirdBidTime = k.thirdBidTime;
        rig.Tick(box::SecondGearFill, k.secondBox);
        rig.Tick(box::ThirdGearFill, k.thirdBox);
        rig.rec().gearSeconds = k.gearSeconds;
        const int lowest = LeadingNumber(k.lowestText);
        EXPECT_EQ(rig.e().GearFilledAmount(rig.c(), k.kind, lowest, k.amount), k.typed);
        EXPECT_EQ(rig.c().controls.IsChecked(box::SecondGearFill), k.secondBoxAfter);
        EXPECT_EQ(rig.c().controls.IsChecked(box::ThirdGearFill), k.thirdBoxAfter);
    }
}

TEST(BidApplicationTest, LogsThePriceAndTheStrategyInForce) {
    EngineRig rig;
    auto& v = rig.e().strategy;
    v.SecondBidTime = 40;
    v.SecondPlus = 700;
    v.ThirdBidTime = 10;
    v.ThirdBidPricePlus = 600;
    v.ctrlXpricelimit = 400;
    v.pricelimitStartTime = 15;
    v.DelayBidTime = 200;
    rig.Tick(box::SecondBid);
    rig.Tick(box::ForcedByTime);
    rig.c().controls.SetText(box::ForcedTimeLabel, "11:29:59.9");
    rig.c().state.lowestText.Set("90000");
    rig.e().ApplyRebid(rig.c(), 500);
    const std::vector<std::string> expected = {
        "操作执行申请加价",
        "国拍最低价：90000，用户申请价格：90500",
        "当时策略参数。\n√第二次申请价格倒计时：40  加价：700  \n 第三次申请价格倒计时：10  加价：600  \n"
        "申请价格与最低价差额400时提交， 倒数15秒开启， 到达400差额后，延迟200毫秒 软件强制提交开启11:29:59.9 ,没有勾选智能分析提交",
    };
    EXPECT_EQ(rig.LogMessages(), expected);

    // The analysis bid logs no summary; a screen with no number offers the amount itself.
    EngineRig blank;
    blank.c().state.lowestText.Set("");
    blank.c().state.remainingSeconds = 50;
    blank.e().ApplyAnalysisBid(blank.c(), 1200);
    EXPECT_EQ(blank.LogMessages(), (std::vector<std::string>{"操作执行申请加价", "国拍最低价：，用户申请价格：1200"}));
    EXPECT_EQ(blank.c().state.appliedPrice.load(), 1200);
}

}  // namespace
}  // namespace kestrava::engine::testing
