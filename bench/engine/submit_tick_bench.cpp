// One submit tick of the last ten seconds, as the console runs it every 10 ms: the remaining
// time (screen perception's UpdateRemainingTime), the two rise rules, the forced submissions,
// then the cloud step with its decision table and the lookup in the day's priceFirstSeen map.
// The ticks measured decide nothing, so every comparison is made on every iteration. Goal:
// under 10 µs.
//
// The clock is the machine's, except that "now" stands still at 11:29:56 so that every
// iteration sees the same second; the time conversions are the real ones.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_platform.h"
#include "still_clock.h"
#include "engine/cloud_submit.h"
#include "engine/engine.h"
#include "log/log_book.h"
#include "perception_role/perception_role.h"

namespace kestrava::engine {
namespace {

constexpr int kLow55 = 90000;  // the low of page second 55

// A console four seconds before the end (page second 56), the bidder's Enter pressed, the
// engine wired as the program wires it.
struct Rig {
    Rig()
        : book(clock, "./Log"),
          perception(std::make_shared<perception::PerceptionRole>()),
          console(platform::Platform{clock, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest, rest}, book,
                  console::LoginInfo{"12345678", "8.2", 1, 17}) {
        EngineOptions options;
        perception::LinkEngineOptions(options, perception);
        options.cloudStep = CloudStep;
        engine = std::make_shared<Engine>(options);
        perception->SetEngine(engine);

        auto& s = console.state;
        s.pageWindow = 1;
        s.auctionPhase = 3;
        s.moniornot = 0;
        s.startSecondDigit = -1;
        const std::int64_t now = clock.EpochMillis() / 1000;
        s.auctionEnd = now + 4;
        console.controls.SetCheck(box::CloudSubmit, 1);
        EngineState& e = engine->records;
        e.pageClock = now;  // page second 56
        e.lowAt[45] = kLow55 - 300;
        e.lowAt[55] = kLow55;
        // A day of fed prices 100 apart; none first seen at the fraction of the last code.
        e.priceFirstSeen.With([](auto& m) {
            for (int price = kLow55 - 20000; price <= kLow55 + 2000; price += 100) m[price] = 2900 + price % 60;
        });
        e.pageClockFraction = 1;
    }

    // The bidder's bid at `price`, armed by Enter.
    void Bid(int price) {
        engine->Fire(console, SubmissionInput::Apply, price);
        engine->Fire(console, SubmissionInput::Enter);
    }

    bool StillArmed() const { return engine->records.submission.Armed(); }

    bench::StillClock clock;
    bench::InertPlatform rest;
    log::LogBook book;
    std::shared_ptr<perception::PerceptionRole> perception;
    console::CKestravaDlg console;
    std::shared_ptr<Engine> engine;
};

// Live page feed: the remaining time from the page clock, both rise rules walked to their last
// condition (the fed price rose a step, the box is ticked, the gap of 700 is too wide for
// both), the time-based forced submission (box 1061, 100 ms before the end) not yet due, and
// the cloud's feed path at page second 56.
void BM_SubmitTickFeedPath(benchmark::State& state) {
    Rig rig;
    auto& s = rig.console.state;
    s.systime_screentime = 1;
    s.swbidmode = 0;
    rig.engine->records.feedFresh = 1;
    rig.engine->records.feedLowestPrice = kLow55 + 100;
    s.lowestPrice = kLow55 + 100;
    rig.Bid(kLow55 + 800);
    rig.console.controls.SetCheck(box::Rise55 + 1, 1);
    rig.console.controls.SetCheck(box::ForcedByTime, 1);
    for (auto _ : state) rig.engine->SubmitTick(rig.console);
    if (s.remainingSeconds.load() != 4 || !rig.StillArmed()) state.SkipWithError("the tick did not stand still");
}
BENCHMARK(BM_SubmitTickFeedPath);

// Screen path (no feed): the remaining time from the PC clock, the rise rules up to their box,
// then chain 56 walked to rule 56n (2nd), which has no letter for this console, and the
// last-chance rule 56k with its priceFirstSeen lookup, which finds no match.
void BM_SubmitTickScreenPathWithLookup(benchmark::State& state) {
    Rig rig;
    auto& s = rig.console.state;
    s.systime_screentime = 0;
    s.swbidmode = 2;
    rig.engine->records.feedLowestPrice = kLow55 + 100;
    s.lowestPrice = kLow55;
    rig.Bid(kLow55 + 300);
    for (auto _ : state) rig.engine->SubmitTick(rig.console);
    if (s.remainingSeconds.load() != 4 || !rig.StillArmed()) state.SkipWithError("the tick did not stand still");
}
BENCHMARK(BM_SubmitTickScreenPathWithLookup);

}  // namespace
}  // namespace kestrava::engine
