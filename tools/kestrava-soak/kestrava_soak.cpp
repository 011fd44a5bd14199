// kestrava-soak: replays N randomized last minutes back to back on the virtual clock (the console
// with every role, as kestrava-replay runs it) and watches the process for what a long day would
// pile up: resident memory, threads and open files. Prints a row every tenth of the runs and a
// summary; fails when threads or open files grow, or memory grows beyond what warm-up explains.
//
//   kestrava-soak [RUNS] [SEED]      (defaults: 1000 runs, seed 1)
//
// Exit status: 0 when flat, 1 when something grew or a run did not start, 2 for a wrong command line.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "runtime/replay.h"
#include "runtime/scenario.h"

namespace {

using namespace kestrava::runtime;

// VmRSS and Threads of /proc/self/status (kB and count).
struct Usage {
    long rssKb = 0;
    long threads = 0;
    long fds = 0;
};

Usage Measure() {
    Usage u;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") status >> u.rssKb;
        if (key == "Threads:") status >> u.threads;
    }
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++u.fds;
        ::closedir(d);
        --u.fds;  // the directory stream itself
    }
    return u;
}

std::string Clock(int secondsAfter1129, int ms = 0) {
    const int total = 11 * 3600 + 29 * 60 + secondsAfter1129;
    char t[32];
    std::snprintf(t, sizeof t, "%02d:%02d:%02d.%03d", total / 3600, total / 60 % 60, total % 60, ms);
    return t;
}

// One last minute of a real auction: a strategy with random bid moments and amounts, a lowest
// price that climbs in random steps, the bidder's Enter at a random moment (or never), jam
// signals, server reports and the screen's price figure now and then; now and then too the page
// shell killed and started again, or the PC clock stepped by a few seconds.
std::string RandomLastMinute(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::string s = "start 11:29:00\nstop 11:30:02\nset userconf moniornot 0\n";
    s += "set conf swbidmode " + std::to_string(pick(0, 1)) + "\nslot 1\n";
    s += "set policy 1 check1 " + std::to_string(pick(0, 1)) + "\nset policy 1 radio1 1\n";
    s += "set policy 1 SecondBidTime " + std::to_string(pick(40, 55)) + "\n";
    s += "set policy 1 SecondPlus " + std::to_string(pick(3, 9) * 100) + "\n";
    s += "set policy 1 check11 " + std::to_string(pick(0, 1)) + "\n";
    s += "set policy 1 ThirdBidTime " + std::to_string(pick(50, 57)) + "\n";
    s += "set policy 1 ThirdPlus " + std::to_string(pick(3, 9) * 100) + "\n";
    s += "set policy 1 check4 " + std::to_string(pick(0, 1)) + "\n";
    s += "set policy 1 ctrlXpricelimit " + std::to_string(pick(2, 4) * 100) + "\n";
    s += "set policy 1 pricelimitStartTime 60\n";
    int price = pick(850, 900) * 100;
    s += "at 11:29:00 price " + std::to_string(price) + "\n";
    s += "feed 11:29:00 11:30:00 every " + std::to_string(pick(1, 5) * 100) + "\n";
    for (int second = 1; second < 60; ++second) {
        if (pick(0, 2) == 0) {
            price += 100;
            s += "at " + Clock(second, pick(0, 999)) + " price " + std::to_string(price) + "\n";
        }
        if (pick(0, 9) == 0) s += "at " + Clock(second) + " jam " + std::to_string(pick(0, 5)) + "\n";
        if (second >= 45 && pick(0, 3) == 0)
            s += "at " + Clock(second, pick(0, 999)) + " server " + std::to_string(price + pick(0, 1) * 100) +
                 " 1129" + (second < 10 ? "0" : "") + std::to_string(second) + "0000\n";
        if (pick(0, 14) == 0) s += "at " + Clock(second) + " screen " + std::to_string(price - pick(0, 2) * 100) + "\n";
    }
    if (pick(0, 4) != 0) s += "at " + Clock(pick(10, 50)) + " key enter\n";
    if (pick(0, 9) == 0) s += "at " + Clock(pick(50, 58)) + " key escape\n";
    if (pick(0, 9) == 0) {
        const int killed = pick(20, 55);
        s += "at " + Clock(killed) + " shell killed\nat " + Clock(killed + pick(1, 4), pick(0, 999)) + " shell started\n";
    }
    if (pick(0, 9) == 0) {
        const int at = pick(20, 58);
        s += "at " + Clock(at) + " clock " + Clock(at + pick(-5, 5), pick(0, 999)) + "\n";
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 || (argc > 1 && std::atoi(argv[1]) <= 0)) {
        std::fprintf(stderr, "usage: %s [RUNS] [SEED]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u;
    std::mt19937 rng(seed);

    // Warm-up: the first runs fill the allocator's pools and the libraries' one-time state.
    const int warmup = runs < 20 ? 1 : runs / 20;
    Usage base;
    Usage peak;
    long confirmations = 0;
    const auto t0 = std::chrono::steady_clock::now();
    std::printf("%8s %10s %8s %6s %10s\n", "run", "rss_kB", "threads", "fds", "seconds");
    for (int run = 1; run <= runs; ++run) {
        const std::string text = RandomLastMinute(rng);
        const ParseResult parsed = ParseScenario(text, "soak-" + std::to_string(run));
        if (!parsed.scenario) {
            std::fprintf(stderr, "run %d: scenario line %d: %s\n", run, parsed.error->line, parsed.error->message.c_str());
            return 1;
        }
        const ReplayResult result = RunReplay(*parsed.scenario);
        if (!result.started) {
            std::fprintf(stderr, "run %d: the console did not start: %s\n", run, result.failure.c_str());
            return 1;
        }
        confirmations += static_cast<long>(result.confirmations.size());
        const Usage u = Measure();
        if (run == warmup) base = u;
        if (run >= warmup) {
            peak.rssKb = std::max(peak.rssKb, u.rssKb);
            peak.threads = std::max(peak.threads, u.threads);
            peak.fds = std::max(peak.fds, u.fds);
        }
        if (run == 1 || run == warmup || run % std::max(1, runs / 10) == 0 || run == runs) {
            const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::printf("%8d %10ld %8ld %6ld %10.1f\n", run, u.rssKb, u.threads, u.fds, secs);
            std::fflush(stdout);
        }
    }
    const Usage end = Measure();
    std::printf("after warm-up (run %d): rss %ld kB, %ld threads, %ld fds; after run %d: rss %ld kB (peak %ld), "
                "%ld threads (peak %ld), %ld fds (peak %ld); %ld confirmations\n",
                warmup, base.rssKb, base.threads, base.fds, runs, end.rssKb, peak.rssKb, end.threads, peak.threads,
                end.fds, peak.fds, confirmations);
    // Threads and files must come back to what one run leaves; memory may settle a little higher
    // (allocator fragmentation) but must not climb with the number of runs.
    const long rssGrowthKb = peak.rssKb - base.rssKb;
    const bool flat = peak.threads <= base.threads && peak.fds <= base.fds && rssGrowthKb <= 16 * 1024;
    std::printf("%s (memory growth after warm-up %ld kB)\n", flat ? "flat" : "GROWING", rssGrowthKb);
    return flat ? 0 : 1;
}
