// The day's log is the only record of what happened in an auction, and it is read afterwards
// with GBK tools: every line must reach the file once, in order, in GBK, whatever the threads
// and the disk do meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/gbk.h"
#include "log/log_book.h"
#include "platform/fake/fake_platform.h"
#include "unit/config/temp_dir.h"

using namespace kestrava::log;
using kestrava::platform::fake::FakeClock;
using kestrava::platform::fake::MakeLocal;
using kestrava::testing::ReadFile;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;

namespace {

class LogBookTest : public ::testing::Test {
protected:
    std::string LogDir() const { return dir_ / "Log"; }
    std::string FileOf(const std::string& name) const { return dir_ / ("Log/" + name); }

    TempDir dir_;
    FakeClock clock_{MakeLocal(2026, 12, 10, 11, 29, 50, 125)};
    LogBook book_{clock_, LogDir()};
};

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

}  // namespace

TEST_F(LogBookTest, StampPadsWithSpacesAndMillisecondsWithZeros) {
    struct Case {
        int hour, minute, second, ms, pageMinute, pageSecond;
        const char* message;
        std::string expected;
    };
    const Case cases[] = {
        {9, 5, 3, 42, 0, 0, "msg", "[电脑 9: 5: 3.042 - 国拍11: 0: 0] msg\r\n"},
        {9, 5, 3, 42, 29, 50, "msg", "[电脑 9: 5: 3.042 - 国拍11:29:50] msg\r\n"},
        {11, 29, 59, 999, 29, 59, "出价", "[电脑11:29:59.999 - 国拍11:29:59] 出价\r\n"},
        {0, 0, 0, 0, 5, 7, "", "[电脑 0: 0: 0.000 - 国拍11: 5: 7] \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        LogBook book(clock_, LogDir());
        clock_.SetNow(MakeLocal(2026, 12, 10, c.hour, c.minute, c.second, c.ms));
        EXPECT_TRUE(book.WriteLogLine(c.pageMinute, c.pageSecond, c.message));
        EXPECT_EQ(book.Pending(), c.expected);
    }
}

TEST_F(LogBookTest, FlushWritesGbkAndAppendsInOrder) {
    ASSERT_TRUE(book_.WriteLogLine(29, 50, "正式拍牌开始"));
    const std::string first = book_.Pending();
    ASSERT_TRUE(book_.FlushLog("12345678"));
    EXPECT_EQ(book_.Pending(), "");
    const std::string path = FileOf("12345678_2026-12-10.log");
    EXPECT_EQ(book_.DayFilePath("12345678"), path);

    const std::string bytes = ReadFile(path);
    EXPECT_NE(bytes.find("\xB5\xE7\xC4\xD4"), std::string::npos) << "电脑 in GBK";
    EXPECT_EQ(bytes.find("\xE7\x94\xB5"), std::string::npos) << "电 in UTF-8";
    EXPECT_EQ(GbkToUtf8(bytes), first);

    clock_.Advance(1500);
    ASSERT_TRUE(book_.WriteLogLine(29, 51, "second"));
    const std::string second = book_.Pending();
    ASSERT_TRUE(book_.FlushLog("12345678"));
    EXPECT_EQ(GbkToUtf8(ReadFile(path)), first + second);
}

TEST_F(LogBookTest, EmptyFlushCreatesTheFolderAndTheFile) {
    ASSERT_FALSE(std::filesystem::exists(LogDir()));
    EXPECT_TRUE(book_.FlushLog("12345678"));
    const std::string path = FileOf("12345678_2026-12-10.log");
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(LogBookTest, FlushAfterMidnightGoesToTheNewDaysFile) {
    clock_.SetNow(MakeLocal(2026, 12, 10, 23, 59, 59, 900));
    book_.WriteLogLine(0, 0, "before");
    ASSERT_TRUE(book_.FlushLog("12345678"));
    clock_.Advance(200);
    book_.WriteLogLine(0, 0, "after");
    ASSERT_TRUE(book_.FlushLog("12345678"));
    EXPECT_EQ(ReadFile(FileOf("12345678_2026-12-10.log")), Utf8ToGbk("[电脑23:59:59.900 - 国拍11: 0: 0] before\r\n"));
    EXPECT_EQ(ReadFile(FileOf("12345678_2026-12-11.log")), Utf8ToGbk("[电脑 0: 0: 0.100 - 国拍11: 0: 0] after\r\n"));
}

TEST_F(LogBookTest, FailedFlushKeepsTheLinesForTheNextOne) {
    // The log folder's parent is a regular file: neither the folder nor the file can be made,
    // whoever runs the test.
    WriteFile(dir_ / "blocker", "");
    LogBook book(clock_, dir_ / "blocker/Log");
    book.WriteLogLine(29, 50, "older");
    const std::string older = book.Pending();
    EXPECT_FALSE(book.FlushLog("12345678"));
    EXPECT_EQ(book.Pending(), older);

    book.WriteLogLine(29, 51, "newer");
    const std::string both = book.Pending();
    EXPECT_EQ(both.find(older), 0u);
    std::filesystem::remove(dir_ / "blocker");
    std::filesystem::create_directory(dir_ / "blocker");
    ASSERT_TRUE(book.FlushLog("12345678"));
    EXPECT_EQ(GbkToUtf8(ReadFile(dir_ / "blocker/Log/12345678_2026-12-10.log")), both);
}

TEST_F(LogBookTest, TextGbkCannotHoldBecomesAQuestionMarkNotALostLine) {
    book_.WriteLogLine(0, 0, "价\xF0\x9F\x98\x80格\xFF!");
    ASSERT_TRUE(book_.FlushLog("12345678"));
    EXPECT_EQ(GbkToUtf8(ReadFile(FileOf("12345678_2026-12-10.log"))), "[电脑11:29:50.125 - 国拍11: 0: 0] 价?格?!\r\n");
}

TEST_F(LogBookTest, ABidNumberCannotLeaveTheLogFolder) {
    EXPECT_EQ(LogFileName("../x", MakeLocal(2019, 3, 16, 0, 0, 0)), ".._x_2019-03-16.log");
    book_.WriteLogLine(0, 0, "kept");
    ASSERT_TRUE(book_.FlushLog("../x"));
    EXPECT_TRUE(std::filesystem::exists(FileOf(".._x_2026-12-10.log")));
}

// Three writers and a flusher that fails every other time (the "fail" day file is a folder):
// the good file must end up with every line once, in each writer's order.
TEST_F(LogBookTest, ConcurrentWritersAndFlushesLoseAndRepeatNothing) {
    std::filesystem::create_directories(FileOf("fail_2026-12-10.log"));
    constexpr int kWriters = 3;
    constexpr int kLines = 5000;
    std::atomic<int> running{kWriters};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int n = 0; n < kLines; ++n) {
                book_.WriteLogLine(29, 50, "w" + std::to_string(w) + " " + std::to_string(n));
            }
            running.fetch_sub(1);
        });
    }
    int failures = 0;
    std::thread flusher([&] {
        do {
            if (!book_.FlushLog("fail")) ++failures;
            book_.FlushLog("ok");
        } while (running.load() > 0);
    });
    for (auto& t : writers) t.join();
    flusher.join();
    ASSERT_TRUE(book_.FlushLog("ok"));
    EXPECT_GT(failures, 0);

    std::map<int, int> next;  // writer -> the line number expected next
    for (const std::string& line : SplitCrLf(GbkToUtf8(ReadFile(FileOf("ok_2026-12-10.log"))))) {
        const std::string prefix = "[电脑11:29:50.125 - 国拍11:29:50] w";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        std::istringstream fields(line.substr(prefix.size()));
        int w = -1, n = -1;
        fields >> w >> n;
        ASSERT_TRUE(w >= 0 && w < kWriters) << line;
        ASSERT_EQ(n, next[w]) << line;
        ++next[w];
    }
    for (int w = 0; w < kWriters; ++w) EXPECT_EQ(next[w], kLines) << "writer " << w;
}
