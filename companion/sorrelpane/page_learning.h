// The learning view: the page with the name of every element the program needs drawn over it, a
// list to correct (click the right element on the page) or skip one, and the files written and
// checked once the person saves. In its automatic mode nothing is asked: the files are written
// when every element was found, then checked, and the program exits (0 when all checks passed).
#pragma once

#include <QImage>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <optional>
#include <vector>

#include "page_shell.h"
#include "shell/page_learning.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QWebEngineView;

namespace kestrava::sorrelpane {

// Where the learned files go (relative to the installation folder).
struct LearningFiles {
    QString elements;       // the page's element selector file
    QString previousElements;  // the one the shell used so far (its login form's selectors are kept)
    QString geometry = QStringLiteral("bin/coordinatebaseline.ini");
    QString pictures = QStringLiteral("ScreenShot");
    QString shellIni = QStringLiteral("bin/sorrelpane.ini");
    QString elementsKey;    // the key of [Sorrelpane] in shellIni that names `elements`
};

enum class LearningMode {
    Interactive,  // the person corrects, skips and saves
    Automatic,    // written when every element was found, checked, exit
    CheckOnly,    // the installed files checked against the page, nothing learned or written, exit
};

class LearningView final : public QWidget {
    Q_OBJECT
public:
    LearningView(const ShellSettings& settings, QUrl url, LearningFiles files, LearningMode mode, ShellLog* log);
    ~LearningView() override;

    void Start();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Overlay;
    void TakeSnapshot();
    void OnSnapshot(const QString& text);
    void ShowFindings();
    void Say(const QString& line);
    void Fail(const QString& why);
    void CorrectSelected();
    void SkipSelected();
    void Save();
    void Check();
    QImage PagePixels();
    static std::optional<std::vector<std::uint32_t>> IconPixels(const QImage& shot, const QRect& icon);
    void WriteFiles(const std::vector<shell::learning::FileToWrite>& files, const QString& otherIcon);
    void Finish(int code);
    std::optional<shell::learning::Target> SelectedTarget() const;

    ShellSettings settings_;
    QUrl url_;
    LearningFiles files_;
    LearningMode mode_;
    bool Exits() const { return mode_ != LearningMode::Interactive; }
    ShellLog* log_;
    QWebEngineView* view_ = nullptr;
    Overlay* overlay_ = nullptr;
    QListWidget* list_ = nullptr;
    QPlainTextEdit* messages_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    shell::learning::Learning learning_;
    bool learned_ = false;
    bool picking_ = false;
    int snapshotTries_ = 0;
};

}  // namespace kestrava::sorrelpane
