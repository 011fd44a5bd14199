// The run-time state of the console: every field the console itself keeps, with its start value.
// The interface thread, the four periodic ticks and the sync client all work on it, so scalars
// are atomics (64-bit instants included, so a reader never sees half a time) and strings and
// queues sit behind a lock each. The roles of the later modules keep their own records beside
// it and reach these fields through the console.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "console/guarded.h"
#include "shell/page_link.h"

namespace kestrava::console {

// The page windows (pageWindow, pageFrame, pageView), the action mode `divmode` and the page
// geometry with its anchor (`lvwf_x`, `lvwf_y`) come from the shell's slice.
struct ConsoleState : shell::PageLink {
    // ---- Identity and mode
    Guarded<std::string> bidNumber;        // the login's bid number
    Guarded<std::string> productVersion;   // the login's version text, shown on 1128 and logged
    std::atomic<int> moniornot{0};         // 1: simulation run; anything else: the real auction
    std::atomic<int> ispClass{0};          // the login's network-line class; only logged
    std::atomic<int> loginSecond{-1};      // second of the clock at login, -1 when unknown
    std::atomic<int> startSecondDigit{-1}; // second of the clock at console start, modulo 10
    std::atomic<int> debg{0};              // 99: debug mode

    // ---- Page windows (the references themselves are in PageLink)
    std::atomic<int> pageSeen{0};  // 1 once the one-second tick has found the page window
    // 1 while the page shell is gone in the middle of a real run, until the one-second tick has
    // taken in its return; the scan and submit ticks leave the page alone meanwhile.
    std::atomic<int> pageShellLost{0};
    // The page window the one-second tick found last (0: none) and the process that made it (0:
    // the window does not say). A shell killed and started again between two of its ticks is
    // never missing at a tick: it shows up as a window of the same title made by another process,
    // mostly with another id (the X server may hand it the old one), that has not been told to
    // open the auction page. The scan and submit ticks leave a window of another id alone until
    // the one-second tick has taken it in.
    std::atomic<platform::WindowId> takenPageWindow{0};
    std::atomic<std::uint32_t> takenPageProcess{0};
    bool PageWindowTakenIn(platform::WindowId w) const {
        const platform::WindowId taken = takenPageWindow.load();
        return taken == 0 || taken == w;
    }

    // ---- Screen geometry (the anchor and the offsets are in PageLink's geometry)
    std::atomic<float> displayScale{1.0f};
    std::atomic<int> wifidivmode{0};
    std::atomic<int> systime_screentime{0};

    // ---- Auction clock and run control
    std::atomic<int> starttimehour{10};
    std::atomic<int> endtimehour{11};
    std::atomic<std::int64_t> auctionStart{0};  // seconds since 1970
    std::atomic<std::int64_t> auctionEnd{0};
    std::atomic<int> auctionPhase{0};  // 0 no page, 1 before the start, 2 first half hour, 3 revision phase, 4 ended
    std::atomic<int> runState{0};      // 0 waiting for the page, 1 starting, 2 in progress, 4 simulation finished
    std::atomic<int> remainingSeconds{60};
    // Seconds after the time displays' base value (00:00:00) that the remaining-time display shows.
    std::atomic<std::int64_t> remainingDisplay{0};
    std::atomic<int> jitterSeconds{12};  // 12..59, drawn at every auction-day reset
    std::atomic<int> jitterCoin{0};      // 0..1
    std::atomic<int> jitterMinutes{2};   // 2..5
    std::atomic<int> pageLoginSeen{0};
    std::atomic<int> startMarkFound{0};
    std::atomic<int> phase2SoundPlayed{0};
    std::atomic<int> phase3SoundPlayed{0};
    std::atomic<int> hintThreeShown{0};
    // The page clock's minute and second as last used; every log line carries them.
    std::atomic<int> pageMinute{0};
    std::atomic<int> pageSecond{0};

    // ---- Prices and settings read at start
    static constexpr int kLadderLevels = 20;
    static constexpr int kLadderStep = 300;
    std::array<std::atomic<int>, kLadderLevels> priceLadder{};
    std::atomic<int> dwbase{90800};
    std::atomic<int> hpbase{92900};
    std::atomic<int> lowestPrice{0};
    Guarded<std::string> lowestText{std::string("0")};
    Guarded<std::string> statusText{std::string("----")};  // the status line 1089
    std::atomic<int> statusClass{0};   // 1089's colours: 0 plain, 1 highlighted
    std::atomic<int> appliedPrice{0};  // price of the pending application, 0 when none
    std::atomic<int> gapClass{0};      // 1104's colours: 0 none, 1 red, 2 green, 3 yellow, 4 orange
    std::atomic<int> swbidmode{0};
    std::atomic<int> launchp{0};
    std::atomic<int> zhangfu300{5000};
    std::atomic<int> zhangfu200{3900};
    std::atomic<int> zhangfu100{2800};
    std::atomic<int> zhangfu000{2000};
    std::atomic<int> firstbid{0};
    std::atomic<int> pricelimitStartTime{15};
    std::atomic<int> ctrlXpricelimit{300};
    std::atomic<int> scanInterval{100};
    std::atomic<int> jamInterval{10};
    std::atomic<int> SelPolicy{0};

    // ---- Interface objects the views show
    Guarded<std::string> windowTitle;
    Guarded<std::string> infoHeader;  // the info bar's upper line
    Guarded<std::string> infoBody;    // its lower line
    // The lines' colour styles (header: 0 red, 1 black, 2 blue; body: 0 red, 1 green; any other
    // number keeps the default colour).
    std::atomic<int> infoHeaderStyle{0};
    std::atomic<int> infoBodyStyle{0};
    std::atomic<bool> infoBarVisible{false};
    std::atomic<bool> summaryWindowVisible{false};  // hint window 182
    // A practice run's guidance (PracticeGuide) in the info bar's guide line; the view raises a
    // balloon with it whenever the serial changes.
    Guarded<std::string> guideText;
    std::atomic<std::uint32_t> guideSerial{0};

    // ---- Network and upload
    Guarded<std::string> syncUrl;
    Guarded<std::deque<std::string>> uploadQueue;  // files to upload after the auction
};

}  // namespace kestrava::console
