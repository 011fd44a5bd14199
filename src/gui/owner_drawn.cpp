#include "gui/owner_drawn.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace kestrava::gui {

QPushButton* MakeOwnerDrawnButton(const QString& caption, const QString& tooltip, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(tooltip);
    button->setAutoDefault(false);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(225,225,225); border: 1px solid "
                                         "rgb(173,173,173); }"
                                         "QPushButton:hover { background-color: rgb(229,241,251); border-color: "
                                         "rgb(0,120,215); }"
                                         "QPushButton:pressed { background-color: rgb(204,228,247); }"));
    return button;
}

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
    : QLabel(text, parent), onClick_(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick_) onClick_();
    QLabel::mouseReleaseEvent(event);
}

namespace {

class KeySwallower final : public QObject {
public:
    KeySwallower(QObject* parent, QList<int> keys) : QObject(parent), keys_(std::move(keys)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (keys_.isEmpty() || keys_.contains(key)) return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QList<int> keys_;
};

}  // namespace

void SwallowKeys(QWidget* root, QList<int> keys) {
    auto* swallower = new KeySwallower(root, std::move(keys));
    root->installEventFilter(swallower);
    for (QWidget* child : root->findChildren<QWidget*>()) child->installEventFilter(swallower);
}

QString ControlName(int id) { return QStringLiteral("ctl%1").arg(id); }

void NameControl(QWidget* w, int id) { w->setObjectName(ControlName(id)); }

}  // namespace kestrava::gui
