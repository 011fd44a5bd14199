// An engine on a console on the fake platform, in a scratch installation folder: the page
// shell's windows with a known geometry, the auction clock ending at 11:30:00, and the two ticks
// the engine runs on (scan and submit) driven by the virtual clock. What the tests look at is
// what the page shell and the bidder would see: the messages posted to the page, with their
// virtual times, and the log lines.
#pragma once

#include <gtest/gtest.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "engine/engine.h"
#include "log/log_book.h"
#include "platform/fake/fake_platform.h"
#include "platform/keys.h"
#include "shell/page_commands.h"
#include "unit/console/console_rig.h"

namespace kestrava::engine::testing {

using platform::LocalTime;
using platform::fake::MakeLocal;

// A message posted to the page window or view, with its virtual time in ms since the rig's start.
struct Post {
    std::uint32_t msg;
    std::uint32_t wParam;
    std::int32_t lParam;
    std::int64_t at;
    bool operator==(const Post&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Post& p) {
    return os << "{0x" << std::hex << p.msg << std::dec << ", " << p.wParam << ", " << p.lParam << ", @" << p.at
              << "}";
}

// The page anchor and a confirm point N at anchor + (1000 + N, 500 + N), so a click names its point.
inline constexpr int kAnchorX = 100;
inline constexpr int kAnchorY = 50;
inline int ConfirmPointNumber(const Post& p) { return static_cast<int>(p.wParam) - kAnchorX - 1000; }

// The console's own rig (scratch folder, fake platform, log book, page windows) with the engine
// attached.
struct EngineRig : console::testing::ConsoleRig {
    // 11:29:00 of an auction day, a real run in the revision phase.
    explicit EngineRig(LocalTime start = MakeLocal(2026, 12, 10, 11, 29, 0), EngineOptions options = {})
        : ConsoleRig(start) {
        startMillis = fp.clock.EpochMillis();
        if (!options.updateRemainingTime) {
            options.updateRemainingTime = [this](console::CKestravaDlg& c) {
                if (c.state.auctionPhase.load() == 0) return false;
                c.state.remainingSeconds =
                    static_cast<int>(c.state.auctionEnd.load() - fp.clock.EpochMillis() / 1000);
                return true;
            };
        }
        engine = std::make_shared<Engine>(std::move(options));
        Engine::Attach(engine, hooks);
        AddPage();
        Make();
        auto& s = console->state;
        s.pageWindow = page;
        s.pageView = view;
        shell::PageGeometry g;
        g.lvwf_x = kAnchorX;
        g.lvwf_y = kAnchorY;
        g.plusinput_picPot_x = 10, g.plusinput_picPot_y = 11;
        g.plusbutton_picPot_x = 20, g.plusbutton_picPot_y = 21;
        g.bidbutton_picPot_x = 30, g.bidbutton_picPot_y = 31;
        g.C_P2_IMGCODE_IN_X = 40, g.C_P2_IMGCODE_IN_Y = 41;
        g.vk_ret_info_enterx = 50, g.vk_ret_info_entery = 51;
        g.vk_esc_x = 60, g.vk_esc_y = 61, g.vk_esc_x2 = 62, g.vk_esc_y2 = 63, g.vk_esc_x3 = 64, g.vk_esc_y3 = 65;
        for (int n = 1; n <= 27; ++n) g.vk_ret_code_enter[n - 1] = shell::PagePoint{1000 + n, 500 + n};
        s.SetGeometry(g);
        s.auctionStart = fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 10, 30, 0));
        s.auctionEnd = fp.clock.LocalToEpochSeconds(MakeLocal(2026, 12, 10, 11, 30, 0));
        s.auctionPhase = 3;
        console->BuildPriceLadder(90800);
        engine->ClearRunRecords(*console);
        Remaining();
    }

    ~EngineRig() { StopTicks(); }

    console::CKestravaDlg& c() { return *console; }
    Engine& e() { return *engine; }
    EngineState& rec() { return engine->records; }

    // Brings remainingSeconds up to date with the clock (the submit tick does this on its own).
    int Remaining() {
        console->state.remainingSeconds =
            static_cast<int>(console->state.auctionEnd.load() - fp.clock.EpochMillis() / 1000);
        return console->state.remainingSeconds.load();
    }

    // The lowest price, and the bid in the page's dialog: a price other than the held bid's is a
    // new bid (armed again when the held one was armed); 0 leaves no bid.
    void SetPrices(int lowest, int applied) {
        console->state.lowestPrice = lowest;
        console->state.lowestText.Set(std::to_string(lowest));
        Submission& bid = engine->records.submission;
        if (applied == bid.Price() && (applied == 0 || bid.Waiting())) return;
        const bool armed = bid.Armed();
        if (applied == 0) {
            engine->Fire(*console, SubmissionInput::DayReset);
            return;
        }
        engine->Fire(*console, SubmissionInput::Apply, applied);
        if (armed) engine->Fire(*console, SubmissionInput::Enter);
    }

    // The bidder's Enter has armed the bid in the dialog (one at the applied price shown, when
    // none is held yet); true when it was not armed before.
    bool Arm() {
        Submission& bid = engine->records.submission;
        if (bid.Armed()) return false;
        if (!bid.Waiting()) engine->Fire(*console, SubmissionInput::Apply, std::max(console->state.appliedPrice.load(), 1));
        return engine->Fire(*console, SubmissionInput::Enter).Did(SubmissionAction::Arm);
    }
    bool Armed() { return engine->records.submission.Armed(); }

    void Tick(int id, bool on = true) { console->controls.SetCheck(id, on ? 1 : 0); }

    // The scan tick (bid tick) every 100 ms and the submit tick every 10 ms, as the console runs them.
    void StartTicks() {
        submitTimer = fp.clock.StartPeriodic(10, [this] { engine->SubmitTick(*console); });
        scanTimer = fp.clock.StartPeriodic(100, [this] { engine->BidTick(*console); });
    }
    void StopTicks() {
        scanTimer.reset();
        submitTimer.reset();
    }
    void AdvanceTo(int hour, int minute, int second, int ms = 0) {
        fp.clock.AdvanceTo(MakeLocal(2026, 12, 10, hour, minute, second, ms));
    }

    std::int64_t Elapsed() { return fp.clock.EpochMillis() - startMillis; }

    // Messages posted to the page window and the page view since the last call; the announcements
    // of a scheduled confirmation (0x4ab, 0x4ac) only when asked for.
    std::vector<Post> Posts(bool withSchedules = false) {
        std::vector<Post> out;
        for (const auto& m : fp.desktop.Posted()) {
            const bool schedule = m.message.msg == shell::cmd::ScheduleConfirm || m.message.msg == shell::cmd::CancelScheduledConfirm;
            if ((m.window == page || m.window == view) && (withSchedules || !schedule))
                out.push_back({m.message.msg, m.message.wParam, m.message.lParam, m.atMillis - startMillis});
        }
        fp.desktop.ClearPosted();
        return out;
    }

    // How many times the confirm button was pressed (element command or first confirm click).
    static int Confirmations(const std::vector<Post>& posts) {
        int n = 0;
        for (const Post& p : posts)
            if (p.msg == shell::cmd::ConfirmCodeElement) ++n;
        return n;
    }

    bool Logged(const std::string& line) const {
        for (const std::string& l : LogMessages())
            if (l == line) return true;
        return false;
    }
    int LoggedCount(const std::string& line) const {
        int n = 0;
        for (const std::string& l : LogMessages())
            if (l == line) ++n;
        return n;
    }

    std::int64_t startMillis = 0;
    std::shared_ptr<Engine> engine;
    std::unique_ptr<platform::PeriodicTimer> submitTimer;
    std::unique_ptr<platform::PeriodicTimer> scanTimer;
};

}  // namespace kestrava::engine::testing
