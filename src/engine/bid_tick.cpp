// The bid tick: the engine's decision routine of the revision phase, run by the scan tick about
// ten times a second. In order: the lowest price, the armed submission's check, once per second
// the gear ladder and the second lows, the two remedies that withdraw an over-high application,
// and, while no submission is armed, the page clearing and the scheduled and analysis
// applications. The two forced submissions are defined here but run by the submit tick.
//
// Times are remaining seconds r; a second low lowAt[NN] is the lowest price at page second NN,
// that is when 60 − NN seconds remained.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "engine/engine.h"
#include "log/log_book.h"
#include "platform/keys.h"

namespace kestrava::engine {

namespace {

constexpr int kTopGearIndex = console::ConsoleState::kLadderLevels - 2;  // its upper neighbour is the last level
constexpr std::uint32_t kCancelWaitMs = 100;  // lets the page close the code dialog before a new application

std::string Num(int value) { return std::to_string(value); }

std::string SecondLowLine(int pageSecond, int price) {
    return Num(pageSecond) + "秒最低成交价：" + Num(price);
}

// Amounts chosen by a digit of the clock at start or login: consoles started at different
// moments bid different amounts. kOther catches every value no earlier group took, −1 included.
struct DigitGroup {
    int from, to;  // inclusive
    int amount;
    std::string_view label;
};
constexpr DigitGroup kOther{INT_MIN, INT_MAX, 0, {}};

template <std::size_t N>
const DigitGroup* GroupOf(const std::array<DigitGroup, N>& groups, int digit) {
    for (const DigitGroup& g : groups)
        if (g.amount != 0 && digit >= g.from && digit <= g.to) return &g;
    return nullptr;
}

// ---- Seven-second remedy

struct RemedyCase {
    int number;
    bool (*holds)(const strategy::StrategyValues&, int gap, int r);
    std::atomic<int> strategy::StrategyValues::*enforce;
    std::atomic<int> strategy::StrategyValues::*plus;
    bool resetsSubmissionLimits;  // ctrlXpricelimit back to 300, no delay
};

constexpr RemedyCase kRemedyCases[] = {
    {1, [](const strategy::StrategyValues& v, int gap, int) { return gap >= v.bamiao_margin1.load(); },
     &strategy::StrategyValues::bamiao_enforce1, &strategy::StrategyValues::bamiao_plus1, true},
    {2,
     [](const strategy::StrategyValues& v, int gap, int r) {
         const int margin = v.bamiao_margin2.load();
         return gap >= 400 && gap <= margin && margin >= 400 && r == v.bamiao_time.load();
     },
     &strategy::StrategyValues::bamiao_enforce2, &strategy::StrategyValues::bamiao_plus2, false},
};

// ---- Anti-fluke check

struct FlukeInput {
    int gap;
    int price;
    int thirdBidTime;
    int gearSeconds;
    const EngineState& e;
    int Low(int second) const { return e.lowAt[second].load(); }
};

struct FlukeRow {
    int r;
    bool (*holds)(const FlukeInput&);
    std::string_view debugLine;  // printed to the debug console; empty for none
    int newThirdBidTime;         // 0 keeps it
    std::array<DigitGroup, 3> amounts;
};

// Each row finds a lowest price that has not moved since an earlier second while the applied
// price stands 900 or more above it, and applies a smaller amount instead.
const FlukeRow kFlukeRows[] = {
    {9, [](const FlukeInput& in) { return in.gap >= 900 && in.price == in.Low(43) && in.thirdBidTime >= 15; },
     "防幺蛾子功能 9秒检查 15秒\n", 9,
     {{{0, 2, 400, "防幺蛾子915A"}, {3, 6, 500, "防幺蛾子915B"}, {kOther.from, kOther.to, 600, "防幺蛾子915C"}}}},
    {8, [](const FlukeInput& in) { return in.gap >= 900 && in.price == in.Low(43) && in.thirdBidTime >= 14; },
     "防幺蛾子功能 8秒检查 14秒\n", 8,
     {{{0, 2, 300, "防幺蛾子814A"}, {3, 6, 400, "防幺蛾子814B"}, {7, 9, 500, "防幺蛾子814C"}}}},
    {8,
     [](const FlukeInput& in) {
         return in.gap >= 900 && in.price != in.Low(43) && in.price == in.Low(46) && in.thirdBidTime >= 14;
     },
     "防幺蛾子功能 8秒检查 14秒\n", 8,
     {{{0, 2, 400, "防幺蛾子814A."}, {3, 6, 500, "防幺蛾子814B."}, {7, 9, 600, "防幺蛾子814C."}}}},
    {7, [](const FlukeInput& in) { return in.gap >= 900 && in.price == in.Low(47) && in.thirdBidTime >= 13; }, "", 0,
     {{{0, 2, 400, "防幺蛾子功能预测 7>-13A"},
       {3, 6, 500, "防幺蛾子功能预测 7>-13B"},
       {kOther.from, kOther.to, 600, "防幺蛾子功能预测 7>-13C"}}}},
    {7,
     [](const FlukeInput& in) {
         return in.gap >= 900 && in.price != in.Low(47) && in.gearSeconds >= 8 && in.price == in.Low(50) &&
                in.thirdBidTime >= 13;
     },
     "", 0,
     {{{0, 2, 400, "防幺蛾子功能预测 7dw>-13A"},
       {3, 6, 500, "防幺蛾子功能预测 7dw>-13B"},
       {kOther.from, kOther.to, 600, "防幺蛾子功能预测 7dw>-13C"}}}},
};

// ---- Rise-based forced submission: how long before the end to confirm, by the rise of the
// lowest price between page seconds 50 and 55.

struct RiseLeadRow {
    int minRise, maxRise;
    std::atomic<int> console::ConsoleState::*lead;
};
constexpr RiseLeadRow kRiseLeads[] = {
    {300, INT_MAX, &console::ConsoleState::zhangfu300},
    {200, 200, &console::ConsoleState::zhangfu200},
    {100, 100, &console::ConsoleState::zhangfu100},
    {0, 0, &console::ConsoleState::zhangfu000},
};

// ---- Page clearing before the applications

// An application can only be made while the auction runs: a moment of 0 remaining seconds (the
// default of the bid moments) or less names the end or later, so it schedules nothing.
constexpr bool BeforeTheEnd(int remainingSeconds) { return remainingSeconds > 0; }

struct ClearingRow {
    int box;
    int (*moment)(const strategy::StrategyValues&);  // of the application the clearing prepares
    int fromAfter, toAfter;                          // cleared while moment + fromAfter ≤ r ≤ moment + toAfter
    std::atomic<int> EngineState::*done;
};
const ClearingRow kClearingRows[] = {
    {box::SecondBid, [](const strategy::StrategyValues& v) { return v.SecondBidTime.load(); }, 1, 1,
     &EngineState::secondPrepDone},
    {box::ThirdBid, [](const strategy::StrategyValues& v) { return v.ThirdBidTime.load(); }, 1, 2,
     &EngineState::thirdPrepDone},
    {box::Analysis, [](const strategy::StrategyValues&) { return 35; }, 1, 2, &EngineState::analysisPrep36Done},
    {box::Analysis, [](const strategy::StrategyValues&) { return 8; }, 0, 1, &EngineState::analysisPrep8Done},
};

// ---- The scheduled second and third bids

struct ScheduledBid {
    int box;
    std::atomic<int> strategy::StrategyValues::*time;  // seconds before the end
    int windowSeconds;                                  // how long after `time` it may still start
    std::atomic<int> EngineState::*done;
    std::string_view logText;
    int plusLowestBox;  // "最低成交价 +": the only price choice that applies
    std::atomic<int> strategy::StrategyValues::*plus;
    bool countdownAfterSecond;
};
constexpr ScheduledBid kScheduledBids[] = {
    {box::SecondBid, &strategy::StrategyValues::SecondBidTime, 4, &EngineState::secondBidDone, "第二次申请价格",
     box::SecondPlusLowest, &strategy::StrategyValues::SecondPlus, false},
    {box::ThirdBid, &strategy::StrategyValues::ThirdBidTime, 5, &EngineState::thirdBidDone, "第三次申请价格",
     box::ThirdPlusLowest, &strategy::StrategyValues::ThirdBidPricePlus, true},
};

// ---- Analysis bids, amounts by the login second

// Their windows in remaining seconds, inclusive.
constexpr int kAnalysisSecondFrom = 30, kAnalysisSecondTo = 35;
constexpr int kTrendFrom = 2, kTrendTo = 8;

constexpr std::array<DigitGroup, 4> kAnalysisSecondAmounts{{
    {0, 14, 1200, "自动分析后申请加价1200"},
    {15, 29, 1300, "自动分析后申请加价1300"},
    {30, 44, 1500, "自动分析后申请加价1500"},
    {45, 59, 1600, "自动分析后申请加价1600"},
}};

// The trend bid: A is the rise since page second 00, B the rise over the last two seconds.
struct TrendRow {
    int maxA, minAExclusive;  // A ≤ maxA and A > minAExclusive
    int minB, maxB;
    std::array<DigitGroup, 3> amounts;
};
constexpr TrendRow kTrendRows[] = {
    {900, INT_MIN, 300, INT_MAX, {{{0, 19, 1000, {}}, {20, 39, 1200, {}}, {40, 59, 1300, {}}}}},
    {900, INT_MIN, 200, 299, {{{0, 19, 900, {}}, {20, 39, 1100, {}}, {40, 59, 1200, {}}}}},
    {900, INT_MIN, 101, 199, {{{0, 29, 500, {}}, {30, 59, 700, {}}, {}}}},
    {900, INT_MIN, INT_MIN, 100, {{{0, 19, 500, {}}, {20, 39, 700, {}}, {40, 59, 800, {}}}}},
    {INT_MAX, 900, 200, INT_MAX, {{{0, 19, 900, {}}, {20, 39, 1000, {}}, {40, 59, 1200, {}}}}},
    {INT_MAX, 900, INT_MIN, 199, {{{0, 29, 500, {}}, {30, 59, 700, {}}, {}}}},
};

}  // namespace

// ---- The tick

void Engine::BidTick(console::CKestravaDlg& c) {
    auto& s = c.state;
    EngineState& e = records;
    if (options_.readLowestPrice) options_.readLowestPrice(c);
    if (e.submission.Armed()) SmartSubmitCheck(c);

    const int r = s.remainingSeconds.load();
    if (r != e.lastTickSecond.load()) PerSecondPass(c, r);
    SevenSecondRemedy(c, r);
    AntiFlukeCheck(c, r);
    // The forced submissions count down on the submit tick alone (SubmitTick).
    if (s.auctionPhase.load() < 3) return;
    // While the bidder's code waits for its confirmation the page is left alone: a clearing's
    // Escape would cancel the code dialog, and a new application would replace the bid.
    if (e.submission.Armed() && !ThirdBidReplacesArmed(c, r)) {
        GiveUpMomentsWhileArmed(c, r);
        return;
    }
    ClearPageBeforeBids(c, r);
    if (ScheduledBids(c, r)) return;
    AnalysisBids(c, r);
}

// ---- Per-second pass

void Engine::PerSecondPass(console::CKestravaDlg& c, int r) {
    auto& s = c.state;
    EngineState& e = records;
    const int p = s.lowestPrice.load();

    // Gear step: the index moves by at most one gear per second, however far the price jumped.
    const int index = std::clamp(e.gearIndex.load(), 0, kTopGearIndex);
    e.gearIndex = index;
    const int lower = s.priceLadder[index].load();
    const int upper = s.priceLadder[index + 1].load();
    if (p > lower && p < upper) {
        ++e.gearSeconds;
    } else if (p >= upper) {
        e.previousGearSeconds = e.gearSeconds.load();
        e.gearSeconds = p == upper ? 0 : 1;
        e.gearIndex = index + 1;
    }

    if (r > 0) Log(c, "目前最低成交价：" + s.lowestText.Get() + " ,剩余时间" + Num(r) + ".");
    const int lastPass = e.lastTickSecond.exchange(r);
    if (s.debg.load() == 99) {
        char line[128];
        std::snprintf(line, sizeof line, "本次档位计数：%d  ，前一次档位计数：%d  \n", e.gearSeconds.load(),
                      e.previousGearSeconds.load());
        Log(c, line);
    }

    // Second lows.
    if (r == 15) {
        e.lowAt[45] = p;
        Log(c, SecondLowLine(45, p));
    }
    if (r == 14 && e.lowAt[45].load() == 0) {
        // Started too late for second 45: the first low seen stands in for it.
        e.lowAt[45] = p;
        Log(c, SecondLowLine(46, p));
    }
    if (r == 2) {
        e.lowAt[58] = p;
        Log(c, SecondLowLine(58, p));
    }
    if (r == 60) e.lowAt[0] = p;
    if (r == 55) e.lowAt[5] = p;
    if (r == 17) e.lowAt[43] = p;
    if (r >= 3 && r <= 14) {
        const int nn = 60 - r;
        // The low of 55 may have come from the feed already, and the rise-based lead is chosen by it.
        if (nn != 55 || e.lowAt55Fed.load() != 1) e.lowAt[nn] = p;
        Log(c, SecondLowLine(nn, e.lowAt[nn].load()));
        // A second the pass missed (the scan thread was held by an application) takes this
        // second's low: from 48 on always, 46 and 47 only as the second just before and only
        // when this console was already watching then, so a late start leaves them unknown.
        const int from = nn - 1 >= 48 ? 48 : (lastPass > r ? nn - 1 : nn);
        for (int earlier = from; r <= 13 && earlier <= nn - 1; ++earlier)
            if (e.lowAt[earlier].load() == 0) e.lowAt[earlier] = p;
    }
}

// ---- Seven-second remedy

void Engine::SevenSecondRemedy(console::CKestravaDlg& c, int r) {
    auto& s = c.state;
    EngineState& e = records;
    if (!Ticked(c, box::Remedy) || e.antiFlukeFired.load() != 0 || e.remedyChecked.load() != 0 ||
        r > strategy.bamiao_time.load())
        return;
    e.remedyChecked = 1;
    const int gap = e.submission.Price() - s.lowestPrice.load();
    for (const RemedyCase& rc : kRemedyCases) {
        if (!rc.holds(strategy, gap, r)) continue;
        ShowHint(c, 4);
        c.controls.SetCheck(box::RebidChoice, 0);
        const bool forced = Ticked(c, box::ForcedByTime);
        if (forced) {
            strategy.mandatory_bid = (strategy.*rc.enforce).load();
            c.controls.SetText(box::ForcedTimeLabel, strategy::MandatoryBidLabel(strategy.mandatory_bid.load()));
        }
        if (rc.resetsSubmissionLimits) {
            strategy.ctrlXpricelimit = 300;
            strategy.DelayBidTime = 0;
        }
        if (rc.resetsSubmissionLimits || forced) RefreshControls(c);

        const int withdrawn = Fire(c, SubmissionInput::Cancel).previousPrice;
        c.shell.CancelCodeDialog();
        Log(c, "检查是否有页面干扰申请价格 ");
        c.platform.clock.SleepMs(kCancelWaitMs);

        const std::string n = Num(rc.number);
        c.SetInfoBody("7秒补救功能开启" + n);
        ApplyBid(c, (strategy.*rc.plus).load());
        Log(c, "7秒补救开启" + n + "，被撤销的价格：" + Num(withdrawn));
        e.remedyFired = 1;
        c.controls.SetCheck(box::AntiFluke, 0);
        return;
    }
}

// ---- Anti-fluke check

void Engine::AntiFlukeCheck(console::CKestravaDlg& c, int r) {
    auto& s = c.state;
    EngineState& e = records;
    if (!Ticked(c, box::AntiFluke) || e.remedyFired.load() != 0 || e.antiFlukeFired.load() != 0) return;
    const FlukeInput in{e.submission.Price() - s.lowestPrice.load(), s.lowestPrice.load(),
                        strategy.ThirdBidTime.load(), e.gearSeconds.load(), e};
    for (const FlukeRow& row : kFlukeRows) {
        if (row.r != r || !row.holds(in)) continue;
        if (!row.debugLine.empty()) log::DebugPrint(row.debugLine);
        HandleKey(c, platform::vk::Escape);
        c.platform.clock.SleepMs(kCancelWaitMs);
        if (row.newThirdBidTime != 0) strategy.ThirdBidTime = row.newThirdBidTime;
        if (const DigitGroup* g = GroupOf(row.amounts, s.startSecondDigit.load())) {
            strategy.ThirdBidPricePlus = g->amount;
            ApplyRebid(c, g->amount);
            Log(c, g->label);
        }
        e.antiFlukeFired = 1;
        RefreshControls(c);
        return;
    }
}

// ---- Forced submissions

Engine::ForcedTime Engine::ForcedRemainingTime(console::CKestravaDlg& c) {
    auto& s = c.state;
    const int r = s.remainingSeconds.load();
    if (!Ticked(c, box::PcClock) || s.moniornot.load() != 0) return {r, false};
    // The PC clock may run ahead of the page's; the earlier of the two ends wins.
    const std::int64_t pc = s.auctionEnd.load() - c.platform.clock.EpochMillis() / 1000;
    return pc >= 0 && pc < r ? ForcedTime{static_cast<int>(pc), true} : ForcedTime{r, false};
}

namespace {

enum class Due { NotYet, AfterCountdown, AtOnce };

// With the gap above DisconSecBid the forced submission confirms when this many seconds remain.
constexpr int kForced58Seconds = 2;

// A countdown whose start was noticed this long after the fact fires at once anyway.
constexpr std::int64_t kLongestLookBackMs = 60000;
constexpr std::uint32_t kFreshFractionMs = 1000;  // a page report older than this no longer tells the fraction

enum class RemainingClock { Pc, Page, WholeSeconds };

// The clock the remaining-time update counts remainingSeconds by, chosen as that update chooses it.
RemainingClock ClockOfRemainingTime(const console::ConsoleState& s, bool pageClockCurrent) {
    const int source = s.systime_screentime.load();
    const int phase = s.auctionPhase.load();
    if (source == 0 || (source == 1 && (phase == 1 || phase == 2))) return RemainingClock::Pc;
    if (source == 1 && phase == 3 && s.moniornot.load() == 0)
        return pageClockCurrent && s.swbidmode.load() != 2 ? RemainingClock::Page : RemainingClock::Pc;
    return RemainingClock::WholeSeconds;
}

// The countdown of a forced submission `leadMs` before the end, on remaining time t: a lead with
// a part second starts counting when t reaches the next whole second and fires after the rest.
// Only the submit step runs it, one run at a time, so the start is always stored before anyone
// compares against it, and dated back to the moment t reached that second (`reachedTick`, never later than `now`):
// the tick's own period does not delay the firing.
template <class ReachedTick, class LogStart>
Due ForcedCountdown(int t, int leadMs, std::uint32_t now, std::atomic<int>& logged, std::atomic<std::uint32_t>& startTick,
                    bool atOnceWhenPast, const ReachedTick& reachedTick, const LogStart& logStart) {
    const int q = leadMs / 1000;
    const int m = leadMs % 1000;
    if (t > (m > 0 ? q + 1 : q)) return Due::NotYet;
    if (logged.exchange(1) == 0) {
        if (m > 0) startTick = reachedTick(q + 1);
        logStart();
    }
    if (m <= 0) return Due::AtOnce;
    if (atOnceWhenPast && t <= q) return Due::AtOnce;
    // Signed: a start stamped after `now` (a clock read out of order) is a countdown not yet run,
    // never a wrapped difference of some 49 days.
    const auto elapsed = static_cast<std::int32_t>(now - startTick.load());
    return elapsed >= 1000 - m ? Due::AfterCountdown : Due::NotYet;
}

}  // namespace

std::uint32_t Engine::TickWhenRemainingReached(console::CKestravaDlg& c, int seconds, bool pcClock, std::uint32_t now) {
    auto& s = c.state;
    EngineState& e = records;
    // The clock's whole second at which `seconds` remained.
    const std::int64_t second = s.auctionEnd.load() - seconds;
    std::optional<std::int64_t> ago;
    const RemainingClock clock = pcClock ? RemainingClock::Pc : ClockOfRemainingTime(s, PageClockCurrent(c));
    if (clock == RemainingClock::Pc) {
        ago = c.platform.clock.EpochMillis() - second * 1000;
    } else if (clock == RemainingClock::Page) {
        // The page's time now: its last report's time and fraction plus the time since it came.
        const PageFractionReport report = e.pageFraction.Get();
        if (report.pageClock == e.pageClock.load())
            ago = (report.pageClock - second) * 1000 + report.fraction / 10 +
                  std::min(now - report.tick, kFreshFractionMs);
    }
    if (!ago) {
        // Whole seconds only: the second began when the submit tick saw the remaining time change.
        const RemainingChange change = e.remainingChange.Get();
        ago = change.seen ? static_cast<std::int64_t>(seconds - change.remainingSeconds) * 1000 + (now - change.tick) : 0;
    }
    return now - static_cast<std::uint32_t>(std::clamp<std::int64_t>(*ago, 0, kLongestLookBackMs));
}

void Engine::TimeForcedSubmission(console::CKestravaDlg& c) {
    auto& s = c.state;
    EngineState& e = records;
    if (!e.submission.Armed() || !Ticked(c, box::ForcedByTime) || e.forcedSubmitDone.load() != 0) return;
    const ForcedTime time = ForcedRemainingTime(c);
    const int t = time.seconds;
    const int gap = e.submission.Price() - s.lowestPrice.load();
    const int gapLimit = strategy.DisconSecBid.load();
    const bool byGap = Ticked(c, box::ForcedByGap);

    std::string_view infoText = "开始自动强制提交";
    std::string_view logText = "软件强制提交 完毕";
    if (byGap && gap > gapLimit) {
        // The gap stayed too wide: confirm at 58 whatever the set moment. Within the second before
        // it the page shell is told the moment, as for every other time-based confirmation.
        if (t > kForced58Seconds) {
            if (t == kForced58Seconds + 1) {
                const std::uint32_t now = Now(c);
                ScheduleConfirm(c, TickWhenRemainingReached(c, t, time.pcClock, now) + 1000, kForced58Rule);
            }
            return;
        }
        infoText = "开始自动58强制提交";
        logText = "58强制提交";
    } else {
        // The lowest price has risen into the limit: the set moment applies, not 58, and a click the
        // shell holds for 58 would confirm a second time.
        if (e.forced58Scheduled.exchange(0) == 1) AbandonScheduledConfirm(c, "差额已在限内，不再58强制提交");
        const int lead = strategy.mandatory_bid.load();
        const std::uint32_t now = Now(c);
        const Due due = ForcedCountdown(
            t, lead, now, e.forcedLogged, e.forcedStartTick, !byGap,
            [&](int seconds) { return TickWhenRemainingReached(c, seconds, time.pcClock, now); },
            [&] {
                const bool partSecond = lead % 1000 > 0;
                const std::string prefix = byGap ? "QZ" + Num(gapLimit) : "QZ";
                Log(c, std::string(partSecond || !byGap ? " " : "") + prefix + "，目前国拍最低价：" + s.lowestText.Get());
            });
        if (due == Due::NotYet) {
            if (e.forcedLogged.load() == 1 && lead % 1000 > 0)
                ScheduleConfirm(c, e.forcedStartTick.load() + static_cast<std::uint32_t>(1000 - lead % 1000), kForcedRule);
            return;
        }
    }
    if (!Fire(c, SubmissionInput::RuleConfirm).Did(SubmissionAction::Confirm)) return;
    ConfirmBid(c, logText == "58强制提交" ? kForced58Rule : kForcedRule);
    e.forcedSubmitDone = 1;
    c.SetInfoBody(infoText);
    Log(c, logText);
    ShowHint(c, 1);
}

void Engine::RiseForcedSubmission(console::CKestravaDlg& c) {
    auto& s = c.state;
    EngineState& e = records;
    if (!e.submission.Armed() || !Ticked(c, box::ForcedByRise) || s.remainingSeconds.load() > 5 ||
        e.riseSubmitDone.load() != 0)
        return;
    const ForcedTime time = ForcedRemainingTime(c);
    const int rise = e.lowAt[55].load() - e.lowAt[50].load();
    for (const RiseLeadRow& row : kRiseLeads) {
        if (rise >= row.minRise && rise <= row.maxRise) {
            e.riseLead = (s.*row.lead).load();
            break;
        }
    }
    const std::uint32_t now = Now(c);
    const Due due = ForcedCountdown(
        time.seconds, e.riseLead.load(), now, e.riseLogged, e.forcedStartTick, true,
        [&](int seconds) { return TickWhenRemainingReached(c, seconds, time.pcClock, now); },
        [&] { Log(c, " ZF，目前国拍最低价：" + s.lowestText.Get()); });
    if (due == Due::NotYet) {
        const int lead = e.riseLead.load();
        if (e.riseLogged.load() == 1 && lead % 1000 > 0)
            ScheduleConfirm(c, e.forcedStartTick.load() + static_cast<std::uint32_t>(1000 - lead % 1000), kRiseForcedRule);
        return;
    }
    // Past the chosen moment already: the plain forced texts; at the end of the countdown: the rise's.
    const bool atOnce = due == Due::AtOnce && e.riseLead.load() % 1000 > 0;
    if (!Fire(c, SubmissionInput::RuleConfirm).Did(SubmissionAction::Confirm)) return;
    ConfirmBid(c, kRiseForcedRule);
    e.riseSubmitDone = 1;
    c.SetInfoBody(atOnce ? "开始自动强制提交" : "开始自动涨幅强制提交");
    Log(c, atOnce ? "软件强制提交 完毕" : "涨幅强制提交 完毕");
    ShowHint(c, 1);
}

// ---- Page clearing and the applications

void Engine::ClearPageBeforeBids(console::CKestravaDlg& c, int r) {
    for (const ClearingRow& row : kClearingRows) {
        const int moment = row.moment(strategy);
        if (!BeforeTheEnd(moment) || !Ticked(c, row.box) || r < moment + row.fromAfter || r > moment + row.toAfter)
            continue;
        if ((records.*row.done).exchange(1) != 0) continue;
        HandleKey(c, platform::vk::Escape);
        c.shell.CloseInfoDialog();
    }
}

bool Engine::ScheduledBids(console::CKestravaDlg& c, int r) {
    EngineState& e = records;
    const int secondBidTime = strategy.SecondBidTime.load();
    for (const ScheduledBid& bid : kScheduledBids) {
        const int at = (strategy.*bid.time).load();
        if (!BeforeTheEnd(at) || !Ticked(c, bid.box) || (e.*bid.done).load() != 0) continue;
        // The third bid's countdown waits until the second bid's moment has passed.
        if (r > at && r <= at + 10 && (!bid.countdownAfterSecond || r < secondBidTime))
            c.SetInfoBody("软件将在" + Num(r - at) + "秒后自动申请价格");
        // A tick late by up to windowSeconds still applies, but never once the auction has ended.
        if (r < at - bid.windowSeconds || r > at || !BeforeTheEnd(r)) continue;
        e.*bid.done = 1;
        Log(c, bid.logText);
        if (Ticked(c, bid.plusLowestBox)) ApplyScheduledBid(c, (strategy.*bid.plus).load());
        PlaySound(c, 186);
        return true;
    }
    return false;
}

void Engine::GiveUpMomentsWhileArmed(console::CKestravaDlg& c, int r) {
    // The bidder's pending bid stands in for an application whose moment comes meanwhile. Kept
    // for later, it would start when the submission ends (a forced one at 59.9 s included) and
    // open a new code dialog at a moment nobody chose, up to the very end.
    EngineState& e = records;
    for (const ScheduledBid& bid : kScheduledBids) {
        const int at = (strategy.*bid.time).load();
        if (BeforeTheEnd(at) && r <= at && Ticked(c, bid.box)) e.*bid.done = 1;
    }
    if (!Ticked(c, box::Analysis)) return;
    if (r <= kAnalysisSecondTo) e.analysisSecondDone = 1;
    if (r <= kTrendTo) e.analysisThirdDone = 1;
}

bool Engine::NearABidMoment(console::CKestravaDlg& c, int r) {
    constexpr int kF3ClearanceSeconds = 5;
    const auto near = [&](int at) { return BeforeTheEnd(at) && std::abs(r - at) <= kF3ClearanceSeconds; };
    for (const ScheduledBid& bid : kScheduledBids)
        if (Ticked(c, bid.box) && near((strategy.*bid.time).load())) return true;
    return Ticked(c, box::Analysis) && (near(kAnalysisSecondTo) || near(kTrendTo));
}

bool Engine::ThirdBidReplacesArmed(console::CKestravaDlg& c, int r) {
    // The second bid still armed when the third's moment comes, out of the window: confirming it
    // later (a forced submission) would make an invalid bid, while the third bid is priced on the
    // price of now. A third bid due within 2 s of a forced moment could not be confirmed before it:
    // the armed bid is left to the forced submission then.
    constexpr int kForcedClearanceMs = 2000;
    constexpr int kClearingLeadSeconds = 2;
    EngineState& e = records;
    const ScheduledBid& third = kScheduledBids[1];
    const int at = (strategy.*third.time).load();
    if (!BeforeTheEnd(at) || !Ticked(c, third.box) || (e.*third.done).load() != 0) return false;
    if (r > at + kClearingLeadSeconds || r < at - third.windowSeconds) return false;
    const int gap = e.submission.Price() - c.state.lowestPrice.load();
    if (gap <= kBidWindowGap) return false;
    if (Ticked(c, box::ForcedByTime) && at * 1000 - strategy.mandatory_bid.load() <= kForcedClearanceMs) return false;
    Log(c, "已申请价格差价" + Num(gap) + "，不在差价范围内，由第三次申请价格替换");
    HandleKey(c, platform::vk::Escape);
    c.shell.CloseInfoDialog();
    e.thirdPrepDone = 1;
    return true;
}

void Engine::AnalysisBids(console::CKestravaDlg& c, int r) {
    auto& s = c.state;
    EngineState& e = records;
    if (!Ticked(c, box::Analysis)) return;
    const int y = s.loginSecond.load();

    if (r > 35 && r <= 45) c.SetInfoBody("软件将在" + Num(r - 35) + "秒后自动分析后申请价格");
    if (r >= kAnalysisSecondFrom && r <= kAnalysisSecondTo && e.analysisSecondDone.load() == 0) {
        if (const DigitGroup* g = GroupOf(kAnalysisSecondAmounts, y)) {
            e.analysisSecondDone = 1;
            Log(c, g->label);
            ApplyAnalysisBid(c, g->amount);
        }
    }

    if (r > 8 && r <= 18) c.SetInfoBody("软件将在" + Num(r - 8) + "秒后自动分析后申请价格");
    if (r >= kTrendFrom && r <= kTrendTo && e.analysisThirdDone.load() == 0) {
        const int a = e.lowAt[52].load() - e.lowAt[0].load();
        const int b = e.lowAt[52].load() - e.lowAt[50].load();
        for (const TrendRow& row : kTrendRows) {
            if (a > row.maxA || a <= row.minAExclusive || b < row.minB || b > row.maxB) continue;
            const DigitGroup* g = GroupOf(row.amounts, y);
            if (!g) return;
            e.analysisThirdDone = 1;
            Log(c, "软件依据走势分析，自动申请 ");
            ApplyAnalysisBid(c, g->amount);
            strategy.ThirdBidPricePlus = g->amount;
            strategy.ThirdBidTime = 8;
            return;
        }
    }
}

}  // namespace kestrava::engine
