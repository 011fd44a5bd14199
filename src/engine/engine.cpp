// The engine's place in the console: its hooks, the day's reset of its records, and the small
// helpers every role of the engine uses.
#include "engine/engine.h"

#include <cctype>
#include <cstdio>

#include "log/log_book.h"

namespace kestrava::engine {

Engine::Engine(EngineOptions options) : options_(std::move(options)) {}

void Engine::Attach(const std::shared_ptr<Engine>& engine, console::ConsoleHooks& hooks) {
    using console::CKestravaDlg;
    hooks.submitTick = [engine](CKestravaDlg& c) { engine->SubmitTick(c); };
    hooks.clearDisplayFlags = [engine](CKestravaDlg& c) { engine->ClearDisplayFlags(c); };
    hooks.clearRunRecords = [engine](CKestravaDlg& c) { engine->ClearRunRecords(c); };
    hooks.pageReport = [engine](CKestravaDlg& c, std::uint32_t w, std::int32_t l) { engine->OnPageReport(c, w, l); };
    hooks.serverReport = [engine](CKestravaDlg& c, std::uint32_t w, std::int32_t l) {
        engine->OnServerPriceReport(c, w, l);
    };
    hooks.showHint = [engine](CKestravaDlg& c, int n) { engine->ShowHint(c, n); };
    // A confirmation the gone shell acknowledged will not be clicked by it: ConfirmBid clicks itself.
    hooks.pageShellLost = [engine](CKestravaDlg& c) { engine->AbandonScheduledConfirm(c, "页面外壳退出"); };
    hooks.scheduleAnswer = [engine](CKestravaDlg& c, std::uint32_t token, std::int32_t answer) {
        engine->OnScheduleAnswer(c, token, answer);
    };
    hooks.codeDialog = [engine](CKestravaDlg& c, std::uint32_t price, std::int32_t state) {
        engine->OnCodeDialogReport(c, price, state);
    };
    // Other boxes belong to the strategy controls, which may have claimed the hook already.
    hooks.controlClicked = [engine, next = hooks.controlClicked](CKestravaDlg& c, int id) {
        if (id == box::ForcedByTime || id == box::ForcedByRise) engine->OnForcedBoxClicked(c, id);
        if (next) next(c, id);
    };
}

void Engine::ClearDisplayFlags(console::CKestravaDlg& c) { Fire(c, SubmissionInput::DayReset); }

void Engine::ClearRunRecords(console::CKestravaDlg& c) {
    EngineState& e = records;
    const std::uint32_t now = Now(c);

    e.feedLowestPrice = 0;
    e.feedFresh = 0;
    e.feedStaleTicks = 0;
    e.pageClock = c.platform.clock.EpochMillis() / 1000;
    e.lastPageClock = e.pageClock.load();
    e.pageClockFraction = 0;
    e.lastFeedCode = 0;
    e.priceFirstSeen.With([](auto& m) { m.clear(); });

    e.lastPageClockTick = now;
    e.pageReportEveryMs = 1000;
    e.pageReportsSeen = 0;
    e.pageClockQuiet = 0;
    e.pageFedPrice = 0;
    e.pageNewestCode = 0;
    e.lastPageReportTick = now;
    e.pageReportsTaken = 0;

    Fire(c, SubmissionInput::DayReset);
    // No schedule of the old run may stand for a bid of the new one.
    ConfirmSchedule(c).Forget();
    e.rise1Submission = 0;
    e.rise2Submission = 0;
    e.rise1Delay = 0;
    e.rise2Delay = 0;
    e.rise1StartTick = 0;
    e.rise2StartTick = 0;
    for (int i = 0; i < kRiseSeconds; ++i) {
        e.riseDelay1[i] = kRiseDelay1Start[i];
        e.riseDelay2[i] = kRiseDelay2Start[i];
        char text[16];
        std::snprintf(text, sizeof text, "0.%d", kRiseDelay1Start[i]);
        c.controls.SetText(box::RiseDelay1Label55 + i, text);
        std::snprintf(text, sizeof text, "延0.%d", kRiseDelay2Start[i]);
        c.controls.SetText(box::RiseDelay2Label55 + i, text);
    }
    e.lastF3Tick = now;

    e.cloudSubmission = 0;
    e.cloudDelay = 0;
    e.cloudStartTick = 0;
    e.cloudDone = 0;

    e.lastTickSecond = 0;
    e.gearIndex = 0;
    e.gearSeconds = 0;
    e.previousGearSeconds = 0;
    for (auto& low : e.lowAt) low = 0;
    e.lowAt[43] = 200;

    for (std::atomic<int>* flag :
         {&e.remedyChecked, &e.remedyFired, &e.antiFlukeFired, &e.forcedSubmitDone, &e.riseSubmitDone,
          &e.forcedLogged, &e.riseLogged, &e.riseLead, &e.lowAt55Fed, &e.forced58Scheduled, &e.secondPrepDone,
          &e.thirdPrepDone, &e.analysisPrep36Done,
          &e.analysisPrep8Done, &e.secondBidDone, &e.thirdBidDone, &e.analysisSecondDone, &e.analysisThirdDone})
        *flag = 0;
    e.forcedStartTick = 0;
}

// ---- Helpers

std::uint32_t Engine::Now(console::CKestravaDlg& c) const { return c.platform.clock.TickCount(); }

bool Engine::Ticked(console::CKestravaDlg& c, int id) const { return c.controls.IsChecked(id); }

void Engine::Log(console::CKestravaDlg& c, std::string_view text) const { c.WriteLogLine(text); }

void Engine::PlaySound(console::CKestravaDlg& c, int prompt) const {
    // Voice prompts belong to practice runs only.
    if (c.IsSimulation() && Ticked(c, box::Voice)) c.platform.sound.Play(prompt);
}

void Engine::RefreshControls(console::CKestravaDlg& c) const {
    if (const auto& refresh = c.hooks().refreshControls) refresh(c);
}

int LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 2147483647LL) return 0;  // not a price; treat like no number at all
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace kestrava::engine
