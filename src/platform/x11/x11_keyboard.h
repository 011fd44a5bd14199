// The global key state of the X11 desktop: "down now" from the server's keymap, "pressed since
// the last query" latched from XInput2 raw key events (no grab, so other programs still get
// every key).
#pragma once

#include "platform/platform.h"

#include <array>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct _XDisplay;

namespace kestrava::platform::x11 {

class X11Keyboard final : public Keyboard {
public:
    // Null when the display cannot be opened or lacks XInput 2.
    static std::unique_ptr<X11Keyboard> Open(const char* displayName = nullptr);
    ~X11Keyboard() override;
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    KeyState Query(int vk) override;

private:
    X11Keyboard(_XDisplay* display, int xiOpcode, const int wake[2]);
    void Listen();
    void DrainLocked();
    std::vector<unsigned> KeycodesLocked(int vk);

    std::mutex mutex_;  // the connection and the keycode table
    _XDisplay* display_;
    int xiOpcode_;
    int wakeRead_;
    int wakeWrite_;
    std::array<bool, 256> latched_{};  // by keycode, guarded by mutex_
    std::thread listener_;
};

}  // namespace kestrava::platform::x11
