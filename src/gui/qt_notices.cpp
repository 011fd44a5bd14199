#include "gui/qt_notices.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace kestrava::gui {

QtNotices::QtNotices(QObject* parent) : QObject(parent) {}

void QtNotices::Show(std::string_view text, std::string_view caption) {
    const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString qcaption = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    if (!QCoreApplication::instance() || QCoreApplication::closingDown()) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return;
    }
    if (QThread::currentThread() == thread()) {
        ShowOnGuiThread(qtext, qcaption);
        return;
    }
    QMetaObject::invokeMethod(this, "ShowOnGuiThread", Qt::BlockingQueuedConnection, Q_ARG(QString, qtext),
                              Q_ARG(QString, qcaption));
}

void QtNotices::ShowOnGuiThread(const QString& text, const QString& caption) {
    shown_.fetchAndAddRelaxed(1);
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok);
    // The console and the login dialog stay on top; a box behind them would never be seen.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (autoCloseMs_ > 0) QTimer::singleShot(autoCloseMs_, &box, &QMessageBox::accept);
    box.exec();
}

}  // namespace kestrava::gui
