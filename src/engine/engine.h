// The bidding engine: the decisions of the revision phase and the actions that carry them out.
//
//   bid tick (scan-tick thread)      per-second analysis, remedies, the scheduled and analysis
//                                    bids; the forced submissions' rules    bid_tick.cpp
//   bid application                  types an amount and presses the bid button, then waits for
//                                    the bidder's code                      bid_application.cpp
//   submission control               the bidder's keys, the smart submission, ConfirmBid
//                                                                           submission_control.cpp
//   submit tick (submit-timer thread) rise rules, forced submissions, then the cloud step
//                                                                           submit_tick.cpp
//   page feed (interface thread)     page and server price reports, each followed at once by
//                                    the submit tick's step                 page_reports.cpp
//   hints                            balloons and info-bar lines           hints.cpp
//
// The engine works on the console it is given (its state, controls, page shell, platform and
// log) and keeps its own records and the active strategy. The bid the page holds has one life
// (submission.h): every key, rule and page report is an input to it through Fire, and a confirm
// click is only ever made by the caller whose input took the bid to confirming.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "console/console.h"
#include "engine/engine_state.h"
#include "perception/page_geometry.h"
#include "shell/scheduled_confirm.h"
#include "strategy/strategy_values.h"

namespace kestrava::engine {

class Engine;

// The pieces other roles provide. Any of them may be left empty.
struct EngineOptions {
    // First step of the submit tick: brings remainingSeconds up to date. False ends the tick
    // (no page window, or no auction phase). Empty: the tick only checks those two conditions.
    std::function<bool(console::CKestravaDlg&)> updateRemainingTime;
    // First step of the bid tick: the lowest price from the page feed or the screen.
    std::function<void(console::CKestravaDlg&)> readLowestPrice;
    // Last step of the submit tick while 10 seconds or less remain.
    std::function<void(console::CKestravaDlg&, Engine&)> cloudStep;
    // Sends a text to the sync server; false when there is no open connection.
    std::function<bool(std::string_view)> sendToSync;
    // The calibrated geometry with the balloon positions and the bid-dialog region; without it
    // the balloons sit at the page view's corner and no bid-dialog screenshot is taken.
    std::shared_ptr<const perception::GeometryStore> geometry;
    // Shows a balloon (the views' part); called on the thread that asked for the hint.
    std::function<void(const Hint&)> showBalloon;
};

// Console controls the engine reads and changes.
namespace box {
inline constexpr int SecondBid = 1010;        // "离拍牌结束", second application
inline constexpr int ThirdGearFill = 1021;    // "补档", third application
inline constexpr int ForcedByTime = 1061;     // row "强制提交"
inline constexpr int ForcedByRise = 1065;     // "依据涨幅提交"
inline constexpr int Remedy = 1066;           // "倒数"
inline constexpr int AntiFluke = 1093;        // "防幺蛾子"
inline constexpr int SecondPlusLowest = 1094; // "最低成交价 +", second application
inline constexpr int PcClock = 1097;          // "兼顾电脑时间"
inline constexpr int ForcedByGap = 1098;      // "差额≤" of the row "触发强制"
inline constexpr int Voice = 1124;            // "语音"
inline constexpr int ThirdBid = 1125;         // "离拍牌结束", third application
inline constexpr int ThirdPlusLowest = 1132;  // "最低成交价 +", third application
inline constexpr int SecondGearFill = 1142;   // "补档", second application
inline constexpr int RebidChoice = 1150;      // "补价：…"
inline constexpr int Analysis = 1165;         // "软件分析申请价格"
inline constexpr int CloudSubmit = 1196;      // "智能分析提交"
inline constexpr int Rise55 = 1203;           // "55上涨差400延" … 1206 "58上涨差400延"
inline constexpr int ForcedTimeLabel = 1169;
inline constexpr int RiseDelay1Label55 = 1212;  // … 1215, "0.%d"
inline constexpr int RiseDelay2Label55 = 1208;  // … 1211, "延0.%d"
}  // namespace box

// The window of valid bids: up to the lowest accepted price plus this.
inline constexpr int kBidWindowGap = 300;

// The rule names the forced submissions schedule their moments under.
inline constexpr char kForced58Rule[] = "58强制提交";
inline constexpr char kForcedRule[] = "强制提交";
inline constexpr char kRiseForcedRule[] = "涨幅强制提交";

// The variants of a bid application: who uses them, their waits and their price correction.
enum class Application { Bid, Rebid, Scheduled, Analysis };

class Engine {
public:
    explicit Engine(EngineOptions options = {});

    // Puts the engine into the console's engine hooks (submit tick, page and server reports,
    // hints, the day's reset, the clicks of boxes 1061 and 1065). The hooks hold the engine, so
    // it lives exactly as long as the console that runs them.
    static void Attach(const std::shared_ptr<Engine>& engine, console::ConsoleHooks& hooks);

    strategy::StrategyValues strategy;  // the active strategy
    EngineState records;

    // ---- Submission control (submission_control.cpp)
    // Enter, Escape, F3 … F10 from the scan tick; Escape also from the bid tick.
    void HandleKey(console::CKestravaDlg& c, int vk);
    // The smart submission's check of an armed submission; nothing when none is armed by the time
    // the check holds its lock (another rule ended it meanwhile).
    void SmartSubmitCheck(console::CKestravaDlg& c);
    // The check the bidder's Enter makes: confirms, or arms the submission to wait.
    void SmartSubmitCheckOnEnter(console::CKestravaDlg& c);
    // Presses "确定" of the verification-code dialog for `rule`; posts every click at once,
    // unless the page shell was told this rule's moment ahead and clicks it itself. A confirmation
    // of no scheduling rule (`rule` empty) is never left to a schedule.
    void ConfirmBid(console::CKestravaDlg& c, const char* rule = nullptr);
    // Feeds the bid's life an input and carries out what every path shares (the display's price,
    // what was scheduled for a bid that left waiting, the page's news); the caller carries out
    // the rest of the step's action (the click of a Confirm). `serial` not 0: for that bid only.
    SubmissionStep Fire(console::CKestravaDlg& c, SubmissionInput input, int price = 0, std::uint32_t serial = 0);
    // 0x4b1 from the page shell: the page's code dialog opened or closed.
    void OnCodeDialogReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t state);
    // A confirmation of a time-based rule due at tick `dueTick`. Within the last second before it
    // the page shell is told the moment ahead and clicks on time by itself;
    // ConfirmBid then sends nothing. Called on every tick while the rule waits (repeats are kept
    // as one schedule; of several waiting rules the earliest moment stands).
    void ScheduleConfirm(console::CKestravaDlg& c, std::uint32_t dueTick, const char* rule);
    // 0x4ad from the page shell.
    void OnScheduleAnswer(console::CKestravaDlg& c, std::uint32_t token, std::int32_t answer);
    // The submission ended without a confirmation (cancelled, withdrawn, the day reset).
    void AbandonScheduledConfirm(console::CKestravaDlg& c, const char* why);
    // Boxes 1061 and 1065 clicked: the two forced submissions exclude each other.
    void OnForcedBoxClicked(console::CKestravaDlg& c, int id);

    // ---- Submit tick (submit_tick.cpp)
    // The submit timer's step; a page or server report runs it too, right after taking its news.
    void SubmitTick(console::CKestravaDlg& c);

    // ---- Page feed (page_reports.cpp)
    void OnPageReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode);
    void OnServerPriceReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode);
    void SetPageClock(console::CKestravaDlg& c, int hour, int minute, int second);
    // Whether the page clock is the clock of the remaining time now: the feed is fresh and its
    // last report came within a second and a bit (the page reports at least once a second). A
    // feed that went quiet leaves the remaining time to the PC clock, which the network clock
    // corrects, so the time rules still fire on their moments.
    bool PageClockCurrent(console::CKestravaDlg& c);

    // ---- Hints and the info bar (hints.cpp)
    void ShowHint(console::CKestravaDlg& c, int n);

    // ---- Bid applications (bid_application.cpp); they block the calling thread for their waits.
    void ApplyBid(console::CKestravaDlg& c, int amount) { Apply(c, amount, Application::Bid); }
    void ApplyRebid(console::CKestravaDlg& c, int amount) { Apply(c, amount, Application::Rebid); }
    void ApplyScheduledBid(console::CKestravaDlg& c, int amount) { Apply(c, amount, Application::Scheduled); }
    void ApplyAnalysisBid(console::CKestravaDlg& c, int amount) { Apply(c, amount, Application::Analysis); }
    // The amount after the variant's gear fill, for a lowest price L (may clear a "补档" box).
    int GearFilledAmount(console::CKestravaDlg& c, Application kind, int lowest, int amount);

    // ---- Bid tick (bid_tick.cpp)
    void BidTick(console::CKestravaDlg& c);

    // ---- Day (engine.cpp)
    void ClearRunRecords(console::CKestravaDlg& c);
    void ClearDisplayFlags(console::CKestravaDlg& c);

    const EngineOptions& options() const { return options_; }

private:
    void Apply(console::CKestravaDlg& c, int amount, Application kind);
    std::string StrategySummary(console::CKestravaDlg& c);

    // Submission control
    void ConfirmAndFinish(console::CKestravaDlg& c, SubmissionInput input, std::uint32_t serial,
                          std::string_view logText, const char* rule = nullptr);
    // An Enter with no bid waiting: the bidder is told, once for a held key.
    void RefuseEnter(console::CKestravaDlg& c, const SubmissionStep& step);
    // The bid's page window gave way to another (the shell restarted): its dialog is gone.
    void WatchPageWindow(console::CKestravaDlg& c);
    // The clicks of ConfirmBid that do not wait for a moment.
    void ConfirmByCommand(console::CKestravaDlg& c);
    void FinishSubmission(console::CKestravaDlg& c, bool wasArmed);
    void SaveBidDialogShot(console::CKestravaDlg& c);
    void PressEnter(console::CKestravaDlg& c);
    void PressF3(console::CKestravaDlg& c);
    // `mayArm`: the bidder's Enter, which arms a submission; every other caller only acts on the
    // submission armed when the check holds its lock.
    void SmartSubmitCheckLocked(console::CKestravaDlg& c, bool mayArm);

    // Submit tick
    // Remembers when remainingSeconds took its value: the start of a whole second on a clock
    // that tells no fraction.
    void NoteRemainingChange(console::CKestravaDlg& c);
    void RiseRules(console::CKestravaDlg& c);
    // The smart submission's check once its delay has run out.
    void SmartDelayRunOut(console::CKestravaDlg& c);
    // The low of page second 55 from the fresh page feed, as soon as 5 s remain.
    void TakeSecond55LowFromFeed(console::CKestravaDlg& c);

    // Page feed
    bool TakeFedPrice(console::CKestravaDlg& c, std::uint32_t price);
    // The price and the time of a report the handler accepted; the submit step follows.
    void TakePageReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode);
    void TakeServerReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t timeCode);
    // A report of the page's own came within its rhythm: its price and clock rule.
    bool PageFeedFresh(console::CKestravaDlg& c);
    // Makes a ten-digit time code the newest of the run; false when it is not newer.
    bool RaiseFeedCode(std::int64_t code);

    // Bid tick
    void PerSecondPass(console::CKestravaDlg& c, int r);
    void SevenSecondRemedy(console::CKestravaDlg& c, int r);
    void AntiFlukeCheck(console::CKestravaDlg& c, int r);
    // Run by the submit step alone (the submit timer's or a report's, one at a time): one owner per
    // countdown, so its start is stored before the clock is compared with it.
    void TimeForcedSubmission(console::CKestravaDlg& c);
    void RiseForcedSubmission(console::CKestravaDlg& c);
    struct ForcedTime {
        int seconds;   // remaining whole seconds
        bool pcClock;  // counted by the PC clock rather than the clock of remainingSeconds
    };
    ForcedTime ForcedRemainingTime(console::CKestravaDlg& c);
    // The tick count at which the remaining time reached `seconds`, on the clock it is counted by
    // and to the millisecond where that clock tells; never later than `now`.
    std::uint32_t TickWhenRemainingReached(console::CKestravaDlg& c, int seconds, bool pcClock, std::uint32_t now);
    void ClearPageBeforeBids(console::CKestravaDlg& c, int r);
    // A scheduled or analysis moment reached while a submission is armed is used up unapplied.
    void GiveUpMomentsWhileArmed(console::CKestravaDlg& c, int r);
    // Whether a moment of the strategy's applications (or their page clearing) is within 5 s of
    // `r` remaining seconds.
    bool NearABidMoment(console::CKestravaDlg& c, int r);
    // The third bid's moment has come while a bid outside the window is armed: that bid is
    // cancelled so the third replaces it. False keeps the armed bid.
    bool ThirdBidReplacesArmed(console::CKestravaDlg& c, int r);
    bool ScheduledBids(console::CKestravaDlg& c, int r);
    void AnalysisBids(console::CKestravaDlg& c, int r);

    // Shared
    std::uint32_t Now(console::CKestravaDlg& c) const;
    bool Ticked(console::CKestravaDlg& c, int id) const;
    void Log(console::CKestravaDlg& c, std::string_view text) const;
    void PlaySound(console::CKestravaDlg& c, int prompt) const;
    void RefreshControls(console::CKestravaDlg& c) const;

    shell::ConfirmSchedule& ConfirmSchedule(console::CKestravaDlg& c);
    // Gives up a pending schedule whose page window is no longer the console's page window.
    void KeepScheduleWithItsShell(console::CKestravaDlg& c);

    EngineOptions options_;
    // Made on first use, for the console the engine is attached to.
    std::once_flag scheduleOnce_;
    std::unique_ptr<shell::ConfirmSchedule> schedule_;
    // The page window the pending schedule was announced to.
    std::atomic<platform::WindowId> schedulePageWindow_{0};
    // The page window the current bid was made on.
    std::atomic<platform::WindowId> lifePageWindow_{0};
    // Whether to announce a moment depends on the pending one: one decision at a time (the submit
    // step and the smart-submit check both announce). Taken after checkMutex_ and submitMutex_.
    std::mutex scheduleMutex_;
    std::uint32_t scheduledDue_ = 0;  // under scheduleMutex_: the pending schedule's moment
    // The smart-submit check runs on the scan tick, on the submit step (a delay run out) and on the
    // interface thread (fed prices); one at a time, so a delay is started and a confirmation made once. Never held across a wait.
    std::mutex checkMutex_;
    // The submit step runs on the submit timer and on each page report; one at a time. Never held
    // across a wait, and never taken while checkMutex_ is held (the step takes checkMutex_ when a
    // smart delay has run out).
    std::mutex submitMutex_;
};

// The leading decimal number of a text (leading white space skipped), 0 when there is none.
int LeadingNumber(std::string_view text);

}  // namespace kestrava::engine
