// The replay of a scenario: the real console with every role the program composes (minus the
// network and the screen reading) on the fake platform, in a scratch installation folder, with
// the scenario's settings written into bin/. The page window exists on the fake desktop; what the
// console posts to it is recorded with the virtual time and the console's prices at that moment.
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
    enum class Kind { Input, Post, Log };
    DayMs at = 0;
    Kind kind = Kind::Post;
    std::string target;        // Post: "page", "frame" or "view"
    platform::Message message;  // Post
    std::string text;          // Input: the scenario's event; Post: its meaning; Log: the line
};

// A press of the confirm button ("确定"): the confirm command, or in a practice run in coordinate
// mode the first click on a confirm point.
struct Confirmation {
    DayMs at = 0;
    int applied = 0;  // the applied price when it was pressed
    int lowest = 0;
    int remainingSeconds = 0;
    int Gap() const { return applied - lowest; }
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
};

// Runs the scenario. Changes the working directory for the length of the run (the console's
// paths are relative to its installation folder) and restores it; removes the scratch folder.
ReplayResult RunReplay(const Scenario& scenario);

// The printout of kestrava-replay: header, timeline, outcome.
std::string FormatReplay(const Scenario& scenario, const ReplayResult& result);

// What a message posted to the page means ("click at (x,y)", "char '7'", "confirm the code") —
// without the geometry's names of points.
std::string DescribePost(const platform::Message& m);

}  // namespace kestrava::runtime
