// The scheduled confirmation on both sides, on the fake clock: the console schedules, cancels and
// falls back to its own click exactly once; the shell arms, fires once, and answers cancels that
// come too late.
#include "shell/scheduled_confirm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

namespace kestrava::shell {
namespace {

using platform::Message;
using Action = ShellConfirmTimer::Action;

class ConsoleScheduleTest : public ::testing::Test {
protected:
    ConsoleScheduleTest()
        : schedule(clock, [this](const Message& m) { posted.push_back(m); return pageThere; },
                   [this](const std::string& line) { logged.push_back(line); }) {}

    std::uint32_t In(std::uint32_t ms) { return clock.TickCount() + ms; }
    std::int32_t LastToken() const { return posted.back().lParam; }

    platform::fake::FakeClock clock;
    bool pageThere = true;
    std::vector<Message> posted;
    std::vector<std::string> logged;
    ConfirmSchedule schedule;
};

TEST_F(ConsoleScheduleTest, ScheduleCarriesTheMomentOnTheSharedClock) {
    const std::int64_t now = clock.EpochMillis();
    schedule.Schedule(In(900), "forced");
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, cmd::ScheduleConfirm);
    EXPECT_EQ(DueMoment{posted[0].wParam}.MillisFrom(now), 900);
    EXPECT_GT(posted[0].lParam, 0);
}

TEST_F(ConsoleScheduleTest, AcknowledgedScheduleIsTheShellsClickNotTheConsoles) {
    schedule.Schedule(In(900), "forced");
    const std::int32_t token = LastToken();
    (void)schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    for (int i = 0; i < 89; ++i) {
        clock.Advance(10);
        schedule.Poll();
    }
    // The rule fires on its own tick, a little after the shell's timer: nothing more is sent.
    clock.Advance(25);
    EXPECT_TRUE(schedule.TakeConfirm("forced"));
    EXPECT_EQ(posted.size(), 1u);
    // A second ConfirmBid of the same submission (another rule racing) clicks for itself: the
    // schedule is used up.
    EXPECT_FALSE(schedule.TakeConfirm("forced"));
    EXPECT_EQ(posted.size(), 1u);
}

// The shell found no confirm button at the moment: whether its answer comes before or after the
// rule's own tick, the console clicks, once.
TEST_F(ConsoleScheduleTest, AShellThatCouldNotClickLeavesTheClickToTheConsole) {
    for (const bool answerFirst : {true, false}) {
        SCOPED_TRACE(answerFirst ? "answer before the rule's tick" : "answer after the rule's tick");
        schedule.Schedule(In(300), "forced", 4);
        const std::int32_t token = LastToken();
        (void)schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::Accepted));
        clock.Advance(300);
        if (answerFirst) {
            EXPECT_FALSE(schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::NotShown)));
            EXPECT_FALSE(schedule.TakeConfirm("forced"));  // the rule clicks by itself
        } else {
            EXPECT_TRUE(schedule.TakeConfirm("forced"));
            EXPECT_TRUE(schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::NotShown)));
            EXPECT_FALSE(schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::NotShown)));
        }
        // The shell clicked nothing under the token: the console's command must not name it.
        EXPECT_EQ(schedule.TokenOf(4), 0u);
    }
}

// A schedule stands in only for the rule that made it: the smart submission's gap rule confirming
// at the moment of an older delay's schedule clicks by itself and cancels the delay's.
TEST_F(ConsoleScheduleTest, AnotherRulesConfirmationIsNeverSwallowedByTheSchedule) {
    schedule.Schedule(In(400), "delay", 2);
    const std::int32_t token = LastToken();
    (void)schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    clock.Advance(390);
    EXPECT_FALSE(schedule.TakeConfirm("gap"));
    EXPECT_FALSE(schedule.TakeConfirm(nullptr));
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].msg, cmd::CancelScheduledConfirm);
    // The console's command names the cancelled schedule of this arming, none of another.
    EXPECT_EQ(schedule.TokenOf(2), static_cast<std::uint32_t>(token));
    EXPECT_EQ(schedule.TokenOf(3), 0u);

    // Once the shell has clicked, any rule's confirmation is that click.
    schedule.Schedule(In(400), "delay", 3);
    (void)schedule.OnAnswer(LastToken(), static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    clock.Advance(400);
    (void)schedule.OnAnswer(LastToken(), static_cast<std::int32_t>(ScheduleAnswer::Fired));
    EXPECT_TRUE(schedule.TakeConfirm("gap"));

    // A rule that no longer holds takes its own schedule back, and only its own.
    schedule.Schedule(In(600), "delay", 4);
    schedule.AbandonRule("forced", "not this one");
    EXPECT_TRUE(schedule.Pending());
    schedule.AbandonRule("delay", "the gap widened");
    EXPECT_FALSE(schedule.Pending());
    EXPECT_EQ(posted.back().msg, cmd::CancelScheduledConfirm);
}

TEST_F(ConsoleScheduleTest, WithoutAcknowledgementTheConsoleCancelsInTimeAndClicksItself) {
    schedule.Schedule(In(900), "forced");
    const std::int32_t token = LastToken();
    while (schedule.Pending()) {
        clock.Advance(10);
        schedule.Poll();
    }
    // Given up at least the margin before the moment, so the cancel precedes the shell's timer.
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].msg, cmd::CancelScheduledConfirm);
    EXPECT_EQ(posted[1].lParam, token);
    // A late acknowledgement changes nothing.
    (void)schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    EXPECT_FALSE(schedule.Pending());
    clock.Advance(ConfirmSchedule::kAckMarginMs);
    EXPECT_FALSE(schedule.TakeConfirm("forced"));
    EXPECT_EQ(posted.size(), 2u);
}

TEST_F(ConsoleScheduleTest, AnotherPathConfirmingEarlyCancelsTheSchedule) {
    schedule.Schedule(In(900), "delay");
    const std::int32_t token = LastToken();
    (void)schedule.OnAnswer(token, static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    clock.Advance(300);  // the gap closes: the smart submission confirms now
    EXPECT_FALSE(schedule.TakeConfirm("forced"));
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].msg, cmd::CancelScheduledConfirm);
    EXPECT_EQ(posted[1].lParam, token);
}

TEST_F(ConsoleScheduleTest, OneSchedulePerConfirmationAndAnswersForOldTokensIgnored) {
    schedule.Schedule(In(900), "forced");
    const std::int32_t first = LastToken();
    clock.Advance(10);
    schedule.Schedule(In(890), "forced");  // the same moment announced again
    EXPECT_EQ(posted.size(), 1u);
    schedule.Schedule(In(500), "delay");  // a different moment replaces it
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[1].msg, cmd::CancelScheduledConfirm);
    EXPECT_EQ(posted[1].lParam, first);
    EXPECT_NE(LastToken(), first);
    (void)schedule.OnAnswer(first, static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    EXPECT_FALSE(schedule.Acknowledged());
    (void)schedule.OnAnswer(LastToken(), 99);  // garbage from the network of windows
    EXPECT_FALSE(schedule.Acknowledged());
}

TEST_F(ConsoleScheduleTest, AbandonAndNoPageAndNoElement) {
    schedule.Schedule(In(900), "forced");
    schedule.Abandon("cancelled by the bidder");
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].msg, cmd::CancelScheduledConfirm);
    schedule.Abandon("again");
    EXPECT_EQ(posted.size(), 2u);

    pageThere = false;  // no page window: nothing pending, the console clicks at the moment
    schedule.Schedule(In(900), "forced");
    EXPECT_FALSE(schedule.Pending());
    clock.Advance(900);
    EXPECT_FALSE(schedule.TakeConfirm("forced"));

    pageThere = true;
    schedule.Schedule(In(900), "forced");
    (void)schedule.OnAnswer(LastToken(), static_cast<std::int32_t>(ScheduleAnswer::NoElement));
    clock.Advance(900);
    EXPECT_FALSE(schedule.TakeConfirm("forced"));
}

TEST_F(ConsoleScheduleTest, WorksAcrossTheTickCountWrap) {
    platform::fake::FakeClock nearWrap(platform::fake::MakeLocal(2026, 12, 10, 11, 29, 59), 480, 0xffffff00u);
    std::vector<Message> sent;
    ConfirmSchedule s(nearWrap, [&](const Message& m) { sent.push_back(m); return true; }, [](const std::string&) {});
    s.Schedule(nearWrap.TickCount() + 900, "forced");
    (void)s.OnAnswer(static_cast<std::uint32_t>(sent.back().lParam), static_cast<std::int32_t>(ScheduleAnswer::Accepted));
    nearWrap.Advance(500);
    s.Poll();
    EXPECT_TRUE(s.Acknowledged());
    nearWrap.Advance(400);
    EXPECT_TRUE(s.TakeConfirm("forced"));
}

// ---- the shell's side ----------------------------------------------------------------------------

TEST(ShellConfirmTimerTest, TableOfSchedulesCancelsAndTimers) {
    constexpr std::int64_t kT0 = 1'796'000'000'000;  // an epoch moment whose low 32 bits wrap soon
    struct Event {
        enum Kind { Schedule, Cancel, Timer, HeldTimer, Command, ClickFailed } kind;
        std::uint32_t token;
        std::int64_t dueOffset;  // for Schedule: the moment relative to kT0
        std::int64_t at;         // when it happens, relative to kT0
        Action expected;
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
    };
    const Case cases[] = {
        {"fires once at its moment",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Timer, 7, 0, 900, Action::Fire},
          {Event::Timer, 7, 0, 901, Action::Nothing}}},
        {"cancel in time disarms, its timer does nothing",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Cancel, 7, 0, 860, Action::Cancelled},
          {Event::Timer, 7, 0, 900, Action::Nothing}}},
        {"cancel after the click is reported as too late",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Timer, 7, 0, 900, Action::Fire},
          {Event::Cancel, 7, 0, 905, Action::TooLate}}},
        {"a moment in the past fires at once, and only once",
         {{Event::Schedule, 7, -30, 0, Action::FireNow}, {Event::Schedule, 7, -30, 1, Action::Nothing},
          {Event::Cancel, 7, 0, 2, Action::TooLate}}},
        {"the same schedule twice is kept",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Schedule, 7, 900, 5, Action::Nothing},
          {Event::Timer, 7, 0, 900, Action::Fire}}},
        {"a new token replaces the old; the old timer and cancel are void",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Schedule, 8, 500, 10, Action::Arm},
          {Event::Timer, 7, 0, 900, Action::Nothing}, {Event::Cancel, 7, 0, 400, Action::Nothing},
          {Event::Timer, 8, 0, 500, Action::Fire}}},
        {"a held click leaves ahead once; a cancel after it is too late, the late timer does nothing",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::HeldTimer, 7, 0, 870, Action::Fire},
          {Event::Cancel, 7, 0, 880, Action::TooLate}, {Event::Timer, 7, 0, 897, Action::Nothing}}},
        {"a held click for a cancelled schedule is not sent",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Cancel, 7, 0, 860, Action::Cancelled},
          {Event::HeldTimer, 7, 0, 870, Action::Nothing}}},
        // The console's own command (0x4a3) names the schedule it stands in for: one click
        // whichever of the two the shell reads first.
        {"a shell stalled past the moment: late schedule clicks, cancel too late, the command is void",
         {{Event::Schedule, 7, 900, 1000, Action::FireNow}, {Event::Cancel, 7, 0, 1001, Action::TooLate},
          {Event::Command, 7, 0, 1002, Action::Nothing}}},
        {"the command first: it clicks, the late schedule of its token does not",
         {{Event::Command, 7, 0, 1000, Action::Fire}, {Event::Schedule, 7, 900, 1001, Action::Nothing}}},
        {"the command disarms a schedule still waiting",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Command, 7, 0, 850, Action::Fire},
          {Event::Timer, 7, 0, 900, Action::Nothing}}},
        {"a click that found no button leaves the command free to click",
         {{Event::Schedule, 7, 900, 0, Action::Arm}, {Event::Timer, 7, 0, 900, Action::Fire},
          {Event::ClickFailed, 7, 0, 901, Action::Nothing}, {Event::Command, 7, 0, 905, Action::Fire}}},
        {"a command of no schedule always clicks",
         {{Event::Command, 0, 0, 0, Action::Fire}, {Event::Command, 0, 0, 1, Action::Fire}}},
        {"a cancel for an unknown token is ignored",
         {{Event::Cancel, 3, 0, 0, Action::Nothing}, {Event::Schedule, 4, 100, 1, Action::Arm}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellConfirmTimer timer;
        for (const Event& e : c.events) {
            const std::int64_t now = kT0 + e.at;
            ShellConfirmTimer::Step step;
            switch (e.kind) {
            case Event::Schedule:
                step = timer.OnSchedule(e.token, DueMoment::FromEpochMillis(kT0 + e.dueOffset), now);
                break;
            case Event::Cancel: step = timer.OnCancel(e.token, now); break;
            case Event::Timer: step = timer.OnTimer(e.token, now); break;
            case Event::HeldTimer: step = timer.OnHeldTimer(e.token, now); break;
            case Event::Command: step = timer.OnConfirmCommand(e.token); break;
            case Event::ClickFailed: timer.OnClickFailed(e.token); break;
            }
            EXPECT_EQ(static_cast<int>(step.action), static_cast<int>(e.expected)) << step.note;
            if (step.action == Action::Arm) {
                EXPECT_EQ(step.millisToDue, e.dueOffset - e.at);
            }
        }
    }
}

TEST(DueMomentTest, DifferencesSurviveTheWrapOfTheLow32Bits) {
    const std::int64_t beforeWrap = (std::int64_t{0x1A5} << 32) + 0xFFFFFF00;  // 256 ms before a wrap
    const DueMoment due = DueMoment::FromEpochMillis(beforeWrap + 900);
    EXPECT_EQ(due.MillisFrom(beforeWrap), 900);
    EXPECT_EQ(due.MillisFrom(beforeWrap + 1000), -100);
}

}  // namespace
}  // namespace kestrava::shell
