// The patch notice (template 154): a line of blue text and a download button. Created hidden by
// the login dialog and the console; nothing shows it today, but it is there for the day a system
// patch is needed.
#pragma once

#include <QDialog>

#include "platform/platform.h"

namespace kestrava::gui {

class CDlgBangzhu final : public QDialog {
    Q_OBJECT
public:
    CDlgBangzhu(platform::Programs& programs, QWidget* parent = nullptr);
    // "点击下载": the patch file of the download site.
    void OnDownload();

private:
    platform::Programs& programs_;
};

}  // namespace kestrava::gui
