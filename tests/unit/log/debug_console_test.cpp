// Diagnostics reach the terminal only in debug mode, and lines printed by several threads at
// once stay whole.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/log_book.h"

using namespace kestrava::log;

TEST(DebugConsole, PrintsOnlyWhenSwitchedOn) {
    testing::internal::CaptureStdout();
    SetDebugConsole(false);
    DebugPrintf("yushu %d\n", 1);
    DebugPrint("hidden\n");
    SetDebugConsole(true);
    EXPECT_TRUE(DebugConsoleOn());
    DebugPrintf("yushu %d\n", 2);
    DebugPrintf("进度条拥堵信号%d 马上提交", 3);
    const std::string longText(2000, 'x');
    DebugPrintf("%s\n", longText.c_str());
    SetDebugConsole(false);
    DebugPrintf("yushu %d\n", 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "yushu 2\n进度条拥堵信号3 马上提交" + longText + "\n");
}

TEST(DebugConsole, LinesFromSeveralThreadsStayWhole) {
    testing::internal::CaptureStdout();
    SetDebugConsole(true);
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < kLines; ++n) DebugPrintf("thread %d line %d %s\n", t, n, "................");
        });
    }
    for (auto& th : threads) th.join();
    SetDebugConsole(false);
    std::istringstream out(testing::internal::GetCapturedStdout());
    std::set<std::string> seen;
    for (std::string line; std::getline(out, line);) {
        int t = -1, n = -1;
        char tail[32] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d %31s", &t, &n, tail), 3) << line;
        EXPECT_EQ(std::string(tail), "................") << line;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}
