// One whole scan tick of the revision phase on the fake platform, with the engine attached: page
// lookup, hot keys, control table, clock displays and the bid tick with its price reading. It must
// fit well inside the 100 ms scan interval.
//   build/bench/bench_scan_tick_bench
// Arg 0: the feed is believed and no text-recognition engine is started; arg 1: the price is read from the
// screen by the real engine on every tick (the reader forgets the figure's glyphs before each one,
// as after a price change to digits it has not seen); arg 2: the screen read as a run of the same
// figure reads it, from the learned glyphs (the engine on one tick in a hundred), and the change
// detector of the last 55 seconds (one capture, one bitmap file read and written per tick). The
// row's label says which. The program restarts itself with OMP_THREAD_LIMIT=1 when that is
// missing, as the console does.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "component/perception/rendered_text.h"
#include "console/console.h"
#include "engine/engine.h"
#include "log/log_book.h"
#include "perception/omp_env.h"
#include "perception_role/perception_role.h"
#include "platform/fake/fake_platform.h"
#include "shell/page_commands.h"

namespace {

using namespace kestrava;

std::shared_ptr<perception::PriceReader> theReader;

// A console in the revision phase at 11:29:00 with the page shell's windows and a price figure.
struct Setup {
    explicit Setup(bool readScreen, int remaining) {
        char pattern[] = "/tmp/kestrava-scan-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        std::filesystem::create_directories("ScreenShot");

        perception::PerceptionOptions o;
        // Without engines the screen reading finds nothing to read with, as in a run whose mode
        // starts none.
        if (readScreen) o.reader = theReader;
        role = std::make_shared<perception::PerceptionRole>(std::move(o));
        engine::EngineOptions eo;
        perception::LinkEngineOptions(eo, role);
        engine = std::make_shared<engine::Engine>(std::move(eo));
        engine::Engine::Attach(engine, hooks);
        role->SetEngine(engine);
        perception::AttachPerception(role, hooks);

        const auto page = fp.desktop.AddWindow(shell::kPageWindowTitle, "Sorrelpane", platform::Rect{0, 0, 1200, 900});
        const auto frame = fp.desktop.AddWindow("", shell::kPageFrameClass, platform::Rect{0, 30, 1200, 900}, page);
        fp.desktop.AddWindow("", shell::kPageViewClass, platform::Rect{0, 30, 1200, 900}, frame);
        fp.screen.Fill(platform::Rect{0, 0, 1920, 1080}, 0xF0, 0xF0, 0xF0);
        if (const auto figure = perception::testing::RenderText("89300", {})) fp.screen.Blit(*figure, 140, 300);
        role->geometry()->Update([](perception::PageGeometry& g) {
            g.lvwf_x = 100, g.lvwf_y = 50;
            g.C_P2_LEFTPRICE_X = 40, g.C_P2_LEFTPRICE_Y = 220, g.C_P2_LEFTPRICE_W = 200, g.C_P2_LEFTPRICE_H = 60;
        });

        console = std::make_unique<console::CKestravaDlg>(fp.Get(), book, console::LoginInfo{"12345678"}, hooks);
        console->ResetAuctionDay();
        auto& s = console->state;
        s.auctionPhase = 3;
        s.remainingSeconds = remaining;
        s.systime_screentime = 1;
        s.swbidmode = readScreen ? 2 : 0;
        s.lowestPrice = 0;
        // A fresh feed's price is the one the screen's figure must agree with: the rows that read
        // the screen have a feed gone stale, whose 90000 the figure's 89300 need not match.
        engine->records.feedFresh = readScreen ? 0 : 1;
        engine->records.feedLowestPrice = 90000;
        // The day's first calibration of the revision phase would reload the (absent) geometry file.
        role->records.firstRevisionCalibrated = 1;
    }
    ~Setup() {
        console.reset();
        std::error_code ec;
        std::filesystem::current_path(previous, ec);
        std::filesystem::remove_all(folder, ec);
    }

    std::filesystem::path folder, previous;
    platform::fake::FakePlatform fp{platform::fake::MakeLocal(2026, 12, 10, 11, 29, 0)};
    log::LogBook book{fp.clock, "./Log"};
    console::ConsoleHooks hooks;
    std::shared_ptr<perception::PerceptionRole> role;
    std::shared_ptr<engine::Engine> engine;
    std::unique_ptr<console::CKestravaDlg> console;
};

void BM_ScanTick(benchmark::State& state) {
    const bool readScreen = state.range(0) >= 1;
    const int remaining = state.range(0) == 2 ? 50 : 60;
    if (readScreen && !(theReader && theReader->Ready())) {
        state.SkipWithError("no OCR engine");
        return;
    }
    Setup setup(readScreen, remaining);
    console::CKestravaDlg& c = *setup.console;
    c.hooks().scanTick(c);
    const int expected = readScreen ? 89300 : 90000;
    if (c.state.lowestPrice.load() != expected) {
        state.SkipWithError("the tick did not read the expected price");
        return;
    }
    const bool engineEveryTick = state.range(0) == 1;
    state.SetLabel(!readScreen        ? "feed, no screen read"
                   : engineEveryTick ? "screen read by the engine"
                                     : "screen read from learned glyphs, change detector");
    for (auto _ : state) {
        if (engineEveryTick) theReader->ForgetGlyphs();
        c.hooks().scanTick(c);
    }
}
BENCHMARK(BM_ScanTick)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    kestrava::perception::EnsureOmpThreadLimit(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    theReader = std::make_shared<kestrava::perception::PriceReader>();
    theReader->Init("");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The engine must go before the library's own static caches do.
    theReader.reset();
    return 0;
}
