#include "platform/x11/x11_connection.h"

#include "platform/x11/window_protocol.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <atomic>
#include <mutex>

namespace kestrava::platform::x11 {
namespace {

// Xlib calls the handler on the thread that reads the error off the connection, which is the
// thread holding that connection's lock, i.e. the one that made the request.
thread_local unsigned long t_errorCount = 0;

int CountError(Display*, XErrorEvent*) {
    ++t_errorCount;
    return 0;
}

std::string Latin1ToUtf8(const unsigned char* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

Display* OpenDisplay(const char* name) {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(CountError);
    });
    return XOpenDisplay(name);
}

ErrorTrap::ErrorTrap() : start_(t_errorCount) {}

bool ErrorTrap::Failed() const { return t_errorCount != start_; }

Atoms Atoms::Intern(Display* d) {
    const char* names[] = {kMessageAtomName,        "_NET_WM_NAME",       "UTF8_STRING",
                           "WM_PROTOCOLS",          "WM_DELETE_WINDOW",   "_NET_ACTIVE_WINDOW",
                           "_NET_WM_STATE",         "_NET_WM_STATE_ABOVE"};
    Atom a[8] = {};
    XInternAtoms(d, const_cast<char**>(names), 8, False, a);
    return Atoms{a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]};
}

std::optional<std::string> ReadTitle(Display* d, Window w, const Atoms& atoms) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, atoms.netWmName, 0, 4096, False, atoms.utf8String, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        std::optional<std::string> title;
        if (type == atoms.utf8String && format == 8) title = std::string(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (title) return title;
    }

    XTextProperty text{};
    if (!XGetWMName(d, w, &text) || !text.value) return std::nullopt;
    std::optional<std::string> title;
    if (text.encoding == XA_STRING) {
        title = Latin1ToUtf8(text.value, text.nitems);
    } else if (text.encoding == atoms.utf8String || text.format != 8) {
        title = std::string(reinterpret_cast<char*>(text.value), text.format == 8 ? text.nitems : 0);
    } else {
        char** list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(d, &text, &list, &n) >= Success && list) {
            title = std::string();
            for (int i = 0; i < n; ++i) *title += list[i];
            XFreeStringList(list);
        } else {
            title = std::string(reinterpret_cast<char*>(text.value), text.nitems);
        }
    }
    XFree(text.value);
    return title;
}

std::optional<std::string> ReadClass(Display* d, Window w) {
    XClassHint hint{};
    if (!XGetClassHint(d, w, &hint)) return std::nullopt;
    std::optional<std::string> cls;
    if (hint.res_class) cls = hint.res_class;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return cls;
}

std::vector<Window> Children(Display* d, Window w) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    std::vector<Window> out;
    if (XQueryTree(d, w, &root, &parent, &children, &n) && children) {
        out.assign(children, children + n);
    }
    if (children) XFree(children);
    return out;
}

}  // namespace kestrava::platform::x11
