// The search for the page's network-status icon over a full 1920x1080 capture, as calibration
// does it: the icon absent (every position tried) and present near the bottom right corner.
// It must finish well within the 900 ms page-state tick.

#include <benchmark/benchmark.h>

#include "perception/template_search.h"

namespace {

using kestrava::perception::Bgr24Image;
using kestrava::perception::FindTemplate;

// A page: white, with grey text lines and a few coloured blocks.
Bgr24Image Page() {
    Bgr24Image page(1920, 1080);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            std::uint8_t* p = page.Pixel(x, y);
            const bool textLine = (y / 12) % 3 == 1 && (x / 7) % 5 != 4;
            const bool block = (x / 240 + y / 180) % 7 == 3;
            p[0] = block ? 60 : textLine ? 90 : 255;
            p[1] = block ? 110 : textLine ? 90 : 255;
            p[2] = block ? 200 : textLine ? 90 : 255;
        }
    return page;
}

// An 18x18 green disc on white: its first pixels are the page's white, as on the real page, so
// many positions get past the first pixel.
Bgr24Image Icon() {
    Bgr24Image icon(18, 18);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x) {
            std::uint8_t* p = icon.Pixel(x, y);
            const int dx = 2 * x - 17, dy = 2 * y - 17;
            const bool disc = dx * dx + dy * dy < 17 * 17;
            p[0] = disc ? 40 : 255;
            p[1] = disc ? 180 : 255;
            p[2] = disc ? 60 : 255;
        }
    return icon;
}

void BM_FindTemplate(benchmark::State& state) {
    Bgr24Image page = Page();
    const Bgr24Image icon = Icon();
    const bool present = state.range(0) == 1;
    if (present)
        for (int y = 0; y < icon.height; ++y)
            std::copy_n(icon.bytes.data() + y * icon.stride, icon.width * 3, page.Pixel(1880, 1050 + y));
    for (auto _ : state) {
        const auto found = FindTemplate(page.View(), icon.View());
        if (found.has_value() != present) {
            state.SkipWithError("wrong result");
            return;
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindTemplate)->ArgName("icon_present")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
