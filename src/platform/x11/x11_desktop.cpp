#include "platform/x11/x11_desktop.h"

#include "platform/keys.h"
#include "platform/x11/window_protocol.h"
#include "platform/threads.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_window_tree.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace kestrava::platform::x11 {
namespace {

void SendToRoot(Display* d, Window w, Atom type, long l0, long l1, long l2, long l3) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

void SetUtf8Property(Display* d, Window w, Atom property, Atom utf8, std::string_view text) {
    XChangeProperty(d, w, property, utf8, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<int>(text.size()));
}

// The connection, window and handler of a message window, shared by the window object and its
// thread: a handler may destroy its own window (on WM_CLOSE, say), and the thread then finishes
// on this alone.
struct Receiver {
    Display* display;
    Window window;
    Atoms atoms;
    int wakeRead;
    int wakeWrite;
    MessageHandler handler;
    std::atomic<bool> closing{false};

    ~Receiver() {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
        close(wakeRead);
        close(wakeWrite);
    }

    void Run() {
        for (;;) {
            while (!closing && XPending(display)) {
                XEvent e;
                XNextEvent(display, &e);
                if (e.type == ClientMessage && !closing) Deliver(e.xclient);
            }
            if (closing) return;
            pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wakeRead, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLERR | POLLHUP)) return;
        }
    }

    void Deliver(const XClientMessageEvent& e) {
        std::optional<Message> m = DecodeClientMessage(e.message_type, atoms.message, e.format, e.data.l);
        if (!m && e.message_type == atoms.wmProtocols && e.format == 32 &&
            static_cast<Atom>(e.data.l[0]) == atoms.wmDeleteWindow) {
            m = Message{wm::Close, 0, 0};
        }
        if (!m || !handler) return;
        try {
            handler(*m);
        } catch (...) {
            // A handler's failure must not end the receiving thread.
        }
    }
};

// A window with its own connection and a thread that turns posted messages (and the window
// manager's close request) into handler calls.
class X11MessageWindow final : public MessageWindow {
public:
    static std::unique_ptr<X11MessageWindow> Create(const std::string& displayName, std::string_view title,
                                                    std::string_view className, MessageHandler handler,
                                                    bool mapped) {
        Display* d = OpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
        if (!d) return nullptr;
        int wake[2];
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            XCloseDisplay(d);
            return nullptr;
        }
        Atoms atoms = Atoms::Intern(d);
        Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 240, 120, 0, BlackPixel(d, DefaultScreen(d)),
                                       WhitePixel(d, DefaultScreen(d)));
        SetUtf8Property(d, w, atoms.netWmName, atoms.utf8String, title);
        // WM_NAME for programs that only read the ICCCM title; UTF-8 typed, which ReadTitle accepts.
        SetUtf8Property(d, w, XA_WM_NAME, atoms.utf8String, title);
        std::string cls(className);
        XClassHint hint{cls.data(), cls.data()};
        XSetClassHint(d, w, &hint);
        Atom protocols[] = {atoms.wmDeleteWindow};
        XSetWMProtocols(d, w, protocols, 1);
        XSelectInput(d, w, StructureNotifyMask);
        if (mapped) XMapWindow(d, w);
        XSync(d, False);  // others can find the window as soon as we return
        auto receiver = std::make_shared<Receiver>(d, w, atoms, wake[0], wake[1], std::move(handler));
        return std::unique_ptr<X11MessageWindow>(new X11MessageWindow(std::move(receiver)));
    }

    ~X11MessageWindow() override {
        receiver_->closing = true;
        char c = 1;
        [[maybe_unused]] ssize_t n = write(receiver_->wakeWrite, &c, 1);
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();  // destroyed by its own handler: the loop ends when the handler returns
        } else {
            thread_.join();
        }
    }

    WindowId Id() const override { return receiver_->window; }

private:
    explicit X11MessageWindow(std::shared_ptr<Receiver> receiver) : receiver_(std::move(receiver)) {
        thread_ = StartThread([r = receiver_] { r->Run(); });
    }

    std::shared_ptr<Receiver> receiver_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<X11Desktop> X11Desktop::Open(const char* displayName) {
    std::unique_ptr<WindowTree> tree = WindowTree::Open(displayName);
    if (!tree) return nullptr;
    Display* d = OpenDisplay(displayName);
    if (!d) return nullptr;
    return std::unique_ptr<X11Desktop>(new X11Desktop(d, displayName ? displayName : "", std::move(tree)));
}

X11Desktop::X11Desktop(_XDisplay* display, std::string displayName, std::unique_ptr<WindowTree> tree)
    : display_(display), displayName_(std::move(displayName)), atoms_(std::make_unique<Atoms>(Atoms::Intern(display))),
      tree_(std::move(tree)) {}

X11Desktop::~X11Desktop() { XCloseDisplay(display_); }

WindowId X11Desktop::FindWindowByTitle(std::string_view title) { return tree_->FindByTitle(title); }

WindowId X11Desktop::FindWindowByClass(std::string_view className) { return tree_->FindByClass(className); }

WindowId X11Desktop::FindChild(WindowId parent, std::string_view className) {
    if (parent == 0) return 0;
    return tree_->FindByClass(className, parent);
}

bool X11Desktop::IsWindow(WindowId w) {
    if (w == 0) return false;
    std::lock_guard lock(mutex_);
    return ExistsLocked(w);
}

// Asked by a request with a reply, which fails by itself for a window that is gone: no need to
// rely on the process's error handler, which a toolkit in the same process may have replaced.
bool X11Desktop::ExistsLocked(WindowId w) {
    Window root = 0;
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border = 0;
    unsigned depth = 0;
    return XGetGeometry(display_, w, &root, &x, &y, &width, &height, &border, &depth) != 0;
}

std::string X11Desktop::Title(WindowId w) {
    if (w == 0) return {};
    return tree_->Title(w).value_or(std::string());
}

std::optional<std::uint32_t> X11Desktop::WindowProcess(WindowId w) {
    if (w == 0) return std::nullopt;
    std::lock_guard lock(mutex_);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<std::uint32_t> pid;
    if (XGetWindowProperty(display_, w, atoms_->netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        // Xlib hands 32-bit items over in longs.
        if (type == XA_CARDINAL && format == 32 && count == 1)
            pid = static_cast<std::uint32_t>(*reinterpret_cast<const unsigned long*>(data));
        XFree(data);
    }
    return pid;
}

std::optional<Rect> X11Desktop::WindowRect(WindowId w) {
    if (w == 0) return std::nullopt;
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a)) return std::nullopt;
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, w, a.root, 0, 0, &x, &y, &child)) return std::nullopt;
    return Rect{x, y, x + a.width, y + a.height};
}

std::optional<Rect> X11Desktop::ClientRect(WindowId w) {
    if (w == 0) return std::nullopt;
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a)) return std::nullopt;
    return Rect{0, 0, a.width, a.height};
}

bool X11Desktop::PostMessage(WindowId w, const Message& m) {
    if (w == 0) return false;
    std::array<std::uint32_t, 5> words = EncodeMessage(m);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = atoms_->message;
    e.xclient.format = 32;
    for (int i = 0; i < 5; ++i) e.xclient.data.l[i] = static_cast<long>(words[i]);
    std::lock_guard lock(mutex_);
    if (!ExistsLocked(w)) return false;
    // NoEventMask sends the event to the client that created the window. Flushed, not synced:
    // posting never waits.
    XSendEvent(display_, w, False, NoEventMask, &e);
    XFlush(display_);
    return true;
}

void X11Desktop::ActivateLocked(WindowId w) {
    // Source 2 ("pager") asks the window manager to obey without focus-stealing prevention.
    SendToRoot(display_, w, atoms_->netActiveWindow, 2, CurrentTime, 0, 0);
    XRaiseWindow(display_, w);
    XFlush(display_);
}

bool X11Desktop::SetForeground(WindowId w) {
    if (w == 0) return false;
    std::lock_guard lock(mutex_);
    if (!ExistsLocked(w)) return false;
    ActivateLocked(w);
    return true;
}

namespace {

// How long the owner of a window that was covered is given to repaint what was uncovered: the
// server restacks at once, the page's pixels come when its program has drawn them.
constexpr auto kRepaintTime = std::chrono::milliseconds(100);
constexpr auto kPollTime = std::chrono::milliseconds(10);

bool Overlap(const Rect& a, const Rect& b) { return !Intersect(a, b).Empty(); }

}  // namespace

bool X11Desktop::KeptAboveLocked(WindowId w, int depth) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool above = false;
    if (XGetWindowProperty(display_, w, atoms_->netWmState, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (type == XA_ATOM && format == 32) {
            const Atom* states = reinterpret_cast<const Atom*>(data);
            above = std::find(states, states + count, atoms_->netWmStateAbove) != states + count;
        }
        XFree(data);
    }
    if (above || depth == 0) return above;
    // A window manager's frame carries no state of its own; its client (one or two levels down)
    // does.
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(display_, w, &root, &parent, &children, &n)) return false;
    for (unsigned i = 0; i < n && !above; ++i) above = KeptAboveLocked(children[i], depth - 1);
    if (children) XFree(children);
    return above;
}

std::optional<bool> X11Desktop::UncoveredLocked(WindowId w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a)) return std::nullopt;
    if (a.map_state != IsViewable) return false;
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, w, a.root, 0, 0, &x, &y, &child)) return std::nullopt;
    const Rect shown{x, y, x + a.width, y + a.height};

    // The top-level ancestor (the window manager's frame when there is one) is what is stacked.
    Window top = w;
    for (;;) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(display_, top, &root, &parent, &children, &n)) return std::nullopt;
        if (children) XFree(children);
        if (parent == root || parent == 0) break;
        top = parent;
    }
    Window root = 0;
    Window parent = 0;
    Window* stack = nullptr;  // bottom to top
    unsigned n = 0;
    if (!XQueryTree(display_, a.root, &root, &parent, &stack, &n)) return std::nullopt;
    bool uncovered = true;
    bool aboveTop = false;
    for (unsigned i = 0; i < n && uncovered; ++i) {
        if (stack[i] == top) {
            aboveTop = true;
            continue;
        }
        if (!aboveTop) continue;
        XWindowAttributes o;
        if (!XGetWindowAttributes(display_, stack[i], &o) || o.map_state != IsViewable || o.override_redirect) continue;
        const Rect other{o.x, o.y, o.x + o.width + 2 * o.border_width, o.y + o.height + 2 * o.border_width};
        if (!Overlap(shown, other) || KeptAboveLocked(stack[i], 2)) continue;
        uncovered = false;
    }
    if (stack) XFree(stack);
    return uncovered;
}

bool X11Desktop::WaitUntilUncovered(WindowId w, std::uint32_t timeoutMs) {
    if (w == 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool waited = false;
    for (;;) {
        std::optional<bool> uncovered;
        {
            std::lock_guard lock(mutex_);
            uncovered = UncoveredLocked(w);
        }
        if (!uncovered) return false;
        if (*uncovered) {
            if (waited) std::this_thread::sleep_for(kRepaintTime);
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        waited = true;
        std::this_thread::sleep_for(kPollTime);
    }
}

bool X11Desktop::Place(WindowId w, int x, int y, bool topmost, bool activate) {
    if (w == 0) return false;
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a)) return false;
    XMoveWindow(display_, w, x, y);
    // _NET_WM_STATE: 1 adds, 0 removes; source 2 as above. A window manager handles this for the
    // windows it manages...
    SendToRoot(display_, w, atoms_->netWmState, topmost ? 1 : 0, static_cast<long>(atoms_->netWmStateAbove), 0, 2);
    if (a.map_state == IsUnmapped) {
        // ...and reads the property when it takes a window on. Both, because a window being
        // mapped right now may be past the reading but not yet managed.
        std::vector<Atom> states;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, w, atoms_->netWmState, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                               &data) == Success &&
            data) {
            if (type == XA_ATOM && format == 32) {
                const Atom* list = reinterpret_cast<const Atom*>(data);
                states.assign(list, list + count);
            }
            XFree(data);
        }
        std::erase(states, atoms_->netWmStateAbove);
        if (topmost) states.push_back(atoms_->netWmStateAbove);
        XChangeProperty(display_, w, atoms_->netWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));
    }
    if (activate) ActivateLocked(w);
    XFlush(display_);
    return true;
}

Rect X11Desktop::ScreenRect() {
    std::lock_guard lock(mutex_);
    int s = DefaultScreen(display_);
    return Rect{0, 0, DisplayWidth(display_, s), DisplayHeight(display_, s)};
}

std::unique_ptr<MessageWindow> X11Desktop::CreateMessageWindow(std::string_view title, std::string_view className,
                                                               MessageHandler handler, bool mapped) {
    return X11MessageWindow::Create(displayName_, title, className, std::move(handler), mapped);
}

}  // namespace kestrava::platform::x11
