// Screen perception in the console: the role that owns the text-recognition engines, the
// published page geometry, the change tracker and the records of the page-state and scan ticks,
// and plugs them into the console's hooks and the engine's options.
//
// Threads: the page-state tick (900 ms) and the scan tick (scanInterval) run on their own timer
// threads, UpdateRemainingTime in the engine's submit step (on the submit tick's thread, or on the
// interface thread right after a page report; one at a time), the hooks of the start-up, the
// buttons and the messages on the interface thread. Calibration may start from any of them; calibrations are
// serialised and each publishes a complete geometry, so a tick always works on one whole record.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console/console.h"
#include "perception/calibration.h"
#include "perception/change_tracker.h"
#include "perception/page_geometry.h"
#include "perception/price_gate.h"
#include "perception/price_reader.h"
#include "perception_role/scan_tick.h"

namespace kestrava::engine {
class Engine;
struct EngineOptions;
}  // namespace kestrava::engine

namespace kestrava::perception {

inline constexpr char kResultShotFolder[] = ".//ScreenShot//del1//samples//";
inline constexpr char kOkButtonPicture[] = "ok.bmp";

// What the role needs besides the console; every member has a working default.
struct PerceptionOptions {
    CalibrationFiles files;                      // geometry, conf.ini, the reference pictures
    std::string changePictureFile = kChangePictureFile;
    std::string resultShotFolder = kResultShotFolder;
    std::string logDirectory = "./Log";          // where the page shell keeps its day log
    const char* ocrDataPath = nullptr;           // the text-recognition data; null: the library's
    // The engines, when shared with another user (tests and benchmarks start them once) or
    // replaced by a recogniser (the replay's fake page); a role without one makes its own.
    std::shared_ptr<PriceReader> reader;
    // The uploads after a real auction (net's UploadLogs and UploadFinalResult by default).
    std::function<int(const std::vector<std::string>& queue, const std::string& logCopy, const std::string& ieLog)>
        uploadLogs;
    std::function<bool(const std::string& bidNumber)> uploadFinalResult;
    // Moves the console's main window (x, y, topmost) without resizing it; by default the window
    // titled like the console is placed through the desktop.
    std::function<void(int x, int y, bool topmost)> moveConsole;
    // Debug markers: marker 1 … 7 at a screen point, 10 x 10, shown without activation.
    std::function<void(int marker, Point screenPoint)> placeMarker;
    // Hides hint balloon n (the views' part); the scan tick hides 1 and 2 after the end.
    std::function<void(int n)> hideBalloon;
};

// The per-run records; the auction-day reset gives them these values.
struct PerceptionRecords {
    std::atomic<int> priceAt62{0};          // screen price read with 62 or 63 seconds left
    std::atomic<std::int64_t> clockNow{0};  // "now" as last used for the remaining time
    console::Guarded<std::string> remainingText;
    std::atomic<int> iconCheckState{0};   // 0 not yet, 1 icon present, 2 icon missing
    std::atomic<int> finalShotState{0};   // 0 idle, 1 watching, 2 seen, 3 saved, 4 uploaded
    console::Guarded<std::string> lastShotPath;  // kept over resets
    console::Guarded<std::string> logCopyPath;   // the day's log copied after the end
    // Another window lay over the page view at the last scan: the screen showed that window, not
    // the page, so its pixels were neither read as a price nor compared for a change.
    std::atomic<int> pageCovered{0};

    // One-shot actions of the auction day.
    std::atomic<int> updateCheckStarted{0};
    std::atomic<int> calibrated3600{0}, calibrated2700{0}, calibratedSecondBid{0}, calibratedThirdBid{0};
    std::atomic<int> calibrated70{0};
    std::atomic<int> firstRevisionCalibrated{0};
    std::atomic<int> endShotDone{0};
    std::atomic<int> logUploadDone{0};
    std::atomic<int> finalWatchStarted{0};
};

class PerceptionRole {
public:
    explicit PerceptionRole(PerceptionOptions options = {});
    PerceptionRole(const PerceptionRole&) = delete;
    PerceptionRole& operator=(const PerceptionRole&) = delete;

    // The engine whose bid tick, key handler and smart-submit check the scan tick runs; set
    // before the console starts its timers.
    void SetEngine(std::shared_ptr<engine::Engine> engine) { engine_ = std::move(engine); }

    // ---- Console hooks
    void ReadDisplayScale(console::CKestravaDlg& c);
    bool InitOcr(console::CKestravaDlg& c);
    // Calibrates, applies the action mode and its label ("OK A" / "OK B" on control 1143) and
    // gives the shell link its slice of the geometry.
    void SmartCalibrate(console::CKestravaDlg& c);
    std::optional<Point> FindStartMark(console::CKestravaDlg& c);
    void PageStateTick(console::CKestravaDlg& c);
    void ScanTick(console::CKestravaDlg& c);
    void ClearRunRecords(console::CKestravaDlg& c);
    // The two up-down controls beside the screen-time preview move the page-clock region a pixel
    // the way the clicked arrow points: 1156 (upright) up or down, 1157 (sideways) left or right.
    // The moves last until the program ends, across calibrations. False for any other control.
    bool MoveClockRegion(int controlId, console::SpinArrow arrow);

    // ---- Engine entry points
    // First step of the bid tick: feed freshness, the screen reading, the change tracker, the
    // source of the price and its publication.
    void ReadLowestPrice(console::CKestravaDlg& c);
    // First step of the submit tick; false when there is no page window (or one the one-second
    // tick has not taken in yet) or no auction phase.
    bool UpdateRemainingTime(console::CKestravaDlg& c);

    // ---- Page-state detection
    std::optional<Point> FindNetworkIcon(console::CKestravaDlg& c, bool allowRed);
    void ShootAuctionEnd(console::CKestravaDlg& c);
    void WatchFinalResult(console::CKestravaDlg& c);

    PerceptionRecords records;
    ChangeTracker changeTracker;
    PriceReader& reader() { return *reader_; }
    const std::shared_ptr<GeometryStore>& geometry() const { return geometry_; }
    const PerceptionOptions& options() const { return options_; }

private:
    void ApplyCalibration(console::CKestravaDlg& c, const CalibrationResult& result);
    void KeepControlsConsistent(console::CKestravaDlg& c);
    void PlaceMarkers(console::CKestravaDlg& c, platform::WindowId view);
    void ShowPageClock(console::CKestravaDlg& c);
    void EndOfAuction(console::CKestravaDlg& c, std::int64_t nowMs);
    void MoveConsole(console::CKestravaDlg& c, int x, int y, bool topmost);
    // The screen's price for this tick: the figure read, then judged by the price gate; a
    // refusal is logged once per streak and a long streak asks for a calibration.
    std::optional<int> ScreenPrice(console::CKestravaDlg& c, const PageGeometry& g);

    PerceptionOptions options_;
    std::shared_ptr<PriceReader> reader_;
    std::shared_ptr<GeometryStore> geometry_;
    std::shared_ptr<engine::Engine> engine_;
    HotKeyPresses hotKeys_;      // the scan tick's, on its thread
    std::mutex calibrateMutex_;  // one calibration at a time, from whichever thread
    // Judged on the scan-tick thread, forgotten by the auction-day reset on the interface thread.
    std::mutex gateMutex_;
    PriceGate priceGate_;
    // The page-clock region's moves so far, added to every calibrated geometry (under
    // calibrateMutex_).
    int clockRegionDx_ = 0;
    int clockRegionDy_ = 0;
};

// Fills the console's perception hooks (display scale, OCR, calibration, start mark, page-state
// and scan ticks) and adds the role's records to the auction-day reset.
void AttachPerception(const std::shared_ptr<PerceptionRole>& role, console::ConsoleHooks& hooks);

// Gives the engine the role's price reading, remaining time and geometry. The engine holds the
// role weakly: the role holds the engine.
void LinkEngineOptions(engine::EngineOptions& options, const std::shared_ptr<PerceptionRole>& role);

}  // namespace kestrava::perception
