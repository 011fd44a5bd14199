// The WebSocket link with the synchronisation server: price reports of the other clients and jam
// signals come in and are posted to the console window; the console's own reports go out. One
// worker thread runs the connection's event loop; a 30-second heartbeat keeps it alive, watches
// for silence and starts a new connection whenever the old one has ended.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/platform.h"

namespace kestrava::net {

// "ws://" + host + ":9002/?id=" + bid number + "&type=101".
std::string BuildSyncUrl(std::string_view syncHost, std::string_view bidNumber);

// What a text from the server means.
struct SyncMessage {
    enum class Kind {
        Heartbeat,    // exactly "hbeat"
        PriceReport,  // "1_" + ten-digit page time code + separator + price
        JamSignal,    // "6_" + N
        Ignored,      // anything else
        Malformed,    // "1_" or "6_" whose fields do not convert
    };
    Kind kind = Kind::Ignored;
    std::uint32_t price = 0;        // PriceReport
    std::int32_t timeCode = 0;      // PriceReport
    std::uint32_t count = 0;        // JamSignal
    std::string error;              // Malformed: why
};
SyncMessage ParseSyncMessage(std::string_view payload);

// The console's page report (message 0x46e: page price, page-clock value) as the text to send
// to the server, or nothing. `newestTimeCode` is the run's newest ten-digit page time code
// (shared with the server reports' handling); a code from 11:00:00 on that is newer than it
// becomes the newest whether or not it is sent. Only the last ten seconds of a real run are
// reported, with `feedLowestPrice` as the price. The caller sends the text with
// SyncClient::Send, which drops it when the link is not open.
std::optional<std::string> PageReportText(std::uint32_t pagePrice, std::int64_t pageClock, bool simulation,
                                          int swbidmode, int remainingSeconds, std::int32_t feedLowestPrice,
                                          std::int64_t& newestTimeCode);

// Connection states as the WebSocket library numbers them.
enum class LinkState { None = -1, Connecting = 0, Open = 1, Closing = 2, Closed = 3 };

class SyncClient {
public:
    struct Options {
        std::string url;
        // Title of the window that receives 0x46f and 0x49c.
        std::string consoleTitle = "Vonter沪牌抢拍助手";
        // How long a restart or shutdown waits for the old event loop to end before leaving the
        // thread to finish on its own.
        std::uint32_t stopWaitMs = 500;
        // Silence longer than this on an open connection ends it (status 1001).
        std::uint32_t silenceLimitMs = 60000;
    };

    // `clock` gives the PC time of the silent window and the tick count of the silence watch;
    // `desktop` finds the console window. Both must outlive this object (a thread still running
    // after the destructor no longer touches them).
    SyncClient(platform::Clock& clock, platform::Desktop& desktop, Options options);
    ~SyncClient();
    SyncClient(const SyncClient&) = delete;
    SyncClient& operator=(const SyncClient&) = delete;

    // Starts a new worker thread running the client routine (console start, and restarts).
    void StartSyncClient();

    // The 30-second heartbeat: keep-alive, silence watch, reconnect.
    void HeartbeatTick();

    // Sends one text frame on the current connection when it is open (the console's "1_" page
    // reports and "6_0"). False, with nothing sent, when there is no open connection.
    bool Send(std::string_view text);

    // Stops the event loop and waits up to `stopWaitMs` for the worker; a worker that does not
    // end in time is left to finish on its own. Called by the destructor.
    void Shutdown();
    // The same with a wait of `waitMs`; true when no worker was left running.
    bool Shutdown(std::uint32_t waitMs);

    LinkState State();
    std::uint32_t LastMessageTick();

    struct Shared;   // what a worker may touch after this object is gone
    struct Session;  // one worker's endpoint and connection

private:
    void Restart();
    bool StopWorker(std::uint32_t waitMs);

    platform::Clock& clock_;
    Options options_;
    std::shared_ptr<Shared> shared_;
    std::mutex workerMutex_;  // serialises start, restart and shutdown
    std::shared_ptr<Session> session_;
    std::thread worker_;
};

}  // namespace kestrava::net
