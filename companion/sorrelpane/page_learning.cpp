#include "page_learning.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "config/profile.h"
#include "config/settings.h"
#include "learning_script.h"
#include "perception/figure_evidence.h"
#include "perception/image_files.h"
#include "perception/page_geometry.h"
#include "perception/price_reader.h"
#include "perception/template_search.h"

namespace kestrava::sorrelpane {

namespace learn = shell::learning;
using learn::Target;

namespace {

// The page draws its figures and lays out its dialogs a moment after it says it has loaded.
constexpr int kSettleMs = 1500;
// A page still loading is asked again this many times, a second apart, before learning gives up.
constexpr int kSnapshotTries = 10;

// The selector file's keys learning does not look for (the login form's), kept as they were.
constexpr const char* kKeptRoles[] = {"loginbid", "loginpwd", "loginid", "loginbutton"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::map<std::string, int> PreviousGeometry(const QString& path) {
    std::map<std::string, int> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return keys;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        const int eq = line.indexOf('=');
        if (eq <= 0 || line.startsWith(';') || line.startsWith('[')) continue;
        bool ok = false;
        const int v = line.mid(eq + 1).toInt(&ok);
        if (ok) keys[line.left(eq).toStdString()] = v;
    }
    return keys;
}

// The page view's pixels as the console's template search takes them.
perception::Bgr24Image Bgr24(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    perception::Bgr24Image out(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            std::uint8_t* p = out.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(qBlue(row[x]));
            p[1] = static_cast<std::uint8_t>(qGreen(row[x]));
            p[2] = static_cast<std::uint8_t>(qRed(row[x]));
        }
    }
    return out;
}

// A rectangle of the page view as text recognition takes it (4 bytes a pixel, B G R x).
perception::PixelBuffer Pixels(const QImage& image, const QRect& r) {
    const QImage part = image.copy(r).convertToFormat(QImage::Format_RGB32);
    perception::PixelBuffer out;
    out.width = part.width();
    out.height = part.height();
    out.bytes.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    for (int y = 0; y < part.height(); ++y)
        std::memcpy(out.bytes.data() + static_cast<std::size_t>(y) * out.width * 4, part.constScanLine(y),
                    static_cast<std::size_t>(out.width) * 4);
    return out;
}

QRect Whole(const learn::Box& b) {
    return QRect(static_cast<int>(std::floor(b.x + 0.5)), static_cast<int>(std::floor(b.y + 0.5)),
                 static_cast<int>(std::floor(b.w + 0.5)), static_cast<int>(std::floor(b.h + 0.5)));
}

}  // namespace

// Draws the learned elements over the page and, while a correction is under way, takes the click
// that names the right element.
class LearningView::Overlay final : public QWidget {
public:
    // A sibling over the page view (a child of the view would lie under the view's own render
    // widget).
    explicit Overlay(LearningView* owner) : QWidget(owner), owner_(owner) {
        setAttribute(Qt::WA_TransparentForMouseEvents, true);
        setAttribute(Qt::WA_NoSystemBackground, true);
        setObjectName(QStringLiteral("learningOverlay"));
    }
    void Picking(bool on) {
        setAttribute(Qt::WA_TransparentForMouseEvents, !on);
        setCursor(on ? Qt::CrossCursor : Qt::ArrowCursor);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
        const std::optional<Target> selected = owner_->SelectedTarget();
        for (Target t : learn::kTargets) {
            const learn::Finding& f = owner_->learning_[t];
            if (!f.Usable() || !f.item->shown) continue;
            const QRect r = Whole(f.item->box);
            const QColor colour = t == selected ? QColor(0xd0, 0x20, 0x20) : QColor(0x10, 0x60, 0xd0);
            p.setPen(QPen(colour, t == selected ? 3 : 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(-2, -2, 1, 1));
            const QString name = QString::fromUtf8(learn::Info(t).label);
            const QRect tag(r.left() - 2, r.top() - 18, p.fontMetrics().horizontalAdvance(name) + 8, 16);
            p.fillRect(tag, colour);
            p.setPen(Qt::white);
            p.drawText(tag, Qt::AlignCenter, name);
        }
        if (!testAttribute(Qt::WA_TransparentForMouseEvents)) {
            p.fillRect(QRect(0, 0, width(), 22), QColor(0xd0, 0x20, 0x20, 200));
            p.setPen(Qt::white);
            p.drawText(QRect(8, 0, width() - 16, 22), Qt::AlignVCenter, QStringLiteral("点击页面上正确的元素"));
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        const std::optional<Target> t = owner_->SelectedTarget();
        const std::optional<learn::PageItem> item = learn::ItemAt(owner_->learning_.items, e->position().x(), e->position().y());
        Picking(false);
        owner_->picking_ = false;
        if (!t) return;
        if (!item) {
            owner_->Say(QStringLiteral("%1: nothing the page can act on at %2,%3")
                            .arg(QString::fromUtf8(learn::Info(*t).name))
                            .arg(e->position().x())
                            .arg(e->position().y()));
            return;
        }
        if (std::optional<std::string> refused = learn::Correct(owner_->learning_, *t, *item)) {
            owner_->Say(Q(*refused));
        } else {
            owner_->Say(Q(owner_->learning_[*t].Message()));
        }
        owner_->ShowFindings();
    }

private:
    LearningView* owner_;
};

LearningView::LearningView(const ShellSettings& settings, QUrl url, LearningFiles files, LearningMode mode,
                           ShellLog* log)
    : settings_(settings), url_(std::move(url)), files_(std::move(files)), mode_(mode), log_(log) {
    setWindowTitle(QStringLiteral("Sorrelpane 页面学习"));
    setObjectName(QStringLiteral("learningView"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* profile = new QWebEngineProfile(this);
    auto* page = new QWebEnginePage(profile, this);
    page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    view_ = new QWebEngineView(this);
    view_->setPage(page);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setFixedSize(settings_.geometry.size());
    layout->addWidget(view_);
    overlay_ = new Overlay(this);
    overlay_->setGeometry(view_->geometry());
    view_->installEventFilter(this);

    auto* side = new QVBoxLayout;
    side->setContentsMargins(8, 8, 8, 8);
    side->addWidget(new QLabel(QStringLiteral("页面元素（选中一项，再点“改正”，然后点击页面上正确的元素）"), this));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("findings"));
    list_->setMinimumWidth(420);
    side->addWidget(list_, 2);
    auto* buttons = new QHBoxLayout;
    auto* correct = new QPushButton(QStringLiteral("改正(&C)"), this);
    correct->setObjectName(QStringLiteral("correct"));
    auto* skip = new QPushButton(QStringLiteral("跳过(&S)"), this);
    skip->setObjectName(QStringLiteral("skip"));
    saveButton_ = new QPushButton(QStringLiteral("保存并检查(&W)"), this);
    saveButton_->setObjectName(QStringLiteral("save"));
    buttons->addWidget(correct);
    buttons->addWidget(skip);
    buttons->addWidget(saveButton_);
    side->addLayout(buttons);
    messages_ = new QPlainTextEdit(this);
    messages_->setObjectName(QStringLiteral("messages"));
    messages_->setReadOnly(true);
    side->addWidget(messages_, 3);
    layout->addLayout(side);

    connect(correct, &QPushButton::clicked, this, &LearningView::CorrectSelected);
    connect(skip, &QPushButton::clicked, this, &LearningView::SkipSelected);
    connect(saveButton_, &QPushButton::clicked, this, &LearningView::Save);
    connect(list_, &QListWidget::currentRowChanged, overlay_, [this] { overlay_->update(); });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (!ok) return Fail(QStringLiteral("the page did not load: %1").arg(url_.toString()));
        QTimer::singleShot(kSettleMs, this, [this] {
            if (mode_ == LearningMode::CheckOnly) Check();
            else TakeSnapshot();
        });
    });
}

LearningView::~LearningView() {
    QWebEnginePage* page = view_->page();
    view_->setPage(nullptr);
    delete page;
}

void LearningView::Start() {
    Say(QStringLiteral("%1 %2").arg(mode_ == LearningMode::CheckOnly ? "checking" : "learning", url_.toString()));
    // Offsets and pictures are for display scale 1.0; at any other scale the page's pixels are
    // not the file's.
    const qreal scale = view_->devicePixelRatioF();
    if (scale != 1.0)
        return Fail(QStringLiteral("the display scale is %1: learn the page at display scale 1.0 (100%)").arg(scale));
    view_->load(url_);
}

bool LearningView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        overlay_->setGeometry(view_->geometry());
        overlay_->raise();
    }
    return QWidget::eventFilter(watched, event);
}

void LearningView::Say(const QString& line) {
    messages_->appendPlainText(line);
    log_->Write(QStringLiteral("learning: ") + line);
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void LearningView::Fail(const QString& why) {
    Say(QStringLiteral("LEARNING FAILED: %1 (nothing written, the previous files are kept)").arg(why));
    if (Exits()) Finish(1);
}

void LearningView::Finish(int code) {
    QTimer::singleShot(0, qApp, [code] { QApplication::exit(code); });
}

void LearningView::TakeSnapshot() {
    view_->page()->runJavaScript(QString::fromUtf8(kSnapshotScript),
                                 [this](const QVariant& v) { OnSnapshot(v.toString()); });
}

void LearningView::OnSnapshot(const QString& text) {
    std::string error;
    const std::optional<learn::PageSnapshot> snap = learn::ParseSnapshot(text.toStdString(), &error);
    if (!snap) return Fail(QStringLiteral("the page's snapshot is unreadable: %1").arg(Q(error)));
    if (snap->state == "loading" && ++snapshotTries_ < kSnapshotTries) {
        QTimer::singleShot(1000, this, &LearningView::TakeSnapshot);
        return;
    }
    learning_ = learn::FindElements(*snap);
    learned_ = true;
    ShowFindings();
    list_->setFocus();
    for (const std::string& line : learning_.Summary()) Say(Q(line));
    if (mode_ != LearningMode::Automatic) return;
    const std::vector<std::string> problems = learning_.Problems();
    if (!problems.empty()) {
        for (const std::string& p : problems) Say(QStringLiteral("problem: ") + Q(p));
        return Fail(QStringLiteral("%1 problem(s) on the page").arg(problems.size()));
    }
    Save();
}

void LearningView::ShowFindings() {
    const int row = list_->currentRow();
    list_->clear();
    for (Target t : learn::kTargets) {
        const learn::Finding& f = learning_[t];
        auto* item = new QListWidgetItem(QStringLiteral("%1  %2: %3")
                                             .arg(QString::fromUtf8(learn::Info(t).label),
                                                  QString::fromUtf8(learn::Info(t).name),
                                                  QString::fromUtf8(learn::StatusName(f.status))),
                                         list_);
        item->setToolTip(Q(f.Message()));
        if (!f.Usable() && f.status != learn::Status::Skipped) item->setForeground(QColor(0xc0, 0x20, 0x20));
    }
    list_->setCurrentRow(row < 0 ? 0 : row);
    overlay_->raise();
    overlay_->update();
}

std::optional<Target> LearningView::SelectedTarget() const {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(learn::kTargetCount)) return std::nullopt;
    return learn::kTargets[static_cast<std::size_t>(row)];
}

void LearningView::CorrectSelected() {
    if (!learned_ || !SelectedTarget()) return;
    picking_ = true;
    overlay_->Picking(true);
    Say(QStringLiteral("click the %1 on the page").arg(QString::fromUtf8(learn::Info(*SelectedTarget()).name)));
}

void LearningView::SkipSelected() {
    if (!learned_ || !SelectedTarget()) return;
    if (std::optional<std::string> refused = learn::Skip(learning_, *SelectedTarget())) Say(Q(*refused));
    else Say(Q(learning_[*SelectedTarget()].Message()));
    ShowFindings();
}

void LearningView::Save() {
    if (!learned_) return;
    const std::vector<std::string> problems = learning_.Problems();
    if (!problems.empty()) {
        for (const std::string& p : problems) Say(QStringLiteral("problem: ") + Q(p));
        return Fail(QStringLiteral("%1 problem(s) stand in the way").arg(problems.size()));
    }
    std::vector<learn::FileToWrite> files;

    // The selector file, the login form's selectors kept.
    std::map<std::string, std::string> kept;
    for (const char* role : kKeptRoles) {
        const std::string v =
            config::ReadProfileString("Elements", role, "", 1024, files_.previousElements.toStdString());
        if (!v.empty()) kept[role] = v;
    }
    files.push_back({files_.elements.toStdString(), learn::ElementsFileText(learning_, kept)});

    // The geometry file.
    const learn::GeometryBoxes boxes = learn::BoxesFromLearning(learning_, PreviousGeometry(files_.geometry));
    files.push_back({files_.geometry.toStdString(),
                     learn::GeometryFileText({"Geometry of " + url_.toString().toStdString(),
                                              "at display scale 1.0, learned by `Sorrelpane --learn`. Offsets are "
                                              "relative to the network icon (lvwf_x, lvwf_y in page-view pixels)."},
                                             learn::GeometryKeyValues(boxes))});

    // The reference pictures of the icon, from its pixels at scale 1.0.
    const QRect icon = Whole(learning_[Target::Anchor].item->box);
    std::optional<std::vector<std::uint32_t>> pixels = IconPixels(PagePixels(), icon);
    if (!pixels) return Fail(QStringLiteral("network icon: its pixels could not be taken from the page"));
    for (const learn::ScaledPicture& pic : learn::kGreenPictures) {
        const int w = static_cast<int>(static_cast<float>(icon.width()) * pic.scale);
        const int h = static_cast<int>(static_cast<float>(icon.height()) * pic.scale);
        files.push_back({(files_.pictures + '/' + QLatin1String(pic.name)).toStdString(),
                         learn::Bmp24(learn::ScaleNearest(*pixels, icon.width(), icon.height(), w, h), w, h)});
    }
    // The icon of the network fault, when the page holds one in the same place (shown instead of
    // the normal icon): shown for a moment to take its pixels, then hidden again.
    view_->page()->runJavaScript(QString::fromUtf8(kOtherIconScript) + QStringLiteral("(%1, 'show')").arg(
                                     QString::fromUtf8(QJsonDocument(QJsonArray{Q(learning_[Target::Anchor].item->selector)})
                                                           .toJson(QJsonDocument::Compact))
                                         .mid(1).chopped(1)),
                                 [this, files, icon](const QVariant& other) mutable {
        if (other.toString().isEmpty()) return WriteFiles(files, QString());
        // Painted by the next frames.
        QTimer::singleShot(400, this, [this, files, icon, other]() mutable {
            std::optional<std::vector<std::uint32_t>> red = IconPixels(PagePixels(), icon);
            if (red)
                files.push_back({(files_.pictures + QStringLiteral("/wifi_red.bmp")).toStdString(),
                                 learn::Bmp24(*red, icon.width(), icon.height())});
            // The checks look at the page as the console will: with its normal icon painted again.
            view_->page()->runJavaScript(QString::fromUtf8(kOtherIconScript) + QStringLiteral("(null, 'restore')"),
                                         [this, files, other](const QVariant&) {
                                             QTimer::singleShot(400, this, [this, files, other] {
                                                 WriteFiles(files, other.toString());
                                             });
                                         });
        });
    });
}

std::optional<std::vector<std::uint32_t>> LearningView::IconPixels(const QImage& shot, const QRect& icon) {
    const QImage image = shot.copy(icon);
    if (image.isNull() || image.width() != icon.width() || image.height() != icon.height()) return std::nullopt;
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        pixels.insert(pixels.end(), row, row + image.width());
    }
    return pixels;
}

void LearningView::WriteFiles(const std::vector<learn::FileToWrite>& files, const QString& otherIcon) {
    const std::string stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    if (std::optional<std::string> error = learn::ReplaceFiles(files, stamp)) return Fail(Q(*error));
    if (!files_.elementsKey.isEmpty())
        config::WriteProfileString("Sorrelpane", files_.elementsKey.toStdString(), files_.elements.toStdString(),
                                   files_.shellIni.toStdString());
    for (const learn::FileToWrite& f : files) Say(QStringLiteral("written %1").arg(Q(f.path)));
    if (otherIcon.isEmpty())
        Say(QStringLiteral("the red icon's picture (wifi_red.bmp) is left as it was: the page holds no other icon in its place"));
    else
        Say(QStringLiteral("the red icon's picture (wifi_red.bmp) taken from %1").arg(otherIcon));
    Say(QStringLiteral("previous files kept as *.%1.bak").arg(Q(stamp)));
    Check();
}

QImage LearningView::PagePixels() {
    // The page alone: the names drawn over it are not the page's pixels.
    overlay_->hide();
    const QImage shot = view_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    overlay_->show();
    return shot;
}

void LearningView::Check() {
    // The files as the console reads them, against the page as it stands now.
    const perception::PageGeometry g = perception::ReadPageGeometry(files_.geometry.toStdString());
    const QImage shot = PagePixels();
    auto failures = std::make_shared<int>(0);
    auto report = [this, failures](bool ok, const QString& what) {
        if (!ok) ++*failures;
        Say(QStringLiteral("check %1: %2").arg(ok ? "passed" : "FAILED", what));
    };

    const std::string picture = (files_.pictures + QStringLiteral("/wifi_green.bmp")).toStdString();
    const std::optional<perception::Bgr24Image> templ = perception::LoadReferenceImage(picture);
    const perception::Bgr24Image page = Bgr24(shot);
    const std::optional<perception::Point> at = templ ? perception::FindTemplate(page.View(), templ->View()) : std::nullopt;
    report(at && at->x == g.lvwf_x && at->y == g.lvwf_y,
           at ? QStringLiteral("anchor found by the template search at %1,%2 (file %3,%4)").arg(at->x).arg(at->y).arg(g.lvwf_x).arg(g.lvwf_y)
              : QStringLiteral("anchor not found by the template search"));

    const QRect priceRect(g.lvwf_x + g.C_P2_LEFTPRICE_X, g.lvwf_y + g.C_P2_LEFTPRICE_Y, g.C_P2_LEFTPRICE_W, g.C_P2_LEFTPRICE_H);
    perception::PriceReader reader;
    const perception::TextEngineStatus engine = reader.Init(config::Read(config::conf::OCRfont));
    if (!engine.ok) {
        report(false, QStringLiteral("price region: the text engine did not start (%1)").arg(Q(engine.error)));
    } else {
        const perception::FigureReading r = reader.ReadFigure(Pixels(shot, priceRect));
        // The page may have moved its price on since the snapshot: any whole price read is the
        // reader's success, the snapshot's figure is named for comparison.
        report(r.price.has_value(), r.price ? QStringLiteral("price region read %1").arg(*r.price)
                                            : QStringLiteral("price region refused: %1").arg(Q(r.refusal)));
    }
    const QRect clockRect(g.lvwf_x + g.ocr_systime_left, g.lvwf_y + g.ocr_systime_top, g.ocr_systime_width,
                          g.ocr_systime_height);
    if (!clockRect.isEmpty()) {
        const perception::FigureInk ink = perception::MeasureInk(Pixels(shot, clockRect));
        const std::optional<std::string> refused = perception::InkRefusal(ink);
        report(!refused, refused ? QStringLiteral("clock region: %1").arg(Q(*refused))
                                 : QStringLiteral("clock region holds the whole clock, clear of its edges"));
    }

    // Every element command the written selector file answers.
    QJsonObject roles;
    for (Target t : learn::kTargets) {
        if (!*learn::Info(t).role) continue;
        const std::string selector =
            config::ReadProfileString("Elements", learn::Info(t).role, "", 1024, files_.elements.toStdString());
        if (!selector.empty()) roles.insert(QLatin1String(learn::Info(t).role), Q(selector));
        else report(learn::Info(t).withoutIt != nullptr,
                    QStringLiteral("element %1: no selector (%2)")
                        .arg(QLatin1String(learn::Info(t).role),
                             QString::fromUtf8(learn::Info(t).withoutIt ? learn::Info(t).withoutIt : "needed")));
    }
    const QString script = QString::fromUtf8(kCountScript) + '(' +
                           QString::fromUtf8(QJsonDocument(roles).toJson(QJsonDocument::Compact)) + ')';
    view_->page()->runJavaScript(script, [this, report, failures](const QVariant& v) {
        for (const QString& line : v.toString().split('\n', Qt::SkipEmptyParts)) {
            const QString role = line.section('=', 0, 0);
            const int n = line.section('=', 1).toInt();
            report(n == 1, QStringLiteral("element %1 answered (%2 element%3 match)").arg(role).arg(n).arg(n == 1 ? "" : "s"));
        }
        Say(*failures == 0 ? QStringLiteral("CHECK DONE: every check passed")
                           : QStringLiteral("CHECK FAILED: %1 check(s) failed").arg(*failures));
        if (Exits()) Finish(*failures == 0 ? 0 : 1);
    });
}

}  // namespace kestrava::sorrelpane
