#include "strategy/parameter_controls.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "strategy/policy_files.h"
#include "strategy/strategy_values.h"

namespace kestrava::strategy {

namespace {

using console::CKestravaDlg;
using console::SpinArrow;
using engine::Engine;
using Field = std::atomic<int> StrategyValues::*;

// The second bid comes at least this many seconds before the third, where the spins can keep it so.
constexpr int kBidDistance = 7;

// For arrows without a bound; a value read from a file may sit at the very end of the range.
constexpr int kUnbounded = std::numeric_limits<int>::max();

// Adds `delta` unless that would leave the range of int.
void Nudge(std::atomic<int>& value, int delta) {
    const long long next = static_cast<long long>(value.load()) + delta;
    if (next >= std::numeric_limits<int>::min() && next <= std::numeric_limits<int>::max())
        value = static_cast<int>(next);
}

// One arrow of a spin: moves the value by `delta` only while it is strictly short of `limit`
// (below it for a rise, above it for a fall), or runs `rule` instead.
struct Arrow {
    int delta;
    int limit;
    void (*rule)(Engine&) = nullptr;
};

void Move(std::atomic<int>& value, const Arrow& a) {
    const int v = value.load();
    if (a.delta > 0 ? v < a.limit : v > a.limit) Nudge(value, a.delta);
}

// Down arrow of 1048: the second bid moves later; once it would come within kBidDistance of the
// third, the third moves later with it, as long as it can.
void SecondBidRule(Engine& e) {
    StrategyValues& v = e.strategy;
    if (static_cast<long long>(v.SecondBidTime.load()) > static_cast<long long>(v.ThirdBidTime.load()) + kBidDistance) {
        Nudge(v.SecondBidTime, -1);
    } else if (v.ThirdBidTime.load() > 0) {
        Nudge(v.SecondBidTime, -1);
        Nudge(v.ThirdBidTime, -1);
        e.records.thirdBidDone = 0;
    }
}

// Up arrow of 1122: the third bid moves earlier and pushes the second ahead of it when they are
// kBidDistance or less apart.
void ThirdBidRule(Engine& e) {
    StrategyValues& v = e.strategy;
    const long long apart = static_cast<long long>(v.SecondBidTime.load()) - v.ThirdBidTime.load();
    Nudge(v.ThirdBidTime, +1);
    if (apart <= kBidDistance) {
        Nudge(v.SecondBidTime, +1);
        e.records.secondBidDone = 0;
    }
}

// What a spin does besides its own value (the clock labels and the edits are always refreshed).
enum After : unsigned {
    kValueOnly = 0,
    kRemedy = 1,        // ApplyRemedyRule
    kSecondMoment = 2,  // the second bid is prepared again, and applied again unless it is due now
    kThirdMoment = 4,   // the same for the third bid
};

// What each arrow of a spin does to its value.
struct ValueSpin {
    int spin;
    Field field;
    Arrow up;
    Arrow down;
    unsigned after = kValueOnly;
};

const ValueSpin kValueSpins[] = {
    {1048, &StrategyValues::SecondBidTime, {+1, kUnbounded}, {0, 0, SecondBidRule}, kSecondMoment | kRemedy},
    {1122, &StrategyValues::ThirdBidTime, {0, 0, ThirdBidRule}, {-1, 0}, kThirdMoment | kRemedy},
    {1096, &StrategyValues::SecondPlus, {+100, 3500}, {-100, 300}},
    {1123, &StrategyValues::ThirdBidPricePlus, {+100, 3500}, {-100, 300}},
    {1174, &StrategyValues::pricelimitStartTime, {+1, 60}, {-1, 0}},
    {1149, &StrategyValues::ctrlXpricelimit, {+100, 800}, {-100, 300}},
    {1172, &StrategyValues::DelayBidTime, {+100, 3500}, {-100, 0}},
    // Label 1169 shows the forced moment as a clock time, so the up arrow moves it later.
    {1170, &StrategyValues::mandatory_bid, {-100, 0}, {+100, 13000}},
    {1091, &StrategyValues::DisconSecBid, {+100, 3500}, {-100, 300}},
    {1121, &StrategyValues::WarningPrice, {+100, kUnbounded}, {-100, 0}},
    {1191, &StrategyValues::bamiao_time, {+1, 9}, {-1, 5}, kRemedy},
    {1184, &StrategyValues::bamiao_margin1, {+100, 2000}, {-100, 0}},
    {1185, &StrategyValues::bamiao_plus1, {+100, 2000}, {-100, 300}},
    {1186, &StrategyValues::bamiao_margin2, {+100, 2000}, {-100, 0}},
    {1187, &StrategyValues::bamiao_plus2, {+100, 2000}, {-100, 0}},
    {1085, &StrategyValues::SmartBidTime1, {+100, 900}, {-100, 0}},
    {1086, &StrategyValues::SmartBidTime2, {+100, 900}, {-100, 0}},
    {1087, &StrategyValues::SmartBidTime3, {+100, 900}, {-100, 0}},
    {1207, &StrategyValues::SmartBidTime4, {+100, 900}, {-100, 0}},
};

// The rise rules' delays in tenths of a second, shown in statics rather than edits.
using RiseTable = std::array<std::atomic<int>, engine::kRiseSeconds> engine::EngineState::*;
struct RiseDelaySpin {
    int spin;
    RiseTable table;
    int index;  // page second 55 + index
    int label;
    const char* format;
};
struct RiseDelayArrows {
    Arrow up{+1, 9};
    Arrow down{-1, 0};
};
constexpr RiseDelayArrows kRiseDelayArrows;

const RiseDelaySpin kRiseDelaySpins[] = {
    {1216, &engine::EngineState::riseDelay1, 0, 1212, "0.%d"},
    {1217, &engine::EngineState::riseDelay1, 1, 1213, "0.%d"},
    {1218, &engine::EngineState::riseDelay1, 2, 1214, "0.%d"},
    {1219, &engine::EngineState::riseDelay1, 3, 1215, "0.%d"},
    {1081, &engine::EngineState::riseDelay2, 0, 1208, "延0.%d"},
    {1220, &engine::EngineState::riseDelay2, 1, 1209, "延0.%d"},
    {1221, &engine::EngineState::riseDelay2, 2, 1210, "延0.%d"},
    {1222, &engine::EngineState::riseDelay2, 3, 1211, "延0.%d"},
};

// Spins beside the calibration previews: they only refresh the edits.
constexpr int kRefreshOnlySpins[] = {1139, 1140, 1145, 1146, 1153, 1154};

// The edits and the values they show.
struct EditBinding {
    int edit;
    Field field;
};
const EditBinding kEdits[] = {
    {1180, &StrategyValues::bamiao_margin1},   {1181, &StrategyValues::bamiao_plus1},
    {1182, &StrategyValues::bamiao_margin2},   {1183, &StrategyValues::bamiao_plus2},
    {1192, &StrategyValues::bamiao_time},      {1173, &StrategyValues::pricelimitStartTime},
    {1148, &StrategyValues::ctrlXpricelimit},  {1119, &StrategyValues::WarningPrice},
    {1025, &StrategyValues::SecondBidTime},    {1095, &StrategyValues::SecondPlus},
    {1133, &StrategyValues::ThirdBidPricePlus}, {1015, &StrategyValues::SecondDirectPrice},
    {1120, &StrategyValues::ThirdBidTime},     {1019, &StrategyValues::ThirdPlus},
    {1020, &StrategyValues::ThirdDirectPrice}, {1022, &StrategyValues::LastTime},
    {1023, &StrategyValues::LastPriceGap},     {1024, &StrategyValues::LastPlus},
    {1003, &StrategyValues::DisconSecCode},    {1090, &StrategyValues::DisconSecBid},
    {1063, &StrategyValues::DisconEndTime},    {1074, &StrategyValues::SmartBidTime1},
    {1075, &StrategyValues::SmartBidTime2},    {1076, &StrategyValues::SmartBidTime3},
    {1202, &StrategyValues::SmartBidTime4},    {1107, &StrategyValues::SmartBidTime5},
    {1109, &StrategyValues::SmartBidPlus5},    {1168, &StrategyValues::mandatory_bid},
};

// Controls the smart analysis takes over (besides the bid boxes, the remedy and the gear fill).
constexpr int kAnalysisDisables[] = {ctl::SecondBidEdit,   ctl::ThirdBidEdit,      ctl::SecondBidSpin,
                                     ctl::ThirdBidSpin,    ctl::SecondBidCaption,  ctl::ThirdBidCaption};

// A changed bid moment is prepared again, and applied again unless it is due within a second.
void FreeMoment(const CKestravaDlg& c, std::atomic<int>& moment, std::atomic<int>& prepDone, std::atomic<int>& bidDone) {
    prepDone = 0;
    if (std::llabs(static_cast<long long>(moment.load()) - c.state.remainingSeconds.load()) > 1) bidDone = 0;
}

// The move of an upright spin's arrow; null for a sideways arrow, which such a spin does not have.
template <class Arrows>
const Arrow* Pick(const Arrows& arrows, SpinArrow arrow) {
    switch (arrow) {
        case SpinArrow::Up: return &arrows.up;
        case SpinArrow::Down: return &arrows.down;
        case SpinArrow::Left:
        case SpinArrow::Right: return nullptr;
    }
    return nullptr;
}

void RunAfter(CKestravaDlg& c, Engine& e, unsigned after) {
    engine::EngineState& r = e.records;
    if (after & kSecondMoment) FreeMoment(c, e.strategy.SecondBidTime, r.secondPrepDone, r.secondBidDone);
    if (after & kThirdMoment) FreeMoment(c, e.strategy.ThirdBidTime, r.thirdPrepDone, r.thirdBidDone);
    if (after & kRemedy) ApplyRemedyRule(c, e);
    RefreshStrategyLabels(c, e);
}

}  // namespace

void ApplyRemedyRule(CKestravaDlg& c, const Engine& e) {
    const StrategyValues& v = e.strategy;
    const bool inTime =
        static_cast<long long>(v.ThirdBidTime.load()) - v.bamiao_time.load() >= kRemedyDistance;
    // The analysis chooses the bid moments itself; a remedy tied to them must not run beside it.
    const bool allowed = inTime && !c.controls.IsChecked(ctl::Analysis);
    if (!allowed) c.controls.SetCheck(ctl::Remedy, 0);
    c.controls.Enable(ctl::Remedy, allowed);
    c.controls.Enable(ctl::RemedyTimeEdit, inTime);
}

void ApplySmartAnalysisRule(CKestravaDlg& c, const Engine& e) {
    const bool analysis = c.controls.IsChecked(ctl::Analysis);
    if (analysis) {
        if (const auto& showHint = c.hooks().showHint) showHint(c, kAnalysisHint);
    }
    for (int id : {ctl::SecondBid, ctl::ThirdBid}) {
        c.controls.SetCheck(id, analysis ? 0 : 1);
        c.controls.Enable(id, !analysis);
    }
    for (int id : kAnalysisDisables) c.controls.Enable(id, !analysis);
    if (analysis) c.controls.SetCheck(ctl::ThirdGearFill, 0);
    c.controls.Enable(ctl::ThirdGearFill, !analysis);
    ApplyRemedyRule(c, e);
}

void RefreshStrategyLabels(CKestravaDlg& c, const Engine& e) {
    const StrategyValues& v = e.strategy;
    c.controls.SetText(ctl::SecondBidClock, ReferenceClockLabel(v.SecondBidTime.load()));
    c.controls.SetText(ctl::ThirdBidClock, ReferenceClockLabel(v.ThirdBidTime.load()));
    c.controls.SetText(ctl::ForcedClock, MandatoryBidLabel(v.mandatory_bid.load()));
}

void PushFieldsToControls(CKestravaDlg& c, const Engine& e) {
    const StrategyValues& v = e.strategy;
    for (const EditBinding& b : kEdits) c.controls.SetText(b.edit, std::to_string((v.*b.field).load()));
    // As a float edit shows it: 0.1 reads "0.1", 3.5 reads "3.5", 0 reads "0".
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(v.DelayBidSeconds()));
    c.controls.SetText(ctl::DelayEdit, seconds);
}

bool OnStrategySpin(CKestravaDlg& c, Engine& e, int id, SpinArrow arrow) {
    for (const ValueSpin& row : kValueSpins) {
        if (row.spin != id) continue;
        if (const Arrow* move = Pick(row, arrow)) {
            if (move->rule) {
                move->rule(e);
            } else {
                Move(e.strategy.*row.field, *move);
            }
        }
        RunAfter(c, e, row.after);
        PushFieldsToControls(c, e);
        return true;
    }
    for (const RiseDelaySpin& row : kRiseDelaySpins) {
        if (row.spin != id) continue;
        std::atomic<int>& delay = (e.records.*row.table)[row.index];
        if (const Arrow* move = Pick(kRiseDelayArrows, arrow)) Move(delay, *move);
        char text[32];
        std::snprintf(text, sizeof text, row.format, delay.load());
        c.controls.SetText(row.label, text);
        PushFieldsToControls(c, e);
        return true;
    }
    for (int spin : kRefreshOnlySpins) {
        if (spin != id) continue;
        PushFieldsToControls(c, e);
        return true;
    }
    return false;
}

bool OnStrategyClick(CKestravaDlg& c, Engine& e, int id) {
    switch (id) {
        case ctl::SecondBid:
        case ctl::ThirdBid:
            // A bid moment set by hand ends the analysis's say over it.
            c.controls.SetCheck(ctl::Analysis, 0);
            return true;
        case ctl::Analysis:
            ApplySmartAnalysisRule(c, e);
            return true;
        case ctl::ManualCalibrate:
            // Teaching the program the page in front of the bidder: the page shell's learning view.
            c.WriteLogLine("鼠标点击_人工校正");
            if (!c.shell.StartLearning(c.IsSimulation())) c.WriteLogLine("页面学习未能启动");
            return true;
        case ctl::Combo:
            ApplyComboSelection(c, e);
            return true;
        case ctl::ImportSlot3:
            ImportStrategy(c, e, 3, RiseRows::Keep);
            return true;
        case ctl::ImportSlot4:
            ImportStrategy(c, e, 4, RiseRows::Keep);
            return true;
        case ctl::Update:
            UpdateStrategies(c, e);
            return true;
        default:
            return false;
    }
}

void AttachStrategy(const std::shared_ptr<Engine>& engine, console::ConsoleHooks& hooks) {
    using console::CKestravaDlg;
    hooks.applyStrategySelection = [engine](CKestravaDlg& c, int index) { StartStrategy(c, *engine, index); };
    hooks.saveStrategy = [engine](CKestravaDlg& c) { SaveStrategy(c, *engine); };
    hooks.setSimulationWarningPrice = [engine](CKestravaDlg&) { engine->strategy.WarningPrice = 100; };
    hooks.resetSmartBidTimes = [engine](CKestravaDlg&) {
        StrategyValues& v = engine->strategy;
        v.SmartBidTime1 = 600;
        v.SmartBidTime2 = 600;
        v.SmartBidTime3 = 600;
        v.SmartBidTime4 = 900;
    };
    // The engine moves bid moments on its own (the analysis, the remedy), so the clock labels are
    // brought along with the edits.
    hooks.refreshControls = [engine, next = hooks.refreshControls](CKestravaDlg& c) {
        PushFieldsToControls(c, *engine);
        RefreshStrategyLabels(c, *engine);
        if (next) next(c);
    };
    hooks.controlClicked = [engine, next = hooks.controlClicked](CKestravaDlg& c, int id) {
        if (!OnStrategyClick(c, *engine, id) && next) next(c, id);
    };
    hooks.spinMoved = [engine, next = hooks.spinMoved](CKestravaDlg& c, int id, console::SpinArrow arrow) {
        if (!OnStrategySpin(c, *engine, id, arrow) && next) next(c, id, arrow);
    };
}

}  // namespace kestrava::strategy
