// Keeping the display awake: the screen saver (and DPMS with it) is suspended for as long as
// this object's connection says so.
#pragma once

#include "platform/platform.h"

#include <mutex>
#include <string>

struct _XDisplay;

namespace kestrava::platform::x11 {

class X11Power final : public Power {
public:
    explicit X11Power(const char* displayName = nullptr);
    ~X11Power() override;
    X11Power(const X11Power&) = delete;
    X11Power& operator=(const X11Power&) = delete;

    void KeepAwake(bool on) override;

private:
    std::mutex mutex_;
    std::string displayName_;
    _XDisplay* display_ = nullptr;  // open while the suspension holds; it ends with the connection
};

}  // namespace kestrava::platform::x11
