// The cloud submission ("云提交") of the last ten seconds: once the bidder's Enter has armed the
// smart submission, the console confirms by itself, at a moment chosen from the rise of the
// lowest price, the gap, the second and the console's group (cloud_rules.h).
//
//   CloudStep            submit-timer thread, every submit tick with 10 s or less left: the
//                        page-clock rules with a live feed, else the screen decision table
//   OnJamSignal          interface thread, message 0x49c: the server's congestion signal
//
// The progress-bar sighting (message 0x49a) is the console's own row: it passes "6_0" to the sync
// server through the network role and acts in every mode, so the cloud has no part in it.
//
// A delayed cloud confirmation belongs to the arming it was scheduled under: ending that
// submission by any other path discards it, and a later bid never inherits it.
#pragma once

#include <cstdint>
#include <memory>

#include "console/console.h"
#include "engine/engine.h"

namespace kestrava::engine {

// For EngineOptions::cloudStep. Does nothing unless box 1196 "智能分析提交" is ticked.
void CloudStep(console::CKestravaDlg& c, Engine& engine);

// The screen path: the chain of the remaining second, then its last-chance rules.
void CloudSubmitDecision(console::CKestravaDlg& c, Engine& engine);

// Message 0x49c with the server's count `n`: in the last three seconds of a real run with box
// 1196 ticked, once page second 57.5 has passed on the feed path, confirms the armed submission
// at once.
void OnJamSignal(console::CKestravaDlg& c, Engine& engine, std::uint32_t n);

// Puts OnJamSignal into the console's hook for message 0x49c.
void AttachCloud(const std::shared_ptr<Engine>& engine, console::ConsoleHooks& hooks);

}  // namespace kestrava::engine
