// The real backend in one piece: owns one of each X11/POSIX implementation and hands the core a
// platform::Platform.
#pragma once

#include "platform/platform.h"

#include <memory>
#include <string>

namespace kestrava::platform::x11 {

class X11Desktop;
class X11Screen;
class X11Keyboard;

class X11Platform {
public:
    struct Options {
        const char* displayName = nullptr;  // null: $DISPLAY
        std::string registryPath = "bin/registry.ini";
    };

    // Null (with the reason in `error`) when the display cannot be opened or lacks what the
    // backend needs (XInput 2).
    static std::unique_ptr<X11Platform> Create(const Options& options, std::string* error = nullptr);
    static std::unique_ptr<X11Platform> Create(std::string* error = nullptr) { return Create(Options{}, error); }
    ~X11Platform();
    X11Platform(const X11Platform&) = delete;
    X11Platform& operator=(const X11Platform&) = delete;

    // The references stay valid for the life of this object.
    Platform Get();

    // The GUI replaces the default (stderr) message boxes with its own once it is up; the
    // Platform handed out earlier follows the change. Null restores the default. `notices` must
    // outlive its use here (replace it with null before destroying it).
    void SetNotices(Notices* notices);

    X11Desktop& Desktop();
    X11Screen& Screen();

private:
    struct Parts;
    explicit X11Platform(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> parts_;
};

}  // namespace kestrava::platform::x11
