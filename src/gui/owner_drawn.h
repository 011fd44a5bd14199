// The looks the dialogs share: the owner-drawn buttons' two background colours and a label that
// reacts to a click.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <functional>

namespace kestrava::gui {

// A push button with the pale grey face that turns light blue under the pointer.
QPushButton* MakeOwnerDrawnButton(const QString& caption, const QString& tooltip, QWidget* parent);

// A label whose click runs `onClick`; the pointer is a hand over it.
class ClickableLabel final : public QLabel {
    Q_OBJECT
public:
    ClickableLabel(const QString& text, QWidget* parent, std::function<void()> onClick);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> onClick_;
};

// Swallows the key presses of `keys` (Qt::Key values; empty: every key) addressed to `root` or
// any widget inside it at the time of the call, before the widget itself sees them.
void SwallowKeys(QWidget* root, QList<int> keys);

// Names a control after its template id ("ctl1060"), so tests and tools find it.
void NameControl(QWidget* w, int id);
QString ControlName(int id);

}  // namespace kestrava::gui
