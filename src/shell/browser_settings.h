// Machine settings the page shells rely on: the secure protocols of the user's Internet
// settings and the browser-emulation mode of the embedded Internet Explorer engine.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace kestrava::shell {

// SSL 2.0, SSL 3.0, TLS 1.0, TLS 1.1 and TLS 1.2.
inline constexpr std::uint32_t kSecureProtocols = 0xAA8;

void SetSecureProtocols(platform::Registry& registry);

// The emulation value for an installed engine version string ("11.0.19041.1" → 11001); none for
// a version without a dot or one with no emulation value.
std::optional<std::uint32_t> BrowserEmulationValue(std::string_view svcVersion);

// Writes the emulation value named after `executable`; false when nothing was written.
bool SetBrowserEmulation(platform::Registry& registry, std::string_view executable);

}  // namespace kestrava::shell
