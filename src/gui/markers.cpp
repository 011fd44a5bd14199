#include "gui/markers.h"

#include <QMouseEvent>
#include <QPainter>

namespace kestrava::gui {
namespace {

constexpr QRgb kColours[kMarkerCount] = {0xffff0000, 0xff00a000, 0xff0000ff, 0xffff8000,
                                         0xffa000a0, 0xff00a0a0, 0xff808000};

}  // namespace

QImage MarkerPicture(int number) {
    QImage image(kMarkerSize, kMarkerSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    const QColor colour = QColor::fromRgba(kColours[(number - 1 + kMarkerCount) % kMarkerCount]);
    p.setPen(colour);
    p.drawRect(0, 0, kMarkerSize - 1, kMarkerSize - 1);
    p.drawLine(kMarkerSize / 2, 1, kMarkerSize / 2, kMarkerSize - 2);
    p.drawLine(1, kMarkerSize / 2, kMarkerSize - 2, kMarkerSize / 2);
    for (int i = 0; i < number && i < kMarkerSize - 2; i += 2) p.drawPoint(1 + i, 1);
    return image;
}

MarkerWindow::MarkerWindow(int number, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      number_(number),
      picture_(MarkerPicture(number)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("CDlg%1").arg(number, 3, 10, QLatin1Char('0')));
    setFixedSize(kMarkerSize, kMarkerSize);
}

void MarkerWindow::PlaceAt(QPoint screenPoint) {
    move(screenPoint);
    if (!isVisible()) show();
}

void MarkerWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void MarkerWindow::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void MarkerWindow::mouseMoveEvent(QMouseEvent* event) {
    // Only the first marker moves with its picture, as if it were its caption.
    if (number_ == 1 && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
    QWidget::mouseMoveEvent(event);
}

Markers::Markers(QWidget* parent) {
    for (int i = 0; i < kMarkerCount; ++i) windows_[static_cast<std::size_t>(i)] = new MarkerWindow(i + 1, parent);
}

void Markers::HideAll() {
    for (MarkerWindow* w : windows_) w->hide();
}

}  // namespace kestrava::gui
