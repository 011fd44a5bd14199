// The cloud step's share of a submit tick (every 10 ms in the last ten seconds). The ticks that
// matter are the ones that decide nothing: the whole chain of the second is walked, then the
// last-chance rules with their lookup in the day's priceFirstSeen map. Goal: well under 10 µs.
//
// Only the engine's own library is linked, so the platform here is a real steady clock and an
// inert rest; no tick of these cases touches the page.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "bench_platform.h"
#include "engine/cloud_submit.h"
#include "log/log_book.h"

namespace kestrava::engine {
namespace {

class SteadyClock : public platform::Clock {
public:
    platform::LocalTime Now() override { return {}; }
    std::int64_t EpochMillis() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    std::uint32_t TickCount() override {
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void SleepMs(std::uint32_t) override {}
    std::int64_t LocalToEpochSeconds(const platform::LocalTime&) override { return 0; }
    platform::LocalTime EpochMillisToLocal(std::int64_t) override { return {}; }
};

constexpr int kPrice = 90000;

struct Bench {
    Bench()
        : book(clock, "./Log"),
          console(platform::Platform{clock, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest}, book,
                  console::LoginInfo{"12345678", "8.2", 1, 17}) {
        console.controls.SetCheck(box::CloudSubmit, 1);
        console.state.moniornot = 0;
        console.state.lowestPrice = kPrice;
        for (auto& low : engine.records.lowAt) low = kPrice;
        // A day's worth of fed prices, 100 apart, none first seen at the fraction looked for.
        engine.records.priceFirstSeen.With([](auto& m) {
            for (int price = kPrice - 20000; price <= kPrice; price += 100) m[price] = 2900 + price % 60;
        });
        engine.records.pageClockFraction = 1;
    }

    // The bidder's bid at `price`, armed by Enter.
    void Bid(int price) {
        engine.Fire(console, SubmissionInput::Apply, price);
        engine.Fire(console, SubmissionInput::Enter);
    }

    SteadyClock clock;
    bench::InertPlatform rest;
    log::LogBook book;
    console::CKestravaDlg console;
    Engine engine;
};

// Screen path, four seconds left: none of chain 56 holds (the lowest price has fallen since
// page second 55), last-chance rule 56l holds for letter C and its lookup finds no match.
void BM_CloudStepScreenPathWholeChainAndLookup(benchmark::State& state) {
    Bench b;
    b.console.state.remainingSeconds = 4;
    b.console.state.startSecondDigit = 9;
    b.Bid(kPrice + 450);
    b.engine.records.lowAt[45] = kPrice - 150;
    b.engine.records.lowAt[55] = kPrice + 100;
    for (auto _ : state) CloudStep(b.console, b.engine);
    if (!b.engine.records.submission.Armed()) state.SkipWithError("the step confirmed");
}
BENCHMARK(BM_CloudStepScreenPathWholeChainAndLookup);

// Feed path, page second 58: rule 58e holds but has no letter for 6, so the console waits for 59.
void BM_CloudStepFeedPathSecond58(benchmark::State& state) {
    Bench b;
    b.console.state.remainingSeconds = 2;
    b.console.state.startSecondDigit = 6;
    b.Bid(kPrice + 300);
    b.engine.records.feedFresh = 1;
    b.engine.records.pageClock = 1'765'337'398;  // a time whose second is 58
    for (auto _ : state) CloudStep(b.console, b.engine);
    if (!b.engine.records.submission.Armed()) state.SkipWithError("the step confirmed");
}
BENCHMARK(BM_CloudStepFeedPathSecond58);

}  // namespace
}  // namespace kestrava::engine
