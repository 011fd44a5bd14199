// The perception role and the engine attached to a console on the fake platform, in a scratch
// installation folder: the page shell's windows on the fake desktop (page view at (0, 30)), the
// auction clock of a real run ending at 11:30:00, and recorders for what leaves the role (the
// uploads, the console's moves, the balloons hidden).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "engine/engine.h"
#include "perception/image_files.h"
#include "perception_role/perception_role.h"
#include "platform/fake/fake_platform.h"
#include "unit/console/console_rig.h"

namespace kestrava::perception::testing {

using platform::LocalTime;
using platform::fake::MakeLocal;
using console::testing::Settings;

struct UploadCall {
    std::vector<std::string> queue;
    std::string logCopy;
    std::string ieLog;
};

struct ConsoleMove {
    int x, y;
    bool topmost;
    bool operator==(const ConsoleMove&) const = default;
};

struct PerceptionRig : console::testing::ConsoleRig {
    explicit PerceptionRig(LocalTime start = MakeLocal(2026, 12, 10, 11, 20, 0),
                           std::shared_ptr<PriceReader> reader = nullptr)
        : ConsoleRig(start) {
        std::filesystem::create_directories("ScreenShot");
        PerceptionOptions o;
        o.reader = std::move(reader);
        o.uploadLogs = [this](const std::vector<std::string>& q, const std::string& copy, const std::string& ie) {
            uploads.push_back({q, copy, ie});
            return static_cast<int>(q.size());
        };
        o.uploadFinalResult = [this](const std::string& bid) {
            finalUploads.push_back(bid);
            return true;
        };
        o.moveConsole = [this](int x, int y, bool topmost) { moves.push_back({x, y, topmost}); };
        o.hideBalloon = [this](int n) { hidden.push_back(n); };
        o.placeMarker = [this](int marker, Point p) { markers.push_back({marker, p}); };
        role = std::make_shared<PerceptionRole>(std::move(o));
        engine::EngineOptions eo;
        LinkEngineOptions(eo, role);
        engine = std::make_shared<engine::Engine>(std::move(eo));
        engine::Engine::Attach(engine, hooks);
        role->SetEngine(engine);
        AttachPerception(role, hooks);
        hooks.smartCalibrate = [this, next = hooks.smartCalibrate](console::CKestravaDlg& c) {
            ++calibrations;
            next(c);
        };
        hooks.startUpdateCheck = [this](console::CKestravaDlg&) { ++updateChecks; };
        AddPage();
        Make();
        auto& s = console->state;
        s.pageWindow = page;
        s.pageView = view;
        s.auctionStart = At(10, 30, 0);
        s.auctionEnd = At(11, 30, 0);
        console->ResetAuctionDay();
    }
    ~PerceptionRig() {
        scanTimer.reset();
        submitTimer.reset();
        pageStateTimer.reset();
    }

    console::CKestravaDlg& c() { return *console; }
    console::ConsoleState& s() { return console->state; }
    PerceptionRecords& rec() { return role->records; }

    std::int64_t At(int h, int m, int sec) { return fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, h, m, sec)); }
    void AdvanceTo(int h, int m, int sec, int ms = 0) { fp.clock.AdvanceTo(MakeLocal(2026, 12, 10, h, m, sec, ms)); }

    // The console's three perception-driven ticks at their default periods.
    void StartTicks(bool withSubmit = true) {
        pageStateTimer = fp.clock.StartPeriodic(900, [this] { hooks.pageStateTick(*console); });
        scanTimer = fp.clock.StartPeriodic(100, [this] { hooks.scanTick(*console); });
        if (withSubmit) submitTimer = fp.clock.StartPeriodic(10, [this] { hooks.submitTick(*console); });
    }

    // Messages posted to the page window or the page view (numbers only), then forgotten.
    std::vector<std::uint32_t> PagePosts() {
        std::vector<std::uint32_t> out;
        for (const auto& m : fp.desktop.Posted())
            if (m.window == page || m.window == view) out.push_back(m.message.msg);
        fp.desktop.ClearPosted();
        return out;
    }

    int LoggedCount(const std::string& line) const {
        int n = 0;
        for (const std::string& l : LogMessages()) n += l == line;
        return n;
    }

    std::shared_ptr<PerceptionRole> role;
    std::shared_ptr<engine::Engine> engine;
    std::vector<UploadCall> uploads;
    std::vector<std::string> finalUploads;
    std::vector<ConsoleMove> moves;
    std::vector<int> hidden;
    std::vector<std::pair<int, Point>> markers;
    int calibrations = 0;
    int updateChecks = 0;
    std::unique_ptr<platform::PeriodicTimer> pageStateTimer, scanTimer, submitTimer;
};

// A small picture with a pattern nothing else on the fake page has: the page's status icon.
inline platform::Image StatusIcon(std::uint8_t green = 200) {
    platform::Image icon(6, 5);
    for (int y = 0; y < icon.height; ++y)
        for (int x = 0; x < icon.width; ++x) {
            std::uint8_t* p = icon.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(20 * x);
            p[1] = green;
            p[2] = static_cast<std::uint8_t>(30 * y);
        }
    return icon;
}

}  // namespace kestrava::perception::testing
