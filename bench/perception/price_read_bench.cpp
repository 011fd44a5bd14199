// One screen reading of the lowest price as every scan tick of the revision phase does it: grab
// the 200x60 figure from the page view, read it with the figure checks, judge it with the price
// gate. It must fit well inside the 100 ms scan interval. Reported per read: median_ms and p99_ms
// (wall clock), cpu_median_ms and cpu_p99_ms (the reading thread's CPU time, which a loaded
// machine inflates less).
//   . scripts/xvfb-env && xvfb_start && build/bench/bench_price_read_bench; xvfb_stop
// (x_window 0 reads a framebuffer, 1 a real window on the X server; glyphs 1 lets the reader use
// the glyphs it learned from the engine, as the console does, glyphs 0 forgets them before each
// read so that every read is the engine's). The program restarts itself
// with OMP_THREAD_LIMIT=1 when that is missing, as the console does.

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "component/perception/rendered_text.h"
#include "component/perception/x11_page_window.h"
#include "perception/omp_env.h"
#include "perception/price_gate.h"
#include "perception/price_reader.h"
#include "platform/fake/fake_platform.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_screen.h"

namespace {

using namespace kestrava;
using perception::PageGeometry;

constexpr int kPrice = 89300;

// Made in main and ended there: the engine must go before the library's own static caches do.
perception::PriceReader* theReader = nullptr;

perception::PriceReader* Reader() { return theReader != nullptr && theReader->Ready() ? theReader : nullptr; }

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void Report(benchmark::State& state, const char* median, const char* p99, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    state.counters[median] = ms[ms.size() / 2];
    state.counters[p99] = ms[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(ms.size()))) - 1];
}

void BM_PriceRead(benchmark::State& state) {
    perception::PriceReader* reader = Reader();
    const std::optional<platform::Image> figure = perception::testing::RenderText(std::to_string(kPrice), {});
    if (!reader || !figure) {
        state.SkipWithError("no OCR engine or no convert");
        return;
    }
    PageGeometry g;
    g.lvwf_x = 100;
    g.lvwf_y = 40;
    g.C_P2_LEFTPRICE_X = 40;
    g.C_P2_LEFTPRICE_Y = 220;
    g.C_P2_LEFTPRICE_W = figure->width;
    g.C_P2_LEFTPRICE_H = figure->height;
    platform::fake::FakeScreen view(800, 600);
    view.Fill(platform::Rect{0, 0, 800, 600}, 0xF0, 0xF0, 0xF0);
    view.Blit(*figure, g.lvwf_x + g.C_P2_LEFTPRICE_X, g.lvwf_y + g.C_P2_LEFTPRICE_Y);

    std::unique_ptr<platform::Desktop> desktop;
    std::unique_ptr<platform::Screen> screen;
    std::unique_ptr<perception::testing::X11PageWindow> window;
    if (state.range(0) == 1) {
        desktop = platform::x11::X11Desktop::Open();
        screen = platform::x11::X11Screen::Open();
        if (desktop) window = perception::testing::X11PageWindow::Open(view.Framebuffer(), 200, 150);
        if (!desktop || !screen || !window) {
            state.SkipWithError("no X display (run under scripts/xvfb-env)");
            return;
        }
    } else {
        auto fakeDesktop = std::make_unique<platform::fake::FakeDesktop>();
        auto fakeScreen = std::make_unique<platform::fake::FakeScreen>();
        const platform::Rect r{300, 120, 1100, 720};
        const auto page = fakeDesktop->AddWindow(perception::kPageWindowTitle, "Sorrelpane", r);
        const auto outer = fakeDesktop->AddWindow("", perception::kPageOuterClass, r, page);
        fakeDesktop->AddWindow("", perception::kPageViewClass, r, outer);
        fakeScreen->Blit(view.Framebuffer(), r.left, r.top);
        desktop = std::move(fakeDesktop);
        screen = std::move(fakeScreen);
    }

    std::vector<double> ms, cpu;
    ms.reserve(static_cast<std::size_t>(state.max_iterations));
    cpu.reserve(static_cast<std::size_t>(state.max_iterations));
    perception::PriceGate gate;
    for (auto _ : state) {
        if (state.range(1) == 0) reader->ForgetGlyphs();
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ThreadCpuMs();
        const std::optional<perception::PixelBuffer> buffer = perception::GrabPriceFigure(*desktop, *screen, g);
        const perception::FigureReading reading = buffer ? reader->ReadFigure(*buffer) : perception::FigureReading{};
        const perception::GateDecision d = gate.Judge(reading, perception::GateContext{});
        if (d.price) reader->Learn(reading);  // as the console does: glyphs of believed figures only
        cpu.push_back(ThreadCpuMs() - c0);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        if (d.price != kPrice) {
            state.SkipWithError("misread the price");
            return;
        }
    }
    Report(state, "median_ms", "p99_ms", std::move(ms));
    Report(state, "cpu_median_ms", "cpu_p99_ms", std::move(cpu));
}
BENCHMARK(BM_PriceRead)
    ->ArgNames({"x_window", "glyphs"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(400)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    kestrava::perception::EnsureOmpThreadLimit(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    auto reader = std::make_unique<kestrava::perception::PriceReader>();
    reader->Init("");
    theReader = reader.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theReader = nullptr;
    return 0;
}
