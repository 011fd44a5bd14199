// The sync server under load on this machine: connections held, fan-out latency, memory per
// idle connection, the extra latency of a second node through Redis, and a flood of bad frames.
// Each server is a process of its own (its memory is read from /proc); the load comes from this
// process and, for the connections beyond what one process may open, from a forked helper.
//   build/bench/bench_sync_server [CONNECTIONS [FANOUT [FLOOD_CLIENTS [FLOOD_FRAMES]]]]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bare_fanout.h"
#include "protocol.h"
#include "raw_clients.h"
#include "sync_test_support.h"
#include "ws_clients.h"

using namespace kestrava::sync;
using namespace kestrava::sync::testing;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

long RssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// CPU time the process has used, in milliseconds.
double CpuMs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream rest(all.substr(all.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(field);
    }
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A kestrava-sync-server process on 127.0.0.1.
class ServerProcess {
public:
    ServerProcess(const std::string& name, const std::string& settings, const std::string& redis = "") : port_(FreePort()) {
        const std::string file = "/tmp/bench-sync-" + name + ".ini";
        std::ofstream(file) << settings;
        const std::string log = "/tmp/bench-sync-" + name + ".log";
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen(log.c_str(), "w", stderr);
            const std::string port = std::to_string(port_);
            if (redis.empty()) {
                execl(SYNC_SERVER_BIN, SYNC_SERVER_BIN, "--settings", file.c_str(), "--bind", "127.0.0.1", "--port",
                      port.c_str(), "--node", name.c_str(), static_cast<char*>(nullptr));
            } else {
                execl(SYNC_SERVER_BIN, SYNC_SERVER_BIN, "--settings", file.c_str(), "--bind", "127.0.0.1", "--port",
                      port.c_str(), "--node", name.c_str(), "--redis", redis.c_str(), static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        std::this_thread::sleep_for(300ms);
    }
    ~ServerProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    int Port() const { return port_; }
    bool Alive() { return waitpid(pid_, nullptr, WNOHANG) == 0; }
    pid_t Pid() const { return pid_; }
    std::string Url(int bid) const {
        return "ws://127.0.0.1:" + std::to_string(port_) + "/?id=" + std::to_string(10000000 + bid) + "&type=101";
    }

private:
    int port_;
    pid_t pid_ = -1;
};

// Opens `n` websocketpp connections in batches; how many are open.
int OpenMany(WsClients& c, const ServerProcess& s, int first, int n, std::vector<int>& ids) {
    for (int k = 0; k < n; k += 500) {
        const int batch = std::min(500, n - k);
        std::vector<int> b;
        for (int j = 0; j < batch; ++j) b.push_back(c.Open(s.Url(first + k + j)));
        for (int i : b) c.WaitOpen(i, 10s);
        ids.insert(ids.end(), b.begin(), b.end());
    }
    return c.OpenCount();
}

// Counts a text's arrivals at many clients and notes when the last one came.
struct Arrivals {
    std::mutex m;
    std::condition_variable cv;
    std::string text;
    int expected = 0, got = 0;
    Clock::time_point last;

    void Expect(const std::string& t, int n) {
        std::lock_guard lock(m);
        text = t;
        expected = n;
        got = 0;
    }
    void Note(const std::string& t) {
        std::lock_guard lock(m);
        if (t != text) return;
        if (++got == expected) {
            last = Clock::now();
            cv.notify_all();
        }
    }
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, timeout, [&] { return got >= expected; });
    }
};

// Rounds of one report sent by client 0 and awaited at every other open client; the time from
// the send to the last arrival of each round that completed.
std::vector<double> FanoutRounds(RawClients& clients, Arrivals& arrivals, int open, int rounds) {
    std::vector<double> lat;
    for (int r = 0; r < rounds; ++r) {
        const std::string text = ReportText(1129000000 + r * 100, 89300);
        arrivals.Expect(text, open - 1);
        const auto sent = Clock::now();
        clients.Send(0, text);
        if (!arrivals.Wait(10s)) {
            std::printf("round %d: only %d of %d arrived\n", r, arrivals.got, open - 1);
            continue;
        }
        lat.push_back(Ms(arrivals.last - sent));
        std::this_thread::sleep_for(20ms);  // the previous round's acknowledgements settle
    }
    return lat;
}

void BareFanout(int fanout) {
    std::printf("== the floor: a bare server (one send() per client, no WebSocket library) fanning out to %d\n",
                fanout);
    bare::Server server(fanout + 1);
    if (server.Port() == 0) {
        std::printf("bare server did not start\n");
        return;
    }
    Arrivals arrivals;
    RawClients clients(server.Port(), [&](int, const std::string& t) { arrivals.Note(t); });
    const int open = clients.Open(fanout + 1, 10000000);
    std::this_thread::sleep_for(1s);
    const std::vector<double> lat = FanoutRounds(clients, arrivals, open, 100);
    std::printf("bare fan-out to %d: send -> last receive p50 %.1f ms, p99 %.1f ms (%zu rounds)\n", open - 1,
                Percentile(lat, 0.5), Percentile(lat, 0.99), lat.size());
}

const char* kRelaxed =
    "clock_skew_ms = 0\nconnections_per_address = 0\njump_limit = 1000000\nrate_per_second = 1000\n";

void HeldConnectionsAndFanout(int target, int fanout) {
    std::printf("== one node: %d connections held, one report fanned out to %d clients\n", target, fanout);
    ServerProcess server("single", kRelaxed);
    const long rss0 = RssKb(server.Pid());
    Arrivals arrivals;
    RawClients clients(server.Port(), [&](int, const std::string& t) { arrivals.Note(t); });
    const auto t0 = Clock::now();
    const int open = clients.Open(fanout + 1, 10000000);
    std::printf("opened %d of %d in %.0f ms\n", open, fanout + 1, Ms(Clock::now() - t0));
    std::this_thread::sleep_for(1s);
    const long rss1 = RssKb(server.Pid());
    std::printf("memory per idle connection: %.1f KB (server RSS %ld KB -> %ld KB)\n",
                static_cast<double>(rss1 - rss0) / open, rss0, rss1);

    const double cpu0 = CpuMs(server.Pid());
    const std::vector<double> lat = FanoutRounds(clients, arrivals, open, 100);
    const double cpu = (CpuMs(server.Pid()) - cpu0) / 100;
    std::printf("fan-out to %d: send -> last receive p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu rounds); "
                "server CPU %.1f ms per fan-out\n", open - 1, Percentile(lat, 0.5), Percentile(lat, 0.99),
                Percentile(lat, 1.0), lat.size(), cpu);

    // The rest of the target from a helper process: one process may hold only so many sockets.
    const int more = target - open;
    int pipeFd[2];
    if (more <= 0 || pipe(pipeFd) != 0) return;
    const pid_t helper = fork();
    if (helper == 0) {
        close(pipeFd[0]);
        RawClients held(server.Port(), [](int, const std::string&) {});
        held.Open(more, 10000000 + fanout + 1);
        std::this_thread::sleep_for(5s);
        const int still = held.OpenCount();
        if (write(pipeFd[1], &still, sizeof still) != sizeof still) _exit(1);
        pause();
        _exit(0);
    }
    close(pipeFd[1]);
    int heldOpen = 0;
    if (read(pipeFd[0], &heldOpen, sizeof heldOpen) != sizeof heldOpen) heldOpen = 0;
    close(pipeFd[0]);
    const int total = clients.OpenCount() + heldOpen;
    const long rss2 = RssKb(server.Pid());
    std::printf("held %d of %d connections for 5 s (server alive: %s); memory per idle connection %.1f KB "
                "(server RSS %ld KB)\n", total, target, server.Alive() ? "yes" : "NO",
                static_cast<double>(rss2 - rss0) / total, rss2);
    kill(helper, SIGKILL);
    waitpid(helper, nullptr, 0);
}

void TwoNodes() {
    std::printf("== two nodes through Redis: extra latency of a report relayed to the other node\n");
    RedisProcess redis(FreePort());
    if (!redis.Start()) {
        std::printf("redis-server did not start\n");
        return;
    }
    const std::string where = "127.0.0.1:" + std::to_string(redis.Port());
    ServerProcess a("node-a", kRelaxed, where), b("node-b", kRelaxed, where);
    std::this_thread::sleep_for(1500ms);  // both subscribed, client counts shared
    WsClients clients;
    std::mutex m;
    std::condition_variable cv;
    std::string expect;
    Clock::time_point local, remote;
    bool gotLocal = false, gotRemote = false;
    const int sender = clients.Open(a.Url(1)), near = clients.Open(a.Url(2)), far = clients.Open(b.Url(3));
    for (int i : {sender, near, far}) clients.WaitOpen(i);
    clients.OnMessage([&](int i, const std::string& t) {
        std::lock_guard lock(m);
        if (t != expect) return;
        if (i == near) local = Clock::now(), gotLocal = true;
        if (i == far) remote = Clock::now(), gotRemote = true;
        cv.notify_all();
    });
    std::vector<double> extra, direct;
    for (int r = 0; r < 300; ++r) {
        const std::string text = ReportText(1129000000 + r * 100, 89300);
        Clock::time_point sent;
        {
            std::lock_guard lock(m);
            expect = text;
            gotLocal = gotRemote = false;
            sent = Clock::now();
        }
        clients.Send(sender, text);
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, 2s, [&] { return gotLocal && gotRemote; })) continue;
        extra.push_back(Ms(remote - local));
        direct.push_back(Ms(local - sent));
        lock.unlock();
        std::this_thread::sleep_for(2ms);
    }
    std::printf("same node p50 %.2f ms; other node extra p50 %.2f ms, p99 %.2f ms (%zu of 300 reports)\n",
                Percentile(direct, 0.5), Percentile(extra, 0.5), Percentile(extra, 0.99), extra.size());
}

void Flood(int flooders, int frames) {
    std::printf("== flood: %d clients x %d bad frames, default rules\n", flooders, frames);
    ServerProcess server("flood", "connections_per_address = 0\n");
    WsClients flood(false);
    std::vector<int> ids;
    OpenMany(flood, server, 100, flooders, ids);
    WsClients consoles;
    const int a = consoles.Open(server.Url(1)), b = consoles.Open(server.Url(2)), w = consoles.Open(server.Url(3));
    for (int i : {a, b, w}) consoles.WaitOpen(i);
    std::vector<double> lat;
    int tried = 0;
    std::atomic<bool> flooding{true};
    std::thread legit([&] {
        // The first price needs two bid numbers; then a's reports go through alone.
        consoles.Send(a, "1_" + NowCode() + ",89300");
        std::this_thread::sleep_for(20ms);
        int r = 0;
        while (flooding) {
            const std::string text = "1_" + NowCode(++r) + ",89300";
            const auto sent = Clock::now();
            consoles.Send(r == 1 ? b : a, text);
            ++tried;
            if (consoles.WaitFor(w, text, 2s)) lat.push_back(Ms(Clock::now() - sent));
            std::this_thread::sleep_for(100ms);
        }
    });
    const std::string big(2000, 'x');
    const auto t0 = Clock::now();
    for (int k = 0; k < frames; ++k) {
        for (int n = 0; n < flooders; ++n) {
            std::string f;
            switch ((k + n) % 8) {
                case 0: f = "\x01\xfe garbage " + std::to_string(k); break;
                case 1: f = big; break;
                case 2: f = "1_" + NowCode() + ",89300,1"; break;
                case 3: f = "1_" + NowCode() + ",50000"; break;
                case 4: f = "1_" + NowCode() + ",999900"; break;
                case 5: f = "1_" + NowCode(-60000) + ",89300"; break;
                case 6: f = "6_7"; break;
                case 7: f = "1_" + NowCode() + ",89350"; break;
            }
            flood.Send(ids[n], f);
        }
        if (k % 10 == 9) std::this_thread::sleep_for(1ms);
    }
    const double sendMs = Ms(Clock::now() - t0);
    std::this_thread::sleep_for(2s);
    flooding = false;
    legit.join();
    int bad = 0;
    for (const std::string& t : Reports(consoles.Received(w))) {
        const ClientFrame f = ParseClientFrame(t);
        bad += f.kind != ClientFrame::Kind::Report || f.price != 89300;
    }
    const int late = consoles.Open(server.Url(4));
    const bool answers = consoles.WaitOpen(late) && (consoles.Send(late, "hbeat"), consoles.WaitFor(late, "hbeat"));
    std::printf("tried %d bad frames in %.0f ms (the server closed %d of the %d flooders); server alive and "
                "answering: %s; server RSS %ld KB\n", flooders * frames, sendMs, flood.EndedCount(), flooders,
                answers && server.Alive() ? "yes" : "NO", RssKb(server.Pid()));
    std::printf("legit reports during the flood: %zu of %d relayed within 2 s, p50 %.1f ms, p99 %.1f ms; anything "
                "else relayed: %d\n", lat.size(), tried, Percentile(lat, 0.5), Percentile(lat, 0.99), bad);
}

}  // namespace

int main(int argc, char** argv) {
    const int target = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int fanout = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int flooders = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int frames = argc > 4 ? std::atoi(argv[4]) : 1000;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    signal(SIGPIPE, SIG_IGN);
    // As many files as the server package's unit allows (65 536), where this user may raise the
    // limit that far; the servers started below inherit it.
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    rlimit wanted = r;
    wanted.rlim_max = std::max<rlim_t>(r.rlim_max, 65536);
    wanted.rlim_cur = wanted.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &wanted) != 0) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
    getrlimit(RLIMIT_NOFILE, &r);
    std::printf("open files allowed per process: %llu\n", static_cast<unsigned long long>(r.rlim_cur));
    HeldConnectionsAndFanout(target, fanout);
    BareFanout(fanout);
    TwoNodes();
    Flood(flooders, frames);
    return 0;
}
