// The decision tables of the cloud submission ("云提交"): for each second of the last ten, a
// chain of rules checked from the top. A rule names a market condition and, per group letter,
// the values of startSecondDigit that take that letter and what they do: confirm now, or
// schedule a confirmation after a delay. Consoles started at different seconds thus confirm at
// different moments for the same market.
//
// The tables are data so that each row can be read against the rule it implements; the digit
// sets are written as the rules write them ("0-2, 5", "other") and parsed at compile time, so a
// typo in a table does not build.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrava::engine::cloud {

// Values of startSecondDigit (0 … 9) written as in the tables: "0-2", "2, 7-9", "4". "other"
// stands for every value that no other letter of the same rule lists, −1 (no clock at console
// start) included.
class DigitSet {
public:
    constexpr DigitSet() = default;
    consteval DigitSet(const char* text) {  // NOLINT: implicit, so tables read "0-2"
        if (std::string_view(text) == "other") {
            other_ = true;
            return;
        }
        int pending = -1;  // a digit read but not yet added (it may open a range)
        bool range = false;
        for (const char* c = text; *c; ++c) {
            if (*c >= '0' && *c <= '9') {
                const int d = *c - '0';
                if (pending >= 0 && !range) throw "two digits without a separator";
                if (range) {
                    if (d < pending) throw "a range must run upwards";
                    for (int i = pending; i <= d; ++i) Add(i);
                    pending = -1;
                    range = false;
                } else {
                    pending = d;
                }
            } else if (*c == '-') {
                if (pending < 0 || range) throw "a range needs a digit before the dash";
                range = true;
            } else if (*c == ',' || *c == ' ') {
                if (range) throw "a range needs a digit after the dash";
                if (pending >= 0) Add(pending);
                pending = -1;
            } else {
                throw "unexpected character in a digit set";
            }
        }
        if (range) throw "a range needs a digit after the dash";
        if (pending >= 0) Add(pending);
        if (bits_ == 0) throw "an empty digit set";
    }

    constexpr bool IsOther() const { return other_; }
    // True when `digit` is listed explicitly (never for "other").
    constexpr bool Lists(int digit) const { return digit >= 0 && digit <= 9 && (bits_ >> digit) & 1u; }
    constexpr std::uint16_t Bits() const { return bits_; }

private:
    consteval void Add(int d) {
        if ((bits_ >> d) & 1u) throw "a digit listed twice";
        bits_ = static_cast<std::uint16_t>(bits_ | (1u << d));
    }

    std::uint16_t bits_ = 0;
    bool other_ = false;
};

// Confirm on this tick instead of scheduling.
inline constexpr int kNow = 0;

// One letter of a rule. delayMs kNow confirms at once; dots is the number of full stops the
// label ends with.
struct GroupAction {
    char letter = 0;  // 0: an unused slot
    DigitSet digits;
    int delayMs = kNow;
    int dots = 0;
};

// What the conditions read. p is lowestPrice, g the gap appliedPrice − p, lowAt the second lows
// by page second; R(nn) is the rise of the lowest price since page second nn.
struct Market {
    int p = 0;
    int g = 0;
    std::array<int, 60> lowAt{};

    constexpr int R(int second) const { return p - lowAt[static_cast<std::size_t>(second)]; }
};

using Condition = bool (*)(const Market&);

inline constexpr std::size_t kMaxGroups = 4;
using Groups = std::array<GroupAction, kMaxGroups>;

// A rule without groups is a hold: when its condition holds the chain stops with no action.
struct Rule {
    std::string_view name;  // "55p", "55p (2nd)" for a letter used twice in one second, "hold"
    Condition holds;
    Groups groups{};
    // Rule 52c's delayed confirmations do not count as the cloud having acted, so the
    // last-chance rules of later seconds stay open to that console.
    bool delayedSetsDone = true;
};

// The rules of one page second, with the last-chance rules that follow them (empty for most).
struct Chain {
    int pageSecond;
    std::span<const Rule> rules;
    std::span<const Rule> lastChance;
};

// The screen path's chain for `remainingSeconds`: 9 → 51, 8 → 52 … 3 → 57, 2 and less → 58;
// nullptr for 10 and more.
const Chain* ScreenChainFor(int remainingSeconds);
// The feed path's rules of page second 58.
const Chain& FeedChain58();
// Every chain with its rules, for tests and tools that walk the tables.
std::span<const Chain> ScreenChains();

// The group of `digit` in `rule`: a letter listing it, else the rule's "other" letter, else none.
const GroupAction* GroupFor(const Rule& rule, int digit);

struct Verdict {
    const Rule* rule = nullptr;           // the first rule whose condition held; null when none did
    const GroupAction* action = nullptr;  // this console's group in it; null for a hold or no letter
};

// The first rule of `rules` whose condition holds, and the group `digit` takes in it.
Verdict Decide(std::span<const Rule> rules, const Market& market, int digit);

// The logged label: letter, "云提交", the rule's second and letter, then the full stops:
// "C云提交51a..........".
std::string Label(const Rule& rule, const GroupAction& action);

}  // namespace kestrava::engine::cloud
