// The messages the page shell receives from the click and key primitives, in both action modes,
// with their parameters and virtual timestamps; commands without a page; a shell that restarts.
#include "shell/page_shell.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/keys.h"

namespace kestrava::shell {
namespace {

using platform::Rect;
using platform::fake::FakePlatform;
namespace wm = platform::wm;

enum class To { Window, View };

struct Expected {
    To to;
    std::uint32_t msg;
    std::uint32_t wParam;
    std::int32_t lParam;
    std::int64_t atMs;  // after the call started
};

class PageShellTest : public ::testing::Test {
protected:
    PageShellTest() : shell(fp.desktop, fp.clock, fp.programs, fp.notices, link) {
        AddPage();
        link.pageWindow = page.window;
        PageGeometry g;
        g.lvwf_x = 100;
        g.lvwf_y = 200;
        g.bidbutton_picPot_x = 10, g.bidbutton_picPot_y = 20;
        g.vk_ret_info_enterx = 30, g.vk_ret_info_entery = 40;
        g.vk_esc_x = 1, g.vk_esc_y = 2, g.vk_esc_x2 = 3, g.vk_esc_y2 = 4, g.vk_esc_x3 = 5, g.vk_esc_y3 = 6;
        g.plusinput_picPot_x = 7, g.plusinput_picPot_y = 8;
        g.plusbutton_picPot_x = 9, g.plusbutton_picPot_y = 11;
        link.SetGeometry(g);
        shell.SetLogLine([this](std::string_view t) { logged.emplace_back(t); });
    }

    void AddPage() {
        page.window = fp.desktop.AddWindow(kPageWindowTitle, "Sorrelpane", Rect{0, 0, 1200, 900});
        page.frame = fp.desktop.AddWindow("", kPageFrameClass, Rect{0, 30, 1200, 900}, page.window);
        page.view = fp.desktop.AddWindow("", kPageViewClass, Rect{0, 30, 1200, 900}, page.frame);
    }

    // Runs `action` and compares what was posted with `expected`.
    void ExpectPosts(const std::function<void()>& action, const std::vector<Expected>& expected) {
        fp.desktop.ClearPosted();
        const std::int64_t t0 = fp.clock.EpochMillis();
        action();
        const auto posted = fp.desktop.Posted();
        ASSERT_EQ(posted.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("message " + std::to_string(i));
            const auto& e = expected[i];
            EXPECT_EQ(posted[i].window, e.to == To::Window ? page.window : page.view);
            EXPECT_EQ(posted[i].message.msg, e.msg);
            EXPECT_EQ(posted[i].message.wParam, e.wParam);
            EXPECT_EQ(posted[i].message.lParam, e.lParam);
            EXPECT_EQ(posted[i].atMillis - t0, e.atMs);
        }
    }

    FakePlatform fp;
    PageLink link;
    PageShell shell;
    PageWindows page;
    std::vector<std::string> logged;
};

TEST_F(PageShellTest, PrimitivesPostTheMessagesOfEachActionMode) {
    struct Case {
        const char* name;
        int divmode;
        std::function<void(PageShell&)> action;
        std::vector<Expected> expected;
    };
    const std::vector<Case> cases = {
        {"PressBidButton coordinates", 0, [](PageShell& s) { s.PressBidButton(); },
         {{To::Window, cmd::ClickAt, 110, 220, 0}}},
        {"PressBidButton elements", 1, [](PageShell& s) { s.PressBidButton(); },
         {{To::Window, cmd::PressBidElement, 0, 0, 0}}},
        {"CloseInfoDialog coordinates", 0, [](PageShell& s) { s.CloseInfoDialog(); },
         {{To::Window, cmd::ClickAt, 130, 240, 0}, {To::Window, cmd::CloseInfoElement, 0, 0, 0}}},
        {"CloseInfoDialog elements", 1, [](PageShell& s) { s.CloseInfoDialog(); },
         {{To::Window, cmd::CloseInfoElement, 0, 0, 0}}},
        {"CancelCodeDialog coordinates", 0, [](PageShell& s) { s.CancelCodeDialog(); },
         {{To::Window, cmd::ClickAt, 101, 202, 0},
          {To::Window, cmd::ClickAt, 103, 204, 0},
          {To::Window, cmd::ClickAt, 105, 206, 0},
          {To::Window, cmd::CancelCodeElement, 0, 0, 0}}},
        {"CancelCodeDialog elements", 1, [](PageShell& s) { s.CancelCodeDialog(); },
         {{To::Window, cmd::CancelCodeElement, 0, 0, 0}}},
        {"FocusPlusBox coordinates", 0, [](PageShell& s) { s.FocusPlusBox(); },
         {{To::Window, cmd::ClickPlusBoxAt, 107, 208, 0}}},
        {"FocusPlusBox elements", 1, [](PageShell& s) { s.FocusPlusBox(); },
         {{To::Window, cmd::FocusPlusBoxElement, 0, 0, 0}}},
        {"PressAddButton coordinates", 0, [](PageShell& s) { s.PressAddButton(); },
         {{To::Window, cmd::ClickAt, 109, 211, 0}}},
        {"PressAddButton elements", 1, [](PageShell& s) { s.PressAddButton(); },
         {{To::Window, cmd::PressAddElement, 0, 0, 0}}},
        {"ClickAt", 1, [](PageShell& s) { s.ClickAt({-5, 70000}); },
         {{To::Window, cmd::ClickAt, static_cast<std::uint32_t>(-5), 70000, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        link.divmode = c.divmode;
        ExpectPosts([&] { c.action(shell); }, c.expected);
    }
}

TEST_F(PageShellTest, TypeDigitsClearsTheBoxWaitsAndTypesOnlyDigits) {
    const Expected del{To::View, wm::KeyDown, platform::vk::Delete, 1, 0};
    const Expected delUp{To::View, wm::KeyUp, platform::vk::Delete, 1, 0};
    auto ch = [](char c) { return Expected{To::View, wm::Char, static_cast<std::uint32_t>(c), 0, 200}; };
    struct Case {
        const char* text;
        std::vector<Expected> expected;
    };
    const Case cases[] = {
        {"1200", {del, delUp, ch('1'), ch('2'), ch('0'), ch('0')}},
        {"-300", {del, delUp, ch('3'), ch('0'), ch('0')}},
        {"9x8 7", {del, delUp, ch('9'), ch('8'), ch('7')}},
        {"", {del, delUp}},
    };
    for (const int divmode : {0, 1}) {
        link.divmode = divmode;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string("divmode ") + std::to_string(divmode) + " text '" + c.text + "'");
            ExpectPosts([&] { shell.TypeDigits(c.text); }, c.expected);
        }
    }
}

TEST_F(PageShellTest, CommandsCarryTheirNumbersAndPoints) {
    struct Case {
        const char* name;
        std::function<bool(PageShell&)> send;
        std::uint32_t msg;
        std::uint32_t wParam;
        std::int32_t lParam;
    };
    const Case cases[] = {
        {"close", [](PageShell& s) { return s.ClosePage(); }, wm::Close, 0, 0},
        {"open real", [](PageShell& s) { return s.OpenRealPage(); }, 0x467, 0, 0},
        {"open simulation", [](PageShell& s) { return s.OpenSimulationPage(); }, 0x468, 0, 0},
        {"compatibility", [](PageShell& s) { return s.RunCompatibilityTest(); }, 0x469, 0, 0},
        {"click", [](PageShell& s) { return s.ClickAt({12, 34}); }, 0x46a, 12, 34},
        {"click plus box", [](PageShell& s) { return s.ClickPlusBoxAt({56, 78}); }, 0x46c, 56, 78},
        {"bid element", [](PageShell& s) { return s.PressBidElement(); }, 0x4a1, 0, 0},
        {"code box", [](PageShell& s) { return s.PointCodeBox({90, 12}); }, 0x4a2, 90, 12},
        {"confirm element", [](PageShell& s) { return s.ConfirmCodeElement(); }, 0x4a3, 0, 0},
        {"cancel element", [](PageShell& s) { return s.CancelCodeElement(); }, 0x4a4, 0, 0},
        {"close info element", [](PageShell& s) { return s.CloseInfoElement(); }, 0x4a5, 0, 0},
        {"focus plus element", [](PageShell& s) { return s.FocusPlusBoxElement(); }, 0x4a6, 0, 0},
        {"add element", [](PageShell& s) { return s.PressAddElement(); }, 0x4a7, 0, 0},
        {"calibration done", [](PageShell& s) { return s.ReportCalibrationDone(); }, 0x4aa, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectPosts([&] { EXPECT_TRUE(c.send(shell)); }, {{To::Window, c.msg, c.wParam, c.lParam, 0}});
    }
    ExpectPosts([&] { shell.AskStatusIconRecovery(); },
                {{To::Window, 0x4a9, 0, 0, 0}, {To::Window, 0x4a8, 0, 0, 0}});
}

TEST_F(PageShellTest, WithoutAPageNothingIsPostedAndNothingWaits) {
    link.pageWindow = 0;
    const std::int64_t t0 = fp.clock.EpochMillis();
    EXPECT_FALSE(shell.OpenRealPage());
    shell.PressBidButton();
    shell.CancelCodeDialog();
    fp.desktop.RemoveWindow(page.window);
    shell.TypeDigits("1200");
    EXPECT_TRUE(fp.desktop.Posted().empty());
    EXPECT_EQ(fp.clock.EpochMillis(), t0);
}

TEST_F(PageShellTest, APageThatVanishesAndReturnsIsFollowedByLookup) {
    const PageWindows old = page;
    fp.desktop.RemoveWindow(page.window);
    // Commands to the vanished window have no target; keys already go to nothing.
    EXPECT_FALSE(shell.ClickAt({1, 2}));
    shell.TypeDigits("5");
    EXPECT_TRUE(fp.desktop.Posted().empty());

    AddPage();  // the shell came back with new windows
    ASSERT_NE(page.window, old.window);
    // Keys find the new view at once; commands once the reference is refreshed.
    ExpectPosts([&] { shell.TypeDigits("5"); },
                {{To::View, wm::KeyDown, platform::vk::Delete, 1, 0},
                 {To::View, wm::KeyUp, platform::vk::Delete, 1, 0},
                 {To::View, wm::Char, '5', 0, 200}});
    const PageWindows found = shell.RefreshPageWindows();
    EXPECT_EQ(found.window, page.window);
    EXPECT_EQ(found.frame, page.frame);
    EXPECT_EQ(found.view, page.view);
    EXPECT_EQ(link.pageView.load(), page.view);
    ExpectPosts([&] { shell.ClickAt({1, 2}); }, {{To::Window, cmd::ClickAt, 1, 2, 0}});
}

TEST_F(PageShellTest, LookupFollowsTheChainOfTitleAndClasses) {
    // A stray view elsewhere on the desktop is never taken for the page's.
    fp.desktop.AddWindow("other", kPageViewClass, Rect{0, 0, 10, 10});
    fp.desktop.RemoveWindow(page.frame);
    const PageWindows w = shell.FindPageWindows();
    EXPECT_EQ(w.window, page.window);
    EXPECT_EQ(w.frame, 0u);
    EXPECT_EQ(w.view, 0u);
}

TEST_F(PageShellTest, OpeningTheAuctionStartsAMissingShell) {
    struct Case {
        const char* name;
        bool simulation;
        bool pagePresent;
        bool shellComesUp;  // the shell shows its window 500 ms after its start
        bool opened;
        std::vector<std::string> log;
        std::uint32_t openMsg;  // 0: nothing posted
        std::int64_t openAtMs;
    };
    const Case cases[] = {
        {"real, page open", false, true, false, true, {"鼠标点击_打开国拍", "打开国拍_正式拍牌"}, 0x467, 0},
        {"simulation, page open", true, true, false, true, {"鼠标点击_打开国拍", "打开国拍_模拟拍牌"}, 0x468, 0},
        {"real, shell starts", false, false, true, true, {"鼠标点击_打开国拍", "打开国拍_正式拍牌"}, 0x467, 1000},
        {"shell never comes", false, false, false, false, {"鼠标点击_打开国拍"}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform local;
        PageLink localLink;
        PageShell s(local.desktop, local.clock, local.programs, local.notices, localLink);
        std::vector<std::string> lines;
        s.SetLogLine([&](std::string_view t) { lines.emplace_back(t); });
        if (c.pagePresent) local.desktop.AddWindow(kPageWindowTitle, "Sorrelpane", Rect{0, 0, 100, 100});
        std::unique_ptr<platform::PeriodicTimer> shellStart;
        if (c.shellComesUp) {
            shellStart = local.clock.StartPeriodic(500, [&] {
                if (!local.desktop.FindWindowByTitle(kPageWindowTitle))
                    local.desktop.AddWindow(kPageWindowTitle, "Sorrelpane", Rect{0, 0, 100, 100});
            });
        }
        const std::int64_t t0 = local.clock.EpochMillis();
        EXPECT_EQ(s.OnOpenAuction(c.simulation), c.opened);
        EXPECT_EQ(lines, c.log);
        EXPECT_EQ(local.programs.Started().size(), c.pagePresent ? 0u : 1u);
        if (!c.pagePresent) {
            EXPECT_EQ(local.programs.Started()[0].path, kShellPath);
        }
        const auto posted = local.desktop.Posted();
        if (c.openMsg) {
            ASSERT_EQ(posted.size(), 1u);
            EXPECT_EQ(posted[0].message.msg, c.openMsg);
            EXPECT_EQ(posted[0].atMillis - t0, c.openAtMs);
            EXPECT_TRUE(local.notices.Shown().empty());
        } else {
            EXPECT_TRUE(posted.empty());
            ASSERT_EQ(local.notices.Shown().size(), 1u);
            EXPECT_EQ(local.notices.Shown()[0].first, kShellNotStartingText);
        }
    }
}

TEST_F(PageShellTest, RestartClosesARunningShellFirst) {
    const std::int64_t t0 = fp.clock.EpochMillis();
    shell.RestartShell();
    const auto posted = fp.desktop.Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].window, page.window);
    EXPECT_EQ(posted[0].message.msg, wm::Close);
    EXPECT_EQ(fp.clock.EpochMillis() - t0, 1000);
    ASSERT_EQ(fp.programs.Started().size(), 1u);
    EXPECT_EQ(fp.programs.Started()[0].path, kShellPath);
}

}  // namespace
}  // namespace kestrava::shell
