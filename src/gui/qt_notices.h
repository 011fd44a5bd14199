// Message boxes for the whole program once the GUI is up. A call from another thread (an update
// worker, a timer tick) is carried to the GUI thread and waits there for the person's answer, so
// only the calling thread blocks; the GUI keeps running.
#pragma once

#include <QObject>
#include <QString>
#include <string_view>

#include "platform/platform.h"

namespace kestrava::gui {

class QtNotices final : public QObject, public platform::Notices {
    Q_OBJECT
public:
    // Create on the GUI thread, after the QApplication.
    explicit QtNotices(QObject* parent = nullptr);

    void Show(std::string_view text, std::string_view caption) override;

    // Number of boxes shown so far (for tests and diagnostics).
    int Shown() const { return shown_.loadRelaxed(); }

    // When set, boxes close themselves after this many milliseconds (tests under Xvfb have nobody
    // to press OK). 0: wait for the person.
    void SetAutoCloseMs(int ms) { autoCloseMs_ = ms; }

private slots:
    void ShowOnGuiThread(const QString& text, const QString& caption);

private:
    QAtomicInt shown_{0};
    int autoCloseMs_ = 0;
};

}  // namespace kestrava::gui
