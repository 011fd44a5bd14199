// The login dialog (template 131): the bid number, the compatibility test and the two login
// buttons. The behaviour lives in app::CBidNumDlg; this view shows its state and forwards clicks.
#pragma once

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <span>

#include "app/bid_num_dlg.h"
#include "platform/platform.h"

class QLabel;

namespace kestrava::gui {

class CZidongInputFormDlg;
class CDlgBangzhu;

// Where each control of the template sits, in dialog units of the 178 x 208 template.
struct LoginControl {
    int id;
    int x, y, width, height;
};
std::span<const LoginControl> LoginLayout();
inline constexpr int kLoginWidthDu = 178;
inline constexpr int kLoginHeightDu = 208;

// The logo, relative to the installation folder.
inline constexpr char kLogoPath[] = "ScreenShot/logo.png";

class LoginDialog final : public QDialog {
    Q_OBJECT
public:
    LoginDialog(platform::Platform& platform, app::CKestravaApp& application, app::LoginHooks hooks,
                QWidget* parent = nullptr);
    ~LoginDialog() override;

    // The start-up sequence; fills the controls from it. keepRunning false: end the process.
    app::CBidNumDlg::StartupOutcome Initialise();
    // Then, unless an automatic login already opened the console: the rest of the start-up.
    void FinishStartup();

    app::CBidNumDlg& Core() { return core_; }
    // What the login routine chose to open when the dialog ended.
    app::NextWindow Next() const { return next_; }
    // At (2, 5), always on top or not.
    void Place(bool topmost);
    bool LogoLoaded() const { return !logo_.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Finish(app::NextWindow next);
    QString Typed() const;

    platform::Platform& platform_;
    app::CBidNumDlg core_;
    app::NextWindow next_ = app::NextWindow::None;
    QImage logo_;
    QLineEdit* bidNumber_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* version_ = nullptr;
    CZidongInputFormDlg* credentials_ = nullptr;
    CDlgBangzhu* patchNotice_ = nullptr;
};

}  // namespace kestrava::gui
