#include "relay_rules.h"

#include <algorithm>
#include <cstdlib>

#include "protocol.h"

namespace kestrava::sync {

namespace {

constexpr std::int64_t kDayMs = 86400000;
constexpr int kLowestPrice = 70001;
constexpr int kHighestPrice = 109999;

// Distance between two times of day, across midnight.
std::int64_t DayDistance(std::int64_t a, std::int64_t b) {
    const std::int64_t d = std::llabs(a - b) % kDayMs;
    return std::min(d, kDayMs - d);
}

Action Make(Action::Kind kind, ConnId conn, std::string text, std::int64_t timeCode = 0, int price = 0,
            std::string bid = {}) {
    return Action{kind, conn, std::move(text), timeCode, price, std::move(bid)};
}

}  // namespace

RelayRules::RelayRules(RuleSettings settings, RefusalLog::Sink log)
    : settings_(std::move(settings)), refusals_(settings_.streakQuietMs, std::move(log)) {}

void RelayRules::Refuse(Refusal r, const std::string& who, std::string_view detail, std::int64_t nowMs) {
    refusals_.Refuse(r, who, detail, nowMs);
}

void RelayRules::RefuseOn(ConnId conn, Refusal r, std::string_view detail, std::int64_t nowMs) {
    const auto it = conns_.find(conn);
    Refuse(r, it == conns_.end() ? std::string("a closed connection") : it->second.bid, detail, nowMs);
}

RelayRules::Admission RelayRules::Admit(ConnId conn, std::string_view target, const std::string& address,
                                        std::int64_t nowMs) {
    Admission a;
    const auto bid = BidNumberOfTarget(target);
    if (!bid) {
        a.refusal = Refusal::BadTarget;
        Refuse(a.refusal, address, Printable(target), nowMs);
        return a;
    }
    if (!settings_.allowList.empty() && !settings_.allowList.count(*bid)) {
        a.refusal = Refusal::NotAllowed;
        Refuse(a.refusal, address, *bid, nowMs);
        return a;
    }
    if (settings_.maxConnections > 0 && LocalClients() >= settings_.maxConnections) {
        a.refusal = Refusal::ServerFull;
        Refuse(a.refusal, address, *bid + ", " + std::to_string(LocalClients()) + " open", nowMs);
        return a;
    }
    int& n = perAddress_[address];
    if (settings_.connectionsPerAddress > 0 && n >= settings_.connectionsPerAddress) {
        if (n == 0) perAddress_.erase(address);
        a.refusal = Refusal::AddressFull;
        Refuse(a.refusal, address, *bid + ", " + std::to_string(n) + " open", nowMs);
        return a;
    }
    ++n;
    conns_[conn] = Conn{*bid, address, static_cast<double>(settings_.ratePerSecond), nowMs};
    a.ok = true;
    a.bid = *bid;
    return a;
}

void RelayRules::Leave(ConnId conn) {
    const auto it = conns_.find(conn);
    if (it == conns_.end()) return;
    const auto a = perAddress_.find(it->second.address);
    if (a != perAddress_.end() && --a->second <= 0) perAddress_.erase(a);
    conns_.erase(it);
}

bool RelayRules::TakeToken(Conn& c, std::int64_t nowMs) {
    const double rate = settings_.ratePerSecond;
    if (nowMs > c.refillMs) {
        c.tokens = std::min(rate, c.tokens + rate * static_cast<double>(nowMs - c.refillMs) / 1000.0);
        c.refillMs = nowMs;
    }
    if (c.tokens < 1.0) return false;
    c.tokens -= 1.0;
    return true;
}

template <typename Decision>
std::vector<Action> RelayRules::Judged(ConnId conn, std::int64_t nowMs, Decision decide) {
    const auto it = conns_.find(conn);
    if (it == conns_.end() || it->second.dropped) return {};
    Conn& c = it->second;
    const std::uint64_t refusedBefore = refusals_.Total();
    std::vector<Action> actions = decide(c);
    if (settings_.dropAfterRefusals <= 0 || refusals_.Total() == refusedBefore) return actions;
    if (nowMs - c.refusalSecondMs >= 1000 || nowMs < c.refusalSecondMs) {
        c.refusalSecondMs = nowMs;
        c.refusalsInSecond = 0;
    }
    if (++c.refusalsInSecond <= settings_.dropAfterRefusals) return actions;
    c.dropped = true;
    const std::string why = std::to_string(c.refusalsInSecond) + " refused frames within a second";
    Refuse(Refusal::Dropped, c.bid, why + ", connection closed", nowMs);
    return {Make(Action::Kind::Close, conn, why)};
}

std::vector<Action> RelayRules::OnFrame(ConnId conn, std::string_view text, std::int64_t nowMs) {
    return Judged(conn, nowMs, [&](Conn& c) { return Decide(conn, c, text, nowMs); });
}

std::vector<Action> RelayRules::OnPing(ConnId conn, std::string_view payload, std::int64_t nowMs) {
    return Judged(conn, nowMs, [&](Conn& c) -> std::vector<Action> {
        if (!TakeToken(c, nowMs)) {
            Refuse(Refusal::RateLimit, c.bid, "ping " + Printable(payload), nowMs);
            return {};
        }
        return {Make(Action::Kind::Pong, conn, std::string(payload))};
    });
}

std::vector<Action> RelayRules::Decide(ConnId conn, Conn& c, std::string_view text, std::int64_t nowMs) {
    if (!TakeToken(c, nowMs)) {
        Refuse(Refusal::RateLimit, c.bid, Printable(text), nowMs);
        return {};
    }
    if (text.size() > settings_.frameLimit) {
        Refuse(Refusal::Oversize, c.bid, Printable(text), nowMs);
        return {};
    }
    const ClientFrame f = ParseClientFrame(text);
    switch (f.kind) {
        case ClientFrame::Kind::Heartbeat:
            return {Make(Action::Kind::Send, conn, "hbeat")};
        case ClientFrame::Kind::Report:
            return OnReport(conn, c, f.timeCode, f.price, text, nowMs);
        case ClientFrame::Kind::Jam:
            jamSeen_[c.bid] = nowMs;
            if (clustered_) return {Make(Action::Kind::CountJam, conn, {}, 0, 0, c.bid)};
            return DecideJamHere(nowMs);
        case ClientFrame::Kind::Invalid:
            break;
    }
    Refuse(Refusal::Malformed, c.bid, std::string(f.error) + ": " + Printable(text), nowMs);
    return {};
}

void RelayRules::ForgetStaleRoom(std::int64_t nowMs) {
    if (newestTime_ != 0 && nowMs - lastRelayMs_ > settings_.roomForgetMs) {
        newestTime_ = 0;
        newestPrice_ = 0;
        pending_.clear();
    }
}

std::vector<Action> RelayRules::OnReport(ConnId conn, const Conn& c, std::int64_t timeCode, int price,
                                         std::string_view text, std::int64_t nowMs) {
    ForgetStaleRoom(nowMs);
    if (price < kLowestPrice || price > kHighestPrice || price % 100 != 0) {
        Refuse(Refusal::BadPrice, c.bid, Printable(text), nowMs);
        return {};
    }
    if (settings_.clockSkewMs > 0) {
        const std::int64_t serverDayMs = ((nowMs + settings_.utcOffsetMinutes * 60000LL) % kDayMs + kDayMs) % kDayMs;
        if (DayDistance(TimeCodeMs(timeCode), serverDayMs) > settings_.clockSkewMs) {
            Refuse(Refusal::ClockSkew, c.bid, Printable(text), nowMs);
            return {};
        }
    }
    if (timeCode <= newestTime_) {
        Refuse(Refusal::StaleTime, c.bid, Printable(text), nowMs);
        return {};
    }
    if (price < newestPrice_) {
        Refuse(Refusal::PriceFell, c.bid, Printable(text), nowMs);
        return {};
    }
    const bool alone = LocalClients() + remoteClients_ <= 1;
    if (!alone && price > newestPrice_ + settings_.jumpLimit && !ConfirmJump(c.bid, price, nowMs)) {
        Refuse(Refusal::UnconfirmedJump, c.bid, Printable(text), nowMs);
        if (clustered_) return {Make(Action::Kind::SharePending, conn, {}, timeCode, price, c.bid)};
        return {};
    }
    if (clustered_) return {Make(Action::Kind::CheckReport, conn, {}, timeCode, price, c.bid)};
    return Relay(conn, timeCode, price, nowMs);
}

// True when a different bid number reported the same price within the quorum time; otherwise
// the report waits for its own second.
bool RelayRules::ConfirmJump(const std::string& bid, int price, std::int64_t nowMs) {
    std::erase_if(pending_, [&](const Pending& p) { return nowMs - p.atMs > settings_.jumpQuorumMs; });
    const auto agrees = [&](const Pending& p) { return p.price == price && p.bid != bid; };
    if (std::any_of(pending_.begin(), pending_.end(), agrees)) {
        std::erase_if(pending_, [&](const Pending& p) { return p.price == price; });
        return true;
    }
    OnRemotePending(bid, price, nowMs);
    return false;
}

void RelayRules::OnRemotePending(const std::string& bid, int price, std::int64_t nowMs) {
    std::erase_if(pending_, [&](const Pending& p) { return p.bid == bid; });
    pending_.push_back(Pending{bid, price, nowMs});
}

std::vector<Action> RelayRules::Relay(ConnId sender, std::int64_t timeCode, int price, std::int64_t nowMs) {
    newestTime_ = timeCode;
    newestPrice_ = price;
    lastRelayMs_ = nowMs;
    return {Make(Action::Kind::Broadcast, sender, ReportText(timeCode, price))};
}

std::vector<Action> RelayRules::OnReportVerdict(ConnId sender, std::int64_t timeCode, int price, Verdict v,
                                                std::int64_t nowMs) {
    const auto it = conns_.find(sender);
    const std::string who = it == conns_.end() ? "a closed connection" : it->second.bid;
    const std::string text = ReportText(timeCode, price);
    switch (v) {
        case Verdict::Stale:
            Refuse(Refusal::StaleTime, who, text + " (cluster)", nowMs);
            return {};
        case Verdict::Fell:
            Refuse(Refusal::PriceFell, who, text + " (cluster)", nowMs);
            return {};
        case Verdict::Accepted:
            return Relay(sender, timeCode, price, nowMs);
        case Verdict::Unavailable:
            break;
    }
    // Redis did not answer: the node's own view decides, as it does when alone.
    ForgetStaleRoom(nowMs);
    if (timeCode <= newestTime_) {
        Refuse(Refusal::StaleTime, who, text, nowMs);
        return {};
    }
    if (price < newestPrice_) {
        Refuse(Refusal::PriceFell, who, text, nowMs);
        return {};
    }
    return Relay(sender, timeCode, price, nowMs);
}

std::vector<Action> RelayRules::OnRemoteReport(std::int64_t timeCode, int price, std::int64_t nowMs) {
    ForgetStaleRoom(nowMs);
    if (timeCode <= newestTime_ || price < newestPrice_) return {};
    std::erase_if(pending_, [&](const Pending& p) { return p.price <= price; });
    return Relay(0, timeCode, price, nowMs);
}

std::vector<Action> RelayRules::DecideJamHere(std::int64_t nowMs) {
    std::erase_if(jamSeen_, [&](const auto& e) { return nowMs - e.second >= settings_.jamWindowMs; });
    const int n = static_cast<int>(jamSeen_.size());
    if (n < settings_.jamQuorum || (lastJamMs_ >= 0 && nowMs - lastJamMs_ < settings_.jamWindowMs)) return {};
    lastJamMs_ = nowMs;
    return {Make(Action::Kind::Broadcast, 0, JamText(n))};
}

std::vector<Action> RelayRules::OnJamCount(int count, std::int64_t nowMs) {
    if (count < 0) return DecideJamHere(nowMs);
    if (count == 0) return {};
    lastJamMs_ = nowMs;
    return {Make(Action::Kind::Broadcast, 0, JamText(count))};
}

}  // namespace kestrava::sync
