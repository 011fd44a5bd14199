#include "refusal_log.h"

namespace kestrava::sync {

std::string_view RefusalName(Refusal r) {
    static constexpr std::string_view names[] = {
        "bad-target", "not-allowed", "address-full",  "server-full", "rate-limit", "oversize",        "malformed",
        "bad-price",  "clock-skew",  "stale-time",    "price-fell", "unconfirmed-jump", "dropped",
        "backlog"};
    static_assert(std::size(names) == static_cast<std::size_t>(Refusal::kCount));
    return names[static_cast<std::size_t>(r)];
}

std::string Printable(std::string_view text) {
    std::string out(text.substr(0, 40));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '.';
    }
    if (text.size() > 40) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

void RefusalLog::Refuse(Refusal r, std::string_view who, std::string_view detail, std::int64_t nowMs) {
    Kind& k = kinds_[Index(r)];
    ++k.total;
    if (k.streak > 0 && nowMs - k.lastMs > quietMs_) EndStreak(r);
    k.lastMs = nowMs;
    if (k.streak++ > 0) return;
    if (sink_) {
        sink_("refused " + std::string(RefusalName(r)) + " from " + std::string(who) + ": " + std::string(detail) +
              " (more of these are counted until a quiet spell)");
    }
}

void RefusalLog::Tick(std::int64_t nowMs) {
    for (std::size_t i = 0; i < kinds_.size(); ++i) {
        if (kinds_[i].streak > 0 && nowMs - kinds_[i].lastMs > quietMs_) EndStreak(static_cast<Refusal>(i));
    }
}

void RefusalLog::EndStreak(Refusal r) {
    Kind& k = kinds_[Index(r)];
    if (sink_ && k.streak > 1) {
        sink_("refused " + std::string(RefusalName(r)) + ": " + std::to_string(k.streak) + " in the streak, " +
              std::to_string(k.total) + " since start");
    }
    k.streak = 0;
}

std::uint64_t RefusalLog::Total() const {
    std::uint64_t n = 0;
    for (const Kind& k : kinds_) n += k.total;
    return n;
}

}  // namespace kestrava::sync
