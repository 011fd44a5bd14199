// The information bar (template 171) under the console: a header line and a body line through
// which the engine tells the bidder what is happening, each coloured by its style number, and in
// a practice run a guide line below them (the bar grows to hold it).
#pragma once

#include <QColor>
#include <QWidget>
#include <optional>
#include <string_view>

class QLabel;

namespace kestrava::gui {

// Header: 0 red, 1 black, 2 blue. Body: 0 red, 1 green. Other styles keep the default colour.
std::optional<QColor> HeaderColour(int style);
std::optional<QColor> BodyColour(int style);

class CDlg012 final : public QWidget {
    Q_OBJECT
public:
    explicit CDlg012(QWidget* parent = nullptr);

    void SetInfoHeader(std::string_view text, int style);
    void SetInfoBody(std::string_view text, int style);
    // Empty hides the guide line.
    void SetGuide(std::string_view text);
    QString HeaderText() const;
    QString BodyText() const;
    QString GuideText() const;
    // Where a balloon about the guide line points: level with the line's top, just right of the
    // bar (far enough that the balloon's body, which starts a little left of its tip, stays off
    // the bar).
    QPoint GuideCorner() const;
    static constexpr int kGuideBalloonGap = 24;
    int HeaderStyle() const { return headerStyle_; }
    int BodyStyle() const { return bodyStyle_; }

    // Shows the bar without taking the focus from the page, directly below `consoleFrame`.
    void ShowBelow(const QRect& consoleFrame);

private:
    static void Colour(QLabel* label, std::optional<QColor> colour);

    QLabel* header_;
    QLabel* body_;
    QLabel* guide_;
    int headerStyle_ = 1;
    int bodyStyle_ = 1;
};

}  // namespace kestrava::gui
