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

namespace kestrava::perception {

// Polled on every scan tick in this order; a key down now or pressed since the previous poll
// reaches the engine's key handler.
inline constexpr std::array<int, 10> kHotKeys{
    platform::vk::Return, platform::vk::Escape, platform::vk::F3,     platform::vk::F3 + 1, platform::vk::F3 + 2,
    platform::vk::F3 + 3, platform::vk::F3 + 4, platform::vk::F3 + 5, platform::vk::F3 + 6, platform::vk::F10};

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
