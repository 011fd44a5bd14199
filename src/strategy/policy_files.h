// The twenty stored strategies: their files, the save of the active strategy, the import of a
// slot into the console, the strategy combo and the copy of delivered policy files.
//
// All of it runs on the interface thread (commands, the console's start-up, message 0x466). The
// engine's timer threads read the strategy values and the check boxes meanwhile; every value is
// an atomic of its own, so a tick sees each value either before or after an import, never torn.
#pragma once

#include <string>

#include "console/console.h"
#include "engine/engine.h"

namespace kestrava::strategy {

inline constexpr int kSlots = 20;
// Slots 1 … 12 may be replaced by delivered files.
inline constexpr int kDeliveredSlots = 12;

inline constexpr char kDefaultStrategyFile[] = ".//bin//strategy.ini";
inline constexpr char kDeliveredFolder[] = ".//ScreenShot//del0//";

// ".//bin//policya.ini" for slot 1 … ".//bin//policyt.ini" for slot 20; empty outside 1 … 20.
std::string PolicyFilePath(int slot);
// The delivered file for a slot 1 … 12: ".//ScreenShot//del0//policya.ini" …; empty otherwise.
std::string DeliveredPolicyPath(int slot);
// "策略01" … "策略20", the combo's item for a slot.
std::string SlotName(int slot);

// Writes the active strategy (the fields, and the check state of every switch's box) to the
// policy file of the combo's selected slot, or to kDefaultStrategyFile with nothing selected,
// and the selection as SelPolicy. The file is replaced as a whole, so a crash leaves the old
// strategy or the new one. Label 1040 tells whether it worked. False when anything was not
// written.
bool SaveStrategy(console::CKestravaDlg& c, engine::Engine& e);

// The hidden buttons "策略3" and "策略4" leave the four rise-row boxes (check14 … check17) alone.
enum class RiseRows { Import, Keep };

// Loads slot 1 … 20 into the console: values (missing keys and a missing file give the
// defaults), check boxes, the remedy and smart-analysis rules, the labels and edits, and frees
// the second and third bids to run again. Slots outside 1 … 20 do nothing.
void ImportStrategy(console::CKestravaDlg& c, engine::Engine& e, int slot, RiseRows rise = RiseRows::Import);

// The combo's selection-change action: imports the selected slot and says so on label 1040.
void ApplyComboSelection(console::CKestravaDlg& c, engine::Engine& e);

// Console start: the values before any import (zero, but for the gap rule's start and limit the
// console read from kDefaultStrategyFile), then the combo's action for entry `index` (SelPolicy),
// which imports nothing when `index` lies outside 0 … 19.
void StartStrategy(console::CKestravaDlg& c, engine::Engine& e, int index);

// Button 1131: copies the delivered files over slots 1 … 12 (a missing one leaves its slot as it
// is), then re-imports the selected slot. Label 1040 tells whether every copy worked.
bool UpdateStrategies(console::CKestravaDlg& c, engine::Engine& e);

}  // namespace kestrava::strategy
