#include "platform/x11/x11_power.h"

#include "platform/x11/x11_connection.h"

#include <X11/extensions/scrnsaver.h>

namespace kestrava::platform::x11 {

X11Power::X11Power(const char* displayName) : displayName_(displayName ? displayName : "") {}

X11Power::~X11Power() { KeepAwake(false); }

void X11Power::KeepAwake(bool on) {
    std::lock_guard lock(mutex_);
    if (on == (display_ != nullptr)) return;
    if (on) {
        Display* d = OpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
        if (!d) return;
        int event = 0;
        int error = 0;
        if (!XScreenSaverQueryExtension(d, &event, &error)) {
            // No extension: at least push the saver back once.
            XResetScreenSaver(d);
            XCloseDisplay(d);
            return;
        }
        XScreenSaverSuspend(d, True);
        XFlush(d);
        display_ = d;
    } else {
        XScreenSaverSuspend(display_, False);
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

}  // namespace kestrava::platform::x11
