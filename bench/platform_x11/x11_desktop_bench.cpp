// The page lookup the console repeats every scan tick: the page window by title through the
// whole tree, then its two children by class. A desktop of 30 framed top-level windows (each
// with a few children, as toolkit windows have) stands around it. Needs a display:
//   . scripts/xvfb-env && xvfb_start && build/bench/bench_x11_desktop_bench; xvfb_stop

#include "platform/x11/x11_desktop.h"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using kestrava::platform::WindowId;
using kestrava::platform::x11::X11Desktop;

constexpr char kPageTitle[] = "客车额度拍卖InternetExplorer";

Window MakeWindow(Display* d, Window parent, const std::string& title, const char* cls) {
    Window w = XCreateSimpleWindow(d, parent, 0, 0, 200, 100, 0, 0, 0);
    if (!title.empty()) {
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
    }
    std::string c = cls;
    XClassHint hint{c.data(), c.data()};
    XSetClassHint(d, w, &hint);
    return w;
}

// Owns the other windows of the desktop for the whole run.
Display* Populate() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    const Window root = DefaultRootWindow(d);
    for (int i = 0; i < 30; ++i) {
        Window w = MakeWindow(d, root, "Some program " + std::to_string(i), "Other");
        for (int j = 0; j < 4; ++j) MakeWindow(d, w, "", "OtherChild");
        XMapSubwindows(d, w);
        XMapWindow(d, w);
    }
    Window page = MakeWindow(d, root, kPageTitle, "Sorrelpane");
    Window frame = MakeWindow(d, page, "", "Chrome_WidgetWin_0");
    MakeWindow(d, frame, "", "Chrome_WidgetWin_1");
    XMapSubwindows(d, frame);
    XMapSubwindows(d, page);
    XMapWindow(d, page);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let the window manager frame them all
    return d;
}

void BM_FindPageView(benchmark::State& state) {
    static Display* others = Populate();
    auto desktop = X11Desktop::Open();
    if (!others || !desktop) {
        state.SkipWithError("no X display (run under scripts/xvfb-env)");
        return;
    }
    for (auto _ : state) {
        WindowId page = desktop->FindWindowByTitle(kPageTitle);
        WindowId view = desktop->FindChild(desktop->FindChild(page, "Chrome_WidgetWin_0"), "Chrome_WidgetWin_1");
        if (view == 0) {
            state.SkipWithError("page view not found");
            return;
        }
        benchmark::DoNotOptimize(view);
    }
}
BENCHMARK(BM_FindPageView)->Unit(benchmark::kMicrosecond);

}  // namespace
