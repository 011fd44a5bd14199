// The submission control: the clicks of ConfirmBid, the smart submission's gap and delay
// branches, the bidder's keys, the forced-submission boxes, and the rule that a confirmation
// scheduled for one submission never fires for a later one.
#include <gtest/gtest.h>

#include "engine_rig.h"

namespace kestrava::engine::testing {
namespace {

namespace vk = platform::vk;
using shell::cmd::ClickAt;
using shell::cmd::ConfirmCodeElement;

TEST(ConfirmBidTest, EachModeClicksItsPointsInItsOrderAllAtOnce) {
    struct Case {
        const char* name;
        int divmode;
        int moniornot;
        bool elementCommandFirst;
        std::vector<int> points;
    };
    const Case cases[] = {
        {"element mode", 1, 0, true, {}},
        {"element mode, practice", 1, 1, true, {}},
        {"coordinates, practice", 0, 1, false,
         {19, 23, 9, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21, 22, 24, 25, 26, 27}},
        {"coordinates, real", 0, 0, true,
         {9, 23, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 24, 25, 26, 27}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.c().state.divmode = k.divmode;
        rig.c().state.moniornot = k.moniornot;
        rig.fp.clock.Advance(250);
        rig.e().ConfirmBid(rig.c());
        const std::vector<Post> posts = rig.Posts();
        std::size_t i = 0;
        if (k.elementCommandFirst) {
            ASSERT_FALSE(posts.empty());
            EXPECT_EQ(posts[i++], (Post{ConfirmCodeElement, 0, 0, 250}));
        }
        std::vector<int> clicked;
        for (; i < posts.size(); ++i) {
            EXPECT_EQ(posts[i].msg, ClickAt);
            EXPECT_EQ(posts[i].at, 250);  // posted blind, no waits
            const int n = ConfirmPointNumber(posts[i]);
            EXPECT_EQ(posts[i].lParam, kAnchorY + 500 + n);
            clicked.push_back(n);
        }
        EXPECT_EQ(clicked, k.points);
    }
}

// One check of the smart submission, as the bidder's Enter makes it.
TEST(SmartSubmitCheckTest, GapAndDelayBranches) {
    struct Case {
        const char* name;
        int gap;
        int remaining;
        int limit;    // ctrlXpricelimit
        int delayMs;  // DelayBidTime
        bool confirms;
        bool armed;
        std::vector<std::string> log;
    };
    const std::string lowest = "国拍最低价：90000";
    const std::string armLine = "客户按了回车，智能提交开启，等待价格上涨到差价范围";
    const Case cases[] = {
        {"inside the 300 window before the gap window opens", 300, 40, 300, 0, true, false,
         {lowest + "，软件点击\"确定\"按钮"}},
        {"inside the 300 window with the gap window open", 200, 10, 300, 500, true, false,
         {lowest + "，软件点击\"确定\"按钮"}},
        {"too far before the gap window opens", 400, 16, 500, 0, false, true, {armLine}},
        {"too far for the limit", 400, 10, 300, 0, false, true, {armLine}},
        {"above 800 whatever the limit", 900, 10, 1000, 0, false, true, {armLine}},
        {"within the limit, no delay", 500, 15, 500, 0, true, false, {lowest + "，软件点击确定提交"}},
        {"within the limit, with a delay", 400, 10, 500, 300, false, true, {lowest + "，延时300毫秒"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.c().state.remainingSeconds = k.remaining;
        rig.e().strategy.ctrlXpricelimit = k.limit;
        rig.e().strategy.DelayBidTime = k.delayMs;
        rig.SetPrices(90000, 90000 + k.gap);
        // A check that waited for its lock while another rule ended the submission finds nothing
        // armed: it neither confirms a second time nor arms a submission of its own.
        rig.e().SmartSubmitCheck(rig.c());
        EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 0);
        EXPECT_FALSE(rig.Armed());
        rig.e().SmartSubmitCheckOnEnter(rig.c());
        EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), k.confirms ? 1 : 0);
        EXPECT_EQ(rig.Armed(), k.armed);
        EXPECT_EQ(rig.LogMessages(), k.log);
        // The check never withdraws the application.
        EXPECT_EQ(rig.c().state.appliedPrice.load(), 90000 + k.gap);
    }
}

TEST(SmartSubmitCheckTest, ArmingTellsTheBidderOnceAndARiseIntoTheWindowConfirms) {
    EngineRig rig;
    rig.c().state.remainingSeconds = 12;
    rig.SetPrices(90000, 90500);
    rig.e().SmartSubmitCheckOnEnter(rig.c());
    rig.e().SmartSubmitCheckOnEnter(rig.c());  // a held Enter
    EXPECT_EQ(rig.LoggedCount("客户按了回车，智能提交开启，等待价格上涨到差价范围"), 1);
    EXPECT_EQ(rig.c().state.infoBody.Get(), "请等待！软件在等待价格上涨，然后依据参数来提交。\n现在不能用“鼠标”点击 “确定”按钮");
    ASSERT_EQ(rig.rec().lastHint.Get().n, 2);
    rig.c().state.statusClass = 1;

    // The page reports a rise of 200: the fed price is checked at once.
    rig.e().OnPageReport(rig.c(), 90200, 112948);
    EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 1);
    EXPECT_TRUE(rig.Logged("国拍最低价：90200，软件点击\"确定\"按钮"));  // the price it acts on
    EXPECT_FALSE(rig.Armed());
    EXPECT_EQ(rig.c().state.statusText.Get(), "----");
    EXPECT_EQ(rig.c().state.statusClass.load(), 0);
    EXPECT_EQ(rig.c().state.infoBody.Get(), ".");
}

TEST(SmartSubmitCheckTest, DelayConfirmsWhenItRunsOut) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 49, 950));
    rig.e().strategy.ctrlXpricelimit = 500;
    rig.e().strategy.DelayBidTime = 300;
    rig.SetPrices(90000, 90400);
    rig.StartTicks();
    rig.AdvanceTo(11, 29, 50, 0);
    ASSERT_EQ(rig.c().state.remainingSeconds.load(), 10);
    const std::int64_t enter = rig.Elapsed();
    rig.e().HandleKey(rig.c(), vk::Return);
    EXPECT_EQ(rig.c().state.infoBody.Get(), "智能提交中，延时300毫秒后提交");
    rig.fp.clock.Advance(1000);
    const std::vector<Post> posts = rig.Posts();
    ASSERT_EQ(EngineRig::Confirmations(posts), 1);
    // The submit step (every 10 ms) finds it run out, not the scan tick's next check up to 100 ms
    // later; the shell gave no answer to the moment announced, so the console clicks.
    const auto confirm = std::find_if(posts.begin(), posts.end(), [](const Post& p) { return p.msg == ConfirmCodeElement; });
    EXPECT_EQ(confirm->at - enter, 300);
    EXPECT_TRUE(rig.Logged("国拍最低价：90000，延时达到"));
}

TEST(HandleKeyTest, KeysThatConfirmOrCancelAtOnce) {
    struct Case {
        const char* name;
        int key;
        bool control;
        int remaining;
        bool armedBefore;
        int confirmations;
        std::string lastLog;
        int appliedAfter;
    };
    const Case cases[] = {
        {"Ctrl+Enter confirms whatever the gap", vk::Return, true, 20, true, 1, "国拍最低价：90000 强制提交价格 ..", 91000},
        {"Enter with one second left confirms without a gap test", vk::Return, false, 1, false, 1,
         "59秒客户按回车，软件点击“确定”按钮", 91000},
        {"Enter with the gap too wide arms", vk::Return, false, 20, false, 0,
         "客户按了回车，智能提交开启，等待价格上涨到差价范围", 91000},
        {"Escape cancels the code dialog", vk::Escape, false, 20, true, 0, "检查是否有页面干扰申请价格 ", 0},
        {"F4 does nothing", vk::F3 + 1, false, 20, true, 0, "", 91000},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.c().state.remainingSeconds = k.remaining;
        rig.SetPrices(90000, 91000);
        if (k.armedBefore) {
            rig.Arm();
            rig.rec().submission.StartDelay(rig.fp.clock.TickCount());
        }
        rig.fp.keyboard.SetDown(vk::Control, k.control);
        rig.e().HandleKey(rig.c(), k.key);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(EngineRig::Confirmations(posts), k.confirmations);
        const auto log = rig.LogMessages();
        EXPECT_EQ(log.empty() ? "" : log.back(), k.lastLog);
        EXPECT_EQ(rig.c().state.appliedPrice.load(), k.appliedAfter);
        if (k.key == vk::Escape) {
            EXPECT_FALSE(rig.Armed());
            EXPECT_FALSE(rig.rec().submission.DelayStart());
            ASSERT_EQ(posts.size(), 4u);  // the three cancel points, then the element command
            EXPECT_EQ(posts.back().msg, shell::cmd::CancelCodeElement);
        }
    }
}

// Enter clicks only for a bid the page's dialog holds, and once for it: before any bid, after the
// confirmation, after Escape, held down, with Ctrl or in the last second.
TEST(HandleKeyTest, EnterWithNoBidWaitingClicksNothing) {
    struct Case {
        const char* name;
        int applied;  // the bid in the dialog, 0 none
        int remaining;
        bool control;
        std::vector<int> keys;
        int confirmations;
        int refusals;  // "没有等待提交的出价" lines
    };
    const int enter = vk::Return, escape = vk::Escape;
    const std::vector<int> held(10, enter);
    const Case cases[] = {
        {"Enter before any bid", 0, 40, false, {enter}, 0, 1},
        {"Ctrl+Enter before any bid", 0, 40, true, {enter}, 0, 1},
        {"Enter in the last second before any bid", 0, 1, false, {enter}, 0, 1},
        {"Enter twice, the gap in reach", 90300, 40, false, {enter, enter}, 1, 1},
        {"Enter held, the gap in reach", 90300, 40, false, held, 1, 1},
        {"Enter held, the gap too wide", 90900, 40, false, held, 0, 0},
        {"Ctrl+Enter twice", 90900, 40, true, {enter, enter}, 1, 1},
        {"Escape, then Enter", 90300, 40, false, {escape, enter}, 0, 1},
        {"Enter, Escape, Enter", 90900, 40, false, {enter, escape, enter}, 0, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig;
        rig.c().state.remainingSeconds = k.remaining;
        rig.SetPrices(90000, k.applied);
        rig.fp.keyboard.SetDown(vk::Control, k.control);
        for (int key : k.keys) rig.e().HandleKey(rig.c(), key);
        EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), k.confirmations);
        EXPECT_EQ(rig.LoggedCount("没有等待提交的出价"), k.refusals);
        if (k.refusals > 0) {
            EXPECT_EQ(rig.c().state.infoBody.Get(), "没有等待提交的出价");
        }
    }
}

TEST(HandleKeyTest, EnterSavesTheBidDialogOnlyBetweenThreeAndNinetySecondsLeft) {
    struct Case {
        int remaining;
        bool saved;
    };
    for (const Case k : {Case{3, false}, Case{4, true}, Case{89, true}, Case{90, false}}) {
        SCOPED_TRACE(k.remaining);
        auto store = std::make_shared<perception::GeometryStore>();
        store->Update([](perception::PageGeometry& g) {
            g.lvwf_x = kAnchorX;
            g.lvwf_y = kAnchorY;
            g.youdoufugan_left = 20;
            g.youdoufugan_width = 30;
            g.youdoufugan_height = 10;
        });
        EngineOptions options;
        options.geometry = store;
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 0), options);
        rig.c().state.remainingSeconds = k.remaining;
        rig.SetPrices(90000, 91000);
        rig.e().HandleKey(rig.c(), vk::Return);
        rig.e().HandleKey(rig.c(), vk::Return);  // held: the same file again
        const std::string expected = ".//ScreenShot//del2//samples//12345678_2026-12-10_11-29-00_2.bmp";
        EXPECT_EQ(std::filesystem::exists(expected), k.saved);
        EXPECT_EQ(rig.rec().lastShotPath.Get(), k.saved ? expected : "");
        EXPECT_EQ(rig.c().state.uploadQueue.Get().size(), k.saved ? 1u : 0u);
        EXPECT_EQ(rig.LogMessages().front(), "...");
        EXPECT_EQ(rig.LogMessages()[1], ".");
    }
}

TEST(HandleKeyTest, F3AppliesATestBidOnceAndCancelsItThreeSecondsLater) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 20, 0));
    rig.Remaining();
    rig.SetPrices(90000, 0);
    int calibrations = 0;
    rig.c().hooks().smartCalibrate = [&](console::CKestravaDlg&) { ++calibrations; };
    rig.fp.clock.Advance(500);
    rig.e().HandleKey(rig.c(), vk::F3);  // applies: ~1.1 s of waits
    rig.e().HandleKey(rig.c(), vk::F3);  // held, polled again right after
    rig.fp.clock.Advance(300);
    rig.e().HandleKey(rig.c(), vk::F3);
    EXPECT_EQ(calibrations, 1);
    EXPECT_EQ(rig.LoggedCount("操作执行申请加价"), 1);
    EXPECT_EQ(rig.c().state.appliedPrice.load(), 93000);
    EXPECT_EQ(rig.c().state.infoBody.Get(), "F3测试加价3000，3秒后，验证码框自动关闭");
    rig.Posts();
    rig.fp.clock.Advance(3000);
    const std::vector<Post> posts = rig.Posts();
    ASSERT_FALSE(posts.empty());
    EXPECT_EQ(posts.back().msg, shell::cmd::CancelCodeElement);

    // Outside the revision phase F3 does nothing.
    rig.c().state.auctionPhase = 2;
    rig.fp.clock.Advance(1000);
    rig.e().HandleKey(rig.c(), vk::F3);
    EXPECT_EQ(rig.LoggedCount("操作执行申请加价"), 1);
}

TEST(ForcedBoxesTest, TickingOneClearsTheOther) {
    struct Case {
        int clicked;
        bool timeBefore, riseBefore;
        bool timeAfter, riseAfter;
        bool hint8;
    };
    const Case cases[] = {
        {1061, true, true, true, false, true},
        {1065, true, true, false, true, false},
        {1061, false, true, false, true, false},  // untick: nothing else changes
        {1065, true, false, true, false, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.clicked);
        EngineRig rig;
        rig.Tick(box::ForcedByTime, k.timeBefore);
        rig.Tick(box::ForcedByRise, k.riseBefore);
        rig.c().OnCommand(k.clicked);
        EXPECT_EQ(rig.c().controls.IsChecked(box::ForcedByTime), k.timeAfter);
        EXPECT_EQ(rig.c().controls.IsChecked(box::ForcedByRise), k.riseAfter);
        EXPECT_EQ(rig.rec().lastHint.Get().n, k.hint8 ? 8 : 0);
    }
}

// A confirmation scheduled for one submission (a rise rule, the smart delay) is dropped when the
// submission ends another way; the bidder's next Enter starts with nothing scheduled.
TEST(DiscardTest, ALaterArmingNeverInheritsAnEarlierSchedule) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 50, 0));
    rig.StartTicks();
    rig.e().strategy.ctrlXpricelimit = 500;
    rig.e().strategy.DelayBidTime = 800;
    rig.SetPrices(90000, 90400);
    rig.e().HandleKey(rig.c(), vk::Return);  // delay of 800 ms starts
    rig.fp.clock.Advance(500);
    rig.e().HandleKey(rig.c(), vk::Escape);
    rig.fp.clock.Advance(200);
    rig.SetPrices(90000, 90400);             // the bid applied again
    rig.e().HandleKey(rig.c(), vk::Return);  // a new submission: its own 800 ms
    const std::int64_t secondEnter = rig.Elapsed();
    rig.fp.clock.Advance(2000);
    const std::vector<Post> posts = rig.Posts();
    ASSERT_EQ(EngineRig::Confirmations(posts), 1);
    for (const Post& p : posts) {
        if (p.msg == ConfirmCodeElement) {
            EXPECT_GE(p.at - secondEnter, 800);
        }
    }
    EXPECT_EQ(rig.LoggedCount("国拍最低价：90000，延时800毫秒"), 2);

    // A rise rule left pending by an Escape does not fire for the next Enter.
    rig.StopTicks();
    rig.e().strategy.DelayBidTime = 0;
    rig.e().strategy.ctrlXpricelimit = 300;
    rig.SetPrices(90000, 90900);
    rig.e().HandleKey(rig.c(), vk::Return);  // arms
    rig.rec().rise1Pending = 1;
    rig.rec().rise1Submission = rig.rec().submission.Serial();
    rig.rec().rise1Delay = 500;
    rig.rec().rise1StartTick = rig.fp.clock.TickCount();
    rig.e().HandleKey(rig.c(), vk::Escape);
    // The withdrawn bid is gone from the page: an Enter cannot bring it back.
    rig.e().HandleKey(rig.c(), vk::Return);
    EXPECT_FALSE(rig.Armed());
    EXPECT_TRUE(rig.Logged("没有等待提交的出价"));
    rig.SetPrices(90000, 91000);             // the next bid
    rig.e().HandleKey(rig.c(), vk::Return);  // arms it
    ASSERT_TRUE(rig.Armed());
    rig.fp.clock.Advance(600);
    rig.e().SubmitTick(rig.c());
    EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 0);
    EXPECT_TRUE(rig.Armed());
    EXPECT_FALSE(rig.Logged("上涨1功能点击确定"));
}

TEST(PageReportTest, FeedPricesOnlyRiseAndStayInRange) {
    struct Case {
        std::vector<std::uint32_t> prices;
        int fed;
    };
    const Case cases[] = {
        {{95100, 95000}, 95100},
        {{70000, 110000}, 0},
        {{70001, 109999}, 109999},
    };
    for (const Case& k : cases) {
        EngineRig rig;
        for (std::uint32_t p : k.prices) rig.e().OnPageReport(rig.c(), p, 0);
        EXPECT_EQ(rig.rec().feedLowestPrice.load(), k.fed);
    }
    EngineRig rig;
    rig.e().OnPageReport(rig.c(), 0, 0);
    EXPECT_EQ(rig.rec().lastHint.Get().n, 6);
}

// A page report that brings the armed submission's gap within its rule confirms on the report
// itself, between two ticks; the ticks that follow find the submission ended and click nothing.
// Reports carry the page time (ten digits, the page in step with the PC clock), 37 ms past a tick.
TEST(PageReportTest, AReportIntoTheWindowConfirmsAtOnceAndOnce) {
    struct Case {
        const char* name;
        int second;               // page second 11:29:SS of the report
        int before, applied;      // lowest price before the report, applied price
        int reported;             // the report's price
        int limit;                // ctrlXpricelimit
        bool riseBox;             // the rise rules' box of that second, lowAt of the second before = before
        std::string log;
    };
    const Case cases[] = {
        {"the page's window: gap 300", 40, 90000, 90400, 90100, 300, false, "国拍最低价：90100，软件点击\"确定\"按钮"},
        {"ctrlXpricelimit 500 inside the last 15 s", 50, 90000, 90600, 90100, 500, false, "国拍最低价：90100，软件点击确定提交"},
        {"rise rule 2 of second 58, no delay", 58, 90000, 91000, 90100, 300, true, "上涨2功能点击确定"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, k.second - 1, 0));
        rig.e().strategy.ctrlXpricelimit = k.limit;
        rig.e().strategy.DelayBidTime = 0;
        rig.SetPrices(k.before, k.applied);
        if (k.riseBox) rig.Tick(box::Rise55 + k.second - 55);
        rig.rec().lowAt[k.second - 1] = k.before;
        rig.Arm();
        rig.StartTicks();
        rig.AdvanceTo(11, 29, k.second, 37);
        EXPECT_TRUE(rig.Posts().empty());
        const std::int64_t reportAt = rig.Elapsed();
        rig.e().OnPageReport(rig.c(), k.reported, (112900 + k.second) * 10000 + 370);
        rig.fp.clock.Advance(1000);
        const std::vector<Post> posts = rig.Posts();
        EXPECT_EQ(EngineRig::Confirmations(posts), 1);
        ASSERT_FALSE(posts.empty());
        EXPECT_EQ(posts.front().at, reportAt);
        EXPECT_EQ(rig.LoggedCount(k.log), 1);
        EXPECT_FALSE(rig.Armed());
    }
}

// Options whose sync connection is open and keeps every text sent in `sent`.
EngineOptions SendingTo(std::vector<std::string>& sent) {
    EngineOptions options;
    options.sendToSync = [&sent](std::string_view text) {
        sent.emplace_back(text);
        return true;
    };
    return options;
}

TEST(PageReportTest, TimeCodesSetThePageClockAndReportPricesInTheLastTenSeconds) {
    std::vector<std::string> sent;
    const EngineOptions options = SendingTo(sent);
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 52), options);
    rig.e().OnPageReport(rig.c(), 90300, 1129521234);
    EXPECT_EQ(rig.LogMessages(), std::vector<std::string>{"ZBQD"});
    EXPECT_EQ(rig.rec().pageClock.load(), rig.fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 29, 52)));
    EXPECT_EQ(rig.rec().pageClockFraction.load(), 1234);
    EXPECT_EQ(rig.c().state.infoHeader.Get(), "目前软件工作正常zb ");
    EXPECT_EQ(rig.c().state.infoHeaderStyle.load(), 2);  // blue
    EXPECT_EQ(sent, std::vector<std::string>{"1_1129521234,90300"});

    // An older code moves no clock; a first-seen price keeps its first time.
    rig.e().OnPageReport(rig.c(), 90400, 1129510000);
    rig.e().OnPageReport(rig.c(), 90400, 1129535000);
    const auto seen = rig.rec().priceFirstSeen.Get();
    EXPECT_EQ(seen.at(90300), 2952);
    EXPECT_EQ(seen.at(90400), 2953);
    EXPECT_EQ(rig.rec().lastFeedCode.load(), 1129535000);
    EXPECT_EQ(rig.LoggedCount("ZBQD"), 1);

    // A practice run takes six-digit times only and sends nothing.
    EngineRig practice(MakeLocal(2026, 12, 10, 11, 29, 52), options);
    practice.c().state.moniornot = 1;
    sent.clear();
    practice.e().OnPageReport(practice.c(), 90300, 1129521234);
    EXPECT_EQ(practice.rec().feedFresh.load(), 0);
    practice.e().OnPageReport(practice.c(), 90300, 112952);
    EXPECT_EQ(practice.rec().feedFresh.load(), 1);
    EXPECT_EQ(practice.c().state.infoHeader.Get(), "目前软件工作正常");
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(practice.rec().priceFirstSeen.Get().empty());
}

// While the page reports, a relayed price may lead it by two steps at most, and a relayed moment
// older than the page's newest is old news; once the page has gone quiet the relays count again.
TEST(PageReportTest, ThePageOutranksTheServerWhileItReports) {
    struct Step {
        const char* name;
        bool fromServer;
        std::uint32_t price;
        std::int32_t code;
        int advanceMs;  // before the report
        int fedAfter;
    };
    const Step steps[] = {
        {"the page", false, 89000, 1129501000, 0, 89000},
        {"a relay 400 above the fresh page", true, 89400, 1129501100, 100, 89000},
        {"a relay two steps ahead", true, 89200, 1129501200, 100, 89200},
        {"the page again", false, 89100, 1129501500, 300, 89200},
        {"a relay of a moment the page has passed", true, 89300, 1129501400, 50, 89200},
        {"the page quiet for 2 s: a relay 400 above counts", true, 89600, 1129503600, 2000, 89600},
    };
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 50));
    rig.Remaining();
    for (const Step& k : steps) {
        SCOPED_TRACE(k.name);
        rig.fp.clock.Advance(k.advanceMs);
        if (k.fromServer) {
            rig.e().OnServerPriceReport(rig.c(), k.price, k.code);
        } else {
            rig.e().OnPageReport(rig.c(), k.price, k.code);
        }
        EXPECT_EQ(rig.rec().feedLowestPrice.load(), k.fedAfter);
    }
}

// A relay 400 above the page, with a bid 400 above the page armed: the true gap stays 400.
TEST(PageReportTest, AHostileRelayDoesNotConfirmABidOutsideTheWindow) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 50));
    rig.Remaining();
    rig.e().OnPageReport(rig.c(), 89000, 1129500000);
    rig.SetPrices(89000, 89400);
    ASSERT_TRUE(rig.Arm());
    rig.fp.clock.Advance(200);
    rig.e().OnServerPriceReport(rig.c(), 89400, 1129500200);
    EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 0);
    EXPECT_TRUE(rig.Armed());
}

TEST(PageReportTest, OnlyAMomentNewerThanAnySeenIsSentToTheServer) {
    std::vector<std::string> sent;
    const EngineOptions options = SendingTo(sent);
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 48), options);
    struct Step {
        const char* name;
        bool fromServer;
        std::int32_t code;
        int secondsLeft;
        std::string sends;  // "" for nothing
    };
    const Step steps[] = {
        {"newer, but 12 s left: kept, not sent", false, 1129481000, 12, ""},
        {"the same code with 10 s left", false, 1129481000, 10, ""},
        {"newer", false, 1129502000, 10, "1_1129502000,90300"},
        {"repeated", false, 1129502000, 10, ""},
        {"older", false, 1129501999, 10, ""},
        {"another console reported a later moment", true, 1129510000, 10, ""},
        {"the page reaches that moment only now", false, 1129510000, 10, ""},
        {"newer than both", false, 1129510001, 10, "1_1129510001,90300"},
        // Minute or second 99 is no moment: neither source may make it the newest, or every
        // true report after it would be held back.
        {"the page's code with second 99", false, 1129990000, 10, ""},
        {"the server's code with minute 99", true, 1199000000, 10, ""},
        {"the next true moment still goes out", false, 1129520000, 10, "1_1129520000,90300"},
    };
    for (const Step& k : steps) {
        SCOPED_TRACE(k.name);
        sent.clear();
        rig.c().state.remainingSeconds = k.secondsLeft;
        if (k.fromServer) {
            rig.e().OnServerPriceReport(rig.c(), 90300, k.code);
        } else {
            rig.e().OnPageReport(rig.c(), 90300, k.code);
        }
        EXPECT_EQ(sent, k.sends.empty() ? std::vector<std::string>{} : std::vector<std::string>{k.sends});
    }
}

TEST(PageReportTest, ServerReportsCountOnlyInTheLastEighteenSeconds) {
    EngineRig rig(MakeLocal(2026, 12, 10, 11, 29, 41));
    rig.Remaining();
    rig.e().OnServerPriceReport(rig.c(), 90300, 1129411234);
    EXPECT_EQ(rig.rec().feedLowestPrice.load(), 0);
    rig.fp.clock.Advance(1000);
    rig.Remaining();
    rig.Arm();
    rig.SetPrices(90000, 90600);
    rig.e().OnServerPriceReport(rig.c(), 90300, 1129501234);
    EXPECT_EQ(rig.rec().feedLowestPrice.load(), 90300);
    EXPECT_EQ(EngineRig::Confirmations(rig.Posts()), 1);
    EXPECT_TRUE(rig.Logged("xyz"));
    EXPECT_TRUE(rig.Logged("uvw"));
    EXPECT_EQ(rig.rec().priceFirstSeen.Get().at(90300), 2950);
    EXPECT_FALSE(rig.Logged("ZBQD"));
}

}  // namespace
}  // namespace kestrava::engine::testing
