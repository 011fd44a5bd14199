#include "shell/browser_settings.h"

#include <string>

namespace kestrava::shell {

void SetSecureProtocols(platform::Registry& registry) {
    // Failures are ignored: without the rights the shell still runs with the system's choice.
    registry.WriteDword("SecureProtocols", kSecureProtocols);
}

std::optional<std::uint32_t> BrowserEmulationValue(std::string_view svcVersion) {
    if (svcVersion.find('.') == std::string_view::npos) return std::nullopt;
    int major = 0;
    std::size_t i = 0;
    while (i < svcVersion.size() && svcVersion[i] == ' ') ++i;
    for (; i < svcVersion.size() && svcVersion[i] >= '0' && svcVersion[i] <= '9' && major < 1000; ++i)
        major = major * 10 + (svcVersion[i] - '0');
    switch (major) {
        case 8: return 8888;
        case 9: return 9999;
        case 10: return 10001;
        case 11: return 11001;
        default: return std::nullopt;
    }
}

bool SetBrowserEmulation(platform::Registry& registry, std::string_view executable) {
    std::string version = registry.ReadString("svcVersion").value_or("");
    if (version.size() > 63) version.resize(63);
    const auto value = BrowserEmulationValue(version);
    if (!value) return false;
    return registry.WriteDword(executable, *value);
}

}  // namespace kestrava::shell
