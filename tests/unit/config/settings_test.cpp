// The typed keys read the installation's files by their relative paths, so each test runs in a
// fresh working directory laid out like an installation folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "config/settings.h"
#include "unit/config/temp_dir.h"

using namespace kestrava::config;
using kestrava::testing::ReadFile;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directory(dir_.Path() / "bin");
        std::filesystem::current_path(dir_.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    // Permission bits are POSIX's: on Windows the person's own folder guards the files, and the
    // check is left out there.
    static void ExpectMode([[maybe_unused]] const char* path, [[maybe_unused]] unsigned mode) {
#ifndef _WIN32
        struct stat st {};
        ASSERT_EQ(::stat(path, &st), 0) << path;
        EXPECT_EQ(st.st_mode & 07777, mode) << path;
#endif
    }

    TempDir dir_;
    std::filesystem::path previous_;
};

}  // namespace

TEST_F(Settings, AnEmptyUserFileGivesTheFreshInstallationValues) {
    WriteFile("bin/userconf.ini", "");
    EXPECT_EQ(Read(user::bidnumber), "");
    EXPECT_EQ(Read(user::dwbase), 90800);
    EXPECT_EQ(Read(user::scanInterval), 100);
    EXPECT_EQ(Read(user::jamInterval), 10);
    EXPECT_EQ(Read(user::synchostip), "");
    EXPECT_EQ(Read(user::debg), 0);
    EXPECT_EQ(Read(conf::starttimehour), 10);
    EXPECT_EQ(Read(conf::endtimehour), 11);
}

TEST_F(Settings, StringKeysAreCutToTheirDocumentedLength) {
    WriteFile("bin/userconf.ini",
              "[Configure]\nbidnumber=123456789012\nbidpassword=12345678901\nidcard=1234567890123456789012\n");
    EXPECT_EQ(Read(user::bidnumber), "123456789");
    EXPECT_EQ(Read(user::bidpassword), "123456789");
    EXPECT_EQ(Read(user::idcard), "1234567890123456789");
}

TEST_F(Settings, TelecomTellsNeverLookedUpApart) {
    struct Case {
        const char* file;
        int expected;
    };
    const Case cases[] = {
        {"", 2},                         // absent: look it up
        {"[Configure]\ntelecom=0\n", 0},  // a line of the other carriers
        {"[Configure]\ntelecom=1\n", 1},
        {"[Configure]\ntelecom=x\n", 0},  // not a number reads as 0
        {"[Configure]\ntelecom=\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFile("bin/userconf.ini", c.file);
        EXPECT_EQ(ReadTelecom(), c.expected);
    }
}

TEST_F(Settings, UserFileIsWrittenOwnerOnlyAndConfKeepsItsMode) {
    ASSERT_TRUE(Write(user::idcard, "110101199001011234"));
    ExpectMode("bin/userconf.ini", 0600);
    EXPECT_EQ(Read(user::idcard), "110101199001011234");

    WriteFile("bin/conf.ini", "[Configure]\nauto_update=1\n");
    ::chmod("bin/conf.ini", 0644);
    ASSERT_TRUE(Write(conf::auto_update, 0));
    ExpectMode("bin/conf.ini", 0644);
    EXPECT_EQ(ReadFile("bin/conf.ini"), "[Configure]\nauto_update=0\n");

    ::chmod("bin/userconf.ini", 0644);
    EXPECT_TRUE(ProtectUserConf());
    ExpectMode("bin/userconf.ini", 0600);
    std::filesystem::remove("bin/userconf.ini");
    EXPECT_TRUE(ProtectUserConf());
}

TEST_F(Settings, PricesAreStoredAsSentAndReadByTheirLeadingDigits) {
    ASSERT_TRUE(WriteText(user::dwbase, "91200元"));
    EXPECT_EQ(ReadFile("bin/userconf.ini"), "[Configure]\ndwbase=91200元\n");
    EXPECT_EQ(Read(user::dwbase), 91200);
}

TEST_F(Settings, WritesFailWithoutTheBinFolder) {
    std::filesystem::remove("bin");
    EXPECT_FALSE(Write(user::SelPolicy, 2));
    EXPECT_EQ(Read(user::SelPolicy), 0);
}
