// Where the later roles plug into the console. Each hook is one step of the console's sequences
// that another module owns; an empty hook is a step that does nothing yet. Hooks run on the
// thread of the sequence that calls them (noted per group) and must not call OnClose: a hook
// that ends the run asks the application to close the console from its own thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "console/console_controls.h"
#include "shell/page_geometry.h"

namespace kestrava::console {

class CKestravaDlg;

// A worker thread the console starts and must see ended before it goes away.
class Worker {
public:
    virtual ~Worker() = default;
    // Asks the worker to finish (close its connection, leave its loop); returns at once.
    virtual void RequestStop() = 0;
    // True when the worker has ended within `ms` milliseconds.
    virtual bool WaitUntilEnded(std::uint32_t ms) = 0;
    // Lets a worker that did not end run out on its own; it must not touch the console again.
    virtual void Abandon() = 0;
};

struct ConsoleHooks {
    using Step = std::function<void(CKestravaDlg&)>;
    using Report = std::function<void(CKestravaDlg&, std::uint32_t wParam, std::int32_t lParam)>;

    // ---- Screen perception
    Step readDisplayScale;                       // start: display scale from AppliedDPI
    std::function<bool(CKestravaDlg&)> initOcr;  // start: the two text-recognition engines; false = failed
    Step smartCalibrate;                         // start, page login 0x465, 0x492, button 1160
    // One-second tick in a simulation run: the start mark's position on the page view, if seen.
    std::function<std::optional<shell::PagePoint>(CKestravaDlg&)> findStartMark;
    Step pageStateTick;  // every 900 ms, on its timer thread
    Step scanTick;       // every scanInterval ms, on its timer thread

    // ---- Bidding engine
    Step submitTick;                // every jamInterval ms, on its timer thread
    Step clearDisplayFlags;         // start: applied price and gap flags of the engine to 0
    Step clearRunRecords;           // auction-day reset: the per-run records of the later roles
    Report pageReport;              // 0x46e: page price and clock
    Report serverReport;            // 0x46f: server price report
    Report jamSignal;               // 0x49c: congestion count
    Report scheduleAnswer;          // 0x4ad: the page shell's answer about a scheduled confirmation
    Report codeDialog;              // 0x4b1: the page's code dialog opened or closed
    Step pageShellLost;             // one-second tick: the page shell went away in the middle of a run
    std::function<void(CKestravaDlg&, int)> showHint;  // hint balloon n

    // ---- Strategies
    std::function<void(CKestravaDlg&, int)> applyStrategySelection;  // start: entry SelPolicy
    Step saveStrategy;                  // button 1058, message 0x466
    Step setSimulationWarningPrice;     // start, simulation run: warning price 100
    Step resetSmartBidTimes;            // auction-day reset: 600, 600, 600, 900
    Step refreshControls;               // end of the one-second tick: fields to controls
    std::function<void(CKestravaDlg&, int id)> controlClicked;      // buttons and boxes not handled here
    std::function<void(CKestravaDlg&, int id, SpinArrow arrow)> spinMoved;  // up-down controls

    // ---- Network services
    Step startUpdateCheck;   // start (outside 11:02–11:07), 0x466, button 1112
    Step installUpdate;      // 0x464
    Step installQuietUpdate; // 0x493
    std::function<void(CKestravaDlg&, std::string_view)> sendToSync;  // 0x49a: "6_0"
    std::function<std::unique_ptr<Worker>(CKestravaDlg&)> startSync;  // start: the sync client
    Step heartbeatTick;      // every 30 s, on its timer thread
    Step startNetworkClock;  // button 1137

    // ---- Views (the GUI's windows; the console only tells when)
    Step placeConsole;        // start: topmost at (2, 0)
    Step createPatchNotice;   // start: hidden, at (285, 15)
    Step createFonts;         // start: fonts, brush, the three time displays
    Step createHintWindows;   // start: hint windows and the info bar below the console
    Step createBalloons;      // start: the five balloon tooltips
};

}  // namespace kestrava::console
