#include "gui/hint_balloon.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "gui/fonts.h"

namespace kestrava::gui {
namespace {

constexpr int kFrameSize = 32;
constexpr int kFrameCount = 6;
constexpr int kFrameMs = 150;  // speed=1
constexpr int kMargin = 10;
constexpr int kTipHeight = 12;
constexpr int kMaxTextWidth = 460;
const QString kFrameUrl = QStringLiteral("ilst:frame");

// A clock face whose hand steps a sixth of a turn per frame, with a trail: "please wait".
QImage DrawFrame(int frame) {
    QImage image(kFrameSize, kFrameSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(16, 16);
    p.setPen(QPen(QColor(0, 90, 200), 2));
    p.setBrush(QColor(235, 244, 255));
    p.drawEllipse(centre, 14, 14);
    for (int i = 0; i < kFrameCount; ++i) {
        const double angle = (i * 60.0 - 90.0) * M_PI / 180.0;
        const int age = (frame - i + kFrameCount) % kFrameCount;  // 0: the hand is here now
        QColor dot(0, 90, 200);
        dot.setAlpha(255 - age * 40);
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        const double r = age == 0 ? 3.5 : 2.5;
        p.drawEllipse(QPointF(centre.x() + 10 * std::cos(angle), centre.y() + 10 * std::sin(angle)), r, r);
    }
    const double angle = (frame * 60.0 - 90.0) * M_PI / 180.0;
    p.setPen(QPen(QColor(220, 60, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, QPointF(centre.x() + 8 * std::cos(angle), centre.y() + 8 * std::sin(angle)));
    return image;
}

}  // namespace

const std::vector<QImage>& IlstFrames() {
    static const std::vector<QImage> frames = [] {
        std::vector<QImage> all;
        for (int i = 0; i < kFrameCount; ++i) all.push_back(DrawFrame(i));
        return all;
    }();
    return frames;
}

QString TranslateHintMarkup(const QString& hint, const QString& frameUrl, bool* animated) {
    static const QRegularExpression ilst(QStringLiteral("<ilst\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    QString html = hint;
    const bool has = html.contains(ilst);
    html.replace(ilst, QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%2\">").arg(frameUrl).arg(kFrameSize));
    if (animated) *animated = has;
    // Plain hints keep their line breaks.
    if (!Qt::mightBeRichText(html)) html = html.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

HintBalloon::HintBalloon(int displayMs, QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), displayMs_(displayMs) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    document_.setDefaultFont(SongtiFont(10));
    document_.setDefaultStyleSheet(QStringLiteral("h1 { font-size: 15pt; font-weight: bold; color: #202020; }"));
    hideTimer_.setSingleShot(true);
    connect(&hideTimer_, &QTimer::timeout, this, &HintBalloon::Dismiss);
    connect(&frameTimer_, &QTimer::timeout, this, &HintBalloon::NextFrame);
}

void HintBalloon::ShowAt(const QString& hint, QPoint screenPoint) {
    hint_ = hint;
    frame_ = 0;
    document_.addResource(QTextDocument::ImageResource, QUrl(kFrameUrl), IlstFrames()[0]);
    document_.setHtml(TranslateHintMarkup(hint, kFrameUrl, &animated_));
    document_.setTextWidth(-1);
    if (document_.idealWidth() > kMaxTextWidth) document_.setTextWidth(kMaxTextWidth);
    const QSizeF text = document_.size();
    resize(static_cast<int>(text.width()) + 2 * kMargin, static_cast<int>(text.height()) + 2 * kMargin + kTipHeight);
    // The tip points up at the spot; the body hangs below it. Near the screen's edge the balloon
    // moves back onto the screen (its tip then points near the spot), so no text is cut off.
    QPoint at(screenPoint.x() - kMargin - 8, screenPoint.y());
    if (const QScreen* screen = QGuiApplication::screenAt(screenPoint)) {
        const QRect area = screen->availableGeometry();
        at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - width())));
        at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - height())));
    }
    move(at);
    show();
    raise();
    hideTimer_.start(displayMs_);
    if (animated_) {
        frameTimer_.start(kFrameMs);
    } else {
        frameTimer_.stop();
    }
    update();
}

void HintBalloon::Dismiss() {
    hideTimer_.stop();
    frameTimer_.stop();
    hide();
}

void HintBalloon::NextFrame() {
    frame_ = (frame_ + 1) % kFrameCount;
    document_.addResource(QTextDocument::ImageResource, QUrl(kFrameUrl), IlstFrames()[static_cast<std::size_t>(frame_)]);
    // The document caches the laid-out image; mark it dirty so the new frame is drawn.
    document_.markContentsDirty(0, document_.characterCount());
    update();
}

void HintBalloon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, kTipHeight + 0.5, width() - 1.0, height() - kTipHeight - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 8, 8);
    QPainterPath tip;
    tip.moveTo(kMargin + 2, kTipHeight + 1);
    tip.lineTo(kMargin + 8, 0.5);
    tip.lineTo(kMargin + 18, kTipHeight + 1);
    tip.closeSubpath();
    path = path.united(tip);
    p.setPen(QPen(QColor(118, 118, 118), 1));
    p.setBrush(QColor(255, 255, 225));
    p.drawPath(path);
    p.translate(kMargin, kTipHeight + kMargin);
    document_.drawContents(&p);
}

HintBalloons::HintBalloons(QWidget* parent) {
    constexpr int kDisplaySeconds[5] = {6, 60, 30, 15, 10};
    for (std::size_t i = 0; i < balloons_.size(); ++i) balloons_[i] = new HintBalloon(kDisplaySeconds[i] * 1000, parent);
}

HintBalloons::~HintBalloons() {
    for (HintBalloon* b : balloons_) {
        if (b && !b->parent()) delete b;
    }
}

bool HintBalloons::Show(int balloon, const QString& text, QPoint screenPoint) {
    if (balloon < 1 || balloon > kCount) return false;
    Balloon(balloon).ShowAt(text, screenPoint);
    return true;
}

bool HintBalloons::Hide(int balloon) {
    if (balloon < 1 || balloon > kCount) return false;
    Balloon(balloon).Dismiss();
    return true;
}

}  // namespace kestrava::gui
