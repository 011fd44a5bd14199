// The INI-backed registry, and AppliedDPI's fallback to the desktop's Xft.dpi.

#include "platform/x11/ini_registry.h"
#include "test_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kestrava::platform::x11 {
namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kestrava-registry-" + std::to_string(getpid()));
        fs::create_directories(dir);
        path = (dir / "registry.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    // Sets the root window's resource database as xrdb would, restoring it afterwards.
    void SetResources(const std::string& text) {
        testing::TestClient c;
        ASSERT_NE(c.display, nullptr);
        XChangeProperty(c.display, DefaultRootWindow(c.display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
        XSync(c.display, False);
    }
    void ClearResources() {
        testing::TestClient c;
        XDeleteProperty(c.display, DefaultRootWindow(c.display), XA_RESOURCE_MANAGER);
        XSync(c.display, False);
    }

    fs::path dir;
    std::string path;
};

TEST_F(RegistryTest, WrittenValuesReadBackAndSurviveANewInstance) {
    {
        IniRegistry reg(path);
        EXPECT_EQ(reg.ReadDword("SecureProtocols"), std::nullopt);
        ASSERT_TRUE(reg.WriteDword("SecureProtocols", 0xAA8));
        ASSERT_TRUE(reg.WriteDword("Quillpane.exe", 4294967295u));
        EXPECT_EQ(reg.ReadDword("SecureProtocols"), 0xAA8u);
    }
    IniRegistry again(path);
    EXPECT_EQ(again.ReadDword("securePROTOCOLS"), 0xAA8u);  // names match without regard to case
    EXPECT_EQ(again.ReadDword("Quillpane.exe"), 4294967295u);
    EXPECT_EQ(again.ReadString("SecureProtocols"), "2728");
    EXPECT_EQ(again.ReadString("svcVersion"), std::nullopt);
}

TEST_F(RegistryTest, HandEditedValuesAreReadOrRefused) {
    std::ofstream(path) << "[Registry]\nsvcVersion=11.0.19041.1\nAppliedDPI=144\nSecureProtocols=12abc\nEmpty=\n";
    IniRegistry reg(path);
    EXPECT_EQ(reg.ReadString("svcVersion"), "11.0.19041.1");
    EXPECT_EQ(reg.ReadDword("AppliedDPI"), 144u);
    EXPECT_EQ(reg.ReadDword("SecureProtocols"), std::nullopt);  // not a number: no made-up value
    EXPECT_EQ(reg.ReadDword("Empty"), std::nullopt);
    EXPECT_EQ(reg.ReadString("Empty"), "");
}

TEST_F(RegistryTest, AppliedDpiFallsBackToTheDesktopsXftDpi) {
    IniRegistry reg(path);
    SetResources("Xcursor.size:\t24\nXft.dpi:\t144\n");
    EXPECT_EQ(reg.ReadDword("AppliedDPI"), 144u);
    EXPECT_EQ(reg.ReadDword("SecureProtocols"), std::nullopt);  // only AppliedDPI falls back
    ASSERT_TRUE(reg.WriteDword("AppliedDPI", 120));
    EXPECT_EQ(reg.ReadDword("AppliedDPI"), 120u);  // a stored value wins
    ClearResources();
    EXPECT_EQ(IniRegistry(path + ".none").ReadDword("AppliedDPI"), std::nullopt);
}

TEST(XftDpiTest, ParsesTheResourceDatabaseText) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> dpi;
    };
    const Case cases[] = {
        {"Xft.dpi:\t96\n", 96},
        {"Xft.antialias:\t1\nXft.dpi: 120.4\nXft.hinting:\t1\n", 120},
        {"Xft.dpi:\t143.6", 144},
        {"Xft.dpiX:\t96\n", std::nullopt},
        {"Xft.dpi:\tlarge\n", std::nullopt},
        {"Xft.dpi:\t-96\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IniRegistry::ParseXftDpi(c.text), c.dpi);
    }
}

}  // namespace
}  // namespace kestrava::platform::x11
