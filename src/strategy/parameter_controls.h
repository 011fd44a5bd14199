// The console's controls for the active strategy: the read-only edits the values are shown in,
// the spin buttons that are the only way to change them, the clock labels, and the check boxes
// whose clicks follow a rule. Everything goes through the console's control model by id, so a
// view shows it without knowing any of these rules.
#pragma once

#include <memory>

#include "console/console.h"
#include "console/console_hooks.h"
#include "engine/engine.h"

namespace kestrava::strategy {

// Console controls of the strategy that the rules below name.
namespace ctl {
inline constexpr int SecondBid = 1010;        // "离拍牌结束", second-bid group
inline constexpr int ThirdBid = 1125;         // "离拍牌结束", third-bid group
inline constexpr int SecondBidEdit = 1025;
inline constexpr int ThirdBidEdit = 1120;
inline constexpr int SecondBidSpin = 1048;
inline constexpr int ThirdBidSpin = 1122;
inline constexpr int SecondBidCaption = 1198;  // "秒时自动申请"
inline constexpr int ThirdBidCaption = 1199;
inline constexpr int SecondBidClock = 1161;
inline constexpr int ThirdBidClock = 1072;
inline constexpr int ForcedClock = 1169;
inline constexpr int DelayEdit = 1171;         // DelayBidTime in seconds
inline constexpr int Remedy = 1066;            // "倒数"
inline constexpr int RemedyTimeEdit = 1192;
inline constexpr int ThirdGearFill = 1021;     // "补档", third-bid group
inline constexpr int Analysis = 1165;          // "软件分析申请价格"
inline constexpr int ManualCalibrate = 1117;   // "人工校正": starts the page learning view
inline constexpr int Combo = 1175;
inline constexpr int Status = 1040;            // the strategy group's status label
inline constexpr int ImportSlot3 = 1129;       // hidden "策略3"
inline constexpr int ImportSlot4 = 1130;       // hidden "策略4"
inline constexpr int Update = 1131;            // hidden "更新策略"
}  // namespace ctl

// Hint balloon shown when the software takes over the bid moments.
inline constexpr int kAnalysisHint = 7;

// The remedy at bamiao_time needs the third bid at least this many seconds earlier.
inline constexpr int kRemedyDistance = 7;

// Box 1066 and edit 1192 follow the distance between the third bid and the remedy: below
// kRemedyDistance the box is unticked and both are disabled; otherwise both are enabled and the
// box keeps its state. While the smart analysis (1165) chooses the moments the box stays
// unticked and disabled.
void ApplyRemedyRule(console::CKestravaDlg& c, const engine::Engine& e);

// Box 1165 ticked: the analysis takes over the second and third bids, so their boxes, moments,
// the remedy and the third gear fill are unticked and disabled (and hint 7 explains why).
// Unticked: both bid boxes are ticked and everything is enabled again, the remedy box only as
// far as ApplyRemedyRule allows.
void ApplySmartAnalysisRule(console::CKestravaDlg& c, const engine::Engine& e);

// Clock labels 1161, 1072 and 1169 from SecondBidTime, ThirdBidTime and mandatory_bid.
void RefreshStrategyLabels(console::CKestravaDlg& c, const engine::Engine& e);

// The values into their edits, as the dialog's data exchange shows them (1171 in seconds).
void PushFieldsToControls(console::CKestravaDlg& c, const engine::Engine& e);

// A click on an arrow of a strategy spin. The strategy's spins stand upright; a sideways arrow
// moves nothing (the controls are refreshed all the same). False for spins that are not the
// strategy's.
bool OnStrategySpin(console::CKestravaDlg& c, engine::Engine& e, int id, console::SpinArrow arrow);

// A click on a strategy control (boxes with a rule, the combo, the save and import buttons).
// False for controls that are not the strategy's.
bool OnStrategyClick(console::CKestravaDlg& c, engine::Engine& e, int id);

// Puts the strategy into the console's strategy hooks, as Engine::Attach does for the engine;
// clicks and spins of other controls go on to whatever hook was there before. The hooks hold the
// engine, whose strategy values and run flags these controls change.
void AttachStrategy(const std::shared_ptr<engine::Engine>& engine, console::ConsoleHooks& hooks);

}  // namespace kestrava::strategy
