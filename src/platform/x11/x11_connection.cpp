#include "platform/x11/x11_connection.h"

#include "platform/x11/window_protocol.h"

#include <mutex>

namespace kestrava::platform::x11 {
namespace {

int IgnoreError(Display*, XErrorEvent*) { return 0; }

}  // namespace

Display* OpenDisplay(const char* name) {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(IgnoreError);
    });
    return XOpenDisplay(name);
}

Atoms Atoms::Intern(Display* d) {
    const char* names[] = {kMessageAtomName,        "_NET_WM_NAME",       "UTF8_STRING",
                           "WM_PROTOCOLS",          "WM_DELETE_WINDOW",   "_NET_ACTIVE_WINDOW",
                           "_NET_WM_STATE",         "_NET_WM_STATE_ABOVE", "_NET_WM_PID"};
    constexpr int kCount = sizeof names / sizeof names[0];
    Atom a[kCount] = {};
    XInternAtoms(d, const_cast<char**>(names), kCount, False, a);
    return Atoms{a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]};
}

}  // namespace kestrava::platform::x11
