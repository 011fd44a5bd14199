#include "gui/qt_notices.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <future>

namespace kestrava::gui {

QtNotices::QtNotices(QObject* parent) : QObject(parent) {}

QtNotices::~QtNotices() {
    for (const QPointer<QMessageBox>& box : open_) {
        if (box) box->done(QMessageBox::Ok);
    }
}

void QtNotices::CloseAll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->done(QMessageBox::Ok);
    }
}

QMessageBox* QtNotices::MakeBox(const QString& text, const QString& caption) {
    shown_.fetchAndAddRelaxed(1);
    auto* box = new QMessageBox(QMessageBox::Information, caption, text, QMessageBox::Ok);
    // The console and the login dialog stay on top; a box behind them would never be seen.
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (autoCloseMs_ > 0) QTimer::singleShot(autoCloseMs_, box, &QMessageBox::accept);
    return box;
}

void QtNotices::Show(std::string_view text, std::string_view caption) {
    const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString qcaption = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    if (!QCoreApplication::instance() || QCoreApplication::closingDown()) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return;
    }
    if (QThread::currentThread() == thread()) {
        QMessageBox* box = MakeBox(qtext, qcaption);
        box->exec();
        delete box;
        return;
    }
    // The box lives on the GUI thread; this thread waits until it is closed (or the program ends).
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> done = closed->get_future();
    const bool queued = QMetaObject::invokeMethod(
        this,
        [this, qtext, qcaption, closed] {
            QMessageBox* box = MakeBox(qtext, qcaption);
            box->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(box, &QMessageBox::finished, box, [closed] {
                try {
                    closed->set_value();
                } catch (const std::future_error&) {
                    // Already released.
                }
            });
            open_.erase(std::remove(open_.begin(), open_.end(), nullptr), open_.end());
            open_.push_back(box);
            box->show();
        },
        Qt::QueuedConnection);
    if (!queued) return;
    // An application that ends before running the call never opens the box: do not wait forever
    // on a thread whose event loop is gone.
    while (done.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
        if (QCoreApplication::closingDown() || !QCoreApplication::instance()) return;
    }
}

}  // namespace kestrava::gui
