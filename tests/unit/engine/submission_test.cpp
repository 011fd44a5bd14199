// The bid's life on its own: the transitions a bidder's keys, the rules and the page's reports
// make, and the promises the table keeps under any order of inputs.
#include "engine/submission.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace kestrava::engine {
namespace {

using S = SubmissionState;
using I = SubmissionInput;
using A = SubmissionAction;

// The inputs that bring a fresh life (bid price 90000) into each state.
std::vector<I> PathTo(S state) {
    switch (state) {
        case S::Idle: return {};
        case S::Applied: return {I::Apply};
        case S::Armed: return {I::Apply, I::Enter};
        case S::Confirming: return {I::Apply, I::Enter, I::RuleConfirm};
        case S::Confirmed: return {I::Apply, I::Enter, I::RuleConfirm, I::PageConfirmed};
        case S::Withdrawn: return {I::Apply, I::Escape};
        case S::Expired: return {I::Apply, I::AuctionEnded};
    }
    return {};
}

void Bring(Submission& s, S state) {
    for (I input : PathTo(state)) s.Fire(input, input == I::Apply ? 90000 : 0);
    ASSERT_EQ(s.State(), state);
}

TEST(SubmissionTest, Transitions) {
    struct Case {
        S from;
        I input;
        S to;
        A action;
        int priceAfter;
    };
    const Case cases[] = {
        // Enter with nothing in a dialog, or a bid already confirmed or withdrawn, clicks nothing.
        {S::Idle, I::Enter, S::Idle, A::Refuse, 0},
        {S::Idle, I::EnterInReach, S::Idle, A::Refuse, 0},
        {S::Idle, I::ForcedEnter, S::Idle, A::Refuse, 0},
        {S::Confirming, I::Enter, S::Confirming, A::Refuse, 90000},
        {S::Confirming, I::EnterInReach, S::Confirming, A::Refuse, 90000},
        {S::Confirmed, I::ForcedEnter, S::Confirmed, A::Refuse, 90000},
        {S::Withdrawn, I::Enter, S::Withdrawn, A::Refuse, 0},
        {S::Withdrawn, I::EnterInReach, S::Withdrawn, A::Refuse, 0},
        {S::Expired, I::ForcedEnter, S::Expired, A::Refuse, 0},
        // The rules act on an armed bid only, and once.
        {S::Idle, I::RuleConfirm, S::Idle, A::Nothing, 0},
        {S::Applied, I::RuleConfirm, S::Applied, A::Nothing, 90000},
        {S::Armed, I::RuleConfirm, S::Confirming, A::Confirm, 90000},
        {S::Confirming, I::RuleConfirm, S::Confirming, A::Nothing, 90000},
        {S::Withdrawn, I::RuleConfirm, S::Withdrawn, A::Nothing, 0},
        // The bidder's keys.
        {S::Applied, I::Enter, S::Armed, A::Arm, 90000},
        {S::Armed, I::Enter, S::Armed, A::Nothing, 90000},
        {S::Applied, I::EnterInReach, S::Confirming, A::Confirm, 90000},
        {S::Applied, I::ForcedEnter, S::Confirming, A::Confirm, 90000},
        {S::Armed, I::ForcedEnter, S::Confirming, A::Confirm, 90000},
        {S::Armed, I::Escape, S::Withdrawn, A::Withdraw, 0},
        {S::Applied, I::Cancel, S::Withdrawn, A::Withdraw, 0},
        {S::Idle, I::Escape, S::Idle, A::Nothing, 0},
        {S::Confirming, I::Escape, S::Confirming, A::Nothing, 90000},
        // The page's reports.
        {S::Armed, I::PageClosed, S::Withdrawn, A::Lost, 0},
        {S::Applied, I::PageClosed, S::Withdrawn, A::Lost, 0},
        {S::Confirming, I::PageClosed, S::Withdrawn, A::Lost, 0},
        {S::Confirming, I::PageConfirmed, S::Confirmed, A::Note, 90000},
        {S::Armed, I::PageConfirmed, S::Confirmed, A::Note, 90000},
        {S::Idle, I::PageClosed, S::Idle, A::Nothing, 0},
        {S::Armed, I::ShellRestarted, S::Withdrawn, A::Lost, 0},
        {S::Confirming, I::ShellRestarted, S::Confirming, A::Nothing, 90000},
        // The end of the auction and the day.
        {S::Armed, I::AuctionEnded, S::Expired, A::Expire, 0},
        {S::Confirming, I::AuctionEnded, S::Confirming, A::Nothing, 90000},
        {S::Confirmed, I::DayReset, S::Idle, A::Forget, 0},
        {S::Armed, I::DayReset, S::Idle, A::Forget, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(Name(k.from)) + " + " + std::string(Name(k.input)));
        Submission s;
        Bring(s, k.from);
        const std::uint32_t serial = s.Serial();
        const SubmissionStep step = s.Fire(k.input);
        EXPECT_EQ(step.from, k.from);
        EXPECT_EQ(step.to, k.to);
        EXPECT_EQ(step.action, k.action);
        EXPECT_EQ(s.State(), k.to);
        EXPECT_EQ(s.Price(), k.priceAfter);
        EXPECT_EQ(s.Serial(), serial) << "only a new bid starts a new life";
    }
}

TEST(SubmissionTest, ANewBidIsANewLifeAndOldDecisionsDieWithTheOld) {
    for (S from : {S::Idle, S::Applied, S::Armed, S::Confirming, S::Confirmed, S::Withdrawn, S::Expired}) {
        SCOPED_TRACE(Name(from));
        Submission s;
        Bring(s, from);
        const std::uint32_t old = s.Serial();
        const SubmissionStep step = s.Fire(I::Apply, 90700);
        EXPECT_EQ(step.action, A::NewLife);
        EXPECT_EQ(s.State(), S::Applied);
        EXPECT_EQ(s.Price(), 90700);
        EXPECT_EQ(s.Serial(), old + 1);
        s.Fire(I::Enter);
        // A rule that decided for the old bid confirms nothing of the new one.
        if (old != 0) {
            EXPECT_EQ(s.Fire(I::RuleConfirm, 0, old).action, A::Nothing);
        }
        EXPECT_EQ(s.State(), S::Armed);
        EXPECT_EQ(s.Fire(I::RuleConfirm, 0, old + 1).action, A::Confirm);
    }
}

TEST(SubmissionTest, ThePageNamesThePriceItsDialogHolds) {
    Submission s;
    // A dialog the page opened by itself (the bidder's own bid) is a bid to confirm.
    EXPECT_EQ(s.Fire(I::PageOpened, 89900).action, A::NewLife);
    EXPECT_EQ(s.State(), S::Applied);
    EXPECT_EQ(s.Price(), 89900);
    // The console's application reported back by the page: the same life, the page's price.
    s.Fire(I::Apply, 90000);
    const std::uint32_t serial = s.Serial();
    s.Fire(I::Enter);
    EXPECT_EQ(s.Fire(I::PageOpened, 90100).action, A::Note);
    EXPECT_EQ(s.State(), S::Armed);
    EXPECT_EQ(s.Price(), 90100);
    EXPECT_EQ(s.Serial(), serial);
}

TEST(SubmissionTest, ARefusedEnterIsReportedOncePerState) {
    Submission s;
    EXPECT_TRUE(s.Fire(I::Enter).firstRefusal);
    EXPECT_FALSE(s.Fire(I::Enter).firstRefusal) << "a held Enter repeats ten times a second";
    s.Fire(I::Apply, 90000);
    s.Fire(I::EnterInReach);
    EXPECT_TRUE(s.Fire(I::Enter).firstRefusal);
    EXPECT_FALSE(s.Fire(I::ForcedEnter).firstRefusal);
}

TEST(SubmissionTest, TheDelayStopwatchBelongsToTheArmedBid) {
    Submission s;
    Bring(s, S::Applied);
    EXPECT_FALSE(s.StartDelay(100)) << "nothing armed";
    s.Fire(I::Enter);
    EXPECT_TRUE(s.StartDelay(100));
    EXPECT_FALSE(s.StartDelay(250)) << "a running stopwatch keeps its start";
    EXPECT_EQ(s.DelayStart(), 100u);
    s.Fire(I::Escape);
    EXPECT_FALSE(s.DelayStart()) << "a withdrawn bid's delay does not run on";
}

// Random inputs in any order: the promises a page can rely on.
TEST(SubmissionTest, NeverTwoClicksForOneBidNorOneOutsideItsWaiting) {
    const I inputs[] = {I::Apply,       I::PageOpened, I::Enter,          I::EnterInReach, I::ForcedEnter,
                        I::RuleConfirm, I::Escape,     I::Cancel,         I::PageConfirmed, I::PageClosed,
                        I::ShellRestarted, I::AuctionEnded, I::DayReset};
    std::mt19937 random(20261211);
    for (int run = 0; run < 2000; ++run) {
        Submission s;
        std::map<std::uint32_t, int> clicks;
        for (int n = 0; n < 40; ++n) {
            const I input = inputs[random() % std::size(inputs)];
            // Decisions are made for the current bid, an old one, or any.
            const std::uint32_t serial = random() % 3 == 0 ? s.Serial() - random() % 2 : 0;
            const SubmissionStep step = s.Fire(input, 89000 + 100 * static_cast<int>(random() % 20), serial);
            if (step.action != A::Confirm) continue;
            ++clicks[step.serial];
            ASSERT_GT(step.price, 0) << "a click for no price";
            ASSERT_TRUE(step.from == S::Armed ||
                        (step.from == S::Applied && (input == I::EnterInReach || input == I::ForcedEnter)))
                << "a click from " << Name(step.from) << " by " << Name(input);
            ASSERT_EQ(clicks[step.serial], 1) << "a second click for bid " << step.serial;
        }
    }
}

TEST(SubmissionTest, RulesRacingForOneArmedBidClickOnce) {
    for (int run = 0; run < 200; ++run) {
        Submission s;
        Bring(s, S::Armed);
        std::atomic<int> confirms{0};
        std::vector<std::thread> rules;
        for (int t = 0; t < 4; ++t)
            rules.emplace_back([&, t] {
                const I input = t % 2 ? I::RuleConfirm : I::EnterInReach;
                if (s.Fire(input).action == A::Confirm) ++confirms;
            });
        for (std::thread& r : rules) r.join();
        ASSERT_EQ(confirms.load(), 1);
    }
}

}  // namespace
}  // namespace kestrava::engine
