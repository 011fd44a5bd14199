// Message boxes for the whole program once the GUI is up. A call on the GUI thread shows a modal
// box and returns when the person has pressed OK. A call from another thread (an update worker, a
// timer tick) is carried to the GUI thread, where the box opens without a nested event loop, and
// only the calling thread waits for it: the GUI, and the console's own close, go on meanwhile.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/platform.h"

class QMessageBox;

namespace kestrava::gui {

class QtNotices final : public QObject, public platform::Notices {
    Q_OBJECT
public:
    // Create on the GUI thread, after the QApplication.
    explicit QtNotices(QObject* parent = nullptr);
    // Closes the boxes still open, so no other thread keeps waiting for one.
    ~QtNotices() override;

    void Show(std::string_view text, std::string_view caption) override;

    // Closes every message box of the program that is still open (the program is ending: no box
    // may keep it waiting for a person who is not there). GUI thread only.
    static void CloseAll();

    // Number of boxes shown so far (for tests and diagnostics).
    int Shown() const { return shown_.loadRelaxed(); }

    // When set, boxes close themselves after this many milliseconds (tests under Xvfb have nobody
    // to press OK). 0: wait for the person.
    void SetAutoCloseMs(int ms) { autoCloseMs_ = ms; }

private:
    QMessageBox* MakeBox(const QString& text, const QString& caption);

    QAtomicInt shown_{0};
    int autoCloseMs_ = 0;
    std::vector<QPointer<QMessageBox>> open_;  // boxes opened for other threads (GUI thread only)
};

}  // namespace kestrava::gui
