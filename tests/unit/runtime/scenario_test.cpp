// The scenario format: every example in scenarios/ parses, and each kind of mistake is reported
// with its line number and a message that names what is wrong.
#include "runtime/scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kestrava::runtime {
namespace {

TEST(Scenario, EveryExampleFileParses) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KESTRAVA_SCENARIO_DIR)) {
        if (entry.path().extension() != ".scn") continue;
        ++files;
        SCOPED_TRACE(entry.path().string());
        const ParseResult r = LoadScenario(entry.path().string());
        ASSERT_TRUE(r.scenario) << r.error->line << ": " << r.error->message;
        EXPECT_FALSE(r.scenario->events.empty() && r.scenario->feeds.empty());
    }
    EXPECT_GT(files, 0);
}

TEST(Scenario, ReadsSettingsEventsAndFeedsInTimeOrder) {
    const ParseResult r = ParseScenario(
        "# a comment\n"
        "start 11:29:00\n"
        "stop 11:30:01.5\n"
        "set conf swbidmode 2   # trailing comment\n"
        "set policy 3 SecondBidTime 48\n"
        "slot 3\n"
        "box 1125 off\n"
        "at 11:29:57.600 jam 3\n"
        "at 11:29:20 key ctrl+enter\n"
        "at 11:29:30 post 0x492\n"
        "at 11:29:31 page 89000 1129310000\n"
        "at 11:29:32 screen 89100\n"
        "feed 11:29:00 11:29:40 every 50\n",
        "x.scn");
    ASSERT_TRUE(r.scenario) << r.error->message;
    const Scenario& s = *r.scenario;
    EXPECT_EQ(s.start, ParseClock("11:29:00"));
    EXPECT_EQ(s.stop, ParseClock("11:30:01.500"));
    ASSERT_EQ(s.settings.size(), 3u);
    EXPECT_EQ(s.settings[0].file, ".//bin//conf.ini");
    EXPECT_EQ(s.settings[1].file, ".//bin//policyc.ini");
    EXPECT_EQ(s.settings[1].section, "RevEvudar");
    EXPECT_EQ(s.settings[2].key, "SelPolicy");
    EXPECT_EQ(s.settings[2].value, "2");
    ASSERT_EQ(s.startBoxes.size(), 1u);
    EXPECT_EQ(s.startBoxes[0].a, 1125);
    EXPECT_EQ(s.startBoxes[0].b, 0);
    ASSERT_EQ(s.events.size(), 5u);
    EXPECT_EQ(s.events[0].kind, EventKind::Key);
    EXPECT_EQ(s.events[0].key, Key::CtrlEnter);
    EXPECT_EQ(s.events[1].a, 0x492);
    EXPECT_EQ(s.events[2].b, 1129310000);
    EXPECT_EQ(s.events[3].kind, EventKind::ScreenPrice);
    EXPECT_EQ(s.events[3].a, 89100);
    EXPECT_EQ(s.events[4].kind, EventKind::Jam);
    EXPECT_EQ(s.events[4].line, 8);
    ASSERT_EQ(s.feeds.size(), 1u);
    EXPECT_EQ(s.feeds[0].periodMs, 50);
}

TEST(Scenario, MalformedLinesAreReportedWithTheirNumber) {
    struct Case {
        const char* text;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"start 11:29\n", 1, "not a time of day"},
        {"start 25:00:00\n", 1, "not a time of day"},
        {"\n\nat 11:29:10 jump 3\n", 3, "unknown event \"jump\""},
        {"at 11:29:10 key space\n", 1, "unknown key \"space\""},
        {"at 11:28:00 jam 3\n", 1, "before the console starts"},
        {"set conf\n", 1, "takes a key and one value"},
        {"set policy 21 SecondBidTime 48\n", 1, "slot 1 … 20"},
        {"set policy 1 SecondBidTme 48\n", 1, "unknown strategy key \"SecondBidTme\""},
        {"set policy 1 SecondBidTime soon\n", 1, "whole number"},
        {"set geometry lvwf_q 3\n", 1, "unknown geometry key"},
        {"set registry x 1\n", 1, "unknown settings file"},
        {"at 11:29:10 page 89000\n", 1, "page takes a price and a page time code"},
        {"at 11:29:10 page 89000 99999999999\n", 1, "page takes"},
        {"at 11:29:10 box 1196 maybe\n", 1, "on or off"},
        {"at 11:29:10 screen\n", 1, "screen takes the price"},
        {"at 11:29:10 screen 16777216\n", 1, "0 … 16777215"},
        {"at 11:29:10 screen -100\n", 1, "screen takes the price"},
        {"feed 11:29:10 11:29:00\n", 1, "ends before it starts"},
        {"feed 11:29:00 11:29:10 every 0\n", 1, "every <ms>"},
        {"at 11:29:10 jam 3\nstart 11:29:00\n", 2, "before the timed lines"},
        {"start 11:29:00\nstop 11:28:00\n", 2, "after the start"},
        {"slot 0\n", 1, "slot 1 … 20"},
        {"bid 1234\n", 1, "eight-digit"},
        {"launch\n", 1, "unknown statement"},
        {"at 11:29:10 log full\n", 1, "writable or unwritable"},
        {"at 11:29:10 clock +5\n", 1, "clock takes the time of day"},
        {"at 11:29:10 shell restarted\n", 1, "killed or started"},
        {"at 11:29:10 clock 11:29:15 11:29:20\n", 1, "clock takes the time of day"},
        {"start 11:29:00\nset conf launchp 1\x01\n", 2, "control character 1"},
        {"# a comment may not hide one either \x7f\n", 1, "control character 127"},
        {"feed 11:29:00 11:29:10 delay -1\n", 1, "feed delay"},
        {"feed 11:29:00 11:29:10 burst 0\n", 1, "feed burst"},
        {"feed 11:29:00 11:29:10 clock ++5\n", 1, "feed clock"},
        {"feed 11:29:00 11:29:10 clock 60001\n", 1, "feed clock"},
        {"feed 11:29:00 11:29:10 sometimes 3\n", 1, "unknown feed option \"sometimes\""},
        {"feed 11:29:00 11:29:10 every\n", 1, "feed takes"},
        {"page clock fast\n", 1, "page takes clock"},
        {"at 11:29:10 key enter held\n", 1, "key takes"},
        {"at 11:29:10 key enter held 0\n", 1, "held takes how long"},
        {"at 11:29:10 key escape held 300\n", 1, "key takes"},
        {"at 11:29:10 page closes window\n", 1, "page takes"},
        {"at 11:29:10 shell fails click\n", 1, "fails confirm"},
        {"at 11:29:10 screen 89400 wrong\n", 1, "misread"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.text);
        const ParseResult r = ParseScenario(t.text);
        ASSERT_FALSE(r.scenario);
        ASSERT_TRUE(r.error);
        EXPECT_EQ(r.error->line, t.line);
        EXPECT_NE(r.error->message.find(t.says), std::string::npos) << r.error->message;
    }
}

TEST(Scenario, ReadsThePageAndShellStatements) {
    const ParseResult r = ParseScenario(
        "start 11:29:00\n"
        "page clock -250\n"
        "feed 11:29:00 11:29:40 burst 500 delay 300 every 50\n"
        "feed 11:29:40 11:29:50 clock +1500\n"
        "at 11:29:20 key enter held 1500\n"
        "at 11:29:30 page closes dialog\n"
        "at 11:29:31 shell fails confirm\n"
        "at 11:29:32 screen 89400 misread\n");
    ASSERT_TRUE(r.scenario) << r.error->message;
    const Scenario& s = *r.scenario;
    EXPECT_EQ(s.pageClockOffsetMs, -250);
    ASSERT_EQ(s.feeds.size(), 2u);
    EXPECT_EQ(s.feeds[0].periodMs, 50);
    EXPECT_EQ(s.feeds[0].burstMs, 500);
    EXPECT_EQ(s.feeds[0].delayMs, 300);
    EXPECT_FALSE(s.feeds[0].clockOffsetMs);
    EXPECT_EQ(s.feeds[1].clockOffsetMs, 1500);
    ASSERT_EQ(s.events.size(), 4u);
    EXPECT_EQ(s.events[0].key, Key::Enter);
    EXPECT_EQ(s.events[0].b, 1500);
    EXPECT_EQ(s.events[1].kind, EventKind::PageClosesDialog);
    EXPECT_EQ(s.events[2].kind, EventKind::ShellFailsConfirm);
    EXPECT_EQ(s.events[3].kind, EventKind::ScreenPrice);
    EXPECT_EQ(s.events[3].b, 1);
}

TEST(Scenario, AMissingFileIsAnErrorOfTheWholeFile) {
    const ParseResult r = LoadScenario("/nonexistent/kestrava.scn");
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->line, 0);
}

TEST(Scenario, ClockTextsRoundTrip) {
    struct Case {
        const char* text;
        std::optional<DayMs> ms;
    };
    const Case cases[] = {
        {"11:29:59.9", 41399900},   {"11:29:59.900", 41399900}, {"00:00:00", 0},
        {"23:59:59.999", 86399999}, {"11:29:59.", std::nullopt}, {"11:29:59.1234", std::nullopt},
        {"11:60:00", std::nullopt}, {"1:29:59", std::nullopt},   {"11:29:5x", std::nullopt},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.text);
        EXPECT_EQ(ParseClock(t.text), t.ms);
        if (t.ms) {
            EXPECT_EQ(ParseClock(FormatClock(*t.ms)), t.ms);
        }
    }
}

}  // namespace
}  // namespace kestrava::runtime
