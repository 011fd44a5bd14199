#include "platform/x11/window_protocol.h"

namespace kestrava::platform::x11 {

std::array<std::uint32_t, 5> EncodeMessage(const Message& m) {
    return {m.msg, m.wParam, static_cast<std::uint32_t>(m.lParam), 0, 0};
}

std::optional<Message> DecodeClientMessage(std::uint32_t type, std::uint32_t messageAtom, int format,
                                           const std::uint32_t* data32) {
    if (messageAtom == 0 || type != messageAtom || format != 32 || !data32) return std::nullopt;
    return Message{data32[0], data32[1], static_cast<std::int32_t>(data32[2])};
}

std::optional<Message> DecodeClientMessage(unsigned long type, unsigned long messageAtom, int format,
                                           const long* dataL) {
    if (!dataL) return std::nullopt;
    // Only the low 32 bits of each long travel on the wire; Xlib may sign-extend them.
    const std::uint32_t words[3] = {static_cast<std::uint32_t>(dataL[0]), static_cast<std::uint32_t>(dataL[1]),
                                    static_cast<std::uint32_t>(dataL[2])};
    if (type > 0xFFFFFFFFul || messageAtom > 0xFFFFFFFFul) return std::nullopt;
    return DecodeClientMessage(static_cast<std::uint32_t>(type), static_cast<std::uint32_t>(messageAtom), format,
                               words);
}

}  // namespace kestrava::platform::x11
