// Settings files carry over between installations and are edited by hand, so the reader must
// give exactly the private-profile answers for odd files, and a write must never lose or mangle
// anything that was in the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/profile.h"
#include "unit/config/temp_dir.h"

using namespace kestrava::config;
using kestrava::testing::ReadFile;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;

namespace {

// One file with every shape of line a hand-edited settings file may hold; `eol` lets the same
// file be checked with Windows and Unix line ends.
std::string OddFile(const std::string& eol) {
    const char* lines[] = {
        "\xEF\xBB\xBForphan=7",  // before any section, behind a byte-order mark
        "; comment=9",
        "[Configure]",
        "plain=42",
        "neg=-17",
        "plus=+5",
        "lead=  12abc",
        "abc=abc",
        "empty=",
        "sign= - 5",
        "big=99999999999",
        "small=-99999999999",
        "  MixedCase = 3  ",
        "garbage line without an equals sign",
        "[unclosed section",
        "=no name",
        "\x01\xff\xfe binary",
        "text=  two words  ",
        "quoted=\"  kept inside  \"",
        "han=电脑电脑",
        "[ configure ]",
        "dup=1",
        "plain=1000",
        "[Other]",
        "plain=100",
    };
    std::string out;
    for (const char* line : lines) out += std::string(line) + eol;
    return out;
}

}  // namespace

TEST(Profile, ReadsIntegersFromLeadingDigits) {
    struct Case {
        const char* section;
        const char* key;
        int def;
        int expected;
    };
    const Case cases[] = {
        {"Configure", "plain", -1, 42},
        {"CONFIGURE", "PLAIN", -1, 42},  // names match without regard to case
        {"Configure", "neg", -1, -17},
        {"Configure", "plus", -1, 5},
        {"Configure", "lead", -1, 12},
        {"Configure", "abc", -1, 0},        // no digit: 0, not the default
        {"Configure", "sign", -1, 0},       // a sign must touch the digits
        {"Configure", "empty", -1, -1},     // present but empty: the default
        {"Configure", "big", -1, INT_MAX},  // clamped, not wrapped
        {"Configure", "small", -1, INT_MIN},
        {"Configure", "mixedcase", -1, 3},
        {"Configure", "missing", 77, 77},
        {"Configure", "orphan", 5, 5},   // lines before the first section belong to none
        {"Configure", "comment", 5, 5},  // comments are not keys
        {"Configure", "dup", 6, 6},      // only the first [Configure] is read
        {"Other", "plain", -1, 100},
        {"Nowhere", "plain", 8, 8},
    };
    // A CR alone ends a line too (old Mac files): no value ever carries a bare CR.
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        TempDir dir;
        const std::string path = dir / "odd.ini";
        WriteFile(path, OddFile(eol));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.section) + "/" + c.key + (eol == "\n" ? " LF" : " CRLF"));
            EXPECT_EQ(ReadProfileInt(c.section, c.key, c.def, path), c.expected);
        }
    }
}

TEST(Profile, ReadsStringsTrimmedAndCutToTheBuffer) {
    struct Case {
        const char* key;
        const char* def;
        std::size_t bufferSize;
        std::string expected;
    };
    const Case cases[] = {
        {"text", "", 100, "two words"},
        {"text", "", 4, "two"},
        {"text", "", 1, ""},
        {"text", "", 0, ""},
        {"quoted", "", 100, "  kept inside  "},
        {"han", "", 100, "电脑电脑"},
        {"han", "", 7, "电脑"},  // 6 bytes fit exactly
        {"han", "", 6, "电"},    // 5 bytes would split the second character
        {"han", "", 5, "电"},
        {"han", "", 3, ""},
        {"missing", "fallback", 100, "fallback"},
        {"missing", "fallback", 5, "fall"},  // the default is cut like a value
        {"lead", "", 100, "12abc"},
    };
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        TempDir dir;
        const std::string path = dir / "odd.ini";
        WriteFile(path, OddFile(eol));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.key) + " buffer " + std::to_string(c.bufferSize));
            EXPECT_EQ(ReadProfileString("configure", c.key, c.def, c.bufferSize, path), c.expected);
        }
    }
}

TEST(Profile, MissingEmptyOrUnreadableFilesGiveTheDefaults) {
    TempDir dir;
    WriteFile(dir / "empty.ini", "");
    const std::string paths[] = {dir / "absent.ini", dir / "empty.ini", dir / "no-folder/x.ini", dir.Path().string()};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ReadProfileInt("Configure", "dwbase", 90800, path), 90800);
        EXPECT_EQ(ReadProfileString("Configure", "synchostip", "host", 100, path), "host");
    }
}

TEST(Profile, WriteCreatesTheFileAndTheSection) {
    TempDir dir;
    const std::string path = dir / "new.ini";
    ASSERT_TRUE(WriteProfileInt("Configure", "SelPolicy", -3, path));
    ASSERT_TRUE(WriteProfileString("Configure", "synchostip", "10.0.0.1", path));
    EXPECT_EQ(ReadFile(path), "[Configure]\nSelPolicy=-3\nsynchostip=10.0.0.1\n");

    // A file with no line end at its end, and no section yet.
    WriteFile(path, "orphan=1");
    ASSERT_TRUE(WriteProfileString("Configure", "k", "v", path));
    EXPECT_EQ(ReadFile(path), "orphan=1\n\n[Configure]\nk=v\n");
}

TEST(Profile, WriteChangesOneLineAndKeepsTheRest) {
    struct Case {
        const char* name;
        const char* section;
        const char* key;
        const char* value;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"existing key keeps its spelling, the rest stays byte for byte", "CONFIGURE", "PLAIN", "7",
         "; hand-written\r\nx=1\r\n[Configure]\r\n  Plain = 42 \r\njunk\r\n[Other]\r\nplain=100\r\n",
         "; hand-written\r\nx=1\r\n[Configure]\r\n  Plain=7\r\njunk\r\n[Other]\r\nplain=100\r\n"},
        {"new key goes to the end of its section, before the blank line", "Configure", "added", "a b",
         "[Configure]\nplain=42\n\n[Other]\nplain=100\n",
         "[Configure]\nplain=42\nadded=a b\n\n[Other]\nplain=100\n"},
        {"new key after a last line with no line end", "Configure", "added", "1", "[Configure]\nplain=42",
         "[Configure]\nplain=42\nadded=1\n"},
        {"new section at the end, in the file's own line ends", "Fresh", "k", "v", "[Configure]\r\nplain=42\r\n",
         "[Configure]\r\nplain=42\r\n\r\n[Fresh]\r\nk=v\r\n"},
        {"a repeated section is written in its first occurrence", "configure", "plain", "5",
         "[Configure]\nplain=1\n[Configure]\nplain=2\n", "[Configure]\nplain=5\n[Configure]\nplain=2\n"},
        {"a repeated key is written in its first occurrence", "Configure", "k", "new", "[Configure]\nk=a\nk=b\n",
         "[Configure]\nk=new\nk=b\n"},
        {"an empty value is written as such", "Configure", "k", "", "[Configure]\nk=a\n", "[Configure]\nk=\n"},
        {"a file of bare CRs stays one", "Configure", "added", "2", "[Configure]\rk=a\rx=1\r",
         "[Configure]\rk=a\rx=1\radded=2\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "f.ini";
        WriteFile(path, c.before);
        ASSERT_TRUE(WriteProfileString(c.section, c.key, c.value, path));
        EXPECT_EQ(ReadFile(path), c.after);
        EXPECT_EQ(ReadProfileString(c.section, c.key, "?", 100, path), c.value);
    }
}

TEST(Profile, RefusedWritesLeaveTheFileUntouched) {
    struct Case {
        const char* name;
        std::string section, key, value;
    };
    const Case cases[] = {
        {"LF in value", "Configure", "k", "a\nb=c"},
        {"CR in value", "Configure", "k", "a\rb"},
        {"line break in key", "Configure", "k\nx", "1"},
        {"equals in key", "Configure", "a=b", "1"},
        {"empty key", "Configure", "", "1"},
        {"bracket in section", "Con]figure", "k", "1"},
        {"empty section", "", "k", "1"},
    };
    TempDir dir;
    const std::string path = dir / "f.ini";
    const std::string original = "[Configure]\nk=old\n";
    WriteFile(path, original);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(WriteProfileString(c.section, c.key, c.value, path));
        EXPECT_EQ(ReadFile(path), original);
    }
    // Nothing left behind either: no temporary file beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(Profile, WriteIntoAMissingFolderFails) {
    TempDir dir;
    EXPECT_FALSE(WriteProfileInt("Configure", "k", 1, dir / "bin/userconf.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir / "bin"));
    // A path that is a folder is not a settings file.
    EXPECT_FALSE(WriteProfileInt("Configure", "k", 1, dir.Path().string()));
}

TEST(Profile, WriteKeepsOrTightensPermissionBits) {
#ifdef _WIN32
    GTEST_SKIP() << "permission bits and symbolic links are POSIX's; on Windows the person's own folder guards "
                    "the settings (docs/windows.md)";
#else
    TempDir dir;
    const std::string shared = dir / "shared.ini";
    WriteFile(shared, "[Configure]\nk=1\n");
    ::chmod(shared.c_str(), 0640);
    ASSERT_TRUE(WriteProfileInt("Configure", "k", 2, shared));
    struct stat st {};
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const std::string secret = dir / "secret.ini";
    ASSERT_TRUE(WriteProfileString("Configure", "idcard", "x", secret, FileAccess::OwnerOnly));
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ::chmod(secret.c_str(), 0644);
    ASSERT_TRUE(WriteProfileString("Configure", "idcard", "y", secret, FileAccess::OwnerOnly));
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A settings file reached through a symbolic link stays a link to the rewritten file.
    const std::string link = dir / "link.ini";
    std::filesystem::create_symlink(shared, link);
    ASSERT_TRUE(WriteProfileInt("Configure", "k", 3, link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadProfileInt("Configure", "k", 0, shared), 3);
#endif
}

// The settings are written key by key, each write replacing the file the one before made (on
// Windows a plain rename onto an existing file fails: every second write was lost there).
TEST(Profile, WritesInARowEachReplaceTheFile) {
    for (const std::string name : {"userconf.ini", "策略01.ini"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string path = dir / name;
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(WriteProfileInt("Configure", "SelPolicy", i, path)) << "write " << i;
            ASSERT_TRUE(WriteProfileString("Configure", "dwbase", std::to_string(90800 + 100 * i), path)) << i;
            EXPECT_EQ(ReadFile(path), "[Configure]\nSelPolicy=" + std::to_string(i) +
                                          "\ndwbase=" + std::to_string(90800 + 100 * i) + "\n");
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    }
}

// A policy file moves between PCs with the person; one written on Windows (CR LF, a Chinese
// comment) must read the same here and come out of a write byte for byte as on Windows, and the
// other way round: the same checked-in file and the same expected bytes on both systems.
TEST(Profile, AFileFromTheOtherSystemReadsAndWritesTheSameBytes) {
    TempDir dir;
    const std::string path = dir / "policya.ini";
    const std::string original = ReadFile(KESTRAVA_TEST_FIXTURES "/policy_crlf.ini");
    ASSERT_EQ(original.substr(original.size() - 5), "k=v\r\n");
    WriteFile(path, original);
    EXPECT_EQ(ReadProfileInt("Strategy", "SecondBidTime", -1, path), 10);
    EXPECT_EQ(ReadProfileInt("Strategy", "mandatory_bid", -1, path), 1500);
    EXPECT_EQ(ReadProfileString("Other", "k", "?", 10, path), "v");

    ASSERT_TRUE(WriteProfileInt("Strategy", "SecondBidTime", 12, path));
    ASSERT_TRUE(WriteProfileInt("Strategy", "LastTime", 55, path));
    EXPECT_EQ(ReadFile(path),
              "; 策略 saved by Kestrava on Windows\r\n[Strategy]\r\nSecondBidTime=12\r\nSecondPlus=700\r\n"
              "mandatory_bid=1500\r\nLastTime=55\r\n\r\n[Other]\r\nk=v\r\n");
}

TEST(Profile, ConcurrentWritersLoseNoKeys) {
    TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.Path() / "bin"));
    // The same file under two spellings, as ".//bin//x.ini" and "./bin/x.ini" would be.
    const std::string spellings[] = {dir / "bin//shared.ini", dir / "bin/shared.ini"};
    constexpr int kThreads = 6;
    constexpr int kKeys = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kKeys; ++k) {
                const std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
                EXPECT_TRUE(WriteProfileInt("Configure", key, t * 1000 + k, spellings[t % 2]));
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            const std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
            EXPECT_EQ(ReadProfileInt("Configure", key, -1, spellings[0]), t * 1000 + k) << key;
        }
    }
}

// A newer package brings settings files with more keys; an older installation folder gets the new
// keys and keeps every value the person set, every line they wrote, and its own line ends.
TEST(Profile, MergeAddsMissingDefaultsAndKeepsThePersonsValues) {
    struct Case {
        const char* name;
        std::string defaults;
        std::string before;
        std::string after;
        int added;
    };
    const Case cases[] = {
        {"a new key joins its section; the person's value stays whatever the default says",
         "[Position]\nlvwf_x=24\nnew_y=5\n", "; learned\n[Position]\nLVWF_X = 31\n",
         "; learned\n[Position]\nLVWF_X = 31\nnew_y=5\n", 1},
        {"a new section comes with its keys, in the defaults' order, in the file's line ends",
         "[A]\nk=1\n[B]\nz=26\ny=25\n", "[A]\r\nk=9\r\n", "[A]\r\nk=9\r\n\r\n[B]\r\nz=26\r\ny=25\r\n", 2},
        {"an empty value the person set is a value", "[A]\nk=1\n", "[A]\nk=\n", "[A]\nk=\n", 0},
        {"values are copied as written, quotes and all; comments and odd lines of the defaults are not",
         "; about k\n[A]\njunk\nk=\"  two words \"\n", "", "[A]\nk=\"  two words \"\n", 1},
        {"what a read of the defaults does not see is not added: later repeats of a section or key",
         "[A]\nk=1\nk=2\n[A]\nj=3\n", "[A]\n", "[A]\nk=1\n", 1},
        {"a repeated section in the person's file: the key is looked for in the first, as reads do",
         "[A]\nk=1\n", "[A]\nx=0\n[A]\nk=2\n", "[A]\nx=0\nk=1\n[A]\nk=2\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir / "defaults.ini", c.defaults);
        const std::string path = dir / "person.ini";
        if (!c.before.empty()) WriteFile(path, c.before);
        EXPECT_EQ(MergeProfileDefaults(dir / "defaults.ini", path), c.added);
        EXPECT_EQ(ReadFile(path), c.after);
        // Merging again finds nothing missing and leaves the file as it is.
        EXPECT_EQ(MergeProfileDefaults(dir / "defaults.ini", path), 0);
        EXPECT_EQ(ReadFile(path), c.after);
    }
}

TEST(Profile, MergeThatCannotReadOrWriteChangesNothing) {
    TempDir dir;
    WriteFile(dir / "defaults.ini", "[A]\nk=1\n");
    const std::string path = dir / "person.ini";
    WriteFile(path, "[A]\nj=2\n");
    EXPECT_EQ(MergeProfileDefaults(dir / "missing.ini", path), std::nullopt);
    EXPECT_EQ(MergeProfileDefaults(dir.Path().string(), path), std::nullopt);  // a folder as defaults
    EXPECT_EQ(MergeProfileDefaults(dir / "defaults.ini", dir.Path().string()), std::nullopt);
    EXPECT_EQ(MergeProfileDefaults(dir / "defaults.ini", dir / "no/such/folder.ini"), std::nullopt);
    EXPECT_EQ(ReadFile(path), "[A]\nj=2\n");

#ifndef _WIN32
    // A secret file created or completed by the merge is the person's alone.
    const std::string secret = dir / "userconf.ini";
    WriteFile(secret, "[A]\n");
    ::chmod(secret.c_str(), 0644);
    EXPECT_EQ(MergeProfileDefaults(dir / "defaults.ini", secret, FileAccess::OwnerOnly), 1);
    struct stat st {};
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
#endif
}
