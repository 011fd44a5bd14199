// The window protocol of the installation in one place: how a posted message travels as an X11
// ClientMessage. Used by the X11 backend and by the Qt programs (which receive xcb events), so it
// includes no X11 header. docs/window-protocol.md describes the whole contract.
#pragma once

#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kestrava::platform::x11 {

// The ClientMessage type of a posted message.
inline constexpr char kMessageAtomName[] = "KESTRAVA_MSG";

// The five 32-bit data words of a format-32 ClientMessage: message, wParam, lParam, then zeros.
std::array<std::uint32_t, 5> EncodeMessage(const Message& m);

// The message carried by a ClientMessage, or nothing when it is not a posted message (another
// type, or not format 32). `messageAtom` is the receiver's atom for kMessageAtomName.
// For xcb: DecodeClientMessage(ev->type, atom, ev->format, ev->data.data32).
std::optional<Message> DecodeClientMessage(std::uint32_t type, std::uint32_t messageAtom, int format,
                                           const std::uint32_t* data32);

// The same for an Xlib XClientMessageEvent, whose data.l holds the words in C longs.
std::optional<Message> DecodeClientMessage(unsigned long type, unsigned long messageAtom, int format,
                                           const long* dataL);

}  // namespace kestrava::platform::x11
