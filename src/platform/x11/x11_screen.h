// Pixels of the X11 screen: MIT-SHM for large areas, plain GetImage for small ones.
#pragma once

#include "platform/platform.h"

#include <memory>
#include <mutex>

struct _XDisplay;

namespace kestrava::platform::x11 {

class X11Screen final : public Screen {
public:
    enum class Method { Automatic, Plain, Shared };

    // Below this many pixels the plain path is as fast (bench_x11_capture_bench on Xvfb: the two
    // tie at 100x30; at 200x60 shared memory takes about 21 µs against 34, at full screen 1.6 ms
    // against 14). The segment is attached once, so shared memory has no set-up cost per capture.
    static constexpr long kSharedMinPixels = 4096;

    static std::unique_ptr<X11Screen> Open(const char* displayName = nullptr);
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    Rect Bounds() override;
    bool Capture(const Rect& r, Image& out, Rect* clipped = nullptr) override;
    // Capture with a chosen path (tests and benchmarks). Shared falls back to Plain when the
    // server offers no shared memory (a remote display) or the shared capture fails.
    bool Capture(const Rect& r, Image& out, Rect* clipped, Method method);
    bool SharedMemoryAvailable() const { return shm_ != nullptr; }

private:
    struct Shm;
    explicit X11Screen(_XDisplay* display);
    // Both with mutex_ held (or from the constructor) and `c` inside the display.
    bool CaptureShared(const Rect& c, Image& out);
    bool CapturePlain(const Rect& c, Image& out);

    std::mutex mutex_;
    _XDisplay* display_;
    Rect bounds_;
    std::unique_ptr<Shm> shm_;
};

}  // namespace kestrava::platform::x11
