#include "shell/browser_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/fake/fake_platform.h"

namespace kestrava::shell {
namespace {

TEST(BrowserSettingsTest, EmulationValueFollowsTheInstalledVersion) {
    struct Case {
        std::optional<std::string> svcVersion;
        std::optional<std::uint32_t> written;
    };
    const Case cases[] = {
        {"11.0.19041.1", 11001u},
        {"10.0.9200", 10001u},
        {"9.0.8112", 9999u},
        {"8.0.7601", 8888u},
        {"11", std::nullopt},     // no dot
        {"7.0.5730", std::nullopt},
        {"", std::nullopt},
        {std::nullopt, std::nullopt},
        // Only the first 63 characters are read: the dot beyond them does not count.
        {std::string("11") + std::string(61, '0') + ".0", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.svcVersion.value_or("<absent>"));
        platform::fake::FakeRegistry registry;
        if (c.svcVersion) registry.SetString("svcVersion", *c.svcVersion);
        EXPECT_EQ(SetBrowserEmulation(registry, "Quillpane.exe"), c.written.has_value());
        EXPECT_EQ(registry.ReadDword("Quillpane.exe"), c.written);
    }
}

TEST(BrowserSettingsTest, SecureProtocolsEnableSslAndTls) {
    platform::fake::FakeRegistry registry;
    registry.WriteDword("SecureProtocols", 0x80);
    SetSecureProtocols(registry);
    EXPECT_EQ(registry.ReadDword("SecureProtocols"), 2728u);
}

}  // namespace
}  // namespace kestrava::shell
