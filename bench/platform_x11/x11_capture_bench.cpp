// Screen capture through the plain and the shared-memory path, for the price rectangle's size
// (200x60) up to the full screen. Needs a display: run under scripts/xvfb-env, e.g.
//   . scripts/xvfb-env && xvfb_start && build/bench/bench_x11_capture_bench; xvfb_stop
// The sizes in between show where shared memory starts to pay (X11Screen::kSharedMinPixels).

#include "platform/x11/x11_screen.h"

#include <benchmark/benchmark.h>

namespace {

using kestrava::platform::Image;
using kestrava::platform::Rect;
using kestrava::platform::x11::X11Screen;

X11Screen* TheScreen() {
    static std::unique_ptr<X11Screen> screen = X11Screen::Open();
    return screen.get();
}

// Args: width, height (0 = the whole screen), method (1 plain, 2 shared memory, 0 automatic).
void BM_Capture(benchmark::State& state) {
    X11Screen* screen = TheScreen();
    if (!screen) {
        state.SkipWithError("no X display (run under scripts/xvfb-env)");
        return;
    }
    const Rect b = screen->Bounds();
    const int w = state.range(0) ? static_cast<int>(state.range(0)) : b.Width();
    const int h = state.range(1) ? static_cast<int>(state.range(1)) : b.Height();
    const auto method = static_cast<X11Screen::Method>(state.range(2));
    const Rect r{(b.Width() - w) / 2, (b.Height() - h) / 2, (b.Width() - w) / 2 + w, (b.Height() - h) / 2 + h};
    Image img;
    for (auto _ : state) {
        if (!screen->Capture(r, img, nullptr, method)) {
            state.SkipWithError("capture failed");
            return;
        }
        benchmark::DoNotOptimize(img.bgra.data());
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h) +
                   (method == X11Screen::Method::Plain    ? " plain"
                    : method == X11Screen::Method::Shared ? " shm"
                                                          : " auto"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * w * h * 4);
}

constexpr int kPlain = static_cast<int>(X11Screen::Method::Plain);
constexpr int kShared = static_cast<int>(X11Screen::Method::Shared);
constexpr int kAuto = static_cast<int>(X11Screen::Method::Automatic);

BENCHMARK(BM_Capture)
    ->ArgNames({"w", "h", "method"})
    ->ArgsProduct({{40}, {20}, {kPlain, kShared}})
    ->ArgsProduct({{100}, {30}, {kPlain, kShared}})
    ->ArgsProduct({{200}, {60}, {kPlain, kShared, kAuto}})
    ->ArgsProduct({{256}, {128}, {kPlain, kShared}})
    ->ArgsProduct({{256}, {256}, {kPlain, kShared}})
    ->ArgsProduct({{400}, {300}, {kPlain, kShared}})
    ->ArgsProduct({{640}, {480}, {kPlain, kShared}})
    ->ArgsProduct({{0}, {0}, {kPlain, kShared, kAuto}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
