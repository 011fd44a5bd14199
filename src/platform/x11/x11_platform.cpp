#include "platform/x11/x11_platform.h"

#include "platform/x11/aplay_sound.h"
#include "platform/x11/flock_single_instance.h"
#include "platform/x11/ini_registry.h"
#include "platform/x11/posix_clock.h"
#include "platform/x11/posix_programs.h"
#include "platform/x11/posix_system_time.h"
#include "platform/x11/posix_timers.h"
#include "platform/x11/stderr_notices.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_keyboard.h"
#include "platform/x11/x11_power.h"
#include "platform/x11/x11_screen.h"

#include <atomic>

namespace kestrava::platform::x11 {
namespace {

// Forwards to whichever implementation is current, so references handed out before the GUI
// existed reach its message boxes afterwards.
class NoticesRelay final : public Notices {
public:
    void Set(Notices* target) { target_.store(target ? target : &fallback_); }
    void Show(std::string_view text, std::string_view caption) override { target_.load()->Show(text, caption); }

private:
    StderrNotices fallback_;
    std::atomic<Notices*> target_{&fallback_};
};

}  // namespace

struct X11Platform::Parts {
    PosixClock clock;
    PosixTimers timers;
    std::unique_ptr<X11Desktop> desktop;
    std::unique_ptr<X11Screen> screen;
    std::unique_ptr<X11Keyboard> keyboard;
    std::unique_ptr<IniRegistry> registry;
    PosixPrograms programs;
    AplaySound sound;
    NoticesRelay notices;
    PosixSystemTime systemTime;
    std::unique_ptr<X11Power> power;
    FlockSingleInstance singleInstance;
};

std::unique_ptr<X11Platform> X11Platform::Create(const Options& options, std::string* error) {
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return nullptr;
    };
    auto parts = std::make_unique<Parts>();
    parts->desktop = X11Desktop::Open(options.displayName);
    if (!parts->desktop) return fail("cannot open the X display (is DISPLAY set?)");
    parts->screen = X11Screen::Open(options.displayName);
    if (!parts->screen) return fail("cannot open the X display for screen capture");
    parts->keyboard = X11Keyboard::Open(options.displayName);
    if (!parts->keyboard) return fail("the X display offers no XInput 2 (needed for key presses)");
    parts->registry = std::make_unique<IniRegistry>(options.registryPath, options.displayName);
    parts->power = std::make_unique<X11Power>(options.displayName);
    return std::unique_ptr<X11Platform>(new X11Platform(std::move(parts)));
}

X11Platform::X11Platform(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

X11Platform::~X11Platform() = default;

Platform X11Platform::Get() {
    Parts& p = *parts_;
    return Platform{p.clock,    p.timers,   *p.desktop, *p.screen,     *p.keyboard, *p.registry,
                    p.programs, p.sound,    p.notices,  p.systemTime,  *p.power,    p.singleInstance};
}

void X11Platform::SetNotices(Notices* notices) { parts_->notices.Set(notices); }

X11Desktop& X11Platform::Desktop() { return *parts_->desktop; }

X11Screen& X11Platform::Screen() { return *parts_->screen; }

}  // namespace kestrava::platform::x11
