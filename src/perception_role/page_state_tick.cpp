// The page-state tick (every 900 ms on its own timer thread) and the page-state checks it and the
// scan tick share: the network icon shortly before the end, the timed calibrations of the day,
// the update check's window, and the end-of-auction screenshots.
//
// The period is shorter than a second, so every value of the remaining time is seen by at least
// one tick while it counts down; a value the clock skips triggers nothing.
#include <filesystem>
#include <limits>

#include "engine/engine.h"
#include "perception/image_files.h"
#include "perception_role/perception_role.h"
#include "perception_role/scan_tick.h"
#include "perception/template_search.h"

namespace kestrava::perception {

namespace {

constexpr int kRemainingDisplay = 1046;
constexpr int kIconCheckSecond = 115;  // 11:28:05
constexpr int kLastCalibrationSecond = 70;  // 11:28:50
constexpr int kConsoleAsideX = -80;
// The update check runs between 11:00 + jitter and 11:07, away from the last minutes.
constexpr std::int64_t kUpdateWindowFrom = 1800;
constexpr std::int64_t kUpdateWindowTo = 2220;

std::string ResultShotPath(const PerceptionOptions& o, console::CKestravaDlg& c, const char* suffix) {
    return o.resultShotFolder + c.state.bidNumber.Get() + suffix;
}

// A whole-screen capture saved as a bitmap; false when nothing could be written.
bool SaveScreen(console::CKestravaDlg& c, const std::string& path) {
    const platform::Rect screen = c.platform.desktop.ScreenRect();
    const std::optional<platform::Image> shot =
        CaptureScreen(c.platform.screen, platform::Rect{0, 0, screen.Width(), screen.Height()});
    if (!shot) return false;
    // The evidence of the day matters more than the tidiness of the installation folder.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return SaveBitmapFile(*shot, path);
}

}  // namespace

void PerceptionRole::MoveConsole(console::CKestravaDlg& c, int x, int y, bool topmost) {
    if (options_.moveConsole) {
        options_.moveConsole(x, y, topmost);
        return;
    }
    if (const platform::WindowId w = c.platform.desktop.FindWindowByTitle(console::kConsoleTitle))
        c.platform.desktop.Place(w, x, y, topmost, false);
}

void PerceptionRole::PageStateTick(console::CKestravaDlg& c) {
    auto& s = c.state;
    PerceptionRecords& rec = records;
    const int r = s.remainingSeconds.load();

    const std::int64_t now = c.platform.clock.EpochMillis() / 1000;
    const std::int64_t start = s.auctionStart.load();
    const std::int64_t from = start + kUpdateWindowFrom + s.jitterSeconds.load() + 60LL * s.jitterMinutes.load();
    if (now > from && now < start + kUpdateWindowTo && !rec.updateCheckStarted.exchange(1)) {
        if (!c.platform.desktop.FindWindowByTitle(console::kUpdaterTitle)) {
            if (const auto& check = c.hooks().startUpdateCheck) check(c);
        }
    }

    if (s.runState.load() == 2) {
        c.controls.SetText(kRemainingDisplay, ClockText(s.remainingDisplay.load()));
    }

    // At most one timed calibration per tick, in this order.
    // Without a strategy there is no bid time to calibrate before (and r may well be negative);
    // a bid moment at the end or later (0, the default) schedules no bid, so nothing to prepare:
    // a calibration 5 s before the end would only hold the page while the bidder's code waits.
    constexpr int kNever = std::numeric_limits<int>::min();
    const auto before = [this](std::atomic<int> strategy::StrategyValues::*moment) {
        const int at = engine_ ? (engine_->strategy.*moment).load() : 0;
        return at > 0 ? at + 5 : kNever;
    };
    const int secondBid = before(&strategy::StrategyValues::SecondBidTime);
    const int thirdBid = before(&strategy::StrategyValues::ThirdBidTime);
    const struct {
        int at;
        std::atomic<int>* done;
    } calibrations[] = {
        {3600, &rec.calibrated3600},
        {2700, &rec.calibrated2700},
        {secondBid, &rec.calibratedSecondBid},
        {thirdBid, &rec.calibratedThirdBid},
    };
    for (const auto& row : calibrations) {
        if (row.at != r || row.done->load() != 0) continue;
        *row.done = 1;
        SmartCalibrate(c);
        break;
    }

    if (r == kIconCheckSecond) {
        int notYet = 0;
        if (rec.iconCheckState.compare_exchange_strong(notYet, 1)) {
            const platform::WindowId page = c.shell.RefreshPageWindow();
            // Searched only once the page is on top; a page that stays covered gets the same
            // remedy as one without its icon.
            const bool onTop = RaisePage(c.platform.desktop, page);
            if (page && !onTop) c.WriteLogLine(kPageCoveredText);
            if (!onTop || !FindNetworkIcon(c, false)) {
                rec.iconCheckState = 2;
                // The console steps back so the page shell can show its window in full.
                MoveConsole(c, kConsoleAsideX, 0, false);
                if (page) {
                    c.platform.desktop.SetForeground(page);
                    c.shell.AskStatusIconRecovery();
                }
            }
        }
    }

    if (r == kLastCalibrationSecond && !rec.calibrated70.exchange(1)) {
        SmartCalibrate(c);
        if (rec.iconCheckState.load() == 2) MoveConsole(c, kConsoleAsideX, 0, true);
    }
}

void PerceptionRole::ShootAuctionEnd(console::CKestravaDlg& c) {
    c.WriteLogLine("pinmushot301");
    const std::string path = ResultShotPath(options_, c, "_BidEnd.bmp");
    SaveScreen(c, path);
    records.lastShotPath.Set(path);
    // Queued even when not written: the upload then reports the missing file.
    c.state.uploadQueue.With([&](auto& q) { q.push_back(path); });
}

void PerceptionRole::WatchFinalResult(console::CKestravaDlg& c) {
    const std::shared_ptr<const PageGeometry> g = geometry_->Get();
    const int left = SaturatingSum({g->lvwf_x, g->youdoufugan_left});
    const int top = SaturatingSum({g->lvwf_y, g->youdoufugan_top});
    const platform::Rect area{left, top, SaturatingSum({left, g->youdoufugan_width}),
                              SaturatingSum({top, g->youdoufugan_height})};
    const std::optional<platform::Image> region = CaptureRegion(c.platform.desktop, c.platform.screen, area);
    if (!region) return;
    const std::optional<Bgr24Image> ok = LoadReferenceImage(options_.files.pictureDir + kOkButtonPicture);
    if (!ok || !FindTemplate(LockAs24(*region).View(), ok->View())) return;

    records.finalShotState = 2;
    c.WriteLogLine("zhongpic dialog popup");
    const std::string path = ResultShotPath(options_, c, "_BidFinal.bmp");
    SaveScreen(c, path);
    records.lastShotPath.Set(path);
    records.finalShotState = 3;
}

}  // namespace kestrava::perception
