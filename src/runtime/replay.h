// The replay of a scenario: the real console with every role the program composes (minus the
// network and the screen reading) on the fake platform, in a scratch installation folder, with
// the scenario's settings written into bin/. The page window exists on the fake desktop; what the
// console posts to it is recorded with the virtual time and the console's prices at that moment,
// and a model of the page (its bid and code dialog) and of its shell (the scheduled clicks)
// answers it as the real ones would.
// The scenario's events reach the console between timer ticks, as the interface thread would
// take them, also while a bid application waits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "runtime/scenario.h"

namespace kestrava::runtime {

struct TimelineEntry {
    // Shell: what the page and its shell did of their own (a scheduled click, the code dialog
    // opening or closing) and the message they posted to the console for it (0 for none).
    enum class Kind { Input, Post, Log, Shell };
    DayMs at = 0;
    Kind kind = Kind::Post;
    std::string target;        // Post: "page", "frame" or "view"; Shell: "shell"
    platform::Message message;  // Post, Shell
    std::string text;          // Input: the scenario's event; Post, Shell: its meaning; Log: the line
};

// A press of the confirm button ("确定") the console asked for: the confirm command, in a
// practice run in coordinate mode the first click on a confirm point, or the shell's click at a
// scheduled moment.
struct Confirmation {
    DayMs at = 0;
    int applied = 0;  // the applied price when it was pressed
    int lowest = 0;
    int remainingSeconds = 0;
    int Gap() const { return applied - lowest; }
};

// What the page made of a press of its confirm button: the bid in the code dialog accepted (the
// page's lowest price at that moment ≤ bid ≤ that price + 300) or refused, too late (at or after
// the auction's end), or a press with no dialog open.
struct PageOutcome {
    enum class Kind { Accepted, Refused, TooLate, NoDialog };
    DayMs at = 0;
    Kind kind = Kind::NoDialog;
    int bid = 0;        // the price in the dialog
    int pagePrice = 0;  // the page's lowest price at the press
    DayMs end = 0;      // TooLate: the auction's end
    int Gap() const { return bid - pagePrice; }
};

struct ReplayResult {
    bool started = false;
    std::string failure;  // why the console did not start
    bool simulation = false;
    DayMs start = 0;
    DayMs stop = 0;
    std::vector<TimelineEntry> timeline;
    std::vector<std::string> logLines;  // the whole log of the run, stamps included
    std::size_t unwrittenLogLines = 0;  // of those, still in memory after the close's flush
    std::vector<Confirmation> confirmations;
    std::vector<PageOutcome> page;  // in time order
};

// Runs the scenario. Changes the working directory for the length of the run (the console's
// paths are relative to its installation folder) and restores it; removes the scratch folder.
ReplayResult RunReplay(const Scenario& scenario);

// The printout of kestrava-replay: header, timeline, outcome.
std::string FormatReplay(const Scenario& scenario, const ReplayResult& result);

// What a message posted to the page means ("click at (x,y)", "char '7'", "confirm the code") —
// without the geometry's names of points.
std::string DescribePost(const platform::Message& m);

// A scenario's event in words, for the timeline.
std::string EventText(const ScenarioEvent& e);

// The outcome's line for what the page made of a press ("page: accepted 89700 at …").
std::string FormatPageOutcome(const PageOutcome& p);
// The page's lines of a run's outcome, "page: no bid accepted" last when no line says accepted.
std::vector<std::string> PageLines(const ReplayResult& r);

}  // namespace kestrava::runtime
