// The HTML hint balloons: a frameless window at a screen point that renders the little markup the
// hints use (<h1>, a one-row table with cell alignment, and <ilst> for the animated wait icon) and
// hides itself after its display time.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>
#include <array>
#include <vector>

namespace kestrava::gui {

// The six 32 x 32 frames of the wait icon (bitmap 1201), transparent where the mask is.
const std::vector<QImage>& IlstFrames();

// The hint text with every <ilst ...> tag turned into an image the document can show; `frame`
// names the image resource that carries the current frame. `animated` tells whether it had one.
QString TranslateHintMarkup(const QString& hint, const QString& frameUrl, bool* animated = nullptr);

class HintBalloon final : public QWidget {
    Q_OBJECT
public:
    // `displayMs`: how long the balloon stays up after each ShowAt.
    explicit HintBalloon(int displayMs, QWidget* parent = nullptr);

    // Shows `hint` with the balloon's tip at `screenPoint`.
    void ShowAt(const QString& hint, QPoint screenPoint);
    // Takes the balloon down before its display time is up.
    void Dismiss();
    int DisplayMs() const { return displayMs_; }
    int Frame() const { return frame_; }
    QString Hint() const { return hint_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void NextFrame();

    int displayMs_;
    QString hint_;
    QTextDocument document_;
    bool animated_ = false;
    int frame_ = 0;
    QTimer hideTimer_;
    QTimer frameTimer_;
};

// The five balloons of the console with their display times (6, 60, 30, 15 and 10 seconds).
// Which hint goes to which balloon, with which text and where, is the engine's business.
class HintBalloons {
public:
    static constexpr int kCount = 5;

    explicit HintBalloons(QWidget* parent = nullptr);
    ~HintBalloons();

    // Shows `text` in balloon 1 … 5 pointing at `screenPoint`; false for another balloon number.
    bool Show(int balloon, const QString& text, QPoint screenPoint);
    // Hides balloon 1 … 5; false for another balloon number.
    bool Hide(int balloon);
    HintBalloon& Balloon(int balloon) { return *balloons_[static_cast<std::size_t>(balloon - 1)]; }

private:
    std::array<HintBalloon*, kCount> balloons_{};
};

}  // namespace kestrava::gui
