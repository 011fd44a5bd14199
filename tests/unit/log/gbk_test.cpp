// GBK is the byte form of the log on disk; a character it lacks must cost one '?', never the
// rest of the text.
#include <gtest/gtest.h>

#include <string>

#include "log/gbk.h"

using namespace kestrava::log;

TEST(Gbk, Utf8ToGbkReplacesWhatItCannotHold) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string gbk;
    };
    const Case cases[] = {
        {"ASCII unchanged", "ab 12:30\r\n", "ab 12:30\r\n"},
        {"Han characters", "电脑国拍", "\xB5\xE7\xC4\xD4\xB9\xFA\xC5\xC4"},
        {"full-width colon", "投标号：", "\xCD\xB6\xB1\xEA\xBA\xC5\xA3\xBA"},
        {"emoji has no GBK code", "a\xF0\x9F\x98\x80" "b", "a?b"},
        {"stray byte", "a\xFF" "b", "a?b"},
        {"character cut off at the end", "a\xE7\x94", "a??"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(Gbk, GbkToUtf8RoundTripsAndReplacesBadBytes) {
    const std::string text = "[电脑 9: 5: 3.042 - 国拍11:29:50] 模拟拍牌开始\r\n";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(text)), text);
    EXPECT_EQ(GbkToUtf8("ok\x81"), "ok?");  // a lead byte with nothing after it
    // A long text crosses the converter's buffer growth.
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "价";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(many)), many);
}
