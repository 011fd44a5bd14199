#include "gui/credentials_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/credentials.h"
#include "gui/dialog_units.h"
#include "gui/fonts.h"
#include "gui/owner_drawn.h"

namespace kestrava::gui {

namespace {
const QString kWarning = QStringLiteral("注意：如果信息输入错误，会导致“登录失败”");
}  // namespace

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

    warning_ = new QLabel(kWarning, this);
    warning_->setGeometry(du.Rect(10, 70, 230, 12));
    warning_->setStyleSheet(QStringLiteral("color: rgb(255,0,0);"));
    warning_->setObjectName(QStringLiteral("warning"));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setGeometry(du.Rect(190, 88, 50, 16));
    ok->setAutoDefault(false);
    NameControl(ok, 1);
    connect(ok, &QPushButton::clicked, this, &CZidongInputFormDlg::OnOk);
    // Neither Esc, Enter nor Space closes the dialog or presses a button.
    SwallowKeys(this, {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space});
}

void CZidongInputFormDlg::Load() {
    const app::StoredCredentials stored = app::LoadCredentials();
    // An edit cuts what is set beyond its length; a longer stored text is shown whole instead,
    // and "确定" then refuses it like a wrong length typed.
    const auto show = [](QLineEdit* edit, const std::string& text, std::size_t field) {
        const QString whole = QString::fromStdString(text);
        edit->setMaxLength(std::max(static_cast<int>(field), static_cast<int>(whole.size())));
        edit->setText(whole);
    };
    show(password_, stored.values.bidpassword, app::kPasswordLength);
    show(idcard_, stored.values.idcard, app::kIdCardLength);
    firstbid_->setChecked(stored.values.firstbid);
    warning_->setText(stored.problem.empty() ? kWarning : QString::fromStdString(stored.problem));
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
