// The page shell as the console meets it: a real Sorrelpane under the test's X display, found by
// title and class, driven by posted messages, answering a stand-in console window; the practice
// page's reactions are read from the shell's day log, and the page's pixels from the screen.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "component/sorrelpane/shell_process.h"
#include "config/profile.h"
#include "console/console.h"
#include "log/log_book.h"
#include "perception/image_files.h"
#include "perception/template_search.h"
#include "platform/fake/fake_platform.h"
#include "platform/keys.h"
#include "platform/x11/x11_desktop.h"
#include "component/sorrelpane/shell_fixture.h"
#include "component/sorrelpane/shell_harness.h"
#include "unit/console/console_rig.h"
#include "platform/x11/x11_screen.h"

namespace {

using namespace sorrelpane_harness;

// The processes (_NET_WM_PID) owning a window titled `title` anywhere in the window tree.
std::set<long> WindowOwners(const char* title) {
    std::set<long> owners;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return owners;
    const Atom name = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    std::vector<Window> pending{DefaultRootWindow(d)};
    while (!pending.empty()) {
        const Window w = pending.back();
        pending.pop_back();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, name, 0, 256, False, utf8, &type, &format, &count, &after, &data) == Success &&
            data) {
            const bool match = std::string(reinterpret_cast<char*>(data), count) == title;
            XFree(data);
            data = nullptr;
            if (match && XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                                            &data) == Success && data) {
                if (count == 1) owners.insert(*reinterpret_cast<long*>(data));
                XFree(data);
            }
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(d, w, &root, &parent, &children, &n) && children) {
            pending.insert(pending.end(), children, children + n);
            XFree(children);
        }
    }
    XCloseDisplay(d);
    return owners;
}

TEST_F(SorrelpaneTest, OpensThePracticePageInItsNamedWindowsAndReportsToTheConsole) {
    Installation inst("seed=7&code=4321&t0=80&delay=50&jam=0");
    FakeConsole console(*desktop_);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    // The shell fills the login form from userconf.ini; the page then logs in and starts the run.
    ASSERT_TRUE(inst.WaitLog("page: click loginbtn trusted=1"));
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn));
    ASSERT_TRUE(console.WaitFor(kPracticeStarted));
    // The console starts its practice run on its next one-second tick after 0x49d and only then
    // takes a login for its calibration: the login report must come after that tick.
    const auto started = console.FirstArrival(kPracticeStarted);
    const auto loggedIn = console.FirstArrival(kPageLoggedIn);
    ASSERT_TRUE(started && loggedIn);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(*loggedIn - *started).count(), 1500);
    ASSERT_TRUE(console.WaitFor(kPageReport, 3));
    std::vector<Message> reports = console.Received(kPageReport);
    for (const Message& r : reports) {
        SCOPED_TRACE(testing::Message() << "report " << r.wParam << " " << r.lParam);
        EXPECT_GE(r.wParam, 89000u);
        EXPECT_LE(r.wParam, 93000u);
        // Six-digit simulation codes; t0=80 puts the page clock into 11:28.
        EXPECT_GE(r.lParam, 112800);
        EXPECT_LE(r.lParam, 113000);
    }
    EXPECT_LT(reports.front().lParam, reports.back().lParam);

    // The console calibrates on the page-login report: the green icon must then be on screen at
    // the anchor of the geometry file, as the reference picture shows it.
    auto icon = FindOnPage(w.view, "wifi_green.bmp", {0, 0, 1000, 720});
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->x, inst.Geometry("lvwf_x"));
    EXPECT_EQ(icon->y, inst.Geometry("lvwf_y"));
    EXPECT_FALSE(FindOnPage(w.view, "wifi_red.bmp", {0, 0, 1000, 720}).has_value());

    CloseShell(shell, w);
}

// In a real-like run the revision phase reports ten-digit codes HHMMSSffff on the auction's clock.
TEST_F(SorrelpaneTest, RealLikeRunReportsTenDigitCodesInTheRevisionPhase) {
    const auto end = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch() + std::chrono::seconds(100))
                         .count();
    Installation inst("mode=real&seed=5&end=" + std::to_string(end));
    FakeConsole console(*desktop_);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn));
    ASSERT_TRUE(console.WaitFor(kPageReport, 2));
    // A real-like run is no simulation: the console must not be told one started.
    EXPECT_TRUE(console.Received(kPracticeStarted).empty());
    for (const Message& r : console.Received(kPageReport)) {
        SCOPED_TRACE(testing::Message() << "report " << r.wParam << " " << r.lParam);
        // 100 s before the end is 11:28:20 on the auction's clock.
        EXPECT_GE(r.lParam, 1128150000);
        EXPECT_LE(r.lParam, 1128300000);
    }
    CloseShell(shell, w);
}

// The login dialog restarts the shell and the console, starting a moment later, may start one
// too: a second copy on the same display must leave at once, also while the first is still
// starting, and the place must come free when the first one goes, however it goes.
TEST_F(SorrelpaneTest, SecondCopyOnTheSameDisplayExitsAndLeavesOneWindow) {
    Installation inst("");
    auto first = std::make_unique<ShellProcess>(inst.Dir());
    // The first holds its place before it makes its window; the second comes as soon as the
    // first has made it (its window is shown only after that).
    ASSERT_TRUE(inst.WaitLog("shell started"));
    ShellProcess second(inst.Dir());
    ASSERT_TRUE(second.WaitExit(10000)) << "the second copy is still running";
    EXPECT_TRUE(second.ExitedCleanly());
    EXPECT_NE(inst.Log().find("another page shell is running on display"), std::string::npos) << inst.Log();

    ASSERT_NE(WaitForWindows().view, 0u);
    EXPECT_EQ(WindowOwners(kPageTitle), std::set<long>{first->Pid()});

    // The first one killed outright: the next copy starts and shows its window.
    kill(first->Pid(), SIGKILL);
    ASSERT_TRUE(first->WaitExit(10000));
    first.reset();
    ShellProcess third(inst.Dir());
    const PageWindows w = WaitForWindows();
    ASSERT_NE(w.view, 0u);
    EXPECT_TRUE(WaitUntil([&] { return WindowOwners(kPageTitle) == std::set<long>{third.Pid()}; }, 10000));
    CloseShell(third, w);
}

// The login dialog's compatibility test: 0x469 shows the icon page and the shell answers with
// timer 1 to the dialog, found by the beginning of its title.
TEST_F(SorrelpaneTest, CompatibilityTestShowsTheIconAndWakesTheLoginDialog) {
    Installation inst("");
    std::mutex mutex;
    std::vector<Message> received;
    auto dialog = desktop_->CreateMessageWindow("Vonter沪牌抢拍助手 3.1.Ravedadi", "KestravaLogin", [&](const Message& m) {
        std::lock_guard lock(mutex);
        received.push_back(m);
    });
    ShellProcess shell(inst.Dir());
    const PageWindows w = WaitForWindows();
    ASSERT_NE(w.view, 0u);
    Post(w.window, 0x469);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return !received.empty();
    }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(received.front().msg, wm::Timer);
        EXPECT_EQ(received.front().wParam, 1u);
    }
    // What the dialog then looks for is on screen.
    auto icon = FindOnPage(w.view, "wifi_green.bmp", {0, 0, 1000, 720});
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->x, inst.Geometry("lvwf_x"));
    EXPECT_EQ(icon->y, inst.Geometry("lvwf_y"));
    Post(w.window, 0x469);  // the dialog's answer to a passed check
    ASSERT_TRUE(inst.WaitLog("compatibility check passed"));
    CloseShell(shell, w);
}

TEST_F(SorrelpaneTest, CarriesOutTheConsolesBidSequenceAsRealInput) {
    Installation inst("seed=7&code=4321&t0=80&delay=50&jam=0");
    FakeConsole console(*desktop_);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn));

    // Coordinate mode into the plus box, then the keys as TypeDigits posts them.
    PostAt(inst, w.window, kClickPlusBoxAt, "plusinput_picPot_x", "plusinput_picPot_y");
    TypeDigits(w.view, "300");
    ASSERT_TRUE(inst.WaitLog("page: input plusamount=300 trusted=1"));

    Post(w.window, kAddElement);
    ASSERT_TRUE(inst.WaitLog("page: click addbtn trusted=1 amount=300"));

    PostAt(inst, w.window, kClickAt, "bidbutton_picPot_x", "bidbutton_picPot_y");
    ASSERT_TRUE(inst.WaitLog("page: click bidbtn trusted=1"));
    ASSERT_TRUE(inst.WaitLog("page: dialog code open"));

    PostAt(inst, w.window, kCodeBoxPoint, "C_P2_IMGCODE_IN_X", "C_P2_IMGCODE_IN_Y");
    TypeDigits(w.view, "4321");
    ASSERT_TRUE(inst.WaitLog("page: input codeinput=4321 trusted=1"));
    // Enter in the code box belongs to the console: the page must not confirm on it.
    Post(w.view, wm::KeyDown, vk::Return, 1);
    Post(w.view, wm::KeyUp, vk::Return, 1);
    ASSERT_TRUE(inst.WaitLog("page: enter in codeinput ignored"));
    EXPECT_EQ(inst.Log().find("click codeok"), std::string::npos);

    Post(w.window, kConfirmElement);
    ASSERT_TRUE(inst.WaitLog("page: click codeok trusted=1 code=4321"));
    ASSERT_TRUE(inst.WaitLog("valid=1"));
    // The practice page's account of it reaches the console: when its handler ran (the low 32
    // bits of the system clock's epoch milliseconds, and the page clock, 80 s into the run) and
    // its verdict.
    const auto nowLow = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    ASSERT_TRUE(console.WaitFor(0x4ae));
    const Message seen = console.Received(0x4ae)[0];
    EXPECT_GE(static_cast<std::int32_t>(nowLow - seen.wParam), 0);
    EXPECT_LT(static_cast<std::int32_t>(nowLow - seen.wParam), 10000);
    EXPECT_GE(seen.lParam, (11 * 3600 + 28 * 60) * 1000);  // the revision phase of the page clock
    EXPECT_LT(seen.lParam, (11 * 3600 + 30 * 60) * 1000);
    ASSERT_TRUE(console.WaitFor(0x4af));
    const Message verdict = console.Received(0x4af)[0];
    EXPECT_GT(verdict.wParam, 89000u);
    EXPECT_EQ(verdict.lParam, 1) << "valid";

    PostAt(inst, w.window, kClickAt, "vk_ret_info_enterx", "vk_ret_info_entery");
    ASSERT_TRUE(inst.WaitLog("page: click infook trusted=1"));
    Post(w.window, kCloseInfoElement);  // nothing left to close: noted, no harm
    ASSERT_TRUE(inst.WaitLog("element infoclose: not shown"));

    CloseShell(shell, w);
    EXPECT_NE(inst.Log().find("shell closing"), std::string::npos);
}

// The console names the confirm's moment ahead; the shell clicks at it by itself. The page stamps
// the click with its own clock, which is the system clock the moment was given on.
TEST_F(SorrelpaneTest, ClicksAScheduledConfirmAtItsMomentOnceAndHonoursCancels) {
    const auto epochMs = EpochMs;
    const auto answers = AnswersAbout;
    const auto openCodeDialog = [&](const Installation& inst, const PageWindows& w, int round) {
        PostAt(inst, w.window, kClickPlusBoxAt, "plusinput_picPot_x", "plusinput_picPot_y");
        TypeDigits(w.view, "300");
        Post(w.window, kAddElement);
        Post(w.window, 0x4a1);  // the bid button, by element
        const std::string opened = "page: dialog code open";
        EXPECT_TRUE(WaitUntil([&] { return CountIn(inst.Log(), opened) >= static_cast<std::size_t>(round); }));
        TypeCode(inst, w, static_cast<std::size_t>(round));
    };

    Installation inst("seed=7&code=4321&t0=80&delay=50&jam=0");
    FakeConsole console(*desktop_);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn));

    // 1. A cancel in time: nothing is clicked, and the page does not hold its input for the
    // moment (the shell logs a hold the page reports for a token no longer armed).
    openCodeDialog(inst, w, 1);
    ASSERT_TRUE(inst.WaitLog("page: input codeinput=4321 trusted=1"));
    Post(w.window, kSchedule, static_cast<std::uint32_t>(epochMs() + 700), 11);
    ASSERT_TRUE(WaitUntil([&] { return answers(console, 11).size() >= 1; }));
    Post(w.window, kCancel, 0, 11);
    ASSERT_TRUE(WaitUntil([&] { return answers(console, 11).size() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    EXPECT_EQ(answers(console, 11), (std::vector<std::int32_t>{Accepted, Cancelled}));
    EXPECT_EQ(inst.Log().find("click codeok"), std::string::npos);
    EXPECT_EQ(inst.Log().find("token 11: the page holds its input"), std::string::npos) << inst.Log();

    // 2. The click lands at the moment, once; a cancel after it is answered as too late.
    const std::int64_t due = epochMs() + 800;
    Post(w.window, kSchedule, static_cast<std::uint32_t>(due), 12);
    Post(w.window, kSchedule, static_cast<std::uint32_t>(due), 12);  // the same schedule twice
    ASSERT_TRUE(inst.WaitLog("page: click codeok trusted=1 code=4321 at="));
    ASSERT_TRUE(WaitUntil([&] { return answers(console, 12).size() >= 2; }));
    Post(w.window, kCancel, 0, 12);
    ASSERT_TRUE(WaitUntil([&] { return answers(console, 12).size() >= 3; }));
    EXPECT_EQ(answers(console, 12), (std::vector<std::int32_t>{Accepted, Fired, TooLate}));
    const std::string log = inst.Log();
    const std::size_t at = log.find("click codeok trusted=1 code=4321 at=");
    const double pageMs = std::stod(log.substr(log.find("epoch=", at) + 6));
    const double late = pageMs - static_cast<double>(due);
    std::printf("scheduled confirm: the page saw the click %.1f ms after its moment\n", late);
    EXPECT_GE(late, -1.0) << "never before the moment (beyond the millisecond of the clocks)";
    EXPECT_LT(late, 50.0);
    // The page held its input for the moment, and the click left ahead of it.
    EXPECT_NE(log.find("token 12: the page holds its input for the last"), std::string::npos) << log;
    EXPECT_NE(log.find("ms ahead of the moment, the page holds the click until then"), std::string::npos) << log;
    ASSERT_TRUE(inst.WaitLog("valid=1"));
    EXPECT_EQ(CountIn(log, "click codeok"), 1u);

    // 3. The dialog gone at the moment: nothing clicked, reported.
    Post(w.window, kSchedule, static_cast<std::uint32_t>(epochMs() + 300), 13);
    ASSERT_TRUE(WaitUntil([&] { return answers(console, 13).size() >= 2; }));
    EXPECT_EQ(answers(console, 13), (std::vector<std::int32_t>{Accepted, NotShown}));

    // 4. A moment already past fires at once.
    PostAt(inst, w.window, kClickAt, "vk_ret_info_enterx", "vk_ret_info_entery");
    ASSERT_TRUE(inst.WaitLog("page: click infook trusted=1"));
    openCodeDialog(inst, w, 2);
    ASSERT_TRUE(WaitUntil([&] {
        const std::string l = inst.Log();
        return l.find("input codeinput=4321", l.find("page: dialog code open", l.find("click infook"))) != std::string::npos;
    }));
    Post(w.window, kSchedule, static_cast<std::uint32_t>(epochMs() - 40), 14);
    ASSERT_TRUE(WaitUntil([&] { return answers(console, 14).size() >= 2; }));
    EXPECT_EQ(answers(console, 14), (std::vector<std::int32_t>{Accepted, Fired}));
    ASSERT_TRUE(inst.WaitLog("ms ago, clicking now"));

    CloseShell(shell, w);
}

// The console's own confirm command names the schedule it stands in for, so a confirmation gets
// one click whatever the order in which the shell reads its queue; and a confirmation the shell
// could not click (no button at the moment) is clicked by that command.
TEST_F(SorrelpaneTest, OneClickPerConfirmationWhateverTheOrderTheShellReadsItsQueue) {
    const auto epochMs = EpochMs;
    Installation inst("seed=7&code=4321&t0=80&delay=50&jam=0");
    FakeConsole console(*desktop_);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn));
    const auto answers = [&](std::int32_t token) { return AnswersAbout(console, token); };
    // The shell's own clicks on the confirm button, whatever the page made of them.
    const auto shellClicks = [&] { return CountIn(inst.Log(), "click element confirm"); };
    const auto openCodeDialog = [&](int round) {
        PostAt(inst, w.window, kClickPlusBoxAt, "plusinput_picPot_x", "plusinput_picPot_y");
        TypeDigits(w.view, "300");
        Post(w.window, kAddElement);
        Post(w.window, 0x4a1);
        ASSERT_TRUE(WaitUntil([&] { return CountIn(inst.Log(), "page: dialog code open") >= static_cast<std::size_t>(round); }));
    };

    // 1. No confirm button at the moment: the shell answers 5 and clicks nothing; the console's
    // command for that schedule then clicks, once the button is there.
    Post(w.window, kSchedule, static_cast<std::uint32_t>(epochMs() + 200), 21);
    ASSERT_TRUE(WaitUntil([&] { return answers(21).size() >= 2; }));
    EXPECT_EQ(answers(21), (std::vector<std::int32_t>{Accepted, NotShown}));
    EXPECT_EQ(shellClicks(), 0u);
    openCodeDialog(1);
    Post(w.window, kConfirmElement, 0, 21);
    ASSERT_TRUE(inst.WaitLog("page: click codeok trusted=1"));
    EXPECT_EQ(shellClicks(), 1u);

    // 2. A shell stalled past the moment reads the schedule, the console's cancel and the
    // console's own command together: the schedule clicks at once, the cancel is too late, the
    // command is void. One click.
    ASSERT_TRUE(WaitUntil([&] { return CountIn(inst.Log(), "page: dialog info") >= 1u; }));
    PostAt(inst, w.window, kClickAt, "vk_ret_info_enterx", "vk_ret_info_entery");
    ASSERT_TRUE(inst.WaitLog("page: click infook trusted=1"));
    openCodeDialog(2);
    Post(w.window, kSchedule, static_cast<std::uint32_t>(epochMs() - 30), 22);
    Post(w.window, kCancel, 0, 22);
    Post(w.window, kConfirmElement, 0, 22);
    ASSERT_TRUE(WaitUntil([&] { return answers(22).size() >= 3; }));
    ASSERT_TRUE(inst.WaitLog("confirm command for token 22: its schedule has clicked, ignored"));
    EXPECT_EQ(answers(22), (std::vector<std::int32_t>{Accepted, Fired, TooLate}));
    EXPECT_EQ(shellClicks(), 2u);
    EXPECT_EQ(CountIn(inst.Log(), "page: click codeok trusted=1"), 2u);

    CloseShell(shell, w);
}

TEST_F(SorrelpaneTest, MakesTheFirstBidAtTheWarningPriceWhenAsked) {
    Installation inst("seed=7&t0=8", /*firstBid=*/1);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    // Seed 7's warning price is 89000; the first-bid period begins 2 s after the login.
    ASSERT_TRUE(inst.WaitLog("first bid at the warning price 89000"));
    ASSERT_TRUE(inst.WaitLog("page: click bidbtn trusted=1"));
    ASSERT_TRUE(inst.WaitLog("page: dialog code open price=89000"));
    CloseShell(shell, w);
}

// A confirmation in the last seconds queues: the page shows its progress bar and the console
// hears of it.
TEST_F(SorrelpaneTest, LateConfirmationShowsTheProgressBarAndTellsTheConsole) {
    Installation inst("seed=7&code=4321&t0=182&delay=100&jam=800");
    FakeConsole console(*desktop_);
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn));
    Post(w.window, 0x4a6);
    TypeDigits(w.view, "200");
    ASSERT_TRUE(inst.WaitLog("page: input plusamount=200 trusted=1"));
    Post(w.window, kAddElement);
    Post(w.window, 0x4a1);
    ASSERT_TRUE(inst.WaitLog("page: dialog code open"));
    TypeDigits(w.view, "4321");  // the code box has the focus
    ASSERT_TRUE(inst.WaitLog("page: input codeinput=4321 trusted=1"));
    Post(w.window, kConfirmElement);
    ASSERT_TRUE(console.WaitFor(0x49a));
    ASSERT_TRUE(inst.WaitLog("page: progress shown"));
    ASSERT_TRUE(inst.WaitLog("page: bid price="));
    CloseShell(shell, w);
}

TEST_F(SorrelpaneTest, ResultDialogShowsTheOkPictureInTheDialogArea) {
    Installation inst("seed=11&t0=186&result=0&delay=50");
    ShellProcess shell(inst.Dir());
    const PageWindows w = OpenPracticePage();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(inst.WaitLog("page: result final="));

    const int ax = inst.Geometry("lvwf_x");
    const int ay = inst.Geometry("lvwf_y");
    const int left = ax + inst.Geometry("youdoufugan_left");
    const int top = ay + inst.Geometry("youdoufugan_top");
    const kestrava::platform::Rect area{left, top, left + inst.Geometry("youdoufugan_width"),
                                       top + inst.Geometry("youdoufugan_height")};
    EXPECT_TRUE(WaitUntil([&] { return FindOnPage(w.view, "ok.bmp", area).has_value(); }, 5000));

    CloseShell(shell, w);
}

// The console picks the reference picture by display scale; each must match the icon as the
// browser draws it at that scale, at the scaled anchor.
struct ScaleCase {
    const char* factor;
    double scale;
    const char* picture;
};
void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.picture << " at " << c.factor; }
class ReferencePictureScaleTest : public SorrelpaneTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ReferencePictureScaleTest, MatchesTheIconAtTheScaledAnchor) {
    const ScaleCase& c = GetParam();
    Installation inst("view=bid&seed=3");
    ShellProcess shell(inst.Dir(), {"--practice"}, c.factor);
    const PageWindows w = WaitForWindows();
    ASSERT_NE(w.view, 0u);
    ASSERT_TRUE(inst.WaitLog("page: bidding seed=3"));
    const int x = static_cast<int>(static_cast<float>(inst.Geometry("lvwf_x")) * static_cast<float>(c.scale));
    const int y = static_cast<int>(static_cast<float>(inst.Geometry("lvwf_y")) * static_cast<float>(c.scale));
    std::optional<kestrava::perception::Point> at;
    EXPECT_TRUE(WaitUntil([&] {
        at = FindOnPage(w.view, c.picture, {0, 0, 400, 400});
        return at.has_value();
    }, 10000)) << c.picture;
    if (at) {
        EXPECT_EQ(at->x, x);
        EXPECT_EQ(at->y, y);
    }
    CloseShell(shell, w);
}

INSTANTIATE_TEST_SUITE_P(Scales, ReferencePictureScaleTest,
                         ::testing::Values(ScaleCase{"1", 1.0, "wifi_green.bmp"},
                                           ScaleCase{"1.25", 1.25, "wifi_green2.bmp"},
                                           ScaleCase{"1.5", 1.5, "wifi_green3.bmp"},
                                           ScaleCase{"2", 2.0, "wifi_green4.bmp"},
                                           ScaleCase{"1.75", 1.75, "wifi_green5.bmp"},
                                           ScaleCase{"2.25", 2.25, "wifi_green6.bmp"},
                                           ScaleCase{"2.5", 2.5, "wifi_green7.bmp"}),
                         [](const auto& info) { return std::string("x") + std::to_string(static_cast<int>(info.param.scale * 100)); });

// The geometry file of the installation is measured from the page; a change of the page's layout
// without a new measurement would send every click of the console astray.
TEST_F(SorrelpaneTest, InstalledGeometryFileMatchesThePageAsLaidOut) {
    Installation inst("");
    ShellProcess shell(inst.Dir(), {"--write-geometry", "measured.ini"});
    ASSERT_TRUE(shell.WaitExit(60000));
    ASSERT_TRUE(shell.ExitedCleanly()) << ReadFile(inst.Dir() / "shell.out");

    const std::string installed = (inst.Dir() / "bin" / "coordinatebaseline.ini").string();
    const std::string measured = (inst.Dir() / "measured.ini").string();
    std::istringstream lines(ReadFile(installed));
    int keys = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (line.empty() || line[0] == ';' || line[0] == '[' || eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        SCOPED_TRACE(key);
        EXPECT_EQ(kestrava::config::ReadProfileString("Position", key, "<missing>", 100, measured),
                  kestrava::config::ReadProfileString("Position", key, "<missing>", 100, installed));
        ++keys;
    }
    EXPECT_GT(keys, 100);
}

// The page shell's process killed (SIGKILL) in the middle of a real-like run and started again by
// hand, beside the real console on the X server (the console's own clock is virtual, its windows
// and messages real). The console keeps the run and says so; on the new shell's window it says the
// shell is back and sends it the command to open the auction page, once, and the page's reports
// reach the console again. Whether the console's one-second tick saw the shell missing or only
// its new window (killed and started again between two ticks) makes no difference.
TEST_F(SorrelpaneTest, AKilledShellStartedAgainGetsThePageBackFromTheConsole) {
    for (const bool tickWhileGone : {true, false}) {
        SCOPED_TRACE(tickWhileGone ? "a tick while the shell is gone" : "no tick while the shell is gone");
        const auto end = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch() + std::chrono::seconds(100))
                             .count();
        Installation inst("");
        std::ofstream(inst.Dir() / "bin" / "sorrelpane.ini", std::ios::app)
            << "realurl=file://" << (inst.Dir() / "practice" / "index.html").string() << "?mode=real&seed=5&end=" << end
            << "\nrealelements=practice/elements.ini\n";
        auto shell = std::make_unique<ShellProcess>(inst.Dir());
        const PageWindows first = WaitForWindows();
        ASSERT_NE(first.view, 0u);

        kestrava::console::testing::ScratchFolder folder;
        kestrava::platform::fake::FakePlatform fp(kestrava::platform::fake::MakeLocal(2026, 12, 10, 11, 29, 20));
        fp.programs.AddFile(kestrava::shell::kShellPath);
        kestrava::log::LogBook book(fp.clock, "./Log");
        std::atomic<int> reports{0};
        kestrava::console::ConsoleHooks hooks;
        hooks.pageReport = [&](kestrava::console::CKestravaDlg&, std::uint32_t, std::int32_t) { ++reports; };
        const kestrava::platform::Platform p{fp.clock,    fp.clock,    *desktop_,    fp.screen,
                                             fp.keyboard, fp.registry, fp.programs, fp.sound,
                                             fp.notices,  fp.systemTime, fp.power,  fp.singleInstance};
        kestrava::console::CKestravaDlg con(p, book, kestrava::console::LoginInfo{"12345678"}, std::move(hooks));
        ASSERT_TRUE(con.OpenMessageWindow());
        ASSERT_TRUE(con.OnInitDialog().ok);  // finds the shell and has it open the auction page
        ASSERT_TRUE(WaitUntil([&] { return reports.load() >= 2; }));
        fp.clock.Advance(1000);
        ASSERT_EQ(con.state.runState.load(), 2);

        kill(shell->Pid(), SIGKILL);
        ASSERT_TRUE(shell->WaitExit(10000));
        ASSERT_TRUE(WaitUntil([&] { return desktop_->FindWindowByTitle(kPageTitle) == 0; }));
        if (tickWhileGone) {
            fp.clock.Advance(1000);
            EXPECT_EQ(con.state.runState.load(), 2);
            EXPECT_EQ(con.state.infoHeader.Get(), "提示：国拍页面已关闭，请点击“打开国拍”，本场的状态已保留");
        }

        shell = std::make_unique<ShellProcess>(inst.Dir());  // by hand: it opens no page by itself
        const PageWindows second = WaitForWindows();
        ASSERT_NE(second.view, 0u);
        const int before = reports.load();
        fp.clock.Advance(1000);
        EXPECT_EQ(con.state.pageWindow.load(), second.window);
        ASSERT_TRUE(WaitUntil([&] { return reports.load() >= before + 2; }))
            << "the new shell's page reports";
        EXPECT_EQ(con.state.runState.load(), 2);
        const std::vector<std::string> log = kestrava::console::testing::PendingLogMessages(book);
        EXPECT_EQ(std::count(log.begin(), log.end(), kestrava::console::kShellGoneText), 1);
        EXPECT_EQ(std::count(log.begin(), log.end(), kestrava::console::kShellBackText), 1);
        // One open per shell: the console's start and the return.
        const std::string shellLog = inst.Log();
        EXPECT_EQ(CountIn(shellLog, "open file://"), 2u) << shellLog;
        con.OnClose();
        CloseShell(*shell, second);
    }
}

}  // namespace
