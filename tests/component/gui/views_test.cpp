// The Qt views as a person meets them, on a real X server: captions, what the keys and clicks do,
// what is stored, colours, the animated balloon, message boxes from other threads and posted
// window messages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/bid_num_dlg.h"
#include "app/credentials.h"
#include "component/gui/wait_for.h"
#include "config/settings.h"
#include "gui/credentials_dialog.h"
#include "gui/help_pages_dialog.h"
#include "gui/hint_balloon.h"
#include "gui/info_bar.h"
#include "gui/login_dialog.h"
#include "gui/owner_drawn.h"
#include "gui/qt_notices.h"
#include "platform/fake/fake_platform.h"
#include "platform/keys.h"
#include "platform/x11/x11_platform.h"
#include "unit/app/install_dir.h"

#ifdef KESTRAVA_HAVE_CONSOLE
#include "gui/console_view.h"
#include "log/log_book.h"
#endif

using namespace kestrava;
using kestrava::testing::InstallDir;
using kestrava::testing::WaitFor;

namespace {

#define REQUIRE_DISPLAY() \
    if (!qApp) GTEST_SKIP() << "no X display"

template <class T>
T* Find(QWidget& root, int id) {
    return root.findChild<T*>(gui::ControlName(id));
}

// A login dialog on the fake platform in a fresh installation folder, started up and shown.
struct LoginRig {
    // `answer`: what every address of the configuration host answers.
    explicit LoginRig(std::string answer = "Error:Connect failed!\n") {
        kestrava::testing::WriteFile(".//bin//conf.ini", "[Configure]\nnoticeurl=http://127.0.0.1/notice\n");
        hooks.httpGet = [answer](const std::string&) { return answer; };
        dialog = std::make_unique<gui::LoginDialog>(platform, application, hooks);
        started = dialog->Initialise().keepRunning;
        dialog->show();
        exposed = QTest::qWaitForWindowExposed(dialog.get());
    }
    InstallDir dir;
    platform::fake::FakePlatform fake;
    platform::Platform platform = fake.Get();
    app::CKestravaApp application;
    app::LoginHooks hooks;
    std::unique_ptr<gui::LoginDialog> dialog;
    bool started = false;
    bool exposed = false;
};

// The credentials dialog shown over a userconf.ini that stores `stored` (lines of [Configure]).
struct CredentialsRig {
    explicit CredentialsRig(const std::string& stored) {
        kestrava::testing::WriteFile(".//bin//userconf.ini", "[Configure]\n" + stored);
        dialog.show();
        exposed = QTest::qWaitForWindowExposed(&dialog);
    }
    InstallDir dir;
    platform::fake::FakeNotices notices;
    gui::CZidongInputFormDlg dialog{notices};
    bool exposed = false;
};

}  // namespace

TEST(LoginDialog, ShowsTheTemplateCaptionsAndLeadsToTheHelpPages) {
    REQUIRE_DISPLAY();
    LoginRig rig;
    ASSERT_TRUE(rig.started && rig.exposed);
    gui::LoginDialog& dialog = *rig.dialog;
    dialog.FinishStartup();

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Vonter沪牌抢拍助手 8.2.Ravedadi"));
    EXPECT_FALSE(dialog.LogoLoaded());  // no logo in this folder: the dialog works without it
    struct Caption {
        int id;
        const char* text;
    };
    const Caption captions[] = {
        {1038, "投标号"},
        {1039, "第1步."},
        {1041, "第2步."},
        {1042, "第3步."},
        {1117, "检测软件兼容性"},
        {1060, "模拟拍牌登录\n(平时练习使用)"},
        {1134, "正式拍牌登录\n(拍牌当天使用)"},
        {1112, "版本号 8.2"},
        {1190, "密码与身份证号"},
        {1032, "登录"},
    };
    for (const Caption& c : captions) {
        SCOPED_TRACE(c.id);
        QWidget* w = dialog.findChild<QWidget*>(gui::ControlName(c.id));
        ASSERT_NE(w, nullptr);
        const QString text = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                                                      : qobject_cast<QAbstractButton*>(w)->text();
        EXPECT_EQ(text, QString::fromUtf8(c.text));
    }
    EXPECT_EQ(Find<QPushButton>(dialog, 1060)->toolTip(), QStringLiteral("模拟练习"));
    EXPECT_FALSE(Find<QPushButton>(dialog, 1032)->isVisible());

    // Digits only, eight at most; Escape and Enter do not close the dialog.
    QLineEdit* number = Find<QLineEdit>(dialog, 1003);
    number->clear();
    number->setFocus();
    QTest::keyClicks(number, "12a3456789");
    EXPECT_EQ(number->text(), QStringLiteral("12345678"));
    QTest::keyClick(number, Qt::Key_Escape);
    QTest::keyClick(number, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());

    QTest::mouseClick(Find<QPushButton>(dialog, 1060), Qt::LeftButton);
    EXPECT_EQ(dialog.Next(), app::NextWindow::HelpPages);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(rig.application.bidNumber, "12345678");
    EXPECT_EQ(config::Read(config::user::moniornot), 1);
}

TEST(LoginDialog, TheNoticeFromTheNetworkIsShownAsPlainText) {
    REQUIRE_DISPLAY();
    const std::string notice = "<b style=\"font-size:60px\">今日通知</b><img src=\"file:///etc/x.png\">";
    LoginRig rig(notice + "\nsecond line");
    ASSERT_TRUE(rig.started && rig.exposed);
    QLabel* label = Find<QLabel>(*rig.dialog, 1040);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromStdString(notice));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST(LoginDialog, ShortNumberKeepsTheDialogOpen) {
    REQUIRE_DISPLAY();
    LoginRig rig;
    ASSERT_TRUE(rig.started);
    gui::LoginDialog& dialog = *rig.dialog;
    Find<QLineEdit>(dialog, 1003)->setText("1234");
    QTest::mouseClick(Find<QPushButton>(dialog, 1134), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Next(), app::NextWindow::None);
    ASSERT_EQ(rig.fake.notices.Shown().size(), 1u);
    EXPECT_EQ(rig.fake.notices.Shown()[0].first, app::kShortBidNumberText);
}

TEST(LoginDialog, PostedTimerOneRunsTheCompatibilityCheck) {
    REQUIRE_DISPLAY();
    LoginRig rig;
    ASSERT_TRUE(rig.started && rig.exposed);
    gui::LoginDialog& dialog = *rig.dialog;
    auto x11 = platform::x11::X11Platform::Create();
    ASSERT_NE(x11, nullptr);
    const auto id = static_cast<platform::WindowId>(dialog.winId());
    // Another timer id is not ours; id 1 runs the check, which finds no page and says so.
    ASSERT_TRUE(x11->Get().desktop.PostMessage(id, platform::Message{platform::wm::Timer, 2, 0}));
    ASSERT_TRUE(x11->Get().desktop.PostMessage(id, platform::Message{platform::wm::Timer, 1, 0}));
    ASSERT_TRUE(WaitFor([&] { return !rig.fake.notices.Shown().empty(); }));
    WaitFor([] { return false; }, 200);
    ASSERT_EQ(rig.fake.notices.Shown().size(), 1u);
    EXPECT_EQ(rig.fake.notices.Shown()[0].first, app::kCompatibilityFailedText);
    // A posted close request closes it like the close box.
    ASSERT_TRUE(x11->Get().desktop.PostMessage(id, platform::Message{platform::wm::Close, 0, 0}));
    EXPECT_TRUE(WaitFor([&] { return !dialog.isVisible(); }));
}

TEST(Credentials, StoresValidTextsAndStaysOpenOnAWrongLength) {
    REQUIRE_DISPLAY();
    struct Case {
        const char* name;
        const char* password;
        const char* card;
        bool closes;
        const char* storedPassword;
    };
    const Case cases[] = {
        {"both right", "abcd", "31010119900101123X", true, "abcd"},
        {"short password", "123", "31010119900101123X", false, "old1"},
        {"both cleared", "", "", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CredentialsRig rig("bidpassword=old1\n");
        ASSERT_TRUE(rig.exposed);
        gui::CZidongInputFormDlg& dialog = rig.dialog;
        platform::fake::FakeNotices& notices = rig.notices;
        EXPECT_EQ(Find<QLineEdit>(dialog, 1188)->text(), QStringLiteral("old1"));
        Find<QLineEdit>(dialog, 1188)->setText(c.password);
        Find<QLineEdit>(dialog, 1189)->setText(c.card);
        // Space on the switch, Enter and Escape in an edit: none of them acts.
        QCheckBox* firstbid = Find<QCheckBox>(dialog, 1195);
        firstbid->setFocus();
        QTest::keyClick(firstbid, Qt::Key_Space);
        EXPECT_FALSE(firstbid->isChecked());
        QTest::keyClick(Find<QLineEdit>(dialog, 1188), Qt::Key_Return);
        QTest::keyClick(Find<QLineEdit>(dialog, 1188), Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
        QTest::mouseClick(firstbid, Qt::LeftButton);
        QTest::mouseClick(Find<QPushButton>(dialog, 1), Qt::LeftButton);
        EXPECT_EQ(dialog.isVisible(), !c.closes);
        EXPECT_EQ(notices.Shown().size(), c.closes ? 0u : 1u);
        EXPECT_EQ(config::Read(config::user::bidpassword), c.storedPassword);
        EXPECT_EQ(config::Read(config::user::firstbid), 1);
    }
}

// A stored password longer than its field is shown whole with the reason in the red line, and
// "确定" does not store it cut to four characters.
TEST(CredentialsDialog, AStoredPasswordTooLongIsShownWholeAndReported) {
    REQUIRE_DISPLAY();
    CredentialsRig rig("bidpassword=123456789012\n");
    ASSERT_TRUE(rig.exposed);
    gui::CZidongInputFormDlg& dialog = rig.dialog;
    platform::fake::FakeNotices& notices = rig.notices;
    EXPECT_EQ(Find<QLineEdit>(dialog, 1188)->text(), QStringLiteral("123456789012"));
    QLabel* warning = dialog.findChild<QLabel*>(QStringLiteral("warning"));
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->text(), QString::fromUtf8(app::kStoredPasswordTooLongText));
    QTest::mouseClick(Find<QPushButton>(dialog, 1), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(notices.Shown().size(), 1u);
    EXPECT_EQ(notices.Shown()[0].first, app::kPasswordLengthText);
    EXPECT_EQ(app::LoadCredentials().values.bidpassword, "123456789012");
}

TEST(HelpPages, TenRealPicturesAndTheWayOut) {
    REQUIRE_DISPLAY();
    gui::CRegBidNum help;
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    EXPECT_EQ(help.windowTitle(), QStringLiteral("帮助手册"));
    QPushButton* previous = Find<QPushButton>(help, 1059);
    QPushButton* next = Find<QPushButton>(help, 1060);
    EXPECT_EQ(previous->text(), QStringLiteral("上一步"));
    EXPECT_EQ(next->text(), QStringLiteral("下一步"));
    EXPECT_EQ(Find<QPushButton>(help, 1058)->text(), QStringLiteral("知道了，跳过"));
    QTest::mouseClick(previous, Qt::LeftButton);
    EXPECT_EQ(help.Page(), 1);
    QImage previousPicture;
    for (int page = 1; page <= 10; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(help.Page(), page);
        const QPixmap picture = Find<QLabel>(help, 1038)->pixmap();
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(720, 480));
        EXPECT_NE(picture.toImage(), previousPicture);  // every page its own picture
        previousPicture = picture.toImage();
        if (page < 10) QTest::mouseClick(next, Qt::LeftButton);
    }
    EXPECT_TRUE(help.isVisible());
    QTest::mouseClick(next, Qt::LeftButton);  // past the last page: on to the console
    EXPECT_FALSE(help.isVisible());
    EXPECT_EQ(help.result(), QDialog::Accepted);
}

TEST(InfoBar, ColoursFollowTheStyles) {
    REQUIRE_DISPLAY();
    gui::CDlg012 bar;
    EXPECT_EQ(bar.windowTitle(), QStringLiteral("软件信息提示"));
    EXPECT_EQ(bar.HeaderText(), QStringLiteral("信息提示栏"));
    const QColor fallback = QPalette().color(QPalette::WindowText);
    struct Case {
        int style;
        QColor header;
        QColor body;
    };
    const Case cases[] = {
        {0, QColor(255, 0, 0), QColor(255, 0, 0)},
        {1, QColor(0, 0, 0), QColor(0, 128, 0)},
        {2, QColor(0, 0, 255), fallback},
        {3, fallback, fallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        bar.SetInfoHeader("提示：已进入投标竞拍，拍牌尚未开始", c.style);
        bar.SetInfoBody("开始自动强制提交", c.style);
        EXPECT_EQ(Find<QLabel>(bar, 1038)->palette().color(QPalette::WindowText), c.header);
        EXPECT_EQ(Find<QLabel>(bar, 1040)->palette().color(QPalette::WindowText), c.body);
    }
    EXPECT_EQ(bar.BodyText(), QStringLiteral("开始自动强制提交"));
}

// A practice run's guide line: shown below the two lines only with a text, the bar growing to
// hold the whole of a long outcome and shrinking back when it goes.
TEST(InfoBar, TheGuideLineShowsWholeAndGoes) {
    REQUIRE_DISPLAY();
    gui::CDlg012 bar;
    bar.ShowBelow(QRect(0, 0, 300, 400));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    const QSize plain = bar.size();
    QLabel* guide = Find<QLabel>(bar, 1041);
    ASSERT_NE(guide, nullptr);
    EXPECT_FALSE(guide->isVisible());
    const std::string outcome =
        "练习结果：由差额规则确认，页面于11:29:54.431（离结束5.6秒）收到点击，比软件确认晚8毫秒；出价89900有效；已成交（最低成交价89700）";
    bar.SetGuide(outcome);
    // A top-level window's new size reaches the widget only when the X server has answered.
    QTest::qWaitFor([&] { return bar.height() > plain.height(); }, 5000);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_EQ(bar.GuideText(), QString::fromStdString(outcome));
    EXPECT_GT(bar.height(), plain.height());
    // Every line of the wrapped text lies inside the bar.
    EXPECT_LE(guide->geometry().bottom(), bar.height());
    EXPECT_GE(guide->height(), guide->heightForWidth(guide->width()));
    bar.SetGuide("");
    QTest::qWaitFor([&] { return bar.size() == plain; }, 5000);
    EXPECT_FALSE(guide->isVisible());
    EXPECT_EQ(bar.size(), plain);
}

TEST(HintBalloons, ShowTheHintsWithTheAnimatedIcon) {
    REQUIRE_DISPLAY();
    const auto& frames = gui::IlstFrames();
    ASSERT_EQ(frames.size(), 6u);
    for (const QImage& f : frames) {
        EXPECT_EQ(f.size(), QSize(32, 32));
        EXPECT_EQ(qAlpha(f.pixel(0, 0)), 0);  // masked corners
    }
    EXPECT_NE(frames[0], frames[1]);

    gui::HintBalloons balloons;
    const int displaySeconds[] = {6, 60, 30, 15, 10};
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(balloons.Balloon(i).DisplayMs(), displaySeconds[i - 1] * 1000);
    EXPECT_FALSE(balloons.Show(0, QStringLiteral("x"), QPoint()));
    EXPECT_FALSE(balloons.Show(6, QStringLiteral("x"), QPoint()));

    // The second balloon's hint: a heading beside the turning wait icon, in a one-row table.
    const QString waiting = QStringLiteral(
        "<table align=center valign=middle><tr><td><ilst idres=1201 cx=32 cy=32 mask speed=1></td><td><td><h1>“回车”"
        "指令已生效，请等待，现在不要用鼠标点“确定”，软件会稍后提交</h1></td></tr></table>");
    ASSERT_TRUE(balloons.Show(2, waiting, QPoint(300, 300)));
    gui::HintBalloon& second = balloons.Balloon(2);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    EXPECT_EQ(second.pos(), QPoint(300 - 18, 300));
    EXPECT_GT(second.width(), 200);
    // Pointing near the screen's bottom-right corner, the whole balloon stays on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(balloons.Show(4, QStringLiteral("练习：验证码框已打开，请输入图片中的四位数字，然后按回车"),
                              screen.bottomRight() - QPoint(20, 20)));
    gui::HintBalloon& fourth = balloons.Balloon(4);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fourth));
    EXPECT_TRUE(screen.contains(fourth.geometry())) << fourth.x() << "," << fourth.y();
    fourth.Dismiss();
    EXPECT_TRUE(WaitFor([&] { return second.Frame() >= 2; }, 2000));  // the icon turns
    // A text-only hint: nothing animates.
    ASSERT_TRUE(balloons.Show(1, QStringLiteral("<h1>依据设置开始强制提交,软件点击确定</h1>"), QPoint(100, 100)));
    gui::HintBalloon& first = balloons.Balloon(1);
    WaitFor([] { return false; }, 400);
    EXPECT_EQ(first.Frame(), 0);
    EXPECT_TRUE(first.isVisible());
    const QString html = gui::TranslateHintMarkup(QStringLiteral("<td><ilst idres=1201 cx=32 cy=32 mask speed=1></td>"),
                                                  QStringLiteral("ilst:frame"));
    EXPECT_TRUE(html.contains(QStringLiteral("<img src=\"ilst:frame\"")));
    EXPECT_FALSE(html.contains(QStringLiteral("ilst idres")));
}

TEST(QtNotices, OtherThreadsWaitOnlyForTheirOwnBox) {
    REQUIRE_DISPLAY();
    gui::QtNotices notices;
    notices.SetAutoCloseMs(300);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        notices.Show("检测新版本失败！如果软件不能使用请手动下载更新!", "Vonter沪牌抢拍助手");
        returned = true;
    });
    // While the worker waits for its box, the GUI thread runs its own loop, not one nested inside
    // the box: a window can close and this loop return before the box goes.
    QEventLoop loop;
    bool loopReturnedWhileWaiting = false;
    QTimer::singleShot(100, &loop, [&] {
        loopReturnedWhileWaiting = !returned.load();
        loop.quit();
    });
    loop.exec();
    EXPECT_TRUE(loopReturnedWhileWaiting);
    EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 5000));
    worker.join();
    EXPECT_EQ(notices.Shown(), 1);
}

TEST(QtNotices, AWaitingThreadIsReleasedWhenTheNoticesGo) {
    REQUIRE_DISPLAY();
    auto notices = std::make_unique<gui::QtNotices>();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        notices->Show("Update.ini文件有误，请手动下载新版本！", "Vonter沪牌抢拍助手");
        returned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return notices->Shown() == 1; }));
    EXPECT_FALSE(returned.load());
    notices.reset();  // the program ends with the box still open
    EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 2000));
    worker.join();
}

#ifdef KESTRAVA_HAVE_CONSOLE
TEST(ConsoleView, MirrorsTheControlModelAndForwardsClicks) {
    REQUIRE_DISPLAY();
    InstallDir dir;
    platform::fake::FakePlatform fake;
    log::LogBook logBook(fake.clock, "./Log");
    console::CKestravaDlg dlg(fake.Get(), logBook, console::LoginInfo{"12345678"});
    gui::ConsoleView view(dlg);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.windowTitle(), QStringLiteral("Vonter沪牌抢拍助手"));
    for (const console::ControlPlace& place : console::ConsoleLayout()) {
        if (place.id == console::kNoId) continue;
        EXPECT_NE(view.Control(place.id), nullptr) << place.id;
    }
    EXPECT_EQ(qobject_cast<QPushButton*>(view.Control(1060))->text(), QStringLiteral("打开国拍"));

    dlg.controls.SetText(1104, "94200");
    dlg.controls.SetItems(1175, {"策略01", "策略02", "策略03"});
    dlg.controls.Select(1175, 2);
    dlg.state.gapClass = 2;
    view.Refresh();
    EXPECT_EQ(qobject_cast<QLabel*>(view.Control(1104))->text(), QStringLiteral("94200"));
    EXPECT_TRUE(view.Control(1104)->styleSheet().contains(QStringLiteral("#00ff00")));
    auto* combo = qobject_cast<QComboBox*>(view.Control(1175));
    EXPECT_EQ(combo->currentIndex(), 2);

    // The info bar follows the lines' styles; a line set without a style keeps its colour.
    view.CreateHintWindows();
    gui::CDlg012* bar = view.InfoBar();
    ASSERT_NE(bar, nullptr);
    dlg.SetInfoHeader("目前软件工作正常DP ", 2);
    dlg.SetInfoBody("开始自动强制提交", 1);
    view.Refresh();
    EXPECT_EQ(Find<QLabel>(*bar, 1038)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(Find<QLabel>(*bar, 1040)->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    dlg.SetInfoHeader("提示：点击软件界面上的“打开国拍”");
    dlg.SetInfoBody(".", 0);
    view.Refresh();
    EXPECT_EQ(bar->HeaderText(), QStringLiteral("提示：点击软件界面上的“打开国拍”"));
    EXPECT_EQ(Find<QLabel>(*bar, 1038)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(Find<QLabel>(*bar, 1040)->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    // A click ticks the box in the model; a wheel turn over the combo changes nothing.
    QTest::mouseClick(view.Control(1010), Qt::LeftButton, {}, QPoint(6, view.Control(1010)->height() / 2));
    EXPECT_TRUE(dlg.controls.IsChecked(1010));
    QWheelEvent wheel(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo, &wheel);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(dlg.controls.Selection(1175), 2);
    // Keys never reach the controls.
    auto* edit = qobject_cast<QLineEdit*>(view.Control(1025));
    ASSERT_NE(edit, nullptr);
    const QString before = edit->text();
    edit->setFocus();
    QTest::keyClicks(edit, "55");
    EXPECT_EQ(edit->text(), before);
    view.close();
    EXPECT_TRUE(dlg.Closed());
}

TEST(ConsoleView, BalloonsAndMarkersSitOnThePageView) {
    REQUIRE_DISPLAY();
    InstallDir dir;
    kestrava::testing::WriteFile(".//bin//userconf.ini", "[Configure]\ndebg=99\n");
    platform::fake::FakePlatform fake;
    const platform::WindowId page = fake.desktop.AddWindow("客车额度拍卖InternetExplorer", "", {300, 100, 1300, 900});
    const platform::WindowId view = fake.desktop.AddWindow("", "Chrome_WidgetWin_1", {310, 140, 1300, 900}, page);
    log::LogBook logBook(fake.clock, "./Log");
    console::CKestravaDlg dlg(fake.Get(), logBook, console::LoginInfo{"12345678"});
    dlg.state.pageView = view;
    dlg.state.UpdateGeometry([](shell::PageGeometry& g) {
        g.lvwf_x = 10;
        g.lvwf_y = 20;
        g.plusinput_picPot_x = 5;
        g.plusinput_picPot_y = 7;
    });
    gui::ConsoleView consoleView(dlg);
    consoleView.show();
    consoleView.CreateHintWindows();

    // At a screen point, or at the top-right corner of a console control.
    consoleView.ShowBalloon(3, "<h1>请在右侧价格框内输入2次相同的金额，然后点击“出价”按钮</h1>", 360, 177);
    gui::HintBalloon& third = consoleView.Balloons().Balloon(3);
    ASSERT_TRUE(WaitFor([&] { return third.isVisible(); }));
    EXPECT_EQ(third.pos(), QPoint(360 - 18, 177));
    consoleView.ShowBalloon(5, "由于拍牌人数减少", 0, 0, 1165);
    gui::HintBalloon& fifth = consoleView.Balloons().Balloon(5);
    ASSERT_TRUE(WaitFor([&] { return fifth.isVisible(); }));
    QWidget* box = consoleView.Control(1165);
    EXPECT_EQ(fifth.pos(), box->mapToGlobal(QPoint(box->width(), 0)) - QPoint(18, 0));

    ASSERT_NE(consoleView.DebugMarkers(), nullptr);
    consoleView.Refresh();
    EXPECT_EQ(consoleView.DebugMarkers()->Marker(2).pos(), QPoint(310 + 15, 140 + 27));
    EXPECT_TRUE(consoleView.DebugMarkers()->Marker(2).isVisible());
    EXPECT_EQ(consoleView.DebugMarkers()->Marker(2).size(), QSize(10, 10));
    consoleView.close();
}
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app;
    if (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) app = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
