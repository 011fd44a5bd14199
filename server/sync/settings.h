// The sync server's settings: a file of `key = value` lines, then the command line over it.
// docs/sync-server.md lists every key with its default and the reason for it.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace kestrava::sync {

// What the relay rules need; the values are the defaults.
struct RuleSettings {
    std::int64_t clockSkewMs = 3000;    // 0: report times are not compared with the server clock
    int utcOffsetMinutes = 480;         // the page clock is Beijing time
    int jamQuorum = 3;                  // K distinct bid numbers...
    std::int64_t jamWindowMs = 1000;    // ...within W ms make a jam signal
    int jumpLimit = 300;                // a report more than X above the newest price...
    std::int64_t jumpQuorumMs = 1000;   // ...needs a second bid number within Y ms
    int ratePerSecond = 20;             // frames per second and connection (also the burst)
    int dropAfterRefusals = 100;        // refused frames of one connection within a second that
                                        // close it (0: never)
    std::size_t frameLimit = 64;        // bytes of one frame
    std::size_t backlogLimit = 1 << 20; // bytes waiting, beyond the socket's buffers, for a
                                        // console that does not read, before it is closed (0: never)
    int connectionsPerAddress = 16;     // 0: no limit
    int maxConnections = 0;             // 0: the open-file limit less a reserve
    std::int64_t roomForgetMs = 600000; // a room quiet this long starts afresh (the next auction)
    std::int64_t streakQuietMs = 5000;  // a refusal streak ends after this long without one
    // Empty: anyone may connect.
    std::set<std::string> allowList;
};

struct ServerSettings {
    std::string bind = "0.0.0.0";
    int port = 9002;
    std::string redisHost;  // empty: no cluster
    int redisPort = 6379;
    std::string node;       // empty: host name and process id
    std::string room = "kestrava";
    std::string allowListFile;
    RuleSettings rules;
};

// Reads `path` into `settings`; false with the line and reason on an unknown key, a value that
// is not a number where one is needed, or an unreadable file. Keys missing from the file keep
// their values.
bool LoadSettingsFile(const std::string& path, ServerSettings& settings, std::string* error);

// The bid numbers of an allow-list file: one per line, blank lines and `#` comments skipped.
// False with the reason when the file cannot be read or a line is not an eight-digit number.
bool LoadAllowList(const std::string& path, std::set<std::string>& out, std::string* error);

// `--settings FILE` first (wherever it stands), then the other options over it; the allow-list
// file named by either is read last. False with the reason on anything unknown or bad.
bool ParseCommandLine(int argc, const char* const* argv, ServerSettings& settings, std::string* error);

// "HOST:PORT" (or "HOST", port 6379).
bool ParseHostPort(const std::string& text, std::string& host, int& port);

}  // namespace kestrava::sync
