// Internal to the X11 backend: opening connections, trapping protocol errors, the atoms of the
// window protocol. Includes Xlib, so it stays out of the backend's public headers.
#pragma once

#include <X11/Xlib.h>


namespace kestrava::platform::x11 {

// Opens a connection with Xlib's thread support on and the backend's error handler installed.
// Null when the display cannot be reached.
Display* OpenDisplay(const char* name = nullptr);

// Counts protocol errors that reach this thread while it lives. Windows of other programs may
// vanish at any moment, so BadWindow and friends are expected and must never end the process.
// Call XSync before Failed() so that errors of the requests made so far have arrived.
class ErrorTrap {
public:
    ErrorTrap();
    bool Failed() const;

private:
    unsigned long start_;
};

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

    static Atoms Intern(Display* d);
};

}  // namespace kestrava::platform::x11
