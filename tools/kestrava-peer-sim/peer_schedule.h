// What simulated bidders send during a practice auction: each price step of the practice page's
// curve, reported by every peer a little before this console's page shows it (their pages are
// served faster), and the congestion signal at a set moment before the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::peer_sim {

// The practice page's curve as it announces it: "end=<ms> warning=<price> steps=<ms>,<ms>,...",
// all instants in wall-clock milliseconds; each step raises the lowest price by 100.
struct Timeline {
    std::int64_t endMs = 0;
    int warningPrice = 0;
    std::vector<std::int64_t> stepsMs;
};

// Nothing for text of another shape, a price outside 70000 … 109900, or unsorted steps.
std::optional<Timeline> ParseTimeline(std::string_view text);

// The page clock's report code at `atMs`, HHMMSSffff, on a clock that reads 11:30:00 at `endMs`.
std::int64_t PageTimeCode(std::int64_t atMs, std::int64_t endMs);

struct PeerOptions {
    int peers = 3;
    std::int64_t leadMs = 300;         // how much earlier than the page a peer sees a step
    std::int64_t spreadMs = 15;        // between two peers' copies of one report
    std::int64_t jamBeforeEndMs = 5000;  // the congestion signal; negative: none
};

struct PeerEvent {
    std::int64_t atMs = 0;
    int peer = 0;
    std::string text;  // "1_T,P" or "6_0"
};

// Every frame the peers send from `nowMs` on, in time order.
std::vector<PeerEvent> Schedule(const Timeline& timeline, const PeerOptions& options, std::int64_t nowMs);

}  // namespace kestrava::peer_sim
