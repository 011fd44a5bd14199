// The X11 desktop against a real server with a window manager: windows of another client found
// through the window manager's frames, their geometry, and messages crossing process boundaries.

#include "platform/keys.h"
#include "platform/x11/window_protocol.h"
#include "platform/x11/x11_desktop.h"
#include "test_window.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace kestrava::platform::x11 {
namespace {

using testing::TestClient;
using testing::WaitFor;

constexpr char kShellTitle[] = "客车额度拍卖InternetExplorer";

// Collects what a message window's thread receives.
class Inbox {
public:
    MessageHandler Handler() {
        return [this](const Message& m) {
            std::lock_guard lock(mutex_);
            messages_.push_back(m);
            cv_.notify_all();
        };
    }
    std::optional<Message> Next(int timeoutMs = 10000) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !messages_.empty(); })) {
            return std::nullopt;
        }
        Message m = messages_.front();
        messages_.pop_front();
        return m;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Message> messages_;
};

void ExpectArrives(Inbox& inbox, const Message& expected) {
    const std::optional<Message> got = inbox.Next();
    ASSERT_TRUE(got.has_value()) << "message did not arrive";
    EXPECT_EQ(got->msg, expected.msg);
    EXPECT_EQ(got->wParam, expected.wParam);
    EXPECT_EQ(got->lParam, expected.lParam);
}

// Runs kestrava-post with `args` and returns its exit status.
int RunPost(const std::vector<std::string>& args) {
    std::string cmd = KESTRAVA_POST_PATH;
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop = X11Desktop::Open();
        ASSERT_NE(desktop, nullptr) << "no X display; run under scripts/xvfb-env";
        ASSERT_NE(client.display, nullptr);
    }

    std::unique_ptr<X11Desktop> desktop;
    TestClient client;
};

TEST_F(DesktopTest, FindsAnotherClientsFramedWindowByTitleAndClass) {
    struct Case {
        const char* title;
        const char* cls;
        bool icccmOnly;  // title only in WM_NAME, as older programs set it
    };
    const Case cases[] = {
        {kShellTitle, "Sorrelpane", false},
        {"Vonter plain title", "VonterPlain", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const Window w = client.Create(DefaultRootWindow(client.display), c.title, c.cls, 320, 200, c.icccmOnly);
        ASSERT_TRUE(client.MapAndWaitExposed(w)) << "the window manager did not frame and show the window";

        EXPECT_EQ(desktop->FindWindowByTitle(c.title), w);
        EXPECT_EQ(desktop->FindWindowByClass(c.cls), w);
        EXPECT_EQ(desktop->Title(w), c.title);
        // Exact titles only: a prefix or a longer title is another window.
        EXPECT_EQ(desktop->FindWindowByTitle(std::string(c.title).substr(0, 6)), 0u);
        EXPECT_EQ(desktop->FindWindowByTitle(std::string(c.title) + " "), 0u);

        // The client's own rectangle in screen coordinates, not the frame's nor frame-relative.
        Window child = 0;
        int x = 0;
        int y = 0;
        XTranslateCoordinates(client.display, w, DefaultRootWindow(client.display), 0, 0, &x, &y, &child);
        EXPECT_EQ(desktop->WindowRect(w), (Rect{x, y, x + 320, y + 200}));
        EXPECT_EQ(desktop->ClientRect(w), (Rect{0, 0, 320, 200}));
        EXPECT_TRUE(desktop->IsWindow(w));

        XDestroyWindow(client.display, w);
        XSync(client.display, False);
        EXPECT_FALSE(desktop->IsWindow(w));
        EXPECT_EQ(desktop->WindowRect(w), std::nullopt);
        EXPECT_FALSE(desktop->PostMessage(w, Message{wm::Close, 0, 0}));
        EXPECT_EQ(desktop->FindWindowByTitle(c.title), 0u);
    }
}

// A toolkit in the same process (Qt opens Xlib displays too) may install its own error handler;
// a gone window must still be reported as gone, and must not end the process.
TEST_F(DesktopTest, GoneWindowsAreReportedWhateverErrorHandlerIsInstalled) {
    static int toolkitErrors = 0;
    auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) {
        ++toolkitErrors;
        return 0;
    });
    const Window w = client.Create(DefaultRootWindow(client.display), "short-lived", "ShortLived", 50, 50);
    XDestroyWindow(client.display, w);
    XSync(client.display, False);
    EXPECT_FALSE(desktop->PostMessage(w, Message{wm::Close, 0, 0}));
    EXPECT_FALSE(desktop->SetForeground(w));
    EXPECT_FALSE(desktop->Place(w, 10, 10, true, true));
    EXPECT_FALSE(desktop->IsWindow(w));
    EXPECT_EQ(desktop->Title(w), "");
    EXPECT_EQ(desktop->FindChild(w, "Anything"), 0u);
    XSetErrorHandler(previous);
}

TEST_F(DesktopTest, FindsThePageViewThroughTheShellsNestedChildren) {
    const Window top = client.Create(DefaultRootWindow(client.display), kShellTitle, "Sorrelpane", 400, 300);
    const Window frame = client.Create(top, "", "Chrome_WidgetWin_0", 400, 300);
    const Window decoy = client.Create(top, "", "Other", 10, 10);
    const Window view = client.Create(frame, "", "Chrome_WidgetWin_1", 380, 280);
    XMapSubwindows(client.display, frame);
    XMapSubwindows(client.display, top);
    ASSERT_TRUE(client.MapAndWaitExposed(top, /*waitExposed=*/false));

    const WindowId found = desktop->FindWindowByTitle(kShellTitle);
    ASSERT_EQ(found, top);
    EXPECT_EQ(desktop->FindChild(found, "Chrome_WidgetWin_0"), frame);
    EXPECT_EQ(desktop->FindChild(desktop->FindChild(found, "Chrome_WidgetWin_0"), "Chrome_WidgetWin_1"), view);
    EXPECT_EQ(desktop->FindChild(found, "Chrome_WidgetWin_1"), view);  // any depth
    EXPECT_EQ(desktop->FindChild(found, "Sorrelpane"), 0u);             // the parent itself is no child
    EXPECT_EQ(desktop->FindChild(decoy, "Chrome_WidgetWin_1"), 0u);
    EXPECT_EQ(desktop->FindChild(0, "Chrome_WidgetWin_0"), 0u);
    XDestroyWindow(client.display, top);
    XSync(client.display, False);
}

TEST_F(DesktopTest, KestravaPostDeliversTheThreeNumbersToAnotherProcess) {
    Inbox inbox;
    auto window = desktop->CreateMessageWindow("Vonter沪牌抢拍助手", "Kestrava", inbox.Handler());
    ASSERT_NE(window, nullptr);

    struct Case {
        std::vector<std::string> args;
        Message expected;
    };
    const Case cases[] = {
        {{"0x46e", "82200", "1129571234"}, {0x46e, 82200, 1129571234}},
        {{"0x49d"}, {0x49d, 0, 0}},
        // wParam travels unsigned, lParam signed: the extremes survive the trip.
        {{"1", "0xFFFFFFFF", "-2147483648"}, {1, 0xFFFFFFFFu, INT32_MIN}},
        {{"0x201", "0", "0xFFFFFFFF"}, {0x201, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::vector<std::string> args{"Vonter沪牌抢拍助手"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_EQ(RunPost(args), 0);
        ExpectArrives(inbox, c.expected);
    }
}

TEST_F(DesktopTest, KestravaPostReportsMissingWindowsAndBadUsage) {
    Inbox inbox;
    auto window = desktop->CreateMessageWindow("kestrava-post target", "Kestrava", inbox.Handler());
    ASSERT_NE(window, nullptr);
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"no window has this title", "0x10"}, 1},
        {{"kestrava-post target"}, 2},
        {{"kestrava-post target", "0x10", "1", "2", "3"}, 2},
        {{"kestrava-post target", "sixteen"}, 2},
        {{"kestrava-post target", "0x10", "-1"}, 2},           // wParam is unsigned
        {{"kestrava-post target", "0x10", "0", "0x100000000"}, 2},  // more than 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : c.args[0]);
        EXPECT_EQ(RunPost(c.args), c.status);
    }
    EXPECT_EQ(inbox.Next(200), std::nullopt) << "a refused command posted something";
}

TEST_F(DesktopTest, PostedMessagesArriveInOrderAndCloseRequestsAsWmClose) {
    Inbox inbox;
    auto window = desktop->CreateMessageWindow("order target", "Kestrava", inbox.Handler(), /*mapped=*/true);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(desktop->FindWindowByTitle("order target"), window->Id());

    // Typing a price: Delete down and up, then the digits, as the page view receives them.
    const Message sent[] = {{wm::KeyDown, vk::Delete, 1}, {wm::KeyUp, vk::Delete, 1}, {wm::Char, '9', 0},
                            {wm::Char, '1', 0},           {wm::LButtonDown, 1, MakeLParam(640, 412)}};
    for (const Message& m : sent) ASSERT_TRUE(desktop->PostMessage(window->Id(), m));
    for (const Message& m : sent) ExpectArrives(inbox, m);

    // The window manager's close request, as openbox sends it for the close box.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window->Id();
    e.xclient.message_type = client.Intern("WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(client.Intern("WM_DELETE_WINDOW"));
    XSendEvent(client.display, window->Id(), False, NoEventMask, &e);
    XFlush(client.display);
    const std::optional<Message> close = inbox.Next();
    ASSERT_TRUE(close.has_value());
    EXPECT_EQ(close->msg, wm::Close);

    // Another program's message of an unknown type is not a posted message.
    e.xclient.message_type = client.Intern("SOMETHING_ELSE");
    e.xclient.data.l[0] = 0x46e;
    XSendEvent(client.display, window->Id(), False, NoEventMask, &e);
    XFlush(client.display);
    EXPECT_EQ(inbox.Next(200), std::nullopt);
}

// A program closes on WM_CLOSE by destroying its window from inside the handler.
TEST_F(DesktopTest, AHandlerMayDestroyItsOwnWindow) {
    std::unique_ptr<MessageWindow> window;
    std::atomic<bool> destroyed{false};
    std::atomic<int> calls{0};
    window = desktop->CreateMessageWindow("self-closing window", "Kestrava", [&](const Message& m) {
        ++calls;
        if (m.msg == wm::Close) {
            window.reset();
            destroyed = true;
        }
    });
    ASSERT_NE(window, nullptr);
    const WindowId id = window->Id();
    ASSERT_TRUE(desktop->PostMessage(id, Message{wm::Close, 0, 0}));
    desktop->PostMessage(id, Message{wm::User, 0, 0});  // already queued behind the close: never delivered
    ASSERT_TRUE(WaitFor([&] { return destroyed.load(); }));
    EXPECT_TRUE(WaitFor([&] { return !desktop->IsWindow(id); }));
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(DesktopTest, PlaceMovesTheFrameAndSetsAlwaysOnTop) {
    Inbox inbox;
    auto window = desktop->CreateMessageWindow("placed window", "Kestrava", inbox.Handler(), /*mapped=*/true);
    ASSERT_NE(window, nullptr);
    const WindowId w = window->Id();
    ASSERT_TRUE(WaitFor([&] {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned n = 0;
        XQueryTree(client.display, w, &root, &parent, &children, &n);
        if (children) XFree(children);
        return parent != root;
    })) << "the window manager did not frame the window";

    ASSERT_TRUE(desktop->Place(w, 200, 150, /*topmost=*/true, /*activate=*/true));
    // The frame's corner goes to (200, 150); the client sits inside its decorations.
    EXPECT_TRUE(WaitFor([&] {
        std::optional<Rect> r = desktop->WindowRect(w);
        return r && r->left >= 200 && r->left < 260 && r->top >= 150 && r->top < 230;
    })) << "window did not move";

    auto hasAbove = [&] {
        const std::vector<unsigned long> states = client.ReadIds(w, "_NET_WM_STATE", XA_ATOM);
        return std::find(states.begin(), states.end(), client.Intern("_NET_WM_STATE_ABOVE")) != states.end();
    };
    EXPECT_TRUE(WaitFor(hasAbove));
    EXPECT_TRUE(WaitFor([&] {
        return client.ReadIds(DefaultRootWindow(client.display), "_NET_ACTIVE_WINDOW", XA_WINDOW) ==
               std::vector<unsigned long>{w};
    })) << "window was not activated";

    ASSERT_TRUE(desktop->Place(w, 200, 150, /*topmost=*/false, /*activate=*/false));
    EXPECT_TRUE(WaitFor([&] { return !hasAbove(); }));
}

TEST(WindowProtocol, DecodesOnlyFormat32MessagesOfItsOwnType) {
    const std::uint32_t words[5] = {0x46f, 89300, 0xFFFFFFFEu, 0, 0};
    const std::optional<Message> m = DecodeClientMessage(std::uint32_t{77}, std::uint32_t{77}, 32, words);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->msg, 0x46fu);
    EXPECT_EQ(m->wParam, 89300u);
    EXPECT_EQ(m->lParam, -2);
    EXPECT_EQ(DecodeClientMessage(std::uint32_t{78}, std::uint32_t{77}, 32, words), std::nullopt);
    EXPECT_EQ(DecodeClientMessage(std::uint32_t{77}, std::uint32_t{77}, 8, words), std::nullopt);
    EXPECT_EQ(DecodeClientMessage(std::uint32_t{0}, std::uint32_t{0}, 32, words), std::nullopt);
    // Xlib hands format-32 words over sign-extended in longs.
    const long longs[5] = {0x46f, -1, -1, 0, 0};
    const std::optional<Message> x = DecodeClientMessage(77ul, 77ul, 32, longs);
    ASSERT_TRUE(x.has_value());
    EXPECT_EQ(x->wParam, 0xFFFFFFFFu);
    EXPECT_EQ(x->lParam, -1);
}

}  // namespace
}  // namespace kestrava::platform::x11
