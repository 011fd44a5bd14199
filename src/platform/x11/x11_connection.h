// Internal to the X11 backend: opening connections and the atoms of the window protocol.
// Includes Xlib, so it stays out of the backend's public headers.
#pragma once

#include <X11/Xlib.h>

namespace kestrava::platform::x11 {

// Opens a connection with Xlib's thread support on and an error handler installed that ignores
// protocol errors: windows of other programs may vanish at any moment, and Xlib's default
// handler would end the process on the BadWindow that follows. The backend learns of failures
// from replies, never from the handler, so a toolkit that installs its own changes nothing.
// Null when the display cannot be reached.
Display* OpenDisplay(const char* name = nullptr);

// The atoms every part of the window protocol uses, interned once per connection.
struct Atoms {
    Atom message = 0;  // KESTRAVA_MSG
    Atom netWmName = 0;
    Atom utf8String = 0;
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom netActiveWindow = 0;
    Atom netWmState = 0;
    Atom netWmStateAbove = 0;
    Atom netWmPid = 0;

    static Atoms Intern(Display* d);
};

}  // namespace kestrava::platform::x11
