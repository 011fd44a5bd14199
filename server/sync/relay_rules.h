// The relay rules of one room, apart from any network: a frame, the time and its sender go in,
// the sends it causes come out. The transport carries them out; in a cluster the checks that
// must hold across nodes come out as requests to the Redis bridge, whose answers come back in.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "refusal_log.h"
#include "settings.h"

namespace kestrava::sync {

using ConnId = std::uint64_t;

struct Action {
    enum class Kind {
        Send,          // text to `conn`
        Broadcast,     // text to every client but `conn` (0: every client)
        CheckReport,   // cluster: check-and-set the room's newest time and price, then relay
        CountJam,      // cluster: count the jam report of `bid`
        SharePending,  // cluster: tell the other nodes of a jump report awaiting its second
        Close,         // close `conn` (policy violation), `text` the reason
        Pong,          // answer `conn`'s ping, `text` its payload
    };
    Kind kind = Kind::Send;
    ConnId conn = 0;
    std::string text;
    std::int64_t timeCode = 0;
    int price = 0;
    std::string bid;
};

// The cluster's answer to CheckReport.
enum class Verdict { Accepted, Stale, Fell, Unavailable };

class RelayRules {
public:
    RelayRules(RuleSettings settings, RefusalLog::Sink log);

    // A new connection asking for `target` from `address`: its bid number, or a refusal.
    struct Admission {
        bool ok = false;
        Refusal refusal = Refusal::BadTarget;
        std::string bid;
    };
    Admission Admit(ConnId conn, std::string_view target, const std::string& address, std::int64_t nowMs);
    // The connection has ended (only for admitted ones).
    void Leave(ConnId conn);

    // A connection whose frames are refused more than `dropAfterRefusals` times within a second
    // is no console: it gets one Close, and nothing it sends afterwards is looked at.
    std::vector<Action> OnFrame(ConnId conn, std::string_view text, std::int64_t nowMs);
    // A ping counts against the connection's rate like any frame; answered while within it.
    std::vector<Action> OnPing(ConnId conn, std::string_view payload, std::int64_t nowMs);

    // Cluster: while set, reports and jam signals go to the bridge instead of being decided here.
    void SetClustered(bool clustered) { clustered_ = clustered; }
    bool Clustered() const { return clustered_; }
    void SetRemoteClients(int n) { remoteClients_ = n; }
    std::vector<Action> OnReportVerdict(ConnId sender, std::int64_t timeCode, int price, Verdict v, std::int64_t nowMs);
    // A report another node relayed.
    std::vector<Action> OnRemoteReport(std::int64_t timeCode, int price, std::int64_t nowMs);
    void OnRemotePending(const std::string& bid, int price, std::int64_t nowMs);
    // The cluster's jam count for a jam report (0: no signal this time; -1: Redis did not answer,
    // decide here), or a signal another node sent.
    std::vector<Action> OnJamCount(int count, std::int64_t nowMs);

    void Tick(std::int64_t nowMs) { refusals_.Tick(nowMs); }
    // A refusal the transport made itself (a frame too long for it to read).
    void RefuseOn(ConnId conn, Refusal r, std::string_view detail, std::int64_t nowMs);

    int LocalClients() const { return static_cast<int>(conns_.size()); }
    std::size_t BacklogLimit() const { return settings_.backlogLimit; }
    std::int64_t NewestTimeCode() const { return newestTime_; }
    int NewestPrice() const { return newestPrice_; }
    const RefusalLog& Refusals() const { return refusals_; }

private:
    struct Conn {
        std::string bid;
        std::string address;
        double tokens = 0;
        std::int64_t refillMs = 0;
        std::int64_t refusalSecondMs = 0;  // start of the second its refusals are counted in
        int refusalsInSecond = 0;
        bool dropped = false;
    };
    struct Pending {
        std::string bid;
        int price = 0;
        std::int64_t atMs = 0;
    };

    void Refuse(Refusal r, const std::string& who, std::string_view detail, std::int64_t nowMs);
    bool TakeToken(Conn& c, std::int64_t nowMs);
    std::vector<Action> Decide(ConnId conn, Conn& c, std::string_view text, std::int64_t nowMs);
    // Runs `decide` for a frame of `conn` and closes the connection when its refusals within a
    // second pass the limit.
    template <typename Decision>
    std::vector<Action> Judged(ConnId conn, std::int64_t nowMs, Decision decide);
    std::vector<Action> OnReport(ConnId conn, const Conn& c, std::int64_t timeCode, int price, std::string_view text,
                                 std::int64_t nowMs);
    bool ConfirmJump(const std::string& bid, int price, std::int64_t nowMs);
    std::vector<Action> Relay(ConnId sender, std::int64_t timeCode, int price, std::int64_t nowMs);
    std::vector<Action> DecideJamHere(std::int64_t nowMs);
    void ForgetStaleRoom(std::int64_t nowMs);

    RuleSettings settings_;
    RefusalLog refusals_;
    std::unordered_map<ConnId, Conn> conns_;
    std::unordered_map<std::string, int> perAddress_;
    bool clustered_ = false;
    int remoteClients_ = 0;

    std::int64_t newestTime_ = 0;
    int newestPrice_ = 0;
    std::int64_t lastRelayMs_ = 0;
    std::vector<Pending> pending_;
    std::map<std::string, std::int64_t> jamSeen_;  // bid number -> last "6_0"
    std::int64_t lastJamMs_ = -1;
};

}  // namespace kestrava::sync
