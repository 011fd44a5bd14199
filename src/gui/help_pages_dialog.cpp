#include "gui/help_pages_dialog.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

#include "gui/fonts.h"
#include "gui/owner_drawn.h"
#include "gui/window_messages.h"

// The pictures are compiled into the static library; a static library's resources must be
// registered by name before the first use.
static void RegisterHelpPictures() { Q_INIT_RESOURCE(help); }

namespace kestrava::gui {
namespace {

constexpr int kPictureWidth = 720;
constexpr int kPictureHeight = 480;
constexpr int kButtonRow = 40;

}  // namespace

CRegBidNum::CRegBidNum(QWidget* parent) : QDialog(parent) {
    static const bool registered = (RegisterHelpPictures(), true);
    (void)registered;
    setWindowTitle(QStringLiteral("帮助手册"));
    setFont(SongtiFont(10));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(kPictureWidth, kPictureHeight + kButtonRow);
    move(2, 5);

    picture_ = new QLabel(this);
    picture_->setGeometry(0, 0, kPictureWidth, kPictureHeight);
    picture_->setAlignment(Qt::AlignCenter);
    NameControl(picture_, 1038);

    auto button = [this](int id, const QString& caption, QStyle::StandardPixmap icon, int x, int width) {
        QPushButton* b = MakeOwnerDrawnButton(caption, QString(), this);
        b->setIcon(style()->standardIcon(icon));
        b->setGeometry(x, kPictureHeight + 6, width, kButtonRow - 12);
        NameControl(b, id);
        return b;
    };
    QPushButton* previous = button(1059, QStringLiteral("上一步"), QStyle::SP_ArrowBack, 360, 110);
    QPushButton* next = button(1060, QStringLiteral("下一步"), QStyle::SP_ArrowForward, 480, 110);
    QPushButton* skip = button(1058, QStringLiteral("知道了，跳过"), QStyle::SP_DialogApplyButton, 600, 110);
    connect(previous, &QPushButton::clicked, this, &CRegBidNum::OnPrevious);
    connect(next, &QPushButton::clicked, this, &CRegBidNum::OnNext);
    connect(skip, &QPushButton::clicked, this, &CRegBidNum::OnSkip);
    ShowPage();
}

QString CRegBidNum::PicturePath(const app::HelpPager& pager) {
    return QStringLiteral(":/help/") + QString::fromStdString(pager.PictureName());
}

void CRegBidNum::OnNext() {
    if (!pager_.Next()) {
        OnSkip();
        return;
    }
    ShowPage();
}

void CRegBidNum::OnPrevious() {
    pager_.Previous();
    ShowPage();
}

void CRegBidNum::OnSkip() { accept(); }

void CRegBidNum::ShowPage() {
    picture_->setPixmap(QPixmap(PicturePath(pager_)));
    setWindowTitle(QStringLiteral("帮助手册"));
}

void CRegBidNum::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    move(2, 5);
    // A posted close request leaves the pages as the close box does.
    WindowMessages::Instance().Attach(this, nullptr);
}

void CRegBidNum::hideEvent(QHideEvent* event) {
    WindowMessages::Instance().Detach(this);
    QDialog::hideEvent(event);
}

}  // namespace kestrava::gui
