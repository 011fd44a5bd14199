#include "perception_role/perception_role.h"


#include "config/settings.h"
#include "engine/engine.h"
#include "log/log_book.h"
#include "perception/auction_clock.h"
#include "perception/image_files.h"
#include "perception/price_rules.h"
#include "perception_role/scan_tick.h"
#include "perception/template_search.h"

namespace kestrava::perception {

namespace {

// A calibration raises the page, waits for it and searches it on the scan tick's thread: in the
// last minute that could hold a confirmation up, so a suspect price region is only noted there.
constexpr int kLastMinuteSeconds = 60;

constexpr int kModeLabel = 1143;
constexpr int kPricePreview = 1136;
constexpr int kChangePreview = 1144;
constexpr int kSecondLabel = 1159;

std::optional<Point> SearchPicture(const Bgr24Image& page, const std::string& path) {
    const std::optional<Bgr24Image> templ = LoadReferenceImage(path);
    if (!templ) return std::nullopt;
    return FindTemplate(page.View(), templ->View());
}

std::shared_ptr<const platform::Image> Shared(const std::optional<platform::Image>& picture) {
    if (!picture) return nullptr;
    return std::make_shared<const platform::Image>(*picture);
}

}  // namespace

PerceptionRole::PerceptionRole(PerceptionOptions options)
    : changeTracker(options.changePictureFile),
      options_(std::move(options)),
      reader_(options_.reader ? options_.reader : std::make_shared<PriceReader>()),
      geometry_(std::make_shared<GeometryStore>()) {}

// ---- Start-up

void PerceptionRole::ReadDisplayScale(console::CKestravaDlg& c) {
    c.state.displayScale = perception::ReadDisplayScale(c.platform.registry);
    // Until the first calibration the geometry is the file's anchor, unscaled.
    geometry_->Publish(InitialPageGeometry(options_.files.geometry));
}

bool PerceptionRole::InitOcr(console::CKestravaDlg& c) {
    // Only a real or a practice run reads prices; any other mode starts without engines.
    const int mode = c.state.moniornot.load();
    if (mode != 0 && mode != 1) return true;
    const TextEngineStatus status = reader_->Init(config::Read(config::conf::OCRfont), options_.ocrDataPath);
    if (!status.ok) log::DebugPrintf("%s\n", status.error.c_str());
    return status.ok;
}

// ---- Calibration

void PerceptionRole::SmartCalibrate(console::CKestravaDlg& c) {
    std::lock_guard lock(calibrateMutex_);
    CalibrationHost host{c.platform.desktop, c.platform.screen, *geometry_,
                         [&c](std::string_view line) { c.WriteLogLine(line); },
                         [this](PageGeometry& g) {
                             g.ocr_systime_left += clockRegionDx_;
                             g.ocr_systime_top += clockRegionDy_;
                         }};
    const CalibrationResult result = perception::SmartCalibrate(host, c.state.displayScale.load(), options_.files);
    ApplyCalibration(c, result);
}

bool PerceptionRole::MoveClockRegion(int controlId, console::SpinArrow arrow) {
    using console::SpinArrow;
    struct RegionMove {
        int control;
        SpinArrow arrow;
        int dx, dy;
    };
    // Screen rows grow downwards, so the up arrow lowers the top.
    static constexpr RegionMove kMoves[] = {
        {1156, SpinArrow::Up, 0, -1},
        {1156, SpinArrow::Down, 0, +1},
        {1157, SpinArrow::Left, -1, 0},
        {1157, SpinArrow::Right, +1, 0},
    };
    if (controlId != 1156 && controlId != 1157) return false;
    int dx = 0;
    int dy = 0;
    for (const RegionMove& m : kMoves) {
        if (m.control != controlId || m.arrow != arrow) continue;
        dx = m.dx;
        dy = m.dy;
    }
    if (dx == 0 && dy == 0) return true;  // an arrow the control does not have
    // Under the calibration lock, so a move is either in a calibration's geometry or made after it.
    std::lock_guard lock(calibrateMutex_);
    clockRegionDx_ += dx;
    clockRegionDy_ += dy;
    geometry_->Update([&](PageGeometry& g) {
        g.ocr_systime_left += dx;
        g.ocr_systime_top += dy;
    });
    return true;
}

void PerceptionRole::ApplyCalibration(console::CKestravaDlg& c, const CalibrationResult& result) {
    auto& s = c.state;
    s.systime_screentime = result.systime_screentime;
    s.swbidmode = result.swbidmode;
    s.wifidivmode = result.wifidivmode;
    // The click primitives take their points from the shell link: one whole record, swapped.
    s.SetGeometry(static_cast<const shell::PageGeometry&>(result.geometry));
    if (result.divmode) {
        s.divmode = *result.divmode;
        c.controls.SetText(kModeLabel, result.modeLabel);
    }
}

std::optional<Point> PerceptionRole::FindNetworkIcon(console::CKestravaDlg& c, bool allowRed) {
    platform::Desktop& desktop = c.platform.desktop;
    const platform::WindowId page = FindPageWindow(desktop);
    if (page == 0) return std::nullopt;
    const platform::Rect client = desktop.ClientRect(page).value_or(platform::Rect{});
    const std::optional<platform::Image> capture = CapturePage(desktop, c.platform.screen, client);
    if (!capture) return std::nullopt;
    const Bgr24Image lockedPage = LockAs24(*capture);
    const std::string& dir = options_.files.pictureDir;
    std::optional<Point> found = SearchPicture(lockedPage, dir + GreenTemplateName(c.state.displayScale.load()));
    if (!found && allowRed) found = SearchPicture(lockedPage, dir + kRedTemplateName);
    return found;
}

std::optional<Point> PerceptionRole::FindStartMark(console::CKestravaDlg& c) {
    const std::optional<Point> mark = FindNetworkIcon(c, true);
    if (mark) {
        // The console moves the shell link's anchor; the regions read here follow it.
        geometry_->Update([&](PageGeometry& g) {
            g.lvwf_x = mark->x;
            g.lvwf_y = mark->y;
        });
    }
    return mark;
}

// ---- The day

void PerceptionRole::ClearRunRecords(console::CKestravaDlg&) {
    PerceptionRecords& r = records;
    r.priceAt62 = 0;
    changeTracker.Reset();
    {
        std::lock_guard lock(gateMutex_);
        priceGate_.Reset();
    }
    r.iconCheckState = 0;
    r.finalShotState = 0;
    for (std::atomic<int>* flag :
         {&r.pageCovered, &r.updateCheckStarted, &r.calibrated3600, &r.calibrated2700, &r.calibratedSecondBid,
          &r.calibratedThirdBid, &r.calibrated70, &r.firstRevisionCalibrated, &r.endShotDone, &r.logUploadDone, &r.finalWatchStarted})
        *flag = 0;
}

// ---- The lowest price

std::optional<int> PerceptionRole::ScreenPrice(console::CKestravaDlg& c, const PageGeometry& g) {
    platform::Desktop& desktop = c.platform.desktop;
    if (c.state.debg.load() == config::kDebugModeValue)
        c.controls.SetPicture(kPricePreview, Shared(CaptureRegion(desktop, c.platform.screen, PriceRect(g))));
    // No engine (a run that reads no prices) or no page view: nothing was read, so nothing is
    // refused either, and no calibration could help.
    if (!reader_->Ready()) return std::nullopt;
    const std::optional<PixelBuffer> figure = GrabPriceFigure(desktop, c.platform.screen, g);
    if (!figure) return std::nullopt;
    const FigureReading reading = reader_->ReadFigure(*figure);

    GateContext context;
    context.tickMs = c.platform.clock.TickCount();
    context.figureHash = FigureHash(figure->bytes, figure->width, figure->height);
    if (engine_) {
        context.warningPrice = engine_->strategy.WarningPrice.load();
        const int fed = engine_->records.feedLowestPrice.load();
        context.feedPrice = fed;
        if (engine_->records.feedFresh.load() == 1 && fed > 0) context.freshFeedPrice = fed;
    }
    GateDecision d;
    int streak = 0;
    {
        std::lock_guard lock(gateMutex_);
        d = priceGate_.Judge(reading, context);
        streak = priceGate_.Streak();
    }
    if (!d.warningIgnored.empty()) c.WriteLogLine(d.warningIgnored);
    // Only a believed figure teaches the reader its glyphs: a misread learned would come back
    // from the cache on every figure that holds the same glyphs.
    if (d.price) reader_->Learn(reading);
    if (d.logRefusal) c.WriteLogLine("screen price refused: " + d.refusal);
    if (d.price && d.endedStreak > 0)
        c.WriteLogLine("screen price " + std::to_string(*d.price) + " believed again after " +
                       std::to_string(d.endedStreak) + " refused readings");
    if (d.calibrate && c.state.remainingSeconds.load() <= kLastMinuteSeconds) {
        c.WriteLogLine("price region suspect after " + std::to_string(streak) +
                       " refused readings: no calibration in the last minute");
    } else if (d.calibrate) {
        c.WriteLogLine("price region suspect after " + std::to_string(streak) + " refused readings: calibrating");
        reader_->ForgetGlyphs();
        if (const auto& calibrate = c.hooks().smartCalibrate)
            calibrate(c);
        else
            SmartCalibrate(c);
    }
    return d.price;
}

void PerceptionRole::ReadLowestPrice(console::CKestravaDlg& c) {
    if (!engine_) return;
    auto& s = c.state;
    engine::EngineState& feed = engine_->records;
    const int moniornot = s.moniornot.load();
    const int swbidmode = s.swbidmode.load();

    const int reportsSeen = feed.pageReportsSeen.load();
    if (FeedWatched(s.launchp.load(), s.pageLoginSeen.load() == 1, reportsSeen)) {
        int staleTicks = feed.feedStaleTicks.load();
        const bool wasFresh = feed.feedFresh.load() == 1;
        const FeedRhythm rhythm{
            s.remainingSeconds.load(),
            static_cast<std::int32_t>(c.platform.clock.TickCount() - feed.lastPageClockTick.load()),
            FeedQuietLimitMs(reportsSeen, feed.pageReportEveryMs.load())};
        const FeedVerdict v =
            WatchFeed(FeedWatch{feed.pageClock.load(), feed.lastPageClock.load(), staleTicks, wasFresh}, moniornot,
                      swbidmode, rhythm);
        // The feed handlers revive the feed on the interface thread meanwhile; their reset wins.
        feed.feedStaleTicks.compare_exchange_strong(staleTicks, v.next.feedStaleTicks);
        if (v.declaredDead) {
            int fresh = wasFresh ? 1 : 0;
            feed.feedFresh.compare_exchange_strong(fresh, 0);
            if (v.logDead) c.WriteLogLine("DPQD");
            if (v.statusText && s.auctionPhase.load() == 3) c.SetInfoHeader(*v.statusText, 2);
        }
        feed.lastPageClock = v.next.lastPageClock;
    }

    // A window over the page view puts its own pixels where the figure and the tracked region are:
    // neither is looked at until it has gone (no wait here: the scan tick must keep its rhythm).
    // The last good price stands meanwhile.
    const platform::WindowId view = FindPageView(c.platform.desktop);
    const bool covered = view != 0 && !c.platform.desktop.WaitUntilUncovered(view, 0);
    if (records.pageCovered.exchange(covered ? 1 : 0) != (covered ? 1 : 0))
        c.WriteLogLine(covered ? kScanCoveredText : kScanUncoveredText);

    const std::shared_ptr<const PageGeometry> g = geometry_->Get();
    const int r = s.remainingSeconds.load();
    std::optional<int> screenPrice = covered ? std::nullopt : ScreenPrice(c, *g);
    if (screenPrice && RecordsPriceAt62(r)) records.priceAt62 = *screenPrice;

    const bool fresh = feed.feedFresh.load() == 1;
    if (!covered && ChangeTrackingDue(fresh, swbidmode, r)) {
        const float scale = s.displayScale.load();
        const ChangeStep step =
            changeTracker.Step(TrackedRegionCapture(c.platform.desktop, c.platform.screen, *g, scale));
        if (step.firstRun) {
            std::optional<int> lastBelieved;
            {
                std::lock_guard lock(gateMutex_);
                lastBelieved = priceGate_.LastBelieved();
            }
            if (const std::optional<int> start = TrackingStart(records.priceAt62.load(), lastBelieved))
                s.lowestPrice = *start;
        }
        if (s.debg.load() == config::kDebugModeValue) c.controls.SetPicture(kChangePreview, Shared(step.current));
        // In a practice run a change seen while the page clock is not shown cannot be trusted; a
        // region that could not be captured says nothing. Either way the reading stands.
        const bool hold = moniornot == 1 && c.controls.Text(kSecondLabel).empty();
        const bool counted = !screenPrice && step.verdict == ChangeVerdict::Changed;
        if (const std::optional<int> tracked =
                TrackedScreenPrice(screenPrice, step.verdict, s.lowestPrice.load(), hold)) {
            screenPrice = tracked;
            if (counted) c.WriteLogLine("最低价上涨为 " + std::to_string(*tracked));
        }
    }

    const PriceSource source = SelectPriceSource(moniornot, swbidmode, fresh);
    const std::optional<PricePublication> p = PublishLowestPrice(source, feed.feedLowestPrice.load(), screenPrice, r);
    if (!p) return;
    s.lowestPrice = p->lowestPrice;
    s.lowestText.Set(p->lowestText);
    if (p->upperText) c.controls.SetText(1106, *p->upperText);
    if (p->lowestShown) c.controls.SetText(1105, *p->lowestShown);
    c.controls.SetText(1155, p->label);
}

// ---- The remaining time

bool PerceptionRole::UpdateRemainingTime(console::CKestravaDlg& c) {
    auto& s = c.state;
    const platform::WindowId page = s.pageWindow.load();
    if (page == 0 || s.auctionPhase.load() == 0 || s.pageShellLost.load() == 1 || !s.PageWindowTakenIn(page))
        return false;
    platform::Clock& clock = c.platform.clock;

    RemainingTimeInputs in;
    in.systime_screentime = s.systime_screentime.load();
    in.auctionPhase = s.auctionPhase.load();
    in.moniornot = s.moniornot.load();
    in.swbidmode = s.swbidmode.load();
    in.pcNow = clock.EpochMillis() / 1000;
    in.auctionEnd = s.auctionEnd.load();
    in.remainingSeconds = s.remainingSeconds.load();
    if (engine_) {
        in.feedFresh = engine_->PageClockCurrent(c);
        in.pageClock = engine_->records.pageClock.load();
        const platform::LocalTime page = clock.EpochMillisToLocal(in.pageClock * 1000);
        in.pageClockMinute = page.minute;
        in.pageClockSecond = page.second;
    }

    const RemainingTimeUpdate u = ComputeRemainingTime(in);
    if (u.pageMinute) s.pageMinute = *u.pageMinute;
    if (u.pageSecond) s.pageSecond = *u.pageSecond;
    if (u.clockNow) {
        records.clockNow = *u.clockNow;
        const platform::LocalTime now = clock.EpochMillisToLocal(*u.clockNow * 1000);
        const platform::LocalTime end = clock.EpochMillisToLocal(in.auctionEnd * 1000);
        c.controls.SetText(1043, ClockText(now.hour * 3600 + now.minute * 60 + now.second));
        c.controls.SetText(1045, ClockText(end.hour * 3600 + end.minute * 60 + end.second));
    }
    if (u.remainingSeconds) s.remainingSeconds = *u.remainingSeconds;
    if (u.remainingText) records.remainingText.Set(*u.remainingText);
    if (u.remainingDisplay)
        s.remainingDisplay = u.remainingDisplay->hour * 3600 + u.remainingDisplay->minute * 60 + u.remainingDisplay->second;
    return true;
}

// ---- Wiring

void AttachPerception(const std::shared_ptr<PerceptionRole>& role, console::ConsoleHooks& hooks) {
    using console::CKestravaDlg;
    hooks.readDisplayScale = [role](CKestravaDlg& c) { role->ReadDisplayScale(c); };
    hooks.initOcr = [role](CKestravaDlg& c) { return role->InitOcr(c); };
    hooks.smartCalibrate = [role](CKestravaDlg& c) { role->SmartCalibrate(c); };
    hooks.findStartMark = [role](CKestravaDlg& c) { return role->FindStartMark(c); };
    hooks.pageStateTick = [role](CKestravaDlg& c) { role->PageStateTick(c); };
    hooks.scanTick = [role](CKestravaDlg& c) { role->ScanTick(c); };
    hooks.spinMoved = [role, next = hooks.spinMoved](CKestravaDlg& c, int id, console::SpinArrow arrow) {
        if (!role->MoveClockRegion(id, arrow) && next) next(c, id, arrow);
    };
    // The engine's records are reset too; whichever attached first keeps its place.
    hooks.clearRunRecords = [role, next = hooks.clearRunRecords](CKestravaDlg& c) {
        if (next) next(c);
        role->ClearRunRecords(c);
    };
}

void LinkEngineOptions(engine::EngineOptions& options, const std::shared_ptr<PerceptionRole>& role) {
    const std::weak_ptr<PerceptionRole> weak = role;
    options.readLowestPrice = [weak](console::CKestravaDlg& c) {
        if (const auto r = weak.lock()) r->ReadLowestPrice(c);
    };
    options.updateRemainingTime = [weak](console::CKestravaDlg& c) {
        const auto r = weak.lock();
        return r && r->UpdateRemainingTime(c);
    };
    options.geometry = role->geometry();
}

}  // namespace kestrava::perception
