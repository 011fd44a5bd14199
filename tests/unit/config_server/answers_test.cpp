// The configuration host's values are checked when its settings are read, in the shapes the
// console stores; the queries name exactly one value, and everything else is an "Error:" body
// the console takes for a failed request.
#include "answers.h"

#include <gtest/gtest.h>

#include "unit/config/temp_dir.h"

using namespace kestrava::config_server;
using kestrava::testing::TempDir;
using kestrava::testing::WriteFile;

TEST(ConfigAnswers, SettingsAreLoadedOnlyWhenEveryValueHasTheConsolesShape) {
    struct Case {
        const char* name;
        const char* answers;  // the lines of [answers]
        const char* error;    // part of the error, or "" when loaded
    };
    const Case cases[] = {
        {"all set", "dwbase=90800\nhpbase=92900\nserverip=a.example,10.0.0.2:9002\nnotice=拍牌日见", ""},
        {"nothing set", "", ""},
        {"blanks around items", "serverip= a.example , b.example ", ""},
        {"ten servers", "serverip=a,b,c,d,e,f,g,h,i,j", ""},
        {"eleven servers", "serverip=a,b,c,d,e,f,g,h,i,j,k", "at most 10"},
        {"empty item", "serverip=a.example,,b.example", "every item"},
        {"host with a slash", "serverip=a.example/x", "not a plain host"},
        {"host of 100 characters", nullptr, "every item"},
        {"price with a sign", "dwbase=-90800", "dwbase must be"},
        {"price with a decimal point", "hpbase=92900.5", "hpbase must be"},
        {"price of ten digits", "dwbase=1234567890", "dwbase must be"},
        {"notice with a tab", "notice=a\tb", "one line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string answers =
            c.answers ? c.answers : "serverip=" + std::string(100, 'h');
        WriteFile(dir / "s.ini", "[server]\nport=80\n[answers]\n" + answers + "\n");
        const LoadedAnswers loaded = LoadAnswers(dir / "s.ini");
        if (*c.error == '\0') {
            EXPECT_TRUE(loaded.answers.has_value()) << loaded.error;
        } else {
            EXPECT_FALSE(loaded.answers.has_value());
            EXPECT_NE(loaded.error.find(c.error), std::string::npos) << loaded.error;
        }
    }
    TempDir dir;
    const LoadedAnswers missing = LoadAnswers(dir / "none.ini");
    EXPECT_FALSE(missing.answers.has_value());
    EXPECT_NE(missing.error.find("no such settings file"), std::string::npos);
}

TEST(ConfigAnswers, EachQueryNamesOneValueAndAnythingElseIsAnErrorBody) {
    Answers a;
    a.dwbase = "90800";
    a.syncServers = {"s1.example", "s2.example"};
    struct Case {
        const char* query;
        int status;
        const char* body;
    };
    const Case cases[] = {
        {"dwbase", 200, "90800"},
        {"serverip", 200, "s1.example,s2.example"},
        {"hpbase", 404, "Error:not served here\n"},  // not set: the console keeps its own
        {"", 400, "Error:no query (ask /?dwbase, /?hpbase or /?serverip)\n"},
        {"dwbase=1", 404, "Error:unknown query\n"},
        {"dwbase&hpbase", 404, "Error:unknown query\n"},
        {"DWBASE", 404, "Error:unknown query\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const Reply r = AnswerQuery(a, c.query);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.body, c.body);
    }
    EXPECT_EQ(AnswerNotice(a).status, 404);
    a.notice = "今日拍卖";
    EXPECT_EQ(AnswerNotice(a).body, "今日拍卖");
}
