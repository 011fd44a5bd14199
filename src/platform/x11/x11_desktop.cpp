#include "platform/x11/x11_desktop.h"

#include "platform/keys.h"
#include "platform/x11/window_protocol.h"
#include "platform/x11/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <thread>

namespace kestrava::platform::x11 {
namespace {

// Breadth first below `start` (which itself is not examined), so the nearest match wins and a
// top-level client inside a window-manager frame is found one level below the frame.
Window FindBelow(Display* d, Window start, const std::function<bool(Window)>& matches) {
    std::deque<Window> queue{start};
    while (!queue.empty()) {
        Window w = queue.front();
        queue.pop_front();
        for (Window child : Children(d, w)) {
            if (matches(child)) return child;
            queue.push_back(child);
        }
    }
    return 0;
}

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
        return std::unique_ptr<X11MessageWindow>(new X11MessageWindow(d, w, atoms, wake, std::move(handler)));
    }

    ~X11MessageWindow() override {
        char c = 1;
        [[maybe_unused]] ssize_t n = write(wakeWrite_, &c, 1);
        thread_.join();
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
        close(wakeRead_);
        close(wakeWrite_);
    }

    WindowId Id() const override { return window_; }

private:
    X11MessageWindow(Display* d, Window w, const Atoms& atoms, const int wake[2], MessageHandler handler)
        : display_(d), window_(w), atoms_(atoms), wakeRead_(wake[0]), wakeWrite_(wake[1]),
          handler_(std::move(handler)) {
        thread_ = std::thread([this] { Run(); });
    }

    void Run() {
        for (;;) {
            while (XPending(display_)) {
                XEvent e;
                XNextEvent(display_, &e);
                if (e.type == ClientMessage) Deliver(e.xclient);
            }
            pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLERR | POLLHUP)) return;
        }
    }

    void Deliver(const XClientMessageEvent& e) {
        std::optional<Message> m = DecodeClientMessage(e.message_type, atoms_.message, e.format, e.data.l);
        if (!m && e.message_type == atoms_.wmProtocols && e.format == 32 &&
            static_cast<Atom>(e.data.l[0]) == atoms_.wmDeleteWindow) {
            m = Message{wm::Close, 0, 0};
        }
        if (!m || !handler_) return;
        try {
            handler_(*m);
        } catch (...) {
            // A handler's failure must not end the receiving thread.
        }
    }

    Display* display_;
    Window window_;
    Atoms atoms_;
    int wakeRead_;
    int wakeWrite_;
    MessageHandler handler_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<X11Desktop> X11Desktop::Open(const char* displayName) {
    Display* d = OpenDisplay(displayName);
    if (!d) return nullptr;
    return std::unique_ptr<X11Desktop>(new X11Desktop(d, displayName ? displayName : ""));
}

X11Desktop::X11Desktop(_XDisplay* display, std::string displayName)
    : display_(display), displayName_(std::move(displayName)), atoms_(std::make_unique<Atoms>(Atoms::Intern(display))) {}

X11Desktop::~X11Desktop() { XCloseDisplay(display_); }

WindowId X11Desktop::FindWindowByTitle(std::string_view title) {
    std::lock_guard lock(mutex_);
    return FindBelow(display_, DefaultRootWindow(display_), [&](Window w) {
        std::optional<std::string> t = ReadTitle(display_, w, *atoms_);
        return t && *t == title;
    });
}

WindowId X11Desktop::FindWindowByClass(std::string_view className) {
    std::lock_guard lock(mutex_);
    return FindBelow(display_, DefaultRootWindow(display_), [&](Window w) {
        std::optional<std::string> c = ReadClass(display_, w);
        return c && *c == className;
    });
}

WindowId X11Desktop::FindChild(WindowId parent, std::string_view className) {
    if (parent == 0) return 0;
    std::lock_guard lock(mutex_);
    return FindBelow(display_, parent, [&](Window w) {
        std::optional<std::string> c = ReadClass(display_, w);
        return c && *c == className;
    });
}

bool X11Desktop::IsWindow(WindowId w) {
    if (w == 0) return false;
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    return XGetWindowAttributes(display_, w, &a) != 0;
}

std::string X11Desktop::Title(WindowId w) {
    if (w == 0) return {};
    std::lock_guard lock(mutex_);
    return ReadTitle(display_, w, *atoms_).value_or(std::string());
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
    ErrorTrap trap;
    // NoEventMask sends the event to the client that created the window. The sync waits for the
    // server only (never for the receiver) and tells us whether the window still existed.
    XSendEvent(display_, w, False, NoEventMask, &e);
    XSync(display_, False);
    return !trap.Failed();
}

bool X11Desktop::ActivateLocked(WindowId w) {
    ErrorTrap trap;
    // Source 2 ("pager") asks the window manager to obey without focus-stealing prevention.
    SendToRoot(display_, w, atoms_->netActiveWindow, 2, CurrentTime, 0, 0);
    XRaiseWindow(display_, w);
    XSync(display_, False);
    return !trap.Failed();
}

bool X11Desktop::SetForeground(WindowId w) {
    if (w == 0) return false;
    std::lock_guard lock(mutex_);
    return ActivateLocked(w);
}

bool X11Desktop::Place(WindowId w, int x, int y, bool topmost, bool activate) {
    if (w == 0) return false;
    std::lock_guard lock(mutex_);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, w, &a)) return false;
    ErrorTrap trap;
    XMoveWindow(display_, w, x, y);
    if (a.map_state != IsUnmapped) {
        // _NET_WM_STATE: 1 adds, 0 removes; source 2 as above.
        SendToRoot(display_, w, atoms_->netWmState, topmost ? 1 : 0, static_cast<long>(atoms_->netWmStateAbove), 0,
                   2);
    } else {
        // Not managed yet: the window manager reads the state property when the window is mapped.
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
    XSync(display_, False);
    bool ok = !trap.Failed();
    if (ok && activate) ok = ActivateLocked(w);
    return ok;
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
