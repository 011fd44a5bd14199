// Windows virtual-key codes, window-message numbers and timer ids, kept so the behaviour tables
// read the same on every platform.
#pragma once

#include <cstdint>

namespace kestrava::platform {

namespace vk {
inline constexpr int Back = 0x08;
inline constexpr int Return = 0x0D;
inline constexpr int Shift = 0x10;
inline constexpr int Control = 0x11;
inline constexpr int Menu = 0x12;  // Alt
inline constexpr int Escape = 0x1B;
inline constexpr int Space = 0x20;
inline constexpr int Delete = 0x2E;
inline constexpr int Digit0 = 0x30;  // '0' … '9' are 0x30 … 0x39
inline constexpr int KeyA = 0x41;    // 'A' … 'Z' are 0x41 … 0x5A
inline constexpr int F1 = 0x70;      // F1 … F12 are 0x70 … 0x7B
inline constexpr int F3 = 0x72;
inline constexpr int F10 = 0x79;
}  // namespace vk

namespace wm {
inline constexpr std::uint32_t Close = 0x0010;
inline constexpr std::uint32_t KeyDown = 0x0100;
inline constexpr std::uint32_t KeyUp = 0x0101;
inline constexpr std::uint32_t Char = 0x0102;
inline constexpr std::uint32_t Timer = 0x0113;
inline constexpr std::uint32_t MouseMove = 0x0200;
inline constexpr std::uint32_t LButtonDown = 0x0201;
inline constexpr std::uint32_t LButtonUp = 0x0202;
inline constexpr std::uint32_t User = 0x0400;
}  // namespace wm

// lParam of a mouse message: x in the low 16 bits, y in the high 16 bits.
constexpr std::int32_t MakeLParam(int lo, int hi) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(hi & 0xFFFF) << 16) |
                                     static_cast<std::uint32_t>(lo & 0xFFFF));
}
constexpr int LoWord(std::int32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
constexpr int HiWord(std::int32_t v) { return static_cast<std::int16_t>((static_cast<std::uint32_t>(v) >> 16) & 0xFFFF); }

}  // namespace kestrava::platform
