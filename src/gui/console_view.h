// The console window: one widget per control of the console's layout, refreshed from the control
// model on the GUI thread, with every click forwarded to the console as a command by control id.
// The console (core) owns all state; this view only shows it.
#pragma once

#include <QWidget>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "console/console.h"
#include "gui/hint_balloon.h"
#include "gui/info_bar.h"
#include "gui/markers.h"
#ifdef KESTRAVA_HAVE_RUNTIME
#include "runtime/console_roles.h"
#elif defined(KESTRAVA_HAVE_ENGINE)
#include "engine/engine.h"
#endif

namespace kestrava::gui {

class CDlgBangzhu;

class ConsoleView final : public QWidget {
    Q_OBJECT
public:
    explicit ConsoleView(console::CKestravaDlg& dlg, QWidget* parent = nullptr);
    ~ConsoleView() override;

    // Applies what changed in the model (and the colours and the info bar) to the widgets.
    void Refresh();
    // Topmost at (2, 0), the info bar directly below.
    void PlaceTopmost();
    // Balloon 1 … 5 with `text`, pointing at the screen point (x, y), or, when `anchorControl` is
    // a control id, at that console control's top-right corner. Callable from any thread.
    void ShowBalloon(int balloon, const std::string& text, int x, int y, int anchorControl = 0);
    // Takes balloon 1 … 5 down. Callable from any thread; keeps its order with ShowBalloon.
    void HideBalloon(int balloon);
    // The views the console creates hidden at its start.
    void CreatePatchNotice();
    void CreateHintWindows();

    // The balloon a practice run's guidance appears in (15 seconds).
    static constexpr int kGuideBalloon = 4;

    CDlg012* InfoBar() { return infoBar_; }
    HintBalloons& Balloons() { return *balloons_; }
    Markers* DebugMarkers() { return markers_.get(); }
    QWidget* Control(int id) const;

signals:
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The info bar stays directly below the console wherever the console is moved.
    void moveEvent(QMoveEvent* event) override;

private:
    void Build();
    void Apply(int id, const console::ControlSnapshot& s);
    void ApplyColours();
    void ShowGuide();
    void ShowBalloonOnGuiThread(int balloon, const QString& text, QPoint at, int anchorControl);
    // Debug mode: the markers on the calibrated points of the page view.
    void PlaceMarkers();

    console::CKestravaDlg& dlg_;
    std::map<int, QWidget*> widgets_;
    std::map<int, std::uint64_t> seen_;
    std::uint64_t lastChanges_ = ~0ull;
    QTimer refreshTimer_;
    CDlg012* infoBar_ = nullptr;
    std::unique_ptr<HintBalloons> balloons_;
    std::unique_ptr<Markers> markers_;
    CDlgBangzhu* patchNotice_ = nullptr;
    std::string shownHeader_, shownBody_;
    std::uint32_t shownGuideSerial_ = 0;
    int shownHeaderStyle_ = -1, shownBodyStyle_ = -1;
    bool closing_ = false;
};

// Builds the console for the login's values, runs it until it closes and returns the process's
// exit code (0 after an ordinary close; the console's own code when its start-up fails).
// `viewChanged` hears of the view once it exists and (with null) before it goes away, so the
// engine's balloons can reach it.
int RunConsole(platform::Platform platform, const console::LoginInfo& login, console::ConsoleHooks hooks = {},
               std::function<void(ConsoleView*)> viewChanged = {});

#if defined(KESTRAVA_HAVE_RUNTIME) || defined(KESTRAVA_HAVE_ENGINE)
// The engine's balloons, shown on whichever console view `view` holds (none while it holds null).
std::function<void(const engine::Hint&)> ShowBalloonsOn(const std::atomic<ConsoleView*>& view);
#endif
#ifdef KESTRAVA_HAVE_RUNTIME
// Every balloon request of the roles reaches the view `view` holds: the engine's hints, and the
// scan tick's hiding of balloons 1 and 2 once the auction has ended.
void LinkBalloons(const std::atomic<ConsoleView*>& view, runtime::RoleOptions& roles);
#endif

}  // namespace kestrava::gui
