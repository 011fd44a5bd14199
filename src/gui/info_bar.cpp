#include "gui/info_bar.h"

#include <QLabel>
#include <QVBoxLayout>

#include "gui/dialog_units.h"
#include "gui/fonts.h"
#include "gui/owner_drawn.h"

namespace kestrava::gui {

std::optional<QColor> HeaderColour(int style) {
    switch (style) {
        case 0: return QColor(255, 0, 0);
        case 1: return QColor(0, 0, 0);
        case 2: return QColor(0, 0, 255);
        default: return std::nullopt;
    }
}

std::optional<QColor> BodyColour(int style) {
    switch (style) {
        case 0: return QColor(255, 0, 0);
        case 1: return QColor(0, 128, 0);
        default: return std::nullopt;
    }
}

CDlg012::CDlg012(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
    setWindowTitle(QStringLiteral("软件信息提示"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    setPalette(palette);
    setFont(SongtiFont(13));
    setFixedSize(kSongti9.Size(169, 80));

    header_ = new QLabel(QStringLiteral("信息提示栏"), this);
    body_ = new QLabel(this);
    guide_ = new QLabel(this);
    NameControl(header_, 1038);
    NameControl(body_, 1040);
    NameControl(guide_, 1041);
    guide_->hide();
    QPalette guidePalette = guide_->palette();
    guidePalette.setColor(QPalette::WindowText, QColor(0, 0, 160));
    guide_->setPalette(guidePalette);
    for (QLabel* l : {header_, body_, guide_}) {
        l->setWordWrap(true);
        l->setAttribute(Qt::WA_TranslucentBackground);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(header_);
    layout->addWidget(body_, 1);
    layout->addWidget(guide_);
    Colour(header_, HeaderColour(headerStyle_));
    Colour(body_, BodyColour(bodyStyle_));
}

void CDlg012::Colour(QLabel* label, std::optional<QColor> colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour.value_or(QPalette().color(QPalette::WindowText)));
    label->setPalette(palette);
}

void CDlg012::SetInfoHeader(std::string_view text, int style) {
    headerStyle_ = style;
    header_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    Colour(header_, HeaderColour(style));
}

void CDlg012::SetInfoBody(std::string_view text, int style) {
    bodyStyle_ = style;
    body_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    Colour(body_, BodyColour(style));
}

void CDlg012::SetGuide(std::string_view text) {
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (shown == guide_->text() && guide_->isVisible() == !shown.isEmpty()) return;
    guide_->setText(shown);
    guide_->setVisible(!shown.isEmpty());
    const QSize base = kSongti9.Size(169, 80);
    const int margins = layout()->contentsMargins().left() + layout()->contentsMargins().right();
    const int extra = shown.isEmpty() ? 0 : guide_->heightForWidth(base.width() - margins) + layout()->spacing();
    setFixedSize(base.width(), base.height() + extra);
}

QString CDlg012::GuideText() const { return guide_->text(); }

QPoint CDlg012::GuideCorner() const {
    // Right of the bar, so the balloon's body leaves the guide line itself in view.
    return mapToGlobal(QPoint(width() + kGuideBalloonGap, guide_->y()));
}

QString CDlg012::HeaderText() const { return header_->text(); }
QString CDlg012::BodyText() const { return body_->text(); }

void CDlg012::ShowBelow(const QRect& consoleFrame) {
    move(consoleFrame.left(), consoleFrame.bottom() + 1 + 2);
    if (!isVisible()) show();
}

}  // namespace kestrava::gui
