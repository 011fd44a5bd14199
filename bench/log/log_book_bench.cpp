// The cost of logging on the timer paths (one stamp, one append) and of a flush at the end of
// an auction (GBK conversion and one append to the day's file).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <string>

#include "log/gbk.h"
#include "log/log_book.h"

namespace {

// The system clock the way the real backend reads it, so the stamp's cost is the real one.
class SystemClock : public kestrava::platform::Clock {
public:
    kestrava::platform::LocalTime Now() override { return EpochMillisToLocal(EpochMillis()); }
    std::int64_t EpochMillis() override {
        timespec ts{};
        ::clock_gettime(CLOCK_REALTIME, &ts);
        return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
    std::uint32_t TickCount() override { return static_cast<std::uint32_t>(EpochMillis()); }
    void SleepMs(std::uint32_t) override {}
    std::int64_t LocalToEpochSeconds(const kestrava::platform::LocalTime&) override { return 0; }
    kestrava::platform::LocalTime EpochMillisToLocal(std::int64_t ms) override {
        const time_t seconds = static_cast<time_t>(ms / 1000);
        tm parts{};
        ::localtime_r(&seconds, &parts);
        return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                parts.tm_min,         parts.tm_sec,     static_cast<int>(ms % 1000), parts.tm_wday};
    }
};

std::string ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrava-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string(".");
}

void BM_WriteLogLine(benchmark::State& state) {
    SystemClock clock;
    kestrava::log::LogBook book(clock, ScratchDir() + "/Log");
    for (auto _ : state) {
        benchmark::DoNotOptimize(book.WriteLogLine(29, 50, "差价：300，当前最低成交价：89400，提交"));
    }
}
BENCHMARK(BM_WriteLogLine);

// A whole auction's worth of lines (about 10 per second for half an hour) flushed at once.
void BM_FlushLog(benchmark::State& state) {
    SystemClock clock;
    const std::string dir = ScratchDir();
    kestrava::log::LogBook book(clock, dir + "/Log");
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < state.range(0); ++i) book.WriteLogLine(29, 50, "差价：300，当前最低成交价：89400，提交");
        state.ResumeTiming();
        benchmark::DoNotOptimize(book.FlushLog("12345678"));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FlushLog)->Arg(18000)->Unit(benchmark::kMillisecond);

}  // namespace
