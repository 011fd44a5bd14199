#include "gui/patch_notice.h"

#include <QPushButton>

#include "app/remote_config.h"
#include "gui/dialog_units.h"
#include "gui/fonts.h"
#include "gui/owner_drawn.h"

namespace kestrava::gui {

CDlgBangzhu::CDlgBangzhu(platform::Programs& programs, QWidget* parent) : QDialog(parent), programs_(programs) {
    setWindowTitle(QStringLiteral("补丁提示"));
    setFont(ShellDlgFont());
    const DialogUnits& du = kShellDlg8;
    setFixedSize(du.Size(200, 70));
    setStyleSheet(QStringLiteral("QDialog { background-color: rgb(240,240,240); }"));
    auto* text = new ClickableLabel(QStringLiteral("系统缺少运行本软件所需的补丁，请点击下方按钮下载并安装。"), this,
                                    [this] { OnDownload(); });
    text->setWordWrap(true);
    text->setGeometry(du.Rect(8, 8, 184, 28));
    text->setStyleSheet(QStringLiteral("color: rgb(0,0,255);"));
    NameControl(text, 1162);
    auto* download = new QPushButton(QStringLiteral("点击下载"), this);
    download->setGeometry(du.Rect(75, 46, 50, 16));
    NameControl(download, 1);
    connect(download, &QPushButton::clicked, this, &CDlgBangzhu::OnDownload);
}

void CDlgBangzhu::OnDownload() {
    const std::string site = config::Read(app::remote::downloadpage);
    if (!site.empty()) programs_.Open(site + "/ziliao/732E.exe");
}

}  // namespace kestrava::gui
