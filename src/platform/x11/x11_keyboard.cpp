#include "platform/x11/x11_keyboard.h"

#include "platform/keys.h"
#include "platform/threads.h"
#include "platform/x11/x11_connection.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace kestrava::platform::x11 {
namespace {

// The X keysyms that stand for a Windows virtual key (both sides of a modifier, both Enters).
std::vector<KeySym> KeysymsFor(int vk) {
    if (vk >= vk::Digit0 && vk <= vk::Digit0 + 9) return {static_cast<KeySym>(XK_0 + (vk - vk::Digit0))};
    if (vk >= vk::KeyA && vk <= vk::KeyA + 25) return {static_cast<KeySym>(XK_a + (vk - vk::KeyA))};
    if (vk >= vk::F1 && vk <= vk::F1 + 11) return {static_cast<KeySym>(XK_F1 + (vk - vk::F1))};
    switch (vk) {
        case vk::Back: return {XK_BackSpace};
        case vk::Return: return {XK_Return, XK_KP_Enter};
        case vk::Shift: return {XK_Shift_L, XK_Shift_R};
        case vk::Control: return {XK_Control_L, XK_Control_R};
        case vk::Menu: return {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R};
        case vk::Escape: return {XK_Escape};
        case vk::Space: return {XK_space};
        case vk::Delete: return {XK_Delete, XK_KP_Delete};
        default: return {};
    }
}

}  // namespace

std::unique_ptr<X11Keyboard> X11Keyboard::Open(const char* displayName) {
    Display* d = OpenDisplay(displayName);
    if (!d) return nullptr;
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 2;  // from 2.1 on, raw events arrive even while another client holds a grab
    if (!XQueryExtension(d, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(d, &major, &minor) != Success) {
        XCloseDisplay(d);
        return nullptr;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    XSync(d, False);  // presses from now on are latched, even before the first query

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        XCloseDisplay(d);
        return nullptr;
    }
    return std::unique_ptr<X11Keyboard>(new X11Keyboard(d, opcode, wake));
}

X11Keyboard::X11Keyboard(_XDisplay* display, int xiOpcode, const int wake[2])
    : display_(display), xiOpcode_(xiOpcode), wakeRead_(wake[0]), wakeWrite_(wake[1]) {
    listener_ = StartThread([this] { Listen(); });
}

X11Keyboard::~X11Keyboard() {
    char c = 1;
    [[maybe_unused]] ssize_t n = write(wakeWrite_, &c, 1);
    listener_.join();
    XCloseDisplay(display_);
    close(wakeRead_);
    close(wakeWrite_);
}

// Keeps the connection's queue short while nobody queries; the latches are what matters.
void X11Keyboard::Listen() {
    for (;;) {
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        if (fds[0].revents & (POLLERR | POLLHUP)) return;
        std::lock_guard lock(mutex_);
        DrainLocked();
    }
}

void X11Keyboard::DrainLocked() {
    while (XPending(display_)) {
        XEvent e;
        XNextEvent(display_, &e);
        XGenericEventCookie* cookie = &e.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_) continue;
        if (!XGetEventData(display_, cookie)) continue;
        if (cookie->evtype == XI_RawKeyPress) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            if (raw->detail >= 0 && raw->detail < 256) latched_[raw->detail] = true;
        }
        XFreeEventData(display_, cookie);
    }
}

std::vector<unsigned> X11Keyboard::KeycodesLocked(int vk) {
    std::vector<unsigned> codes;
    for (KeySym sym : KeysymsFor(vk)) {
        KeyCode kc = XKeysymToKeycode(display_, sym);
        if (kc != 0) codes.push_back(kc);
    }
    return codes;
}

KeyState X11Keyboard::Query(int vk) {
    std::lock_guard lock(mutex_);
    // The round trip brings in every raw event the server sent before this query, so a tap that
    // ended just before the query is reported now rather than by the next one.
    XSync(display_, False);
    DrainLocked();
    char keys[32];
    XQueryKeymap(display_, keys);
    KeyState state;
    for (unsigned kc : KeycodesLocked(vk)) {
        if (keys[kc / 8] & (1 << (kc % 8))) state.down = true;
        if (latched_[kc]) state.pressedSince = true;
        latched_[kc] = false;
    }
    return state;
}

}  // namespace kestrava::platform::x11
