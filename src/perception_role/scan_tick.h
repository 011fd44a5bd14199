// The scan tick's tables: the hot keys it polls, the controls it keeps consistent with their
// check boxes, and the colour class of the applied price.
#pragma once

#include <array>
#include <initializer_list>
#include <optional>
#include <cstdint>
#include <span>
#include <string>

#include "platform/keys.h"
#include "platform/platform.h"

namespace kestrava::perception {

// Polled on every scan tick in this order; each press reaches the engine's key handler once.
inline constexpr std::array<int, 10> kHotKeys{
    platform::vk::Return, platform::vk::Escape, platform::vk::F3,     platform::vk::F3 + 1, platform::vk::F3 + 2,
    platform::vk::F3 + 3, platform::vk::F3 + 4, platform::vk::F3 + 5, platform::vk::F3 + 6, platform::vk::F10};

// Turns the polled states of the hot keys into presses. A key counts once when it goes down (seen
// down now, or pressed and released since the previous poll, while it was up at that poll); a key
// held over many polls, or repeated by the keyboard while held, is the same press. A held Enter
// would otherwise confirm again on every tick. Used by the scan tick's thread only.
class HotKeyPresses {
public:
    // `index` is the key's place in kHotKeys.
    bool Pressed(std::size_t index, platform::KeyState now) {
        const bool wasDown = wasDown_[index];
        wasDown_[index] = now.down;
        return (now.down || now.pressedSince) && !wasDown;
    }

private:
    std::array<bool, kHotKeys.size()> wasDown_{};
};

// Controls enabled while a box is ticked and disabled otherwise; `clears` is unticked with them.
struct ControlRule {
    int box;        // 0: the rule holds whenever control `existsId` exists
    int existsId;   // only for box 0
    std::span<const int> controls;
    int clears;     // 0: none
    bool disables;  // false: the rule only enables
};
std::span<const ControlRule> ControlRules();

// The colour class of the applied price p against the lowest price L: 1 red (outside the window
// of acceptable bids), 2 green (p ≤ L + 300), 3 yellow (L + 400), 4 orange (L + 500); none
// leaves the class as it is.
std::optional<int> GapClass(int applied, int lowest);

// "HH:MM:SS" of a time of day in seconds, as the console's time displays show it.
std::string ClockText(std::int64_t secondsOfDay);

}  // namespace kestrava::perception
