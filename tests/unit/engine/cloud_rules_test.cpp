// The cloud decision tables: which rule of a second's chain applies to a market, and what each
// rule gives every value of startSecondDigit (letter, delay, full stops of the label).
#include "engine/cloud_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kestrava::engine::cloud {
namespace {

enum class Table { Chain, LastChance, Feed };

std::span<const Rule> RulesOf(int second, Table table) {
    if (table == Table::Feed) return FeedChain58().rules;
    const Chain* chain = ScreenChainFor(60 - second);
    if (chain == nullptr) return {};
    return table == Table::Chain ? chain->rules : chain->lastChance;
}

// ---- What every rule gives each console

// Letters for startSecondDigit 0 … 9, then "|" and the letter of −1; '-' where there is none.
std::string LettersByDigit(const Rule& rule) {
    std::string out;
    for (int d = 0; d <= 9; ++d) {
        const GroupAction* g = GroupFor(rule, d);
        out += g ? g->letter : '-';
    }
    const GroupAction* g = GroupFor(rule, -1);
    out += '|';
    out += g ? g->letter : '-';
    return out;
}

// "A:now B:500/5 C:1000/10": letter, delay (now or ms) and, when there are any, full stops.
std::string Actions(const Rule& rule) {
    std::string out;
    for (const GroupAction& g : rule.groups) {
        if (g.letter == 0) continue;
        if (!out.empty()) out += ' ';
        out += g.letter;
        out += ':';
        out += g.delayMs == kNow ? std::string("now") : std::to_string(g.delayMs);
        if (g.dots > 0) out += "/" + std::to_string(g.dots);
    }
    return out;
}

struct RuleRow {
    const char* name;
    const char* letters;
    const char* actions;
};

constexpr const char* kAll = "AAABBBBCCC|C";  // "A 0–2, B 3–6, C other"
constexpr const char* kNowAll = "A:now B:now C:now";
constexpr const char* kNone = "----------|-";

struct TableRows {
    int second;
    Table table;
    std::vector<RuleRow> rows;
};

const std::vector<TableRows>& AllTables() {
    static const std::vector<TableRows> tables = {
        {51, Table::Chain, {{"51a", kAll, "A:now B:500/5 C:1000/10"}}},
        {52, Table::Chain,
         {{"52a", kAll, kNowAll},  //
          {"52c", "AACBBBBCCC|-", "A:200/2 B:now C:100/1"}}},
        {53, Table::Chain,
         {{"53a", kAll, kNowAll},
          {"53c", kAll, kNowAll},
          {"hold", kNone, ""},
          {"53e", "AAAABBBBCC|-", "A:now B:600/6 C:999/10"},
          {"53n", "AAAABBBBCC|-", "A:600/6 B:now C:1000/10"},
          {"hold", kNone, ""},
          {"53g", "ACBABCBACB|-", "A:800/10 B:600/6 C:now"},
          {"53k", "ACBABBBACB|-", "A:1000/10 B:600/6 C:100/1"},
          {"53l", "--A---B--C|-", "A:700/7 B:800/8 C:900/9"}}},
        {54, Table::Chain,
         {{"54a", kAll, kNowAll},
          {"54c", kAll, kNowAll},
          {"hold", kNone, ""},
          {"54d", "AAAABBABCC|-", kNowAll},
          {"54e", "AAABBBBBCC|-", kNowAll},
          {"54f", "AAABBCCDDD|-", "A:now B:now C:now D:now"},
          {"hold", kNone, ""},
          {"54k", "AAABBABCCC|-", "A:now B:600/6 C:now"},
          {"54j", "AAABBBBCCC|-", "A:now B:600/6 C:1000/10"},
          {"54p", "AAABBBBCCC|-", "A:now B:600/6 C:1000/10"},
          {"54m", "AAAABBBCCC|-", "A:now B:600/6 C:1000/10"},
          {"54n", "AAAABBBCCC|-", "A:now B:600/6 C:900/10"},
          {"54p (2nd)", "A--B--BC-C|-", "A:700/7 B:800/8 C:900/9"}}},
        {55, Table::Chain,
         {{"55a", kAll, kNowAll},
          {"55b", kAll, kNowAll},
          {"55c", kAll, kNowAll},
          {"55d", kAll, kNowAll},
          {"55e", kAll, kNowAll},
          {"55g", "AAABBAACCA|-", kNowAll},
          {"55h", "AAABBCDAAD|-", "A:now B:now C:now D:now"},
          {"55p", "----B---C-|-", "B:995/10 C:995/10"},
          {"55i", "AAABBAABBA|-", "A:now B:now"},
          {"55j", "AAABBAACCC|-", kNowAll},
          {"55k", "AAABBADCCC|-", "A:now B:now C:now D:now"},
          {"55p (2nd)", "----B---C-|-", "B:995/9 C:995/10"},
          {"55l", "AAABBABCCC|-", "A:now B:600/7 C:995/9"},
          {"55q", "AAABBABCCC|-", "A:now B:500/6 C:800/10"},
          {"55u", "AAABBBBCCC|-", "A:now B:600/7 C:995/7"},
          {"55s", "----C---C-|-", "C:995/9"}}},
        {55, Table::LastChance,
         {{"55m", "----B---C-|-", "B:995/9 C:995/10"},  //
          {"55n", "-B--B---C-|-", "B:993/10 C:995/10"}}},
        {56, Table::Chain,
         {{"56a", "AAABBBBBCC|C", kNowAll},
          {"56b", kAll, kNowAll},
          {"56c", kAll, kNowAll},
          {"56d", kAll, kNowAll},
          {"56e", kAll, kNowAll},
          {"56n", "AAAABBCCDD|-", "A:now B:now C:now D:now"},
          {"56p", "--A---B--C|-", "A:1000/10 B:995/9 C:990/8"},
          {"56g", kAll, kNowAll},
          {"56i", "AAAABBACDA|-", "A:now B:now C:now D:now"},
          {"56q", "BAADBAADCD|-", "A:now B:now C:now D:now"},
          {"56r", "--A---BC-C|-", "A:990/8 B:995/10 C:995/9"},
          {"56w", "AAADBBACAC|-", "A:now B:now C:now D:now"},
          {"56v", "AADBBCDCAA|-", "A:now B:now C:now D:now"},
          {"56n (2nd)", "--A---BC-C|-", "A:990/10 B:995/10 C:995/9"},
          {"56u", "------B--C|-", "B:995/9 C:995/10"},
          {"56o", "------B--C|-", "B:999/9 C:995/10"}}},
        {56, Table::LastChance,
         {{"56k", "--AD--BDCD|-", "A:995/9 B:995/9 C:995/10 D:993/9"},
          {"56l", "------B--C|-", "B:995/9 C:995/10"},
          {"56s", "------B--C|-", "B:995/10 C:995/10"}}},
        {57, Table::Chain,
         {{"57a", kAll, kNowAll},
          {"57b", kAll, kNowAll},
          {"57c", kAll, "A:now B:500/5 C:999/9"},
          {"57d", kAll, kNowAll},
          {"57f", "AA-BB--CC-|-", "A:now B:500/5 C:999/9"},
          {"57g", kAll, kNowAll},
          {"57i", "AA-BB--CC-|-", "A:now B:500/5 C:999/9"},
          {"57u", "AAAABBBACC|-", kNowAll},
          {"57o", "A--B---C--|-", "A:995/10 B:990/10 C:995/9"}}},
        {57, Table::LastChance,
         {{"57j", "A--B---C--|-", "A:995/4 B:995/4 C:995/9"},  //
          {"57k", "A--B---C--|-", "A:995/1 B:995/5 C:995/9"}}},
        {58, Table::Chain,
         {{"58a", kAll, kNowAll},
          {"58b", kAll, "A:now B:5/1 C:10/2"},
          {"58c", kAll, "A:now B:10/1 C:20/2"},
          {"58d", kAll, kNowAll}}},
        {58, Table::Feed,
         {{"58a", kAll, "A:now/1 B:now/1 C:now/1"},
          {"58c", "AABBBCCCDD|-", "A:now/1 B:now/1 C:now/1 D:now/1"},
          {"58d", "AABBBCCCDD|-", "A:now B:now C:100/1 D:100/1"},
          {"58e", "AABBCC----|-", "A:750/1 B:820/1 C:900/1"}}},
    };
    return tables;
}

TEST(CloudRules, EveryRuleGivesEachDigitItsLetterDelayAndDots) {
    for (const TableRows& t : AllTables()) {
        const std::span<const Rule> rules = RulesOf(t.second, t.table);
        SCOPED_TRACE("second " + std::to_string(t.second) + " table " + std::to_string(static_cast<int>(t.table)));
        ASSERT_EQ(rules.size(), t.rows.size());
        for (std::size_t i = 0; i < rules.size(); ++i) {
            SCOPED_TRACE(t.rows[i].name);
            EXPECT_EQ(rules[i].name, t.rows[i].name);
            EXPECT_EQ(LettersByDigit(rules[i]), t.rows[i].letters);
            EXPECT_EQ(Actions(rules[i]), t.rows[i].actions);
        }
    }
    // Nothing but these chains: no last-chance rules for 51 … 54 and 58.
    for (int second : {51, 52, 53, 54, 58}) EXPECT_TRUE(RulesOf(second, Table::LastChance).empty()) << second;
}

// ---- Which rule applies

constexpr int kPrice = 90000;

Market MarketOf(std::vector<std::pair<int, int>> rises, int gap) {
    Market m;
    m.p = kPrice;
    m.g = gap;
    m.lowAt.fill(kPrice);  // unlisted seconds: no rise
    for (auto [second, rise] : rises) m.lowAt[static_cast<std::size_t>(second)] = kPrice - rise;
    return m;
}

struct Scenario {
    int second;
    Table table;
    std::vector<std::pair<int, int>> rises;  // page second → rise of the lowest price since then
    int gap;
    const char* rule;  // "" when none holds
};

TEST(CloudRules, TheFirstRuleWhoseConditionHoldsApplies) {
    const Scenario scenarios[] = {
        {51, Table::Chain, {{45, 700}}, 900, "51a"},
        {51, Table::Chain, {{45, 699}}, 900, ""},
        {51, Table::Chain, {{45, 700}}, 901, ""},

        {52, Table::Chain, {{45, 700}}, 900, "52a"},
        {52, Table::Chain, {{45, 600}, {51, 100}}, 900, "52c"},
        {52, Table::Chain, {{45, 600}, {51, 99}}, 900, ""},

        {53, Table::Chain, {{45, 700}}, 900, "53a"},
        {53, Table::Chain, {{45, 600}, {52, 100}}, 900, "53c"},
        {53, Table::Chain, {{45, 600}}, 900, "hold"},
        {53, Table::Chain, {{45, 500}, {50, 200}, {52, 100}}, 5000, "53e"},
        {53, Table::Chain, {{45, 500}, {50, 199}, {52, 100}}, 900, "53n"},
        {53, Table::Chain, {{45, 500}, {52, 50}}, 400, "hold"},
        {53, Table::Chain, {{45, 450}, {47, 400}, {52, 100}}, 400, "53g"},
        {53, Table::Chain, {{45, 450}, {47, 400}, {52, 100}}, 600, "53k"},
        {53, Table::Chain, {{45, 400}, {52, 100}}, 500, "53l"},
        {53, Table::Chain, {{45, 400}, {52, 100}}, 501, ""},

        {54, Table::Chain, {{45, 700}}, 5000, "54a"},
        {54, Table::Chain, {{45, 600}, {51, 200}, {53, 100}}, 5000, "54a"},
        {54, Table::Chain, {{45, 600}, {53, 100}}, 900, "54c"},
        {54, Table::Chain, {{45, 600}}, 900, "hold"},
        {54, Table::Chain, {{45, 500}, {53, 200}}, 900, "54d"},
        {54, Table::Chain, {{45, 500}, {51, 200}, {53, 100}}, 1000, "54e"},
        {54, Table::Chain, {{45, 500}, {53, 100}}, 900, "54f"},
        {54, Table::Chain, {{45, 500}}, 400, "hold"},
        {54, Table::Chain, {{45, 400}, {53, 200}}, 900, "54k"},
        {54, Table::Chain, {{45, 400}, {51, 200}, {53, 100}}, 1000, "54j"},
        {54, Table::Chain, {{45, 400}, {48, 300}, {53, 100}}, 1000, "54p"},
        {54, Table::Chain, {{45, 400}, {53, 100}}, 600, "54m"},
        {54, Table::Chain, {{45, 300}, {53, 100}}, 400, "54n"},
        {54, Table::Chain, {{45, 300}, {53, 100}}, 600, "54p (2nd)"},

        {55, Table::Chain, {{45, 700}}, 5000, "55a"},
        {55, Table::Chain, {{45, 600}, {54, 200}}, 5000, "55b"},
        {55, Table::Chain, {{45, 600}, {54, 100}}, 5000, "55c"},
        {55, Table::Chain, {{45, 600}}, 900, "55d"},
        {55, Table::Chain, {{45, 600}, {52, -100}}, 900, ""},
        {55, Table::Chain, {{45, 500}, {54, 200}}, 900, "55e"},
        {55, Table::Chain, {{45, 500}, {52, 200}, {54, 100}}, 1000, "55g"},
        {55, Table::Chain, {{45, 500}, {54, 100}}, 900, "55h"},
        {55, Table::Chain, {{45, 500}}, 300, "55p"},
        {55, Table::Chain, {{45, 400}, {54, 200}}, 900, "55i"},
        {55, Table::Chain, {{45, 400}, {52, 200}, {54, 100}}, 1000, "55j"},
        {55, Table::Chain, {{45, 400}, {54, 100}}, 900, "55k"},
        {55, Table::Chain, {{45, 400}}, 400, "55p (2nd)"},
        {55, Table::Chain, {{52, 200}, {54, 100}}, 600, "55l"},
        {55, Table::Chain, {{45, 300}, {54, 100}}, 400, "55q"},
        {55, Table::Chain, {{45, 300}, {54, 100}}, 600, "55u"},
        {55, Table::Chain, {{45, 300}}, 400, "55s"},
        {55, Table::Chain, {{45, 300}}, 500, ""},

        {56, Table::Chain, {{45, 700}}, 5000, "56a"},
        {56, Table::Chain, {{45, 600}, {55, 100}}, 5000, "56b"},
        {56, Table::Chain, {{45, 600}}, 5000, "56c"},
        {56, Table::Chain, {{45, 500}, {55, 200}}, 5000, "56d"},
        {56, Table::Chain, {{45, 500}, {53, 200}, {55, 100}}, 5000, "56e"},
        {56, Table::Chain, {{45, 500}, {55, 100}}, 900, "56n"},
        {56, Table::Chain, {{45, 500}}, 400, "56p"},
        {56, Table::Chain, {{45, 500}, {55, 50}}, 400, "56r"},
        {56, Table::Chain, {{45, 500}}, 401, ""},
        {56, Table::Chain, {{45, 400}, {55, 200}}, 900, "56g"},
        {56, Table::Chain, {{45, 400}, {53, 200}, {55, 100}}, 1000, "56i"},
        {56, Table::Chain, {{45, 400}, {55, 100}}, 900, "56q"},
        {56, Table::Chain, {{45, 400}}, 400, "56r"},
        {56, Table::Chain, {{45, 300}, {55, 100}}, 900, "56w"},
        {56, Table::Chain, {{55, 100}}, 900, "56v"},
        {56, Table::Chain, {{45, 300}}, 400, "56n (2nd)"},
        {56, Table::Chain, {{45, 100}}, 400, "56u"},
        {56, Table::Chain, {}, 400, "56o"},
        {56, Table::Chain, {{45, -100}}, 400, ""},

        {57, Table::Chain, {{45, 600}}, 5000, "57a"},
        {57, Table::Chain, {{45, 500}, {56, 100}}, 5000, "57b"},
        {57, Table::Chain, {{45, 500}}, 5000, "57c"},
        {57, Table::Chain, {{45, 400}, {56, 100}}, 5000, "57d"},
        {57, Table::Chain, {{45, 400}}, 400, "57f"},
        {57, Table::Chain, {{45, 300}, {56, 100}}, 900, "57g"},
        {57, Table::Chain, {{45, 300}}, 400, "57i"},
        {57, Table::Chain, {{45, 350}}, 400, "57o"},
        {57, Table::Chain, {{56, 100}}, 900, "57u"},
        {57, Table::Chain, {}, 400, "57o"},
        {57, Table::Chain, {}, 401, ""},

        {58, Table::Chain, {{57, 100}}, 400, "58a"},
        {58, Table::Chain, {{57, 100}}, 399, "58c"},
        {58, Table::Chain, {{45, 200}}, 400, "58b"},
        {58, Table::Chain, {}, 0, "58c"},
        {58, Table::Chain, {{45, -100}}, 100, "58d"},

        {55, Table::LastChance, {{45, 400}}, 400, "55m"},
        {55, Table::LastChance, {{45, 200}}, 400, "55n"},
        {55, Table::LastChance, {{45, 400}}, 401, ""},
        {56, Table::LastChance, {{45, 200}}, 400, "56k"},
        {56, Table::LastChance, {{45, 200}}, 500, "56l"},
        {56, Table::LastChance, {}, 400, "56s"},
        {57, Table::LastChance, {{45, 300}}, 500, "57j"},
        {57, Table::LastChance, {{45, 200}}, 500, "57k"},
        {57, Table::LastChance, {{45, 250}}, 500, ""},

        {58, Table::Feed, {{57, 200}}, 600, "58a"},
        {58, Table::Feed, {{57, 200}}, 601, ""},
        {58, Table::Feed, {{57, 100}}, 500, "58c"},
        {58, Table::Feed, {{57, 100}}, 600, "58d"},
        {58, Table::Feed, {}, 600, "58e"},
        {58, Table::Feed, {{57, 50}}, 300, ""},
        {58, Table::Feed, {{57, -100}}, 300, ""},
    };
    for (const Scenario& s : scenarios) {
        std::string rises;
        for (auto [second, rise] : s.rises) rises += " R" + std::to_string(second) + "=" + std::to_string(rise);
        SCOPED_TRACE(std::to_string(s.second) + " table " + std::to_string(static_cast<int>(s.table)) + rises +
                     " g=" + std::to_string(s.gap));
        const Verdict v = Decide(RulesOf(s.second, s.table), MarketOf(s.rises, s.gap), 0);
        EXPECT_EQ(v.rule ? std::string(v.rule->name) : std::string(), s.rule);
    }
}

TEST(CloudRules, AnUnrecordedSecondLowCountsAsARiseOfTheWholePrice) {
    // A console started with less than 15 seconds left has lowAt45 at 0.
    Market m = MarketOf({}, 900);
    m.lowAt[45] = 0;
    const Verdict v = Decide(ScreenChainFor(9)->rules, m, 9);
    ASSERT_NE(v.rule, nullptr);
    EXPECT_EQ(v.rule->name, "51a");
}

TEST(CloudRules, EachRemainingSecondHasItsChain) {
    EXPECT_EQ(ScreenChainFor(11), nullptr);
    EXPECT_EQ(ScreenChainFor(10), nullptr);
    const std::pair<int, int> seconds[] = {{9, 51}, {8, 52}, {7, 53}, {6, 54}, {5, 55},
                                           {4, 56}, {3, 57}, {2, 58}, {1, 58}, {0, 58}, {-3, 58}};
    for (auto [remaining, second] : seconds) {
        ASSERT_NE(ScreenChainFor(remaining), nullptr) << remaining;
        EXPECT_EQ(ScreenChainFor(remaining)->pageSecond, second) << remaining;
    }
}

TEST(CloudRules, LabelsCarryLetterSecondRuleAndFullStops) {
    struct Case {
        int remaining;
        std::vector<std::pair<int, int>> rises;
        int gap;
        int digit;
        const char* label;
    };
    const Case cases[] = {
        {9, {{45, 800}}, 700, 9, "C云提交51a.........."},
        {5, {{45, 500}}, 300, 4, "B云提交55p.........."},
        {5, {{45, 400}}, 400, 4, "B云提交55p........."},  // the second 55p: nine stops
        {5, {{52, 200}, {54, 100}}, 600, 1, "A云提交55l"},
        {3, {{45, 300}}, 400, 3, "B云提交57i....."},
        {3, {{45, 350}}, 400, 3, "B云提交57o.........."},
        {2, {{45, -100}}, 100, 8, "C云提交58d"},
        {2, {{45, -100}}, 100, -1, "C云提交58d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Verdict v = Decide(ScreenChainFor(c.remaining)->rules, MarketOf(c.rises, c.gap), c.digit);
        ASSERT_NE(v.action, nullptr);
        EXPECT_EQ(Label(*v.rule, *v.action), c.label);
    }
}

TEST(CloudRules, ADigitWithoutLetterStopsTheChainThere) {
    // 55p holds but lists only 4 and 8; rule 55s further down (C 4, 8) must not be reached.
    const Verdict v = Decide(ScreenChainFor(5)->rules, MarketOf({{45, 500}}, 300), 5);
    ASSERT_NE(v.rule, nullptr);
    EXPECT_EQ(v.rule->name, "55p");
    EXPECT_EQ(v.action, nullptr);
}

}  // namespace
}  // namespace kestrava::engine::cloud
