// What the page accepts in the situations a bidder meets, one scenario each in
// scenarios/bidder_*.scn, judged by the replay's model of the page: at most one accepted press per
// applied bid, no press with no code dialog open, no bid accepted or refused on a false price, and
// an accepted bid wherever the console should confirm. Each row names the fault it would show.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "runtime/replay.h"
#include "runtime/scenario.h"

namespace kestrava::runtime {
namespace {

// An expected line with "…" for the digits of a moment that rides on a tick's phase.
bool Matches(const std::string& line, const std::string& expected) {
    std::string pattern;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected.compare(i, 3, "…") == 0) {
            pattern += "[0-9.]+";
            i += 2;
        } else if (std::string("\\^$.|?*+()[]{}").find(expected[i]) != std::string::npos) {
            pattern += std::string("\\") + expected[i];
        } else {
            pattern += expected[i];
        }
    }
    return std::regex_match(line, std::regex(pattern));
}

struct Row {
    const char* file;
    const char* fault;  // what a wrong outcome would mean
    std::vector<std::string> page;
};

const Row kRows[] = {
    {"bidder_enter_twice.scn", "the second Enter of a double tap presses the confirm point into no dialog",
     {"page: accepted 89300 at 11:29:20.…, page price 89000, gap 300"}},
    {"bidder_enter_held.scn", "the keyboard's repeats of a held Enter press the confirm button again",
     {"page: accepted 89300 at 11:29:20.…, page price 89000, gap 300"}},
    {"bidder_enter_before_bid.scn", "an Enter before any bid presses into no dialog (the applied price is 0)",
     {"page: accepted 89300 at 11:29:20.…, page price 89000, gap 300"}},
    {"bidder_escape_then_enter.scn", "an Enter after Escape confirms the bid whose dialog was cancelled",
     {"page: no bid accepted"}},
    {"bidder_f3_then_enter.scn",
     "an Enter after the test bid's cancel arms the test price, which uses up the real bid's moment",
     {"page: accepted 89300 at 11:29:20.…, page price 89000, gap 300"}},
    {"bidder_enter_after_confirm.scn", "an Enter after the confirmation confirms the same bid again",
     {"page: accepted 89700 at 11:29:45.…, page price 89400, gap 300"}},
    {"bidder_server_above_feed.scn", "a server price 400 above the fresh page feed confirms a bid the page refuses",
     {"page: accepted 89700 at 11:29:50.…, page price 89400, gap 300"}},
    {"bidder_screen_misread_high_with_feed.scn", "a repeated high misread beats the fresh feed and confirms too early",
     {"page: accepted 89700 at 11:29:50.…, page price 89400, gap 300"}},
    {"bidder_screen_misread_high_no_feed.scn",
     "a repeated high misread of the screen alone confirms a bid the page refuses",
     {"page: accepted 89700 at 11:29:5…, page price 89400, gap 300"}},
    {"bidder_feed_stalls_no_login.scn",
     "a stalled feed goes unnoticed without the page's login message: the screen's rise is ignored",
     {"page: accepted 89700 at 11:29:5…, page price 89400, gap 300"}},
    {"bidder_cloud_feed_dead.scn",
     "the dead feed is noticed late: the screen's rise is refused against it and the cloud rules confirm after the end",
     {"page: accepted 90000 at 11:29:5…, page price 89700, gap 300"}},
    {"bidder_page_closes_dialog.scn", "the console presses confirm into a dialog the page has closed",
     {"page: no bid accepted"}},
};

// Names the row in the test's listing by its file.
void PrintTo(const Row& row, std::ostream* os) { *os << row.file; }

class BidderSituation : public testing::TestWithParam<Row> {};

TEST_P(BidderSituation, ThePageAcceptsWhatItShould) {
    const Row& row = GetParam();
    const ParseResult parsed = LoadScenario(std::string(KESTRAVA_SCENARIO_DIR) + "/" + row.file);
    ASSERT_TRUE(parsed.scenario) << (parsed.error ? parsed.error->message : "");
    const ReplayResult r = RunReplay(*parsed.scenario);
    ASSERT_TRUE(r.started) << r.failure;
    const std::vector<std::string> lines = PageLines(r);
    bool same = lines.size() == row.page.size();
    for (std::size_t i = 0; same && i < lines.size(); ++i) same = Matches(lines[i], row.page[i]);
    std::string got;
    for (const std::string& line : lines) got += "  " + line + "\n";
    EXPECT_TRUE(same) << "fault: " << row.fault << "\npage lines:\n" << got << "\n" << FormatReplay(*parsed.scenario, r);
}

std::string RowName(const testing::TestParamInfo<Row>& info) {
    std::string name = info.param.file;
    name = name.substr(0, name.find('.'));
    std::string out;
    bool upper = true;
    for (const char c : name) {
        if (c == '_') {
            upper = true;
            continue;
        }
        out += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, BidderSituation, testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace kestrava::runtime
