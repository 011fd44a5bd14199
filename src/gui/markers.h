// The debug markers CDlg001 … CDlg007: tiny borderless windows placed on the calibrated points of
// the page, so a person checking the calibration sees where the console will click.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>

namespace kestrava::gui {

inline constexpr int kMarkerCount = 7;
inline constexpr int kMarkerSize = 10;

// The marker's picture: a target in the marker's own colour with its number's worth of ticks.
QImage MarkerPicture(int number);

class MarkerWindow final : public QWidget {
    Q_OBJECT
public:
    // `number` 1 … 7 (CDlg001 … CDlg007); the first can be dragged by its picture.
    explicit MarkerWindow(int number, QWidget* parent = nullptr);
    int Number() const { return number_; }
    // Shows the marker, without activating it, with its top-left corner at `screenPoint`.
    void PlaceAt(QPoint screenPoint);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int number_;
    QImage picture_;
    QPoint dragOffset_;
};

class Markers {
public:
    explicit Markers(QWidget* parent = nullptr);
    MarkerWindow& Marker(int number) { return *windows_[static_cast<std::size_t>(number - 1)]; }
    void HideAll();

private:
    std::array<MarkerWindow*, kMarkerCount> windows_{};
};

}  // namespace kestrava::gui
