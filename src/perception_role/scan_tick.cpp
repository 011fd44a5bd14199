// The scan tick: the console's main loop of the auction day, every scanInterval ms on its own
// timer thread (which never starts a tick while the previous one runs). Each tick re-finds the
// page, polls the hot keys, keeps the controls consistent, runs the end-of-auction sequence and,
// in the revision phase, the engine's bid tick. Nothing here waits for the page: every step acts
// on what it sees this tick or leaves the work to a later one.
#include "perception_role/scan_tick.h"

#include <cstdio>
#include <filesystem>

#include "config/settings.h"
#include "engine/engine.h"
#include "log/log_book.h"
#include "net/oss_upload.h"
#include "perception/auction_clock.h"
#include "perception/image_files.h"
#include "perception_role/perception_role.h"

namespace kestrava::perception {

namespace {

constexpr int kAppliedPrice = 1104;
constexpr int kLowestShown = 1105;
constexpr int kUpperShown = 1106;
constexpr int kRemainingDisplay = 1046;
constexpr int kMinuteLabel = 1158;
constexpr int kSecondLabel = 1159;
constexpr int kEndShotDelay = 5;        // seconds after the end
constexpr int kInfoDialogDelay = 185;   // the page's information dialog is confirmed
constexpr int kFinalWatchDelay = 195;   // the result dialog is looked for
constexpr int kFirstRevisionCalibration = 1799;
// The auction is over once no time is left; or, should the page's clock stop short of the end
// (the practice page reports no time after its end, so the time left stays at 1), once the PC
// clock is this far past the end. The margin allows for a PC clock running a little ahead.
constexpr std::int64_t kOverByPcClockMs = 2000;
constexpr int kAcceptWindow = 300;

constexpr int kSecondBidControls[] = {1094, 1095, 1096, 1013, 1015, 1050};
constexpr int kThirdBidControls[] = {1132, 1133, 1123, 1018, 1020, 1053};
constexpr int kRiseRowControls[] = {1074, 1075, 1076, 1077, 1078, 1079, 1080, 1081, 1085,
                                    1086, 1087, 1107, 1108, 1109, 1110, 1220, 1221, 1222};
constexpr int kForcedControls[] = {1167, 1169, 1170};

constexpr ControlRule kControlRules[] = {
    {1010, 0, kSecondBidControls, 0, true},
    {1125, 0, kThirdBidControls, 1150, true},
    {0, 1150, kRiseRowControls, 0, false},
    {1061, 0, kForcedControls, 0, true},
};

// Prices are compared in 64 bits: a corrupt lowest price near the int limit must not wrap.
struct GapRow {
    bool (*holds)(long long p, long long l);
    int gapClass;
};
// First matching row wins; no row leaves the class as it is.
constexpr GapRow kGapRows[] = {
    {[](long long p, long long l) { return p > l + 500 || p < l; }, 1},
    {[](long long p, long long l) { return p <= l + kAcceptWindow; }, 2},
    {[](long long p, long long l) { return p == l + 400; }, 3},
    {[](long long p, long long l) { return p == l + 500; }, 4},
};

// The seven debug markers and the calibrated point each stands for.
Point MarkerOffset(const PageGeometry& g, int marker) {
    switch (marker) {
        case 1: return g.vk_ret_code_enter[0];
        case 2: return g.plusinput_picPot;
        case 3: return g.plusbutton_picPot;
        case 4: return Point{g.vk_esc_x, g.vk_esc_y};
        case 5: return g.bidinput_picPot;
        case 6: return g.bidbutton_picPot;
        default: return Point{g.vk_ret_info_enterx, g.vk_ret_info_entery};
    }
}
constexpr int kMarkers = 7;

std::string TwoDigits(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

std::string FileStamp(const platform::LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

bool JpegFromBitmap(const std::string& bmpPath, const std::string& jpgPath) {
    const std::optional<platform::Image> picture = LoadBitmapFile(bmpPath);
    return picture && SaveJpeg(*picture, jpgPath) == JpegStatus::Ok;
}

}  // namespace

std::span<const ControlRule> ControlRules() { return kControlRules; }

std::optional<int> GapClass(int applied, int lowest) {
    for (const GapRow& row : kGapRows)
        if (row.holds(applied, lowest)) return row.gapClass;
    return std::nullopt;
}

std::string ClockText(std::int64_t secondsOfDay) {
    if (secondsOfDay < 0) secondsOfDay = 0;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(secondsOfDay / 3600 % 24),
                  static_cast<int>(secondsOfDay / 60 % 60), static_cast<int>(secondsOfDay % 60));
    return text;
}

void PerceptionRole::KeepControlsConsistent(console::CKestravaDlg& c) {
    console::ConsoleControls& controls = c.controls;
    for (const ControlRule& rule : kControlRules) {
        const bool on = rule.box != 0 ? controls.IsChecked(rule.box) : controls.Exists(rule.existsId);
        if (!on && !rule.disables) continue;
        for (int id : rule.controls) controls.Enable(id, on);
        if (!on && rule.clears != 0) controls.SetCheck(rule.clears, 0);
    }
}

void PerceptionRole::PlaceMarkers(console::CKestravaDlg& c, platform::WindowId view) {
    if (!options_.placeMarker) return;
    const std::optional<platform::Rect> viewRect = c.platform.desktop.WindowRect(view);
    if (!viewRect) return;
    const std::shared_ptr<const PageGeometry> g = geometry_->Get();
    for (int marker = 1; marker <= kMarkers; ++marker) {
        const Point offset = MarkerOffset(*g, marker);
        options_.placeMarker(marker, AnchoredPoint(*g, *viewRect, offset.x, offset.y));
    }
}

void PerceptionRole::ShowPageClock(console::CKestravaDlg& c) {
    auto& s = c.state;
    if (s.auctionPhase.load() == 3) {
        platform::Clock& clock = c.platform.clock;
        const bool fresh = engine_ && engine_->records.feedFresh.load() == 1;
        const std::int64_t pageClock = engine_ ? engine_->records.pageClock.load() : 0;
        const platform::LocalTime page = clock.EpochMillisToLocal(pageClock * 1000);
        std::optional<platform::LocalTime> shown;
        if (s.moniornot.load() == 0) {
            shown = fresh && s.swbidmode.load() != 2 ? page : clock.EpochMillisToLocal(records.clockNow.load() * 1000);
        } else if (s.moniornot.load() == 1 && page.minute <= 30) {
            shown = page;
        }
        if (shown) {
            c.controls.SetText(kMinuteLabel, TwoDigits(shown->minute));
            c.controls.SetText(kSecondLabel, TwoDigits(shown->second));
        }
    }
    c.controls.SetText(kRemainingDisplay, ClockText(s.remainingDisplay.load()));
}

void PerceptionRole::EndOfAuction(console::CKestravaDlg& c, std::int64_t nowMs) {
    auto& s = c.state;
    PerceptionRecords& rec = records;
    const std::int64_t end = s.auctionEnd.load();
    const auto laterThan = [&](std::int64_t secondsAfterEnd) { return nowMs > (end + secondsAfterEnd) * 1000; };
    const std::string bidNumber = s.bidNumber.Get();
    const net::UploadContext upload{c.platform.clock, JpegFromBitmap};

    if (laterThan(kEndShotDelay) && !rec.endShotDone.exchange(1)) {
        c.logBook.FlushLog(bidNumber);
        const std::string dayLog = s.uploadQueue.With([](auto& q) { return q.empty() ? std::string() : q.front(); });
        if (!dayLog.empty()) {
            const std::string copy = dayLog + "_" + FileStamp(c.platform.clock.Now());
            std::error_code ec;
            std::filesystem::copy_file(dayLog, copy, std::filesystem::copy_options::overwrite_existing, ec);
            if (ec) log::DebugPrintf("copy %s failed: %s\n", dayLog.c_str(), ec.message().c_str());
            rec.logCopyPath.Set(copy);
        }
        ShootAuctionEnd(c);
    }

    const std::int64_t uploadDelay = s.jitterSeconds.load() + 60LL * s.jitterCoin.load();
    if (laterThan(uploadDelay) && !rec.logUploadDone.exchange(1)) {
        c.WriteLogLine("upload rizhi");
        const std::vector<std::string> queue =
            s.uploadQueue.With([](auto& q) { return std::vector<std::string>(q.begin(), q.end()); });
        const std::string ieLog = net::IeLogPath(options_.logDirectory, bidNumber, c.platform.clock.Now());
        if (options_.uploadLogs)
            options_.uploadLogs(queue, rec.logCopyPath.Get(), ieLog);
        else
            net::UploadLogs(upload, queue, rec.logCopyPath.Get(), ieLog);
    }

    if (laterThan(kInfoDialogDelay) && !rec.finalWatchStarted.exchange(1)) {
        rec.finalShotState = 1;
        c.shell.CloseInfoDialog();
        c.WriteLogLine("upload zhongpic midenter");
    }

    if (laterThan(kFinalWatchDelay) && rec.finalShotState.load() == 1) WatchFinalResult(c);

    int saved = 3;
    if (rec.finalShotState.compare_exchange_strong(saved, 4)) {
        if (options_.uploadFinalResult)
            options_.uploadFinalResult(bidNumber);
        else
            net::UploadFinalResult(upload, bidNumber);
    }
}

void PerceptionRole::ScanTick(console::CKestravaDlg& c) {
    auto& s = c.state;

    const shell::PageWindows page = c.shell.RefreshPageWindows();

    if (s.debg.load() == config::kDebugModeValue && page.view) PlaceMarkers(c, page.view);

    for (std::size_t i = 0; i < kHotKeys.size(); ++i) {
        const platform::KeyState k = c.platform.keyboard.Query(kHotKeys[i]);
        if (hotKeys_.Pressed(i, k) && engine_) engine_->HandleKey(c, kHotKeys[i]);
    }

    KeepControlsConsistent(c);

    if (!page.window || s.pageShellLost.load() == 1 || !s.PageWindowTakenIn(page.window)) return;

    if (engine_ && engine_->records.submission.Armed()) {
        const int applied = s.appliedPrice.load();
        const int lowest = s.lowestPrice.load();
        if (applied > lowest) s.statusText.Set("自动提交开启 差价=" + std::to_string(applied - lowest));
        s.statusClass = 1;
        if (const auto& refresh = c.hooks().refreshControls) refresh(c);
        engine_->SmartSubmitCheck(c);
    } else {
        s.statusClass = 0;
        s.statusText.Set("----");
    }

    const std::int64_t nowMs = c.platform.clock.EpochMillis();
    const int mode = s.moniornot.load();
    if (mode == 0) {
        const AuctionTimes times = RealAuctionTimes(c.platform.clock, s.starttimehour.load(), s.endtimehour.load());
        s.auctionStart = times.auctionStart;
        s.auctionEnd = times.auctionEnd;
    }

    const int phase = s.auctionPhase.load();
    if (phase == 0) {
        c.controls.SetText(kLowestShown, "0");
        c.controls.SetText(kUpperShown, "300");
        c.controls.SetText(kAppliedPrice, "-----");
        s.gapClass = 0;
        return;
    }

    if (s.systime_screentime.load() == 1) ShowPageClock(c);

    if (mode == 0) EndOfAuction(c, nowMs);

    if (phase == 2) {
        c.controls.SetText(kAppliedPrice, "修改阶段显示");
        c.SetInfoHeader("请用户操作首次出价，到修改阶段，软件开始工作", 1);
        return;
    }
    if (phase != 3) return;

    const int applied = s.appliedPrice.load();
    c.controls.SetText(kAppliedPrice, applied == 0 ? std::string("-----") : std::to_string(applied));
    if (const std::optional<int> gap = GapClass(applied, s.lowestPrice.load())) s.gapClass = *gap;

    if (engine_) engine_->BidTick(c);

    if (s.remainingSeconds.load() <= kFirstRevisionCalibration && engine_ &&
        engine_->records.feedLowestPrice.load() != 0 && !records.firstRevisionCalibrated.exchange(1)) {
        log::DebugPrintf("11点找wifi \n");
        SmartCalibrate(c);
    }

    // Once the auction has ended nothing is pending any more: the hints about the submission
    // (balloons 1 and 2) come down, and no countdown to an application stays in the info bar.
    if (s.remainingSeconds.load() <= 0 || nowMs >= s.auctionEnd.load() * 1000 + kOverByPcClockMs) {
        if (options_.hideBalloon) {
            options_.hideBalloon(1);
            options_.hideBalloon(2);
        }
        c.SetInfoBody("");
    }
}

}  // namespace kestrava::perception
