// The credentials dialog (template 191): the bid's page password, the identity-card number and
// the automatic-first-bid switch, stored for the page shell to fill the auction page's form.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include "platform/platform.h"

namespace kestrava::gui {

class CZidongInputFormDlg final : public QDialog {
    Q_OBJECT
public:
    CZidongInputFormDlg(platform::Notices& notices, QWidget* parent = nullptr);

    // Reads the stored values into the controls, each time the dialog is shown. A stored text
    // longer than its field is shown whole, and the red line under the fields says so.
    void Load();
    // "确定": stores what is valid; closes only when everything was.
    void OnOk();

protected:
    void showEvent(QShowEvent* event) override;

private:
    platform::Notices& notices_;
    QLineEdit* password_;
    QLineEdit* idcard_;
    QCheckBox* firstbid_;
    QLabel* warning_;
};

}  // namespace kestrava::gui
