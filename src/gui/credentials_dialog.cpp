#include "gui/credentials_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/credentials.h"
#include "gui/dialog_units.h"
#include "gui/fonts.h"
#include "gui/owner_drawn.h"

namespace kestrava::gui {

CZidongInputFormDlg::CZidongInputFormDlg(platform::Notices& notices, QWidget* parent)
    : QDialog(parent), notices_(notices) {
    setWindowTitle(QStringLiteral("输入标书密码与身份证号，用于软件自动填写至国拍页面"));
    setFont(ShellDlgFont());
    const DialogUnits& du = kShellDlg8;
    setFixedSize(du.Size(250, 110));

    auto* passwordLabel = new QLabel(QStringLiteral("标书密码 （ 4位）："), this);
    passwordLabel->setGeometry(du.Rect(10, 12, 80, 12));
    password_ = new QLineEdit(this);
    password_->setGeometry(du.Rect(92, 10, 148, 14));
    password_->setMaxLength(static_cast<int>(app::kPasswordLength));
    NameControl(password_, 1188);

    auto* cardLabel = new QLabel(QStringLiteral("身份证号（18位）："), this);
    cardLabel->setGeometry(du.Rect(10, 32, 80, 12));
    idcard_ = new QLineEdit(this);
    idcard_->setGeometry(du.Rect(92, 30, 148, 14));
    idcard_->setMaxLength(static_cast<int>(app::kIdCardLength));
    NameControl(idcard_, 1189);

    firstbid_ = new QCheckBox(QStringLiteral("首次自动出价警示价"), this);
    firstbid_->setGeometry(du.Rect(92, 50, 148, 12));
    NameControl(firstbid_, 1195);

    auto* warning = new QLabel(QStringLiteral("注意：如果信息输入错误，会导致“登录失败”"), this);
    warning->setGeometry(du.Rect(10, 70, 230, 12));
    warning->setStyleSheet(QStringLiteral("color: rgb(255,0,0);"));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setGeometry(du.Rect(190, 88, 50, 16));
    ok->setAutoDefault(false);
    NameControl(ok, 1);
    connect(ok, &QPushButton::clicked, this, &CZidongInputFormDlg::OnOk);
    // Neither Esc, Enter nor Space closes the dialog or presses a button.
    SwallowKeys(this, {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space});
}

void CZidongInputFormDlg::Load() {
    const app::Credentials stored = app::LoadCredentials();
    password_->setText(QString::fromStdString(stored.bidpassword));
    idcard_->setText(QString::fromStdString(stored.idcard));
    firstbid_->setChecked(stored.firstbid);
}

void CZidongInputFormDlg::OnOk() {
    app::Credentials typed;
    typed.bidpassword = password_->text().toStdString();
    typed.idcard = idcard_->text().toStdString();
    typed.firstbid = firstbid_->isChecked();
    const std::string problem = app::SaveCredentials(typed);
    if (!problem.empty()) {
        notices_.Show(problem, windowTitle().toStdString());
        return;
    }
    accept();
}

void CZidongInputFormDlg::showEvent(QShowEvent* event) {
    Load();
    QDialog::showEvent(event);
}

}  // namespace kestrava::gui
