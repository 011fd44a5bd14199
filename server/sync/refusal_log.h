// Every refusal of the server, counted by reason. The first refusal of a streak is logged with
// what was refused; the rest are only counted until the streak ends (a quiet spell), which is
// logged with its length: a flood costs two log lines, not a million.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava::sync {

enum class Refusal {
    BadTarget,        // not the one URL a console uses
    NotAllowed,       // bid number not on the allow-list
    AddressFull,      // too many connections from one source address
    ServerFull,       // as many connections as the server may hold
    RateLimit,        // more frames per second than allowed
    Oversize,         // frame longer than the limit
    Malformed,        // not one of the texts a console sends
    BadPrice,         // outside 70001..109999 or off the 100-yuan grid
    ClockSkew,        // report time too far from the server clock
    StaleTime,        // report time not newer than the newest relayed
    PriceFell,        // below the newest relayed price
    UnconfirmedJump,  // too far above the newest price and no second bid number agreed
    Dropped,          // a connection closed for sending refused frames past the limit
    Backlog,          // a connection closed for not reading what it was sent
    kCount
};

std::string_view RefusalName(Refusal r);

class RefusalLog {
public:
    using Sink = std::function<void(const std::string&)>;
    RefusalLog(std::int64_t quietMs, Sink sink) : quietMs_(quietMs), sink_(std::move(sink)) {}

    void Refuse(Refusal r, std::string_view who, std::string_view detail, std::int64_t nowMs);
    // Ends the streaks that have been quiet long enough.
    void Tick(std::int64_t nowMs);

    std::uint64_t Count(Refusal r) const { return kinds_[Index(r)].total; }
    std::uint64_t Total() const;

private:
    static std::size_t Index(Refusal r) { return static_cast<std::size_t>(r); }
    void EndStreak(Refusal r);

    struct Kind {
        std::uint64_t total = 0;
        std::uint64_t streak = 0;
        std::int64_t lastMs = 0;
    };
    std::int64_t quietMs_;
    Sink sink_;
    std::array<Kind, static_cast<std::size_t>(Refusal::kCount)> kinds_{};
};

// The start of a frame, safe to print.
std::string Printable(std::string_view text);

}  // namespace kestrava::sync
