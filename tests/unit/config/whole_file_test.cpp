// A file replaced whole (a strategy's save): the old file or the new one, never a mix, and each
// save over the one before works. On Windows the first version synced the copied file through a
// handle opened for reading, which Windows refuses: every strategy save failed there.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/profile.h"
#include "config/whole_file.h"
#include "platform/files.h"
#include "unit/config/temp_dir.h"

using namespace kestrava::config;
using kestrava::testing::ReadFile;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;

namespace {

std::size_t Entries(const TempDir& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

// What a strategy save does: the old file's keys carried over, the saved keys written on top.
bool SaveKeys(const std::string& target, const std::string& work, int second, int third) {
    std::error_code ec;
    if (std::filesystem::exists(kestrava::platform::PathFromUtf8(target), ec) &&
        !kestrava::platform::CopyOver(target, work))
        return false;
    return WriteProfileInt("Strategy", "SecondBidTime", second, work) &&
           WriteProfileInt("Strategy", "ThirdBidTime", third, work);
}

}  // namespace

TEST(WholeFile, SavesOverTheFileBeforeKeepTheirKeysAndLeaveNothingBeside) {
    TempDir dir;
    const std::string path = dir / "policya.ini";
    // A delivered file's key the save does not write stays.
    WriteFile(path, "[Strategy]\r\nDisconSecCode=3\r\nSecondBidTime=1\r\n");
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(ReplaceWhole(path, [&](const std::string& target, const std::string& work) {
            return SaveKeys(target, work, 10 + round, 20 + round);
        }));
        EXPECT_EQ(ReadFile(path), "[Strategy]\r\nDisconSecCode=3\r\nSecondBidTime=" + std::to_string(10 + round) +
                                      "\r\nThirdBidTime=" + std::to_string(20 + round) + "\r\n");
        EXPECT_EQ(Entries(dir), 1u);
    }
    // A save into a slot that has no file yet.
    const std::string fresh = dir / "policyb.ini";
    ASSERT_TRUE(ReplaceWhole(fresh, [&](const std::string& target, const std::string& work) {
        return SaveKeys(target, work, 5, 6);
    }));
    EXPECT_EQ(ReadFile(fresh), "[Strategy]\nSecondBidTime=5\nThirdBidTime=6\n");
}

TEST(WholeFile, ASaveThatFailsLeavesTheOldFile) {
    struct Case {
        const char* name;
        bool fillSucceeds;
        bool folderInTheWay;
    };
    const Case cases[] = {
        {"the new content cannot be made", false, false},
        {"a folder holds the file's place", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "policya.ini";
        if (c.folderInTheWay) {
            std::filesystem::create_directories(dir.Path() / "policya.ini" / "inside");
        } else {
            WriteFile(path, "[Strategy]\nSecondBidTime=1\n");
        }
        // As the copy of a delivered file: the new content does not start from the old file.
        EXPECT_FALSE(ReplaceWhole(path, [&](const std::string&, const std::string& work) {
            return c.fillSucceeds && WriteProfileInt("Strategy", "SecondBidTime", 10, work);
        }));
        if (c.folderInTheWay) {
            EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "policya.ini" / "inside"));
        } else {
            EXPECT_EQ(ReadFile(path), "[Strategy]\nSecondBidTime=1\n");
        }
        EXPECT_EQ(Entries(dir), 1u);  // no scratch or work file left beside it
    }
}
