#include "gui/console_view.h"

#include "gui/qt_notices.h"

#include <array>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "config/settings.h"
#include "gui/dialog_units.h"
#include "gui/fonts.h"
#include "gui/owner_drawn.h"
#include "gui/patch_notice.h"
#include "gui/termination_watch.h"
#include "gui/qt_notices.h"
#include "gui/window_messages.h"
#include "log/log_book.h"
#include "platform/keys.h"

namespace kestrava::gui {
namespace {

using console::ControlKind;

// The strategy combo takes no wheel: a turn of the wheel over it must never change the strategy.
class WheelSwallower final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel) return true;
        return QObject::eventFilter(watched, event);
    }
};

// An up-down control: two arrow buttons, each reporting itself by the way it points.
class SpinArrows final : public QWidget {
public:
    SpinArrows(QWidget* parent, bool sideways, std::function<void(console::SpinArrow)> onArrow) : QWidget(parent) {
        using console::SpinArrow;
        struct Face {
            Qt::ArrowType drawn;
            SpinArrow reported;
        };
        // First the top (or left) button, then the bottom (or right) one.
        static constexpr std::array<Face, 2> kUpright{{{Qt::UpArrow, SpinArrow::Up}, {Qt::DownArrow, SpinArrow::Down}}};
        static constexpr std::array<Face, 2> kSideways{
            {{Qt::LeftArrow, SpinArrow::Left}, {Qt::RightArrow, SpinArrow::Right}}};
        QBoxLayout* layout = sideways ? static_cast<QBoxLayout*>(new QHBoxLayout(this)) : new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        for (const Face& face : sideways ? kSideways : kUpright) {
            auto* b = new QToolButton(this);
            b->setArrowType(face.drawn);
            b->setAutoRepeat(true);
            b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            layout->addWidget(b);
            connect(b, &QToolButton::clicked, this, [onArrow, arrow = face.reported] { onArrow(arrow); });
        }
    }
};

QImage ToQImage(const platform::Image& image) {
    QImage out(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.bgra.data() + static_cast<std::size_t>(y) * image.width * 4;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < image.width; ++x) dst[x] = qRgb(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
    }
    return out;
}

QString Text(const std::string& s) { return QString::fromUtf8(s.c_str()); }

void SetColours(QWidget* w, std::optional<QColor> text, std::optional<QColor> background) {
    QString sheet;
    if (text) sheet += QStringLiteral("color: %1;").arg(text->name());
    sheet += background ? QStringLiteral("background-color: %1;").arg(background->name())
                        : QStringLiteral("background: transparent;");
    if (w->styleSheet() != sheet) w->setStyleSheet(sheet);
}

// The layout's rectangles were drawn for a narrow bitmap font; with the fonts of this desktop a
// caption may be wider than its control and run under its neighbour. Such a caption is set in a
// smaller size, down to a size that stays legible, rather than overlapping or being cut.
void FitCaption(QWidget* w) {
    constexpr int kSmallestPixels = 9;
    auto* label = qobject_cast<QLabel*>(w);
    const bool oneLineCaption = (label && !label->wordWrap() && label->pixmap().isNull()) ||
                                qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
    if (!oneLineCaption) return;
    const QFont base = w->parentWidget() ? w->parentWidget()->font() : w->font();
    QFont font = base;
    int pixels = QFontInfo(base).pixelSize();
    w->setFont(font);
    while (w->sizeHint().width() > w->width() && pixels > kSmallestPixels) {
        font.setPixelSize(--pixels);
        w->setFont(font);
    }
}

}  // namespace

ConsoleView::ConsoleView(console::CKestravaDlg& dlg, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), dlg_(dlg) {
    setWindowTitle(QString::fromUtf8(console::kConsoleTitle));
    setFont(SongtiFont(9));
    setFixedSize(kSongti9.Size(console::kConsoleWidthDu, console::kConsoleHeightDu));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    setPalette(palette);
    Build();
    // The console is worked with the mouse and the polled keys: no key reaches a control.
    SwallowKeys(this, {});
    balloons_ = std::make_unique<HintBalloons>(nullptr);
    connect(&refreshTimer_, &QTimer::timeout, this, &ConsoleView::Refresh);
    refreshTimer_.start(50);
}

ConsoleView::~ConsoleView() {
    WindowMessages::Instance().Detach(this);
    delete infoBar_;
}

void ConsoleView::Build() {
    const DialogUnits& du = kSongti9;
    // Group boxes first, so the controls inside them lie above their frames.
    for (bool groups : {true, false}) {
        for (const console::ControlPlace& place : console::ConsoleLayout()) {
            if ((place.kind == ControlKind::GroupBox) != groups) continue;
            const int id = place.id;
            const QString caption = QString::fromUtf8(place.caption.data(), static_cast<qsizetype>(place.caption.size()));
            QWidget* w = nullptr;
            switch (place.kind) {
                case ControlKind::GroupBox: w = new QGroupBox(caption, this); break;
                case ControlKind::Static:
                case ControlKind::TimeDisplay:
                case ControlKind::Picture: {
                    auto* l = new QLabel(caption, this);
                    if (place.kind == ControlKind::TimeDisplay) {
                        l->setFrameShape(QFrame::StyledPanel);
                        l->setAlignment(Qt::AlignCenter);
                    }
                    if (place.kind == ControlKind::Picture) l->setScaledContents(true);
                    w = l;
                    break;
                }
                case ControlKind::Edit: {
                    auto* e = new QLineEdit(caption, this);
                    if (id == 1089) e->setReadOnly(true);
                    connect(e, &QLineEdit::textEdited, this,
                            [this, id](const QString& t) { dlg_.controls.SetText(id, t.toStdString()); });
                    w = e;
                    break;
                }
                case ControlKind::Button: {
                    auto* b = new QPushButton(caption, this);
                    b->setAutoDefault(false);
                    connect(b, &QPushButton::clicked, this, [this, id] { dlg_.OnCommand(id); });
                    w = b;
                    break;
                }
                case ControlKind::CheckBox:
                case ControlKind::RadioButton: {
                    QAbstractButton* b = place.kind == ControlKind::CheckBox
                                             ? static_cast<QAbstractButton*>(new QCheckBox(caption, this))
                                             : new QRadioButton(caption, this);
                    if (place.kind == ControlKind::RadioButton) b->setAutoExclusive(false);
                    connect(b, &QAbstractButton::clicked, this, [this, id](bool checked) {
                        dlg_.controls.SetCheck(id, checked ? 1 : 0);
                        dlg_.OnCommand(id);
                    });
                    w = b;
                    break;
                }
                case ControlKind::Spin:
                case ControlKind::SidewaysSpin:
                    w = new SpinArrows(this, place.kind == ControlKind::SidewaysSpin,
                                       [this, id](console::SpinArrow arrow) { dlg_.OnSpin(id, arrow); });
                    break;
                case ControlKind::ComboBox: {
                    auto* c = new QComboBox(this);
                    c->installEventFilter(new WheelSwallower(c));
                    connect(c, &QComboBox::activated, this, [this, id](int index) {
                        dlg_.controls.Select(id, index);
                        dlg_.OnCommand(id);
                    });
                    w = c;
                    break;
                }
            }
            // A combo's template height includes its drop-down list.
            const int height = place.kind == ControlKind::ComboBox ? 14 : place.height;
            w->setGeometry(du.Rect(place.x, place.y, place.width, height));
            FitCaption(w);
            w->setVisible(place.visible);
            w->setEnabled(place.enabled);
            if (id != console::kNoId) {
                NameControl(w, id);
                widgets_[id] = w;
            }
        }
    }
}

QWidget* ConsoleView::Control(int id) const {
    auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : it->second;
}

void ConsoleView::Apply(int id, const console::ControlSnapshot& s) {
    QWidget* w = Control(id);
    if (!w || !s.exists) return;
    const QString text = Text(s.text);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (s.picture && !s.picture->Empty()) {
            l->setPixmap(QPixmap::fromImage(ToQImage(*s.picture)));
        } else {
            if (!l->pixmap().isNull()) l->setPixmap(QPixmap());
            if (l->text() != text) {
                l->setText(text);
                FitCaption(l);
            }
        }
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != text && !e->hasFocus()) e->setText(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text() != text && !text.isEmpty()) {
            b->setText(text);
            FitCaption(b);
        }
        if (b->isCheckable()) b->setChecked(s.check == 1);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        QStringList items;
        for (const std::string& item : s.items) items << Text(item);
        QStringList current;
        for (int i = 0; i < c->count(); ++i) current << c->itemText(i);
        if (current != items) {
            c->clear();
            c->addItems(items);
        }
        if (c->currentIndex() != s.selection) c->setCurrentIndex(s.selection);
    }
    if (w->isVisibleTo(this) != s.visible) w->setVisible(s.visible);
    if (w->isEnabled() != s.enabled) w->setEnabled(s.enabled);
}

void ConsoleView::ApplyColours() {
    static const QColor kRed(255, 0, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);
    if (QWidget* w = Control(1008)) SetColours(w, kRed, std::nullopt);
    if (QWidget* w = Control(1104)) {
        static const std::optional<QColor> kGap[] = {std::nullopt, kRed, QColor(0, 255, 0), QColor(255, 255, 0),
                                                     QColor(255, 165, 0)};
        const int gap = dlg_.state.gapClass.load();
        SetColours(w, std::nullopt, gap >= 0 && gap <= 4 ? kGap[gap] : std::nullopt);
    }
    for (int id : {1072, 1161, 1169}) {
        if (QWidget* w = Control(id)) SetColours(w, kBlue, std::nullopt);
    }
    if (QWidget* w = Control(1089)) {
        SetColours(w, kRed, dlg_.state.statusClass.load() == 1 ? std::optional<QColor>(QColor(252, 255, 148))
                                                                : std::nullopt);
    }
    for (int id : {1105, 1106}) {
        if (QWidget* w = Control(id)) SetColours(w, std::nullopt, kWhite);
    }
}

void ConsoleView::Refresh() {
    if (closing_) return;
    const std::uint64_t changes = dlg_.controls.Changes();
    if (changes != lastChanges_) {
        lastChanges_ = changes;
        for (auto& [id, widget] : widgets_) {
            const std::uint64_t c = dlg_.controls.Changes(id);
            auto it = seen_.find(id);
            if (it != seen_.end() && it->second == c) continue;
            seen_[id] = c;
            Apply(id, dlg_.controls.Snapshot(id));
        }
    }
    ApplyColours();
    const QString title = Text(dlg_.state.windowTitle.Get());
    if (!title.isEmpty() && windowTitle() != title) setWindowTitle(title);
    if (infoBar_) {
        const int headerStyle = dlg_.state.infoHeaderStyle.load();
        const int bodyStyle = dlg_.state.infoBodyStyle.load();
        const std::string header = dlg_.state.infoHeader.Get();
        const std::string body = dlg_.state.infoBody.Get();
        if (header != shownHeader_ || headerStyle != shownHeaderStyle_)
            infoBar_->SetInfoHeader(shownHeader_ = header, shownHeaderStyle_ = headerStyle);
        if (body != shownBody_ || bodyStyle != shownBodyStyle_)
            infoBar_->SetInfoBody(shownBody_ = body, shownBodyStyle_ = bodyStyle);
        if (dlg_.state.infoBarVisible.load() && !infoBar_->isVisible()) infoBar_->ShowBelow(frameGeometry());
        ShowGuide();
    }
    PlaceMarkers();
}

// A practice run's guide line, and a balloon pointing at it whenever the bidder is told anew.
void ConsoleView::ShowGuide() {
    const std::uint32_t serial = dlg_.state.guideSerial.load();
    const std::string text = dlg_.state.guideText.Get();
    infoBar_->SetGuide(text);
    if (serial == shownGuideSerial_) return;
    shownGuideSerial_ = serial;
    if (text.empty()) return;
    if (!infoBar_->isVisible()) infoBar_->ShowBelow(frameGeometry());
    balloons_->Show(kGuideBalloon, QStringLiteral("<b>%1</b>").arg(Text(text).toHtmlEscaped()), infoBar_->GuideCorner());
}

void ConsoleView::PlaceTopmost() {
    move(2, 0);
    if (!isVisible()) show();
    dlg_.platform.desktop.Place(static_cast<platform::WindowId>(winId()), 2, 0, true, false);
}

void ConsoleView::CreatePatchNotice() {
    if (!patchNotice_) patchNotice_ = new CDlgBangzhu(dlg_.platform.programs, this);
    patchNotice_->move(285, 15);
}

void ConsoleView::CreateHintWindows() {
    if (dlg_.state.debg.load() == config::kDebugModeValue || config::Read(config::user::debg) == config::kDebugModeValue) {
        markers_ = std::make_unique<Markers>(nullptr);
    }
    if (!infoBar_) infoBar_ = new CDlg012(nullptr);
    infoBar_->ShowBelow(frameGeometry());
}

void ConsoleView::ShowBalloon(int balloon, const std::string& text, int x, int y, int anchorControl) {
    const QString qtext = QString::fromUtf8(text.c_str());
    QMetaObject::invokeMethod(
        this, [this, balloon, qtext, x, y, anchorControl] { ShowBalloonOnGuiThread(balloon, qtext, {x, y}, anchorControl); },
        Qt::QueuedConnection);
}

void ConsoleView::HideBalloon(int balloon) {
    // Queued like ShowBalloon, so a hide asked for after a show is never overtaken by it.
    QMetaObject::invokeMethod(this, [this, balloon] { balloons_->Hide(balloon); }, Qt::QueuedConnection);
}

void ConsoleView::ShowBalloonOnGuiThread(int balloon, const QString& text, QPoint at, int anchorControl) {
    if (anchorControl) {
        QWidget* control = Control(anchorControl);
        if (!control) return;
        at = control->mapToGlobal(QPoint(control->width(), 0));
    }
    balloons_->Show(balloon, text, at);
}

void ConsoleView::PlaceMarkers() {
    if (!markers_) return;
    const platform::WindowId view = dlg_.state.pageView.load();
    const auto rect = view ? dlg_.platform.desktop.WindowRect(view) : std::nullopt;
    if (!rect) return;
    const shell::PageGeometry g = dlg_.state.Geometry();
    // CDlg001 … CDlg007 stand for these calibrated points, in this order.
    const shell::PagePoint points[kMarkerCount] = {
        g.At(g.vk_ret_code_enter[0].x, g.vk_ret_code_enter[0].y),
        g.At(g.plusinput_picPot_x, g.plusinput_picPot_y),
        g.At(g.plusbutton_picPot_x, g.plusbutton_picPot_y),
        g.At(g.vk_esc_x, g.vk_esc_y),
        g.At(g.bidinput_picPot_x, g.bidinput_picPot_y),
        g.At(g.bidbutton_picPot_x, g.bidbutton_picPot_y),
        g.At(g.vk_ret_info_enterx, g.vk_ret_info_entery),
    };
    for (int i = 0; i < kMarkerCount; ++i) {
        markers_->Marker(i + 1).PlaceAt(QPoint(rect->left + points[i].x, rect->top + points[i].y));
    }
}

void ConsoleView::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (infoBar_ && infoBar_->isVisible()) infoBar_->ShowBelow(frameGeometry());
}

void ConsoleView::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        refreshTimer_.stop();
        dlg_.OnClose();
        QtNotices::CloseAll();
        if (infoBar_) infoBar_->hide();
        if (markers_) markers_->HideAll();
        emit Closed();
    }
    event->accept();
}

int RunConsole(platform::Platform platform, const console::LoginInfo& login, console::ConsoleHooks hooks,
               std::function<void(ConsoleView*)> viewChanged) {
    log::LogBook logBook(platform.clock, "./Log");
    ConsoleView* view = nullptr;
    hooks.placeConsole = [&view](console::CKestravaDlg&) {
        if (view) view->PlaceTopmost();
    };
    hooks.createPatchNotice = [&view](console::CKestravaDlg&) {
        if (view) view->CreatePatchNotice();
    };
    hooks.createHintWindows = [&view](console::CKestravaDlg&) {
        if (view) view->CreateHintWindows();
    };
    console::CKestravaDlg dlg(platform, logBook, login, std::move(hooks));
    ConsoleView window(dlg);
    view = &window;
    if (viewChanged) viewChanged(&window);
    // The console's ticks are stopped by its close; only then may the view go.
    struct Unhook {
        std::function<void(ConsoleView*)>& changed;
        ~Unhook() {
            if (changed) changed(nullptr);
        }
    } unhook{viewChanged};
    WindowMessages::Instance().Attach(&window, [&window, &dlg](const platform::Message& m) {
        if (m.msg == platform::wm::Close) {
            window.close();
        } else {
            dlg.HandleMessage(m);
        }
    });
    // A logout, a shutdown or `kill` ends the console as a close request does, so the day's log
    // is written; otherwise every line since the last flush would be lost.
    const TerminationWatch termination([&window] { window.close(); });
    const console::InitResult init = dlg.OnInitDialog();
    if (!init.ok) {
        window.close();
        view = nullptr;
        return init.exitCode;
    }
    window.Refresh();
    if (!window.isVisible()) window.PlaceTopmost();
    QEventLoop loop;
    QObject::connect(&window, &ConsoleView::Closed, &loop, &QEventLoop::quit);
    if (!window.isHidden()) loop.exec();
    view = nullptr;
    return 0;
}

#if defined(KESTRAVA_HAVE_RUNTIME) || defined(KESTRAVA_HAVE_ENGINE)
std::function<void(const engine::Hint&)> ShowBalloonsOn(const std::atomic<ConsoleView*>& view) {
    return [&view](const engine::Hint& hint) {
        if (ConsoleView* v = view.load()) v->ShowBalloon(hint.balloon, hint.text, hint.x, hint.y, hint.anchorControl);
    };
}
#endif

#ifdef KESTRAVA_HAVE_RUNTIME
void LinkBalloons(const std::atomic<ConsoleView*>& view, runtime::RoleOptions& roles) {
    roles.engine.showBalloon = ShowBalloonsOn(view);
    roles.perception.hideBalloon = [&view](int balloon) {
        if (ConsoleView* v = view.load()) v->HideBalloon(balloon);
    };
}
#endif

}  // namespace kestrava::gui
