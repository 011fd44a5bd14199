// One tick of the change detector of the last 55 seconds: load the previous picture from
// lbp.bmp, compare it with the new capture, save the new one. Arg: display scale × 100 (the
// tracked region is 75x139 at scale 1.0); the pictures alternate, so every tick is a change.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "perception/change_tracker.h"

namespace {

using namespace kestrava;

void BM_ChangeTrackerTick(benchmark::State& state) {
    const float scale = static_cast<float>(state.range(0)) / 100.0f;
    const platform::Rect r = perception::TrackedRect(0, 0, scale);
    platform::Image a(r.Width(), r.Height()), b(r.Width(), r.Height());
    std::fill(a.bgra.begin(), a.bgra.end(), 0x20);
    std::fill(b.bgra.begin(), b.bgra.end(), 0x20);
    b.Pixel(r.Width() - 1, r.Height() - 1)[0] = 0x21;  // differs only in the last pixel
    const std::string file = (std::filesystem::temp_directory_path() / "kestrava_bench_lbp.bmp").string();
    perception::ChangeTracker tracker(file);
    bool odd = false;
    const perception::ChangeTracker::Capture capture = [&]() -> std::optional<platform::Image> {
        odd = !odd;
        return odd ? a : b;
    };
    tracker.Step(capture);  // the day's first run
    for (auto _ : state) {
        const perception::ChangeStep step = tracker.Step(capture);
        if (step.verdict != perception::ChangeVerdict::Changed || !step.saved) {
            state.SkipWithError("tick did not see the change");
            break;
        }
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_ChangeTrackerTick)->ArgName("scale_x100")->Arg(100)->Arg(150)->Arg(250)->Unit(benchmark::kMicrosecond);

}  // namespace
