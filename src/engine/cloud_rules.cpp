// The chains of the cloud submission, one table per second. Each row: name, condition, then the
// letters with their digits, delay (kNow or ms) and number of full stops in the label.
#include "engine/cloud_rules.h"

namespace kestrava::engine::cloud {

namespace {

using M = const Market&;

// The most common action set: "A 0–2, B 3–6, C other: all now".
constexpr Groups kAllNow{{{'A', "0-2"}, {'B', "3-6"}, {'C', "other"}}};
constexpr Groups kHold{};

// ---- Screen path, one chain per remaining second

constexpr Rule kChain51[] = {
    {"51a", [](M m) { return m.R(45) >= 700 && m.g <= 900; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 500, 5}, {'C', "other", 1000, 10}}}},
};

constexpr Rule kChain52[] = {
    {"52a", [](M m) { return m.R(45) >= 700 && m.g <= 900; }, kAllNow},
    {"52c", [](M m) { return m.R(45) >= 600 && m.R(51) >= 100 && m.g <= 900; },
     {{{'A', "0-1", 200, 2}, {'B', "3-6", kNow}, {'C', "2, 7-9", 100, 1}}},
     /*delayedSetsDone=*/false},
};

constexpr Rule kChain53[] = {
    {"53a", [](M m) { return m.R(45) >= 700 && m.g <= 900; }, kAllNow},
    {"53c", [](M m) { return m.R(45) >= 600 && m.R(52) >= 100 && m.g <= 900; }, kAllNow},
    {"hold", [](M m) { return m.R(45) >= 600 && m.R(52) >= 0 && m.g <= 900; }, kHold},
    {"53e", [](M m) { return m.R(45) >= 500 && m.R(50) >= 200 && m.R(52) >= 100; },
     {{{'A', "0-3", kNow}, {'B', "4-7", 600, 6}, {'C', "8-9", 999, 10}}}},
    {"53n", [](M m) { return m.R(45) >= 500 && m.R(52) >= 100 && m.g <= 900; },
     {{{'A', "0-3", 600, 6}, {'B', "4-7", kNow}, {'C', "8-9", 1000, 10}}}},
    {"hold", [](M m) { return m.R(45) >= 500 && m.R(52) >= 0 && m.g <= 400; }, kHold},
    {"53g", [](M m) { return m.R(47) >= 400 && m.R(52) >= 100 && m.g <= 400; },
     {{{'A', "0, 3, 7", 800, 10}, {'B', "2, 4, 6, 9", 600, 6}, {'C', "1, 5, 8", kNow}}}},
    {"53k", [](M m) { return m.R(47) >= 400 && m.R(52) >= 100 && m.g <= 600; },
     {{{'A', "0, 3, 7", 1000, 10}, {'B', "2, 4, 5, 6, 9", 600, 6}, {'C', "1, 8", 100, 1}}}},
    {"53l", [](M m) { return m.R(45) >= 400 && m.R(52) >= 100 && m.g <= 500; },
     {{{'A', "2", 700, 7}, {'B', "6", 800, 8}, {'C', "9", 900, 9}}}},
};

constexpr Rule kChain54[] = {
    {"54a", [](M m) { return m.R(45) >= 700 || (m.R(45) >= 600 && m.R(51) >= 200 && m.R(53) >= 100); }, kAllNow},
    {"54c", [](M m) { return m.R(45) >= 600 && m.R(53) >= 100 && m.g <= 900; }, kAllNow},
    {"hold", [](M m) { return m.R(45) >= 600 && m.R(53) >= 0 && m.g <= 900; }, kHold},
    {"54d", [](M m) { return m.R(45) >= 500 && m.R(53) >= 200 && m.g <= 900; },
     {{{'A', "0-3, 6"}, {'B', "4, 5, 7"}, {'C', "8, 9"}}}},
    {"54e", [](M m) { return m.R(45) >= 500 && m.R(51) >= 200 && m.R(53) >= 100; },
     {{{'A', "0-2"}, {'B', "3-7"}, {'C', "8-9"}}}},
    {"54f", [](M m) { return m.R(45) >= 500 && m.R(53) >= 100 && m.g <= 900; },
     {{{'A', "0-2"}, {'B', "3-4"}, {'C', "5-6"}, {'D', "7-9"}}}},
    {"hold", [](M m) { return m.R(45) >= 500 && m.R(53) >= 0 && m.g <= 400; }, kHold},
    {"54k", [](M m) { return m.R(45) >= 400 && m.R(53) >= 200 && m.g <= 900; },
     {{{'A', "0-2, 5", kNow}, {'B', "3, 4, 6", 600, 6}, {'C', "7-9", kNow}}}},
    {"54j", [](M m) { return m.R(45) >= 400 && m.R(51) >= 200 && m.R(53) >= 100; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 600, 6}, {'C', "7-9", 1000, 10}}}},
    {"54p", [](M m) { return m.R(45) >= 400 && m.R(53) >= 100 && m.R(48) >= 300; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 600, 6}, {'C', "7-9", 1000, 10}}}},
    {"54m", [](M m) { return m.R(45) >= 400 && m.R(53) >= 100 && m.g <= 600; },
     {{{'A', "0-3", kNow}, {'B', "4-6", 600, 6}, {'C', "7-9", 1000, 10}}}},
    {"54n", [](M m) { return m.R(45) >= 300 && m.R(53) >= 100 && m.g <= 400; },
     {{{'A', "0-3", kNow}, {'B', "4-6", 600, 6}, {'C', "7-9", 900, 10}}}},
    {"54p (2nd)", [](M m) { return m.R(45) >= 300 && m.R(53) >= 100 && m.g <= 600; },
     {{{'A', "0", 700, 7}, {'B', "3, 6", 800, 8}, {'C', "7, 9", 900, 9}}}},
};

constexpr Rule kChain55[] = {
    {"55a", [](M m) { return m.R(45) >= 700; }, kAllNow},
    {"55b", [](M m) { return m.R(45) >= 600 && m.R(54) >= 200; }, kAllNow},
    {"55c", [](M m) { return m.R(45) >= 600 && m.R(54) >= 100; }, kAllNow},
    {"55d", [](M m) { return m.R(45) >= 600 && m.R(52) >= 0 && m.g <= 900; }, kAllNow},
    {"55e", [](M m) { return m.R(45) >= 500 && m.R(54) >= 200 && m.g <= 900; }, kAllNow},
    {"55g", [](M m) { return m.R(45) >= 500 && m.R(52) >= 200 && m.R(54) >= 100; },
     {{{'A', "0-2, 5, 6, 9"}, {'B', "3, 4"}, {'C', "7, 8"}}}},
    {"55h", [](M m) { return m.R(45) >= 500 && m.R(54) >= 100 && m.g <= 900; },
     {{{'A', "0-2, 7, 8"}, {'B', "3, 4"}, {'C', "5"}, {'D', "6, 9"}}}},
    {"55p", [](M m) { return m.R(45) >= 500 && m.R(54) >= 0 && m.g <= 400; },
     {{{'B', "4", 995, 10}, {'C', "8", 995, 10}}}},
    {"55i", [](M m) { return m.R(45) >= 400 && m.R(54) >= 200 && m.g <= 900; },
     {{{'A', "0-2, 5, 6, 9"}, {'B', "3, 4, 7, 8"}}}},
    {"55j", [](M m) { return m.R(45) >= 400 && m.R(52) >= 200 && m.R(54) >= 100; },
     {{{'A', "0-2, 5, 6"}, {'B', "3, 4"}, {'C', "7-9"}}}},
    {"55k", [](M m) { return m.R(45) >= 400 && m.R(54) >= 100 && m.g <= 900; },
     {{{'A', "0-2, 5"}, {'B', "3, 4"}, {'C', "7-9"}, {'D', "6"}}}},
    {"55p (2nd)", [](M m) { return m.R(45) >= 400 && m.R(54) >= 0 && m.g <= 400; },
     {{{'B', "4", 995, 9}, {'C', "8", 995, 10}}}},
    {"55l", [](M m) { return m.R(52) >= 200 && m.R(54) >= 100 && m.g <= 600; },
     {{{'A', "0-2, 5", kNow}, {'B', "3, 4, 6", 600, 7}, {'C', "7-9", 995, 9}}}},
    {"55q", [](M m) { return m.R(45) >= 300 && m.R(54) >= 100 && m.g <= 400; },
     {{{'A', "0-2, 5", kNow}, {'B', "3, 4, 6", 500, 6}, {'C', "7-9", 800, 10}}}},
    {"55u", [](M m) { return m.R(45) >= 300 && m.R(54) >= 100 && m.g <= 600; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 600, 7}, {'C', "7-9", 995, 7}}}},
    {"55s", [](M m) { return m.R(45) >= 300 && m.R(54) >= 0 && m.g <= 400; },
     {{{'C', "4, 8", 995, 9}}}},
};

constexpr Rule kLastChance55[] = {
    {"55m", [](M m) { return m.R(45) >= 400 && m.g <= 400; }, {{{'B', "4", 995, 9}, {'C', "8", 995, 10}}}},
    {"55n", [](M m) { return m.R(45) >= 200 && m.g <= 400; }, {{{'B', "1, 4", 993, 10}, {'C', "8", 995, 10}}}},
};

constexpr Rule kChain56[] = {
    {"56a", [](M m) { return m.R(45) >= 700; }, {{{'A', "0-2"}, {'B', "3-7"}, {'C', "other"}}}},
    {"56b", [](M m) { return m.R(45) >= 600 && m.R(55) >= 100; }, kAllNow},
    {"56c", [](M m) { return m.R(45) >= 600 && m.R(53) >= 0; }, kAllNow},
    {"56d", [](M m) { return m.R(45) >= 500 && m.R(55) >= 200; }, kAllNow},
    {"56e", [](M m) { return m.R(45) >= 500 && m.R(53) >= 200 && m.R(55) >= 100; }, kAllNow},
    {"56n", [](M m) { return m.R(45) >= 500 && m.R(55) >= 100 && m.g <= 900; },
     {{{'A', "0-3"}, {'B', "4, 5"}, {'C', "6, 7"}, {'D', "8, 9"}}}},
    {"56p", [](M m) { return m.R(45) >= 500 && m.R(55) == 0 && m.g <= 400; },
     {{{'A', "2", 1000, 10}, {'B', "6", 995, 9}, {'C', "9", 990, 8}}}},
    {"56g", [](M m) { return m.R(45) >= 400 && m.R(55) >= 200 && m.g <= 900; }, kAllNow},
    {"56i", [](M m) { return m.R(45) >= 400 && m.R(53) >= 200 && m.R(55) >= 100; },
     {{{'A', "0-3, 6, 9"}, {'B', "4, 5"}, {'C', "7"}, {'D', "8"}}}},
    {"56q", [](M m) { return m.R(45) >= 400 && m.R(55) >= 100 && m.g <= 900; },
     {{{'A', "1, 2, 5, 6"}, {'B', "0, 4"}, {'C', "8"}, {'D', "3, 7, 9"}}}},
    {"56r", [](M m) { return m.R(45) >= 400 && m.R(55) >= 0 && m.g <= 400; },
     {{{'A', "2", 990, 8}, {'B', "6", 995, 10}, {'C', "7, 9", 995, 9}}}},
    {"56w", [](M m) { return m.R(45) >= 300 && m.R(55) >= 100 && m.g <= 900; },
     {{{'A', "0-2, 6, 8"}, {'B', "4, 5"}, {'C', "7, 9"}, {'D', "3"}}}},
    {"56v", [](M m) { return m.R(45) >= 0 && m.R(55) >= 100 && m.g <= 900; },
     {{{'A', "0, 1, 8, 9"}, {'B', "3, 4"}, {'C', "5, 7"}, {'D', "2, 6"}}}},
    {"56n (2nd)", [](M m) { return m.R(45) >= 300 && m.R(55) >= 0 && m.g <= 400; },
     {{{'A', "2", 990, 10}, {'B', "6", 995, 10}, {'C', "7, 9", 995, 9}}}},
    {"56u", [](M m) { return m.R(45) >= 100 && m.R(55) >= 0 && m.g <= 400; },
     {{{'B', "6", 995, 9}, {'C', "9", 995, 10}}}},
    {"56o", [](M m) { return m.R(45) >= 0 && m.R(55) >= 0 && m.g <= 400; },
     {{{'B', "6", 999, 9}, {'C', "9", 995, 10}}}},
};

constexpr Rule kLastChance56[] = {
    {"56k", [](M m) { return m.R(45) >= 200 && m.g <= 400; },
     {{{'A', "2", 995, 9}, {'B', "6", 995, 9}, {'C', "8", 995, 10}, {'D', "3, 7, 9", 993, 9}}}},
    {"56l", [](M m) { return m.R(45) >= 100 && m.g <= 500; }, {{{'B', "6", 995, 9}, {'C', "9", 995, 10}}}},
    {"56s", [](M m) { return m.R(45) >= 0 && m.g <= 400; }, {{{'B', "6", 995, 10}, {'C', "9", 995, 10}}}},
};

constexpr Rule kChain57[] = {
    {"57a", [](M m) { return m.R(45) >= 600; }, kAllNow},
    {"57b", [](M m) { return m.R(45) >= 500 && m.R(56) >= 100; }, kAllNow},
    {"57c", [](M m) { return m.R(45) >= 500 && m.R(56) >= 0; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 500, 5}, {'C', "other", 999, 9}}}},
    {"57d", [](M m) { return m.R(45) >= 400 && m.R(56) >= 100; }, kAllNow},
    {"57f", [](M m) { return m.R(45) >= 400 && m.R(56) >= 0 && m.g <= 400; },
     {{{'A', "0, 1", kNow}, {'B', "3, 4", 500, 5}, {'C', "7, 8", 999, 9}}}},
    {"57g", [](M m) { return m.R(45) >= 300 && m.R(56) >= 100 && m.g <= 900; }, kAllNow},
    {"57i", [](M m) { return m.R(45) == 300 && m.R(56) >= 0 && m.g <= 400; },
     {{{'A', "0, 1", kNow}, {'B', "3, 4", 500, 5}, {'C', "7, 8", 999, 9}}}},
    {"57u", [](M m) { return m.R(45) >= 0 && m.R(56) >= 100 && m.g <= 900; },
     {{{'A', "0-3, 7"}, {'B', "4-6"}, {'C', "8, 9"}}}},
    {"57o", [](M m) { return m.R(45) >= 0 && m.R(56) >= 0 && m.g <= 400; },
     {{{'A', "0", 995, 10}, {'B', "3", 990, 10}, {'C', "7", 995, 9}}}},
};

constexpr Rule kLastChance57[] = {
    {"57j", [](M m) { return m.R(45) >= 300 && m.g <= 500; },
     {{{'A', "0", 995, 4}, {'B', "3", 995, 4}, {'C', "7", 995, 9}}}},
    {"57k", [](M m) { return m.R(45) <= 200 && m.g <= 500; },
     {{{'A', "0", 995, 1}, {'B', "3", 995, 5}, {'C', "7", 995, 9}}}},
};

// In chain 58 the gap bounds are lower bounds, and every digit has a letter in every rule.
constexpr Rule kChain58[] = {
    {"58a", [](M m) { return m.R(45) >= 0 && m.R(57) >= 100 && m.g >= 400; }, kAllNow},
    {"58b", [](M m) { return m.R(45) >= 200 && m.R(57) >= 0 && m.g >= 400; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 5, 1}, {'C', "other", 10, 2}}}},
    {"58c", [](M m) { return m.R(45) >= 0 && m.R(57) >= 0; },
     {{{'A', "0-2", kNow}, {'B', "3-6", 10, 1}, {'C', "other", 20, 2}}}},
    {"58d", [](M) { return true; }, kAllNow},
};

// ---- Feed path, page second 58

constexpr Rule kFeed58[] = {
    {"58a", [](M m) { return m.R(57) >= 200 && m.g <= 600; },
     {{{'A', "0-2", kNow, 1}, {'B', "3-6", kNow, 1}, {'C', "other", kNow, 1}}}},
    {"58c", [](M m) { return m.R(57) >= 100 && m.g <= 500; },
     {{{'A', "0-1", kNow, 1}, {'B', "2-4", kNow, 1}, {'C', "5-7", kNow, 1}, {'D', "8-9", kNow, 1}}}},
    {"58d", [](M m) { return m.R(57) >= 100 && m.g <= 600; },
     {{{'A', "0-1", kNow}, {'B', "2-4", kNow}, {'C', "5-7", 100, 1}, {'D', "8-9", 100, 1}}}},
    {"58e", [](M m) { return m.R(57) == 0 && m.g <= 600; },
     {{{'A', "0-1", 750, 1}, {'B', "2-3", 820, 1}, {'C', "4-5", 900, 1}}}},
};

// Indexed by remaining seconds 9 … 2 (chain 58 serves 2 and less).
constexpr Chain kScreenChains[] = {
    {51, kChain51, {}},
    {52, kChain52, {}},
    {53, kChain53, {}},
    {54, kChain54, {}},
    {55, kChain55, kLastChance55},
    {56, kChain56, kLastChance56},
    {57, kChain57, kLastChance57},
    {58, kChain58, {}},
};

constexpr Chain kFeedChain58{58, kFeed58, {}};

// A rule's letters must not share a digit, at most one may be "other", a hold has no letters,
// and the name starts with the chain's second.
constexpr bool WellFormed(const Chain& chain) {
    for (std::span<const Rule> rules : {chain.rules, chain.lastChance}) {
        for (const Rule& rule : rules) {
            if (rule.holds == nullptr) return false;
            const bool hold = rule.name == "hold";
            if (!hold && (rule.name.size() < 3 || rule.name[0] - '0' != chain.pageSecond / 10 ||
                          rule.name[1] - '0' != chain.pageSecond % 10))
                return false;
            unsigned seen = 0;
            int others = 0;
            int letters = 0;
            for (const GroupAction& group : rule.groups) {
                if (group.letter == 0) continue;
                ++letters;
                if (group.digits.IsOther()) ++others;
                if (seen & group.digits.Bits()) return false;
                seen |= group.digits.Bits();
                if (group.delayMs < 0 || group.dots < 0) return false;
            }
            if (others > 1 || hold != (letters == 0)) return false;
        }
    }
    return true;
}

constexpr bool AllWellFormed() {
    for (const Chain& chain : kScreenChains)
        if (!WellFormed(chain)) return false;
    return WellFormed(kFeedChain58);
}
static_assert(AllWellFormed(), "a cloud rule table is malformed");

}  // namespace

const Chain* ScreenChainFor(int remainingSeconds) {
    if (remainingSeconds >= 10) return nullptr;
    if (remainingSeconds <= 2) return &kScreenChains[7];
    return &kScreenChains[9 - remainingSeconds];
}

const Chain& FeedChain58() { return kFeedChain58; }

std::span<const Chain> ScreenChains() { return kScreenChains; }

const GroupAction* GroupFor(const Rule& rule, int digit) {
    const GroupAction* other = nullptr;
    for (const GroupAction& group : rule.groups) {
        if (group.letter == 0) continue;
        if (group.digits.Lists(digit)) return &group;
        if (group.digits.IsOther()) other = &group;
    }
    return other;
}

Verdict Decide(std::span<const Rule> rules, const Market& market, int digit) {
    for (const Rule& rule : rules) {
        if (!rule.holds(market)) continue;
        return {&rule, GroupFor(rule, digit)};
    }
    return {};
}

std::string Label(const Rule& rule, const GroupAction& action) {
    std::string label(1, action.letter);
    label += "云提交";
    label += rule.name.substr(0, 3);
    label.append(static_cast<std::size_t>(action.dots), '.');
    return label;
}

}  // namespace kestrava::engine::cloud
