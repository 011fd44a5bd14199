#include "gui/login_dialog.h"

#include <cstdio>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "gui/credentials_dialog.h"
#include "gui/dialog_units.h"
#include "gui/fonts.h"
#include "gui/owner_drawn.h"
#include "gui/patch_notice.h"
#include "gui/window_messages.h"
#include "platform/keys.h"

namespace kestrava::gui {
namespace {

// The template's controls; the logo takes the space above the bid number.
constexpr LoginControl kLayout[] = {
    {1038, 6, 52, 44, 18},    {1003, 52, 51, 118, 20},  {1039, 4, 80, 46, 16},   {1117, 52, 77, 118, 22},
    {1041, 4, 112, 46, 16},   {1060, 52, 104, 118, 30}, {1042, 4, 148, 46, 16},  {1134, 52, 140, 118, 30},
    {1190, 6, 176, 80, 14},   {1112, 92, 176, 80, 14},  {1040, 6, 194, 166, 12}, {1032, 0, 0, 1, 1},
};

QRect ControlRect(int id) {
    for (const LoginControl& c : kLayout) {
        if (c.id == id) return kShellDlg8.Rect(c.x, c.y, c.width, c.height);
    }
    return {};
}

// The labels and the edit use the dialog font with a cell of 30 pixels.
QFont LargeFont() {
    QFont font = ShellDlgFont();
    font.setPixelSize(20);
    return font;
}

}  // namespace

std::span<const LoginControl> LoginLayout() { return kLayout; }

LoginDialog::LoginDialog(platform::Platform& platform, app::CKestravaApp& application, app::LoginHooks hooks,
                         QWidget* parent)
    : QDialog(parent),
      platform_(platform),
      core_(platform, application, [&] {
          hooks.placeDialog = [this](bool topmost) { Place(topmost); };
          return std::move(hooks);
      }()) {
    setFont(ShellDlgFont());
    setFixedSize(kShellDlg8.Size(kLoginWidthDu, kLoginHeightDu));
    setStyleSheet(QStringLiteral("QDialog { background-color: rgb(240,240,240); }"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto label = [this](int id, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setFont(LargeFont());
        l->setGeometry(ControlRect(id));
        NameControl(l, id);
        return l;
    };
    auto button = [this](int id, const QString& caption, const QString& tooltip) {
        QPushButton* b = MakeOwnerDrawnButton(caption, tooltip, this);
        b->setGeometry(ControlRect(id));
        NameControl(b, id);
        return b;
    };

    label(1038, QStringLiteral("投标号"));
    bidNumber_ = new QLineEdit(this);
    bidNumber_->setFont(LargeFont());
    bidNumber_->setGeometry(ControlRect(1003));
    bidNumber_->setMaxLength(static_cast<int>(app::kBidNumberLength));
    bidNumber_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    NameControl(bidNumber_, 1003);

    label(1039, QStringLiteral("第1步."));
    label(1041, QStringLiteral("第2步."));
    label(1042, QStringLiteral("第3步."));
    QPushButton* test = button(1117, QStringLiteral("检测软件兼容性"), QStringLiteral("兼容检测"));
    QPushButton* simulation =
        button(1060, QStringLiteral("模拟拍牌登录\n(平时练习使用)"), QStringLiteral("模拟练习"));
    QPushButton* real = button(1134, QStringLiteral("正式拍牌登录\n(拍牌当天使用)"), QStringLiteral("正式拍牌"));
    version_ = button(1112, QStringLiteral("版本号 "), QString());
    QPushButton* credentials = button(1190, QStringLiteral("密码与身份证号"), QString());

    notice_ = new ClickableLabel(QStringLiteral("aaa"), this, [this] { core_.OnNoticeClicked(); });
    notice_->setGeometry(ControlRect(1040));
    notice_->setStyleSheet(QStringLiteral("color: rgb(0,0,255); background: transparent;"));
    // The notice comes from the network: shown as the characters it is, never as markup (a
    // label guesses rich text from a leading tag, and could then load pictures or links).
    notice_->setTextFormat(Qt::PlainText);
    NameControl(notice_, 1040);

    auto* login = new QPushButton(QStringLiteral("登录"), this);
    login->setGeometry(ControlRect(1032));
    login->setAutoDefault(false);
    login->hide();
    NameControl(login, 1032);

    credentials_ = new CZidongInputFormDlg(platform.notices, this);
    patchNotice_ = new CDlgBangzhu(platform.programs, this);

    connect(simulation, &QPushButton::clicked, this,
            [this] { Finish(core_.OnSimulationLogin(Typed().toStdString())); });
    connect(real, &QPushButton::clicked, this, [this] { Finish(core_.OnRealLogin(Typed().toStdString())); });
    connect(login, &QPushButton::clicked, this, [this] { Finish(core_.DoLogin(Typed().toStdString())); });
    connect(test, &QPushButton::clicked, this, [this] { core_.OnCompatibilityTest(Typed().toStdString()); });
    connect(version_, &QPushButton::clicked, this,
            [this] { notice_->setText(QString::fromStdString(core_.OnVersionButton())); });
    connect(credentials, &QPushButton::clicked, this, [this] { credentials_->exec(); });

    // Escape and Enter never close the dialog.
    SwallowKeys(this, {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter});
}

LoginDialog::~LoginDialog() { WindowMessages::Instance().Detach(this); }

app::CBidNumDlg::StartupOutcome LoginDialog::Initialise() {
    const auto outcome = core_.OnInitDialog();
    if (!outcome.keepRunning) return outcome;
    bidNumber_->setText(QString::fromStdString(core_.storedBidNumber));
    // The notice is one line; whatever the host sent after its first line is not shown, and a
    // failed fetch shows nothing rather than its error text.
    const bool failed = app::IsErrorAnswer(core_.noticeText);
    notice_->setText(failed ? QString() : QString::fromUtf8(core_.noticeText.c_str()).section(QLatin1Char('\n'), 0, 0));
    version_->setText(QString::fromStdString(core_.VersionCaption()));
    setWindowTitle(QString::fromStdString(core_.WindowTitle()));
    return outcome;
}

void LoginDialog::FinishStartup() {
    core_.FinishStartup();
    if (!logo_.load(QString::fromLatin1(kLogoPath))) {
        // The dialog works without its logo; the person loses nothing but the picture.
        std::fprintf(stderr, "%s\n", app::kLogoMissingText);
        logo_ = QImage();
        return;
    }
    logo_ = logo_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    update();
}

void LoginDialog::Place(bool topmost) {
    move(2, 5);
    if (isVisible()) {
        platform_.desktop.Place(static_cast<platform::WindowId>(winId()), 2, 5, topmost, false);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    }
    update();
}

QString LoginDialog::Typed() const { return bidNumber_->text(); }

void LoginDialog::Finish(app::NextWindow next) {
    if (next == app::NextWindow::None) return;
    next_ = next;
    accept();
}

void LoginDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (logo_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(width() / 2 - logo_.width() / 2, logo_.height() / 3), logo_);
}

void LoginDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WindowMessages::Instance().Attach(this, [this](const platform::Message& m) {
        if (m.msg == platform::wm::Timer) {
            core_.OnTimer(static_cast<int>(m.wParam));
        } else if (m.msg == platform::wm::Close) {
            close();
        }
    });
    bidNumber_->setFocus();
}

void LoginDialog::closeEvent(QCloseEvent* event) {
    WindowMessages::Instance().Detach(this);
    QDialog::closeEvent(event);
}

}  // namespace kestrava::gui
