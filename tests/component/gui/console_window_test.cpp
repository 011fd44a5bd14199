// The console window clicked as a person clicks it: the X server's own pointer (xdotool) presses
// the spin arrows, check boxes and buttons of the real window on a real X server, with every role
// of the program attached to the console as the program attaches them. What counts is what the
// window shows afterwards and what the console's model and roles made of the click.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "component/gui/wait_for.h"
#include "gui/console_view.h"
#include "runtime/console_roles.h"
#include "strategy/parameter_controls.h"
#include "strategy/strategy_values.h"
#include "unit/console/console_rig.h"

using namespace kestrava;
using console::SpinArrow;
using kestrava::testing::WaitFor;

namespace {

// Presses and releases the left button over the middle of `w` with the X server's pointer, so
// the click reaches whatever window really lies there. (The server takes the move before the
// press; "--sync" would wait in vain when the pointer is there already.)
void ClickOnScreen(const QWidget* w) {
    const QPoint at = w->mapToGlobal(w->rect().center());
    const std::string command =
        "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The arrow button of a spin control that is drawn pointing the way `arrow` names.
QToolButton* ArrowButton(QWidget* spin, SpinArrow arrow) {
    const Qt::ArrowType drawn = arrow == SpinArrow::Up     ? Qt::UpArrow
                                : arrow == SpinArrow::Down ? Qt::DownArrow
                                : arrow == SpinArrow::Left ? Qt::LeftArrow
                                                           : Qt::RightArrow;
    if (!spin) return nullptr;
    for (QToolButton* b : spin->findChildren<QToolButton*>()) {
        if (b->arrowType() == drawn) return b;
    }
    return nullptr;
}

// The text the window shows in `w`, as UTF-8 (so a failure prints it readably).
std::string Shown(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    return {};
}

// A console on the fake platform (page shell windows present, no network), every role attached
// as the program attaches them, its window on the X server, started by its own start sequence.
class ConsoleWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qApp) GTEST_SKIP() << "no X display";
    }

    void Start(bool simulation = false) {
        rig_ = std::make_unique<console::testing::ConsoleRig>(platform::fake::MakeLocal(2026, 12, 10, 11, 29, 0));
        if (simulation) rig_->UserConf({{"moniornot", "1"}});
        rig_->AddPage();
        runtime::RoleOptions options;
        options.network = false;
        gui::LinkBalloons(viewPtr_, options);
        roles_ = runtime::AttachAll(rig_->hooks, rig_->fp.Get(), std::move(options));
        // Text recognition is not looked at here.
        rig_->hooks.initOcr = [](console::CKestravaDlg&) { return true; };
        rig_->hooks.createHintWindows = [this](console::CKestravaDlg&) {
            if (view_) view_->CreateHintWindows();
        };
        console::CKestravaDlg& c = rig_->Make();
        view_ = std::make_unique<gui::ConsoleView>(c);
        viewPtr_ = view_.get();
        ASSERT_TRUE(c.OnInitDialog().ok);
        view_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        view_->Refresh();
    }

    void TearDown() override {
        viewPtr_ = nullptr;
        if (view_) view_->close();
        view_.reset();
    }

    console::CKestravaDlg& c() { return *rig_->console; }
    strategy::StrategyValues& v() { return roles_.engine->strategy; }
    engine::EngineState& rec() { return roles_.engine->records; }
    QWidget* W(int id) { return view_->Control(id); }
    bool Checked(int id) { return qobject_cast<QAbstractButton*>(W(id))->isChecked(); }

    // Clicks an arrow of spin `id` and waits until `moved` holds; the window is then refreshed.
    template <class F>
    void ClickArrow(int id, SpinArrow arrow, F&& moved) {
        QToolButton* button = ArrowButton(W(id), arrow);
        ASSERT_NE(button, nullptr) << "spin " << id << " has no such arrow";
        ASSERT_TRUE(button->isVisible() && button->isEnabled());
        ClickOnScreen(button);
        EXPECT_TRUE(WaitFor(moved)) << "spin " << id;
        view_->Refresh();
    }

    // Clicks check box or button `id` and waits until `done` holds; the window is then refreshed.
    template <class F>
    void ClickControl(int id, F&& done) {
        ASSERT_TRUE(W(id)->isVisible() && W(id)->isEnabled()) << id;
        ClickOnScreen(W(id));
        EXPECT_TRUE(WaitFor(done)) << id;
        view_->Refresh();
    }

    std::unique_ptr<console::testing::ConsoleRig> rig_;
    runtime::ConsoleRoles roles_;
    std::atomic<gui::ConsoleView*> viewPtr_{nullptr};
    std::unique_ptr<gui::ConsoleView> view_;
};

using Field = std::atomic<int> strategy::StrategyValues::*;

TEST_F(ConsoleWindow, SpinArrowsMoveTheirValuesTheWayTheyPoint) {
    Start();
    using V = strategy::StrategyValues;
    struct Case {
        const char* name;
        int spin;
        SpinArrow arrow;
        Field field;
        int start, expected;
        int shownIn;  // the edit or label that shows the value
        const char* shown;
    };
    const Case cases[] = {
        {"second plus, up", 1096, SpinArrow::Up, &V::SecondPlus, 1000, 1100, 1095, "1100"},
        {"second plus, down", 1096, SpinArrow::Down, &V::SecondPlus, 1000, 900, 1095, "900"},
        {"gap limit, up", 1149, SpinArrow::Up, &V::ctrlXpricelimit, 500, 600, 1148, "600"},
        {"gap limit, down", 1149, SpinArrow::Down, &V::ctrlXpricelimit, 500, 400, 1148, "400"},
        // The forced moment is shown as a clock time: up moves it later, towards the end.
        {"forced moment, up", 1170, SpinArrow::Up, &V::mandatory_bid, 1000, 900, 1169, "11:29:59.1"},
        {"forced moment, down", 1170, SpinArrow::Down, &V::mandatory_bid, 1000, 1100, 1169, "11:29:58.9"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        std::atomic<int>& value = v().*tc.field;
        value = tc.start;
        ClickArrow(tc.spin, tc.arrow, [&] { return value.load() != tc.start; });
        EXPECT_EQ(value.load(), tc.expected);
        EXPECT_EQ(Shown(W(tc.shownIn)), tc.shown);
    }
}

// The bid moments keep their distance: which rule ran shows in both values, both clock labels and
// which of the two bids may be applied again.
TEST_F(ConsoleWindow, BidMomentArrowsRunTheirCoupledRules) {
    Start();
    struct Case {
        const char* name;
        int spin;
        SpinArrow arrow;
        int second, third;  // after the click, from 20 and 13
        bool secondFreed, thirdFreed;
    };
    const Case cases[] = {
        {"second bid, up: earlier, alone", 1048, SpinArrow::Up, 21, 13, true, false},
        {"second bid, down: later, the third follows", 1048, SpinArrow::Down, 19, 12, true, true},
        {"third bid, up: earlier, pushing the second", 1122, SpinArrow::Up, 21, 14, true, true},
        {"third bid, down: later, alone", 1122, SpinArrow::Down, 20, 12, false, true},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        v().SecondBidTime = 20;
        v().ThirdBidTime = 13;
        rec().secondBidDone = rec().thirdBidDone = 1;
        ClickArrow(tc.spin, tc.arrow, [&] { return v().SecondBidTime.load() != 20 || v().ThirdBidTime.load() != 13; });
        EXPECT_EQ(v().SecondBidTime.load(), tc.second);
        EXPECT_EQ(v().ThirdBidTime.load(), tc.third);
        EXPECT_EQ(Shown(W(1025)), std::to_string(tc.second));
        EXPECT_EQ(Shown(W(1120)), std::to_string(tc.third));
        EXPECT_EQ(Shown(W(1161)), strategy::ReferenceClockLabel(tc.second));
        EXPECT_EQ(Shown(W(1072)), strategy::ReferenceClockLabel(tc.third));
        EXPECT_EQ(rec().secondBidDone.load(), tc.secondFreed ? 0 : 1);
        EXPECT_EQ(rec().thirdBidDone.load(), tc.thirdFreed ? 0 : 1);
    }
}

// The screen-time preview's two controls move the page-clock reading region a pixel the way the
// clicked arrow points: the upright one up and down, the sideways one left and right.
TEST_F(ConsoleWindow, ClockRegionArrowsMoveTheRegionTheWayTheyPoint) {
    Start();
    using Point = std::pair<int, int>;  // left, top of the region
    const auto region = [&] {
        const auto g = roles_.perception->geometry()->Get();
        return Point(g->ocr_systime_left, g->ocr_systime_top);
    };
    struct Case {
        int spin;
        SpinArrow arrow;
        int dx, dy;
    };
    const Case cases[] = {
        {1156, SpinArrow::Up, 0, -1},
        {1156, SpinArrow::Down, 0, +1},
        {1157, SpinArrow::Right, +1, 0},
        {1157, SpinArrow::Left, -1, 0},
    };
    EXPECT_EQ(ArrowButton(W(1156), SpinArrow::Left), nullptr);
    EXPECT_EQ(ArrowButton(W(1157), SpinArrow::Up), nullptr);
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.spin);
        const Point before = region();
        ClickArrow(tc.spin, tc.arrow, [&] { return region() != before; });
        EXPECT_EQ(region(), Point(before.first + tc.dx, before.second + tc.dy));
    }
}

// A box clicked in the window reaches the console's model, and the box rules run on it.
TEST_F(ConsoleWindow, CheckBoxClicksReachTheModelAndItsRules) {
    Start();
    console::ConsoleControls& model = c().controls;
    // A known start: the bid boxes ticked, the analysis off.
    model.SetCheck(strategy::ctl::Analysis, 0);
    strategy::ApplySmartAnalysisRule(c(), *roles_.engine);
    view_->Refresh();
    ASSERT_TRUE(model.IsChecked(1010));

    // A box without a rule simply toggles.
    const bool voice = model.IsChecked(1124);
    ClickControl(1124, [&] { return model.IsChecked(1124) != voice; });
    EXPECT_EQ(Checked(1124), !voice);

    ClickControl(1010, [&] { return !model.IsChecked(1010); });
    EXPECT_FALSE(Checked(1010));

    // The analysis takes over both bids: their boxes go off and cannot be clicked.
    ClickControl(1165, [&] { return model.IsChecked(1165); });
    EXPECT_TRUE(Checked(1165));
    for (int id : {1010, 1125, 1048, 1122}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(W(id)->isEnabled());
        if (id == 1010 || id == 1125) EXPECT_FALSE(Checked(id));
    }
    // And gives them back, ticked.
    ClickControl(1165, [&] { return !model.IsChecked(1165); });
    for (int id : {1010, 1125}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(W(id)->isEnabled());
        EXPECT_TRUE(Checked(id));
        EXPECT_TRUE(model.IsChecked(id));
    }
}

// A practice run shows "开始模拟" inside the window, clear of the other controls, and a click on
// it starts the run: the run state, the info bar's line and the emptied readings.
TEST_F(ConsoleWindow, StartButtonSitsInTheWindowAndStartsThePracticeRun) {
    Start(/*simulation=*/true);
    QWidget* button = W(1138);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(Shown(button), "开始模拟");
    ASSERT_TRUE(button->isVisible());
    EXPECT_TRUE(view_->rect().contains(button->geometry())) << "outside the window";
    for (QWidget* other : view_->findChildren<QWidget*>()) {
        if (other == button || other->parentWidget() != view_.get() || !other->isVisible() ||
            qobject_cast<QGroupBox*>(other))
            continue;
        EXPECT_FALSE(other->geometry().intersects(button->geometry())) << other->objectName().toStdString();
    }

    c().controls.SetText(1158, "29");
    c().controls.SetText(1159, "41");
    view_->Refresh();
    ASSERT_NE(c().state.runState.load(), 1);
    ClickControl(1138, [&] { return c().state.runState.load() == 1; });
    EXPECT_EQ(c().state.auctionPhase.load(), 0);
    ASSERT_NE(view_->InfoBar(), nullptr);
    EXPECT_EQ(view_->InfoBar()->HeaderText().toStdString(), "提示：已进入投标竞拍，拍牌尚未开始");
    EXPECT_EQ(Shown(W(1158)), "");
    EXPECT_EQ(Shown(W(1159)), "");
}

// After the end nothing is pending: the submission's balloons come down and the info bar no
// longer counts down to an application. The console's own timers run on the virtual clock across
// the end, and the balloons go up and down through the links the program gives its roles.
TEST_F(ConsoleWindow, EndOfTheAuctionClearsTheBalloonsAndTheCountdown) {
    Start();
    auto& clock = rig_->fp.clock;
    const auto at = [](int minute, int second, int ms = 0) {
        return platform::fake::MakeLocal(2026, 12, 10, 11, minute, second, ms);
    };
    clock.AdvanceTo(at(29, 58));
    ASSERT_EQ(c().state.auctionPhase.load(), 3);
    ASSERT_TRUE(c().hooks().showHint);
    c().hooks().showHint(c(), 1);  // after a forced submission
    c().hooks().showHint(c(), 2);  // the bidder's Enter has armed the submission
    gui::HintBalloons& balloons = view_->Balloons();
    const auto up = [&] { return balloons.Balloon(1).isVisible() && balloons.Balloon(2).isVisible(); };
    ASSERT_TRUE(WaitFor(up));
    c().SetInfoBody("软件将在1秒后自动申请价格");
    clock.AdvanceTo(at(29, 59, 500));
    EXPECT_FALSE(WaitFor([&] { return !up(); }, 300)) << "taken down before the end";

    clock.AdvanceTo(at(30, 0, 200));
    EXPECT_TRUE(WaitFor([&] { return !balloons.Balloon(1).isVisible() && !balloons.Balloon(2).isVisible(); }));
    view_->Refresh();
    EXPECT_EQ(view_->InfoBar()->BodyText().toStdString(), "");
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app;
    if (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) app = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
