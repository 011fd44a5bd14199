// The file calls the core shares between POSIX and Windows (platform/files.h). The same cases run
// on Linux and, in the Windows cross build, under Wine: each Windows case below stands for a
// fault the first Windows runs showed (a rename, a sync or a copy onto a file that is there).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "unit/config/temp_dir.h"

namespace kestrava::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::size_t Entries(const TempDir& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

// Bytes that a text-mode file would change (CR LF, a lone LF or CR, ^Z, NUL) and bytes that are
// not UTF-8 (GBK), which must all land exactly as given.
const std::string kAwkwardBytes = std::string("a\r\nb\nc\rd\x1a" "e") + '\0' + "\xb5\xe7\xc4\xd4\r\n";

TEST(Files, ReplacingAFileTwiceInARowLandsEveryByteAndLeavesNothingBeside) {
    for (const std::string name : {"userconf.ini", "策略01.ini"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string path = dir / name;
        ASSERT_TRUE(ReplaceFileContent(path, "first\n", FileAccess::Keep, nullptr));
        EXPECT_EQ(ReadFile(path), "first\n");
        // Over the file the first call made: a plain rename onto it fails on Windows.
        ASSERT_TRUE(ReplaceFileContent(path, kAwkwardBytes, FileAccess::Keep, nullptr));
        EXPECT_EQ(ReadFile(path), kAwkwardBytes);
        std::string back;
        ASSERT_EQ(ReadWholeFile(path, back, 1024), ReadResult::Ok);
        EXPECT_EQ(back, kAwkwardBytes);
        EXPECT_EQ(Entries(dir), 1u);
        // The name is the UTF-8 one the program gave, not its bytes read in another code page.
        EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(path)));
        EXPECT_EQ(Utf8FromPath(std::filesystem::directory_iterator(dir.Path())->path().filename()), name);
    }
}

TEST(Files, ReadsTellMissingFromUnreadable) {
    TempDir dir;
    std::string content = "stale";
    EXPECT_EQ(ReadWholeFile(dir / "absent.ini", content, 1024), ReadResult::Missing);
    EXPECT_EQ(content, "");
    EXPECT_EQ(ReadWholeFile(dir / "no-folder/x.ini", content, 1024), ReadResult::Missing);
    EXPECT_EQ(ReadWholeFile(dir.Path().string(), content, 1024), ReadResult::Failed);  // a folder
    WriteFile(dir / "big.ini", std::string(2000, 'x'));
    EXPECT_EQ(ReadWholeFile(dir / "big.ini", content, 1024), ReadResult::Failed);
    EXPECT_EQ(ReadWholeFile(std::string("\xff\xfe.ini"), content, 1024),
#ifdef _WIN32
              ReadResult::Failed  // not UTF-8: no name to give the system
#else
              ReadResult::Missing  // POSIX names are bytes
#endif
    );
}

TEST(Files, AReplacementThatCannotHappenLeavesTheOldFile) {
    TempDir dir;
    EXPECT_FALSE(ReplaceFileContent(dir / "no-folder/x.ini", "x", FileAccess::Keep, nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "no-folder"));
    // A folder in the file's place is neither replaced nor joined by a scratch file.
    std::filesystem::create_directory(dir.Path() / "taken.ini");
    EXPECT_FALSE(ReplaceFileContent(dir / "taken.ini", "x", FileAccess::Keep, nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "taken.ini"));
    EXPECT_EQ(Entries(dir), 1u);
}

TEST(Files, CopyAndRenameReplaceAFileThatIsThere) {
    TempDir dir;
    WriteFile(dir / "learned.ini", "second");
    WriteFile(dir / "learned.ini.s.bak", "first");
    // A backup kept over an earlier backup of the same name (the C++ library's copy_file refuses
    // this on Windows).
    ASSERT_TRUE(CopyOver(dir / "learned.ini", dir / "learned.ini.s.bak"));
    EXPECT_EQ(ReadFile(dir / "learned.ini.s.bak"), "second");
    ASSERT_TRUE(CopyOver(dir / "learned.ini", dir / "fresh.bak"));
    EXPECT_EQ(ReadFile(dir / "fresh.bak"), "second");

    WriteFile(dir / "policya.ini.saving", kAwkwardBytes);
    ASSERT_TRUE(RenameOver(dir / "policya.ini.saving", dir / "learned.ini"));
    EXPECT_EQ(ReadFile(dir / "learned.ini"), kAwkwardBytes);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "policya.ini.saving"));

    // What is missing fails, says why and changes nothing.
    std::error_code why;
    EXPECT_FALSE(CopyOver(dir / "absent", dir / "learned.ini", &why));
    EXPECT_TRUE(why);
    why.clear();
    EXPECT_FALSE(RenameOver(dir / "absent", dir / "learned.ini", &why));
    EXPECT_TRUE(why);
    EXPECT_EQ(ReadFile(dir / "learned.ini"), kAwkwardBytes);
}

TEST(Files, SyncingAFileThatWasOnlyCopiedSucceeds) {
    TempDir dir;
    WriteFile(dir / "work.ini", "[Strategy]\r\nSecondBidTime=10\r\n");
    ASSERT_TRUE(CopyOver(dir / "work.ini", dir / ".policya.ini.saving"));
    // Nothing of this process has the file open for writing (Windows flushes only a handle that is).
    EXPECT_TRUE(SyncFile(dir / ".policya.ini.saving"));
    EXPECT_EQ(ReadFile(dir / ".policya.ini.saving"), "[Strategy]\r\nSecondBidTime=10\r\n");
    EXPECT_FALSE(SyncFile(dir / "absent.ini"));
    SyncFolder(dir.Path().string());  // nothing to see; it must not fail or change anything
    EXPECT_EQ(Entries(dir), 2u);
}

TEST(Files, AppendsLandExactlyAndOnlyOnAFile) {
    TempDir dir;
    const std::string log = dir / "123456789_2026-03-21.log";
    ASSERT_TRUE(AppendToFile(log, "line 1\r\n"));
    ASSERT_TRUE(AppendToFile(log, kAwkwardBytes));
    EXPECT_EQ(ReadFile(log), "line 1\r\n" + kAwkwardBytes);
    EXPECT_FALSE(AppendToFile(dir.Path().string(), "x"));
    EXPECT_FALSE(AppendToFile(dir / "no-folder/x.log", "x"));
}

TEST(Files, FoldersAreMadeOneLevelAtATime) {
    TempDir dir;
    EXPECT_TRUE(MakeFolder(dir / "Log"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "Log"));
    EXPECT_TRUE(MakeFolder(dir / "Log"));  // there already
    EXPECT_FALSE(MakeFolder(dir / "a/b"));
    WriteFile(dir / "file", "");
    EXPECT_FALSE(MakeFolder(dir / "file"));
}

TEST(Files, PrivateTempFoldersAreNewEachTime) {
    const std::optional<std::string> a = MakePrivateTempFolder("kestrava-test-");
    const std::optional<std::string> b = MakePrivateTempFolder("kestrava-test-");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    for (const std::string& dir : {*a, *b}) {
        const std::filesystem::path p = PathFromUtf8(dir);
        EXPECT_TRUE(std::filesystem::is_directory(p)) << dir;
        EXPECT_TRUE(std::filesystem::is_empty(p)) << dir;
        EXPECT_EQ(p.filename().string().rfind("kestrava-test-", 0), 0u) << dir;
#ifndef _WIN32
        EXPECT_EQ(std::filesystem::status(p).permissions(), std::filesystem::perms::owner_all) << dir;
#endif
        std::filesystem::remove(p);
    }
}

TEST(Files, EnvironmentValuesAreSeenByTheProcess) {
    ASSERT_TRUE(SetEnvironmentValue("KESTRAVA_FILES_TEST", "1"));
    ASSERT_NE(std::getenv("KESTRAVA_FILES_TEST"), nullptr);
    EXPECT_STREQ(std::getenv("KESTRAVA_FILES_TEST"), "1");
    ASSERT_TRUE(SetEnvironmentValue("KESTRAVA_FILES_TEST", "two words"));
    EXPECT_STREQ(std::getenv("KESTRAVA_FILES_TEST"), "two words");
}

TEST(Files, UtcTimeBreaksDownWithoutTheLocalZone) {
    struct Case {
        std::time_t t;
        int year, month, day, hour, minute, second, weekday;
    };
    const Case cases[] = {
        {0, 1970, 1, 1, 0, 0, 0, 4},
        {951782400, 2000, 2, 29, 0, 0, 0, 2},            // a leap day
        {1774051199, 2026, 3, 20, 23, 59, 59, 5},         // the evening before an auction Saturday
        {4102444800, 2100, 1, 1, 0, 0, 0, 5},             // past 2038
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        const std::optional<std::tm> tm = UtcTime(c.t);
        ASSERT_TRUE(tm);
        EXPECT_EQ(tm->tm_year + 1900, c.year);
        EXPECT_EQ(tm->tm_mon + 1, c.month);
        EXPECT_EQ(tm->tm_mday, c.day);
        EXPECT_EQ(tm->tm_hour, c.hour);
        EXPECT_EQ(tm->tm_min, c.minute);
        EXPECT_EQ(tm->tm_sec, c.second);
        EXPECT_EQ(tm->tm_wday, c.weekday);
    }
}

}  // namespace
}  // namespace kestrava::platform
