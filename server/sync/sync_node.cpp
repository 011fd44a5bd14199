#include "sync_node.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <future>
#include <mutex>
#include <sstream>

namespace kestrava::sync {

std::int64_t SystemMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

std::string DefaultNodeName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == 0) std::snprintf(host, sizeof host, "node");
    return std::string(host) + "-" + std::to_string(getpid());
}

SyncNode::Log StderrLog(const std::string& node) {
    return [node](const std::string& line) {
        static std::mutex m;
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%SZ", &tm);
        std::lock_guard lock(m);
        std::fprintf(stderr, "%s %s %s\n", stamp, node.c_str(), line.c_str());
    };
}

ServerSettings Named(ServerSettings s) {
    if (s.node.empty()) s.node = DefaultNodeName();
    // A process out of file descriptors cannot even accept a connection to refuse it, and the
    // library retries the accept at once: stay clear of the limit and refuse in the handshake.
    rlimit files{};
    if (s.rules.maxConnections == 0 && getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        s.rules.maxConnections = std::max(1, static_cast<int>(files.rlim_cur) - 200);
    }
    return s;
}

}  // namespace

SyncNode::SyncNode(ServerSettings settings, Log log)
    : settings_(Named(std::move(settings))),
      log_(log ? std::move(log) : StderrLog(settings_.node)),
      rules_(settings_.rules, log_),
      transport_(rules_, SystemMs, log_, [this](const Action& a) { ToCluster(a); }) {
    if (!settings_.redisHost.empty()) {
        RedisBridge::Events events;
        events.onState = [this](bool up, const std::string& why) {
            transport_.Post([this, up, why] { OnRedisState(up, why); });
        };
        events.onMessage = [this](const std::string& m) { transport_.Post([this, m] { FromCluster(m); }); };
        bridge_ = std::make_unique<RedisBridge>(settings_.redisHost, settings_.redisPort, settings_.room, settings_.node,
                                                std::move(events));
    }
}

SyncNode::~SyncNode() {
    if (bridge_) bridge_->Stop();
}

bool SyncNode::Listen(std::string* error) {
    if (!transport_.Listen(settings_.bind, settings_.port, error)) return false;
    log_("listening on " + settings_.bind + ":" + std::to_string(Port()) +
         (bridge_ ? ", cluster through redis " + settings_.redisHost + ":" + std::to_string(settings_.redisPort)
                  : ", no cluster"));
    return true;
}

void SyncNode::Run() {
    if (bridge_) bridge_->Start();
    transport_.Run([this] {
        if (!bridge_) return;
        bridge_->ShareClients(rules_.LocalClients(), [this](int remote) {
            if (remote >= 0) transport_.Post([this, remote] { rules_.SetRemoteClients(remote); });
        });
    });
    if (bridge_) bridge_->Stop();
}

void SyncNode::Stop() { transport_.Stop(); }

bool SyncNode::Inspect(const std::function<void(const RelayRules&, bool)>& fn) {
    auto done = std::make_shared<std::promise<void>>();
    auto f = done->get_future();
    transport_.Post([this, &fn, done] {
        fn(rules_, rules_.Clustered());
        done->set_value();
    });
    return f.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

void SyncNode::OnRedisState(bool up, const std::string& why) {
    if (up == rules_.Clustered()) return;
    rules_.SetClustered(up);
    const std::string where = settings_.redisHost + ":" + std::to_string(settings_.redisPort);
    if (up) {
        log_("redis " + where + " joined: reports and jam signals are shared with the cluster");
    } else {
        rules_.SetRemoteClients(0);
        log_("redis " + where + " lost (" + why + "): relaying within this node, reconnecting at least every second");
    }
}

// The cluster's answers come back on the bridge's threads and are handed to the event loop.
void SyncNode::ToCluster(const Action& a) {
    if (!bridge_) return;
    switch (a.kind) {
        case Action::Kind::CheckReport:
            bridge_->CheckReport(a.conn, a.timeCode, a.price, settings_.rules.roomForgetMs, [this, a](int r) {
                const Verdict v = r == 0 ? Verdict::Accepted : r == 1 ? Verdict::Stale : r == 2 ? Verdict::Fell
                                                                                            : Verdict::Unavailable;
                transport_.Post([this, a, v] {
                    transport_.Execute(rules_.OnReportVerdict(a.conn, a.timeCode, a.price, v, SystemMs()));
                });
            });
            break;
        case Action::Kind::CountJam:
            bridge_->CountJam(a.bid, settings_.rules.jamWindowMs, settings_.rules.jamQuorum, [this](int n) {
                transport_.Post([this, n] { transport_.Execute(rules_.OnJamCount(n, SystemMs())); });
            });
            break;
        case Action::Kind::SharePending:
            bridge_->SharePending(a.bid, a.price);
            break;
        default:
            break;
    }
}

// "r <node> <conn> <time code> <price>", "j <node> <count>", "q <node> <bid> <price>"; this
// node's own messages were handled when it sent them.
void SyncNode::FromCluster(const std::string& message) {
    std::istringstream in(message);
    std::string kind, node;
    if (!(in >> kind >> node) || node == settings_.node) return;
    const std::int64_t now = SystemMs();
    if (kind == "r") {
        std::uint64_t conn = 0;
        std::int64_t t = 0;
        int p = 0;
        if (in >> conn >> t >> p) transport_.Execute(rules_.OnRemoteReport(t, p, now));
    } else if (kind == "j") {
        int n = 0;
        if (in >> n && n > 0) transport_.Execute(rules_.OnJamCount(n, now));
    } else if (kind == "q") {
        std::string bid;
        int p = 0;
        if (in >> bid >> p) rules_.OnRemotePending(bid, p, now);
    }
}

}  // namespace kestrava::sync
