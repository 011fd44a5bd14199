#include "net/sync_client.h"

#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <utility>

#include "log/log_book.h"
#include "net/window_messages.h"
#include "net/ws_endpoint.h"
#include "platform/threads.h"

namespace kestrava::net {

using kestrava::log::DebugPrintf;

namespace {

// The leading decimal number of `field` when it has one and it fits a signed 32-bit value. Signs
// and blanks are not numbers here: a price or a time code never carries them.
std::optional<std::int32_t> LeadingNumber(std::string_view field, std::string* error) {
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (char c : field) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
            *error = "number out of range";
            return std::nullopt;
        }
        ++digits;
    }
    if (digits == 0) {
        *error = "no number";
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// The silent window of the auction's last half minute, in whole seconds of the PC clock: the
// server is busiest then and a heartbeat would only add to the load.
constexpr std::uint16_t kGoingAway = 1001;

bool InSilentWindow(const platform::LocalTime& now) {
    const int s = now.hour * 3600 + now.minute * 60 + now.second;
    return s >= 11 * 3600 + 29 * 60 + 29 && s <= 11 * 3600 + 30 * 60 + 10;
}

}  // namespace

std::string BuildSyncUrl(std::string_view syncHost, std::string_view bidNumber) {
    std::string url = "ws://";
    url += syncHost;
    url += ":9002/?id=";
    url += bidNumber;
    url += "&type=101";
    return url;
}

SyncMessage ParseSyncMessage(std::string_view payload) {
    SyncMessage m;
    if (payload == "hbeat") {
        m.kind = SyncMessage::Kind::Heartbeat;
        return m;
    }
    const bool price = payload.substr(0, 2) == "1_";
    const bool jam = payload.substr(0, 2) == "6_";
    if (!price && !jam) return m;

    m.kind = SyncMessage::Kind::Malformed;
    if (price) {
        // T is the ten characters from position 2, P the digits from position 13 (at most six:
        // prices reach 100 000); position 12 is a separator nobody looks at.
        if (payload.size() < 14) {
            m.error = "too short";
            return m;
        }
        const auto t = LeadingNumber(payload.substr(2, 10), &m.error);
        if (!t) return m;
        const auto p = LeadingNumber(payload.substr(13, 6), &m.error);
        if (!p) return m;
        m.kind = SyncMessage::Kind::PriceReport;
        m.timeCode = *t;
        m.price = static_cast<std::uint32_t>(*p);
        return m;
    }
    const auto n = LeadingNumber(payload.substr(2), &m.error);
    if (!n) return m;
    m.kind = SyncMessage::Kind::JamSignal;
    m.count = static_cast<std::uint32_t>(*n);
    return m;
}

std::optional<std::string> PageReportText(std::uint32_t pagePrice, std::int64_t pageClock, bool simulation,
                                          int swbidmode, int remainingSeconds, std::int32_t feedLowestPrice,
                                          std::int64_t& newestTimeCode) {
    if (pagePrice < 301 || simulation || swbidmode == 2) return std::nullopt;
    // HHMMSSffff from 11:00:00.0000 on; the six-digit clock format and older or repeated
    // moments are never reported.
    if (pageClock < 1100000000 || pageClock > 1200005959 || pageClock <= newestTimeCode) return std::nullopt;
    // A code whose minute or second is beyond 59 is no moment at all; as the newest it would
    // hold back every true report after it.
    if (pageClock / 1000000 % 100 > 59 || pageClock / 10000 % 100 > 59) return std::nullopt;
    newestTimeCode = pageClock;
    if (remainingSeconds > 10) return std::nullopt;
    return "1_" + std::to_string(pageClock) + "," + std::to_string(feedLowestPrice);
}

// ---------------------------------------------------------------------------------------------
// State shared between the client object and its workers. A worker holds it by shared_ptr, so a
// worker that was left behind by a restart or outlives the client still finds it alive; the
// client detaches the platform from it when it goes, and a left-behind worker is marked so that
// it neither posts to the console nor refreshes the silence watch any more.

struct SyncClient::Session {
    std::mutex mutex;  // guards stopRequested and the creation of the endpoint
    bool stopRequested = false;
    // Set under Shared::platformMutex, so no post of this session is under way once it is set.
    std::atomic<bool> abandoned{false};
    // Set once by the worker, before the session is linked.
    std::unique_ptr<WsClientEndpoint> endpoint;
    std::promise<void> done;
    std::shared_future<void> finished = done.get_future().share();

    void Stop() {
        std::lock_guard lock(mutex);
        stopRequested = true;
        if (endpoint) endpoint->Stop();
    }
};

struct SyncClient::Shared {
    // Two locks, so that a console handler run synchronously by a post (as on the fake desktop)
    // may send or ask the state without deadlocking.
    std::mutex platformMutex;  // clock, desktop, and Session::abandoned
    std::mutex linkMutex;      // linked
    platform::Clock* clock = nullptr;
    platform::Desktop* desktop = nullptr;
    std::string consoleTitle;
    // The link handle the console's senders and the heartbeat use; empty whenever no worker is
    // running its event loop.
    std::shared_ptr<Session> linked;
    std::atomic<std::uint32_t> lastMessageTick{0};

    std::shared_ptr<Session> Linked() {
        std::lock_guard lock(linkMutex);
        return linked;
    }

    void Unlink(const std::shared_ptr<Session>& session) {
        std::lock_guard lock(linkMutex);
        if (linked == session) linked.reset();
    }

    void Touch(const Session& from) {
        std::lock_guard lock(platformMutex);
        if (from.abandoned || clock == nullptr) return;
        lastMessageTick = clock->TickCount();
    }

    void Post(const Session& from, const platform::Message& m) {
        std::lock_guard lock(platformMutex);
        if (from.abandoned || desktop == nullptr) return;
        const platform::WindowId w = desktop->FindWindowByTitle(consoleTitle);
        if (w != 0) desktop->PostMessage(w, m);
    }
};

namespace {

// The start of a payload, safe to print on a terminal.
std::string Printable(const std::string& payload) {
    std::string out = payload.substr(0, 40);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '.';
    }
    return out;
}

void OnMessage(SyncClient::Shared& shared, const SyncClient::Session& session, const std::string& payload) {
    shared.Touch(session);
    const SyncMessage m = ParseSyncMessage(payload);
    switch (m.kind) {
        case SyncMessage::Kind::PriceReport:
            shared.Post(session, platform::Message{kMsgServerPriceReport, m.price, m.timeCode});
            break;
        case SyncMessage::Kind::JamSignal:
            DebugPrintf("sync_jindutiao:%u\n", m.count);
            shared.Post(session, platform::Message{kMsgJamSignal, m.count, 0});
            break;
        case SyncMessage::Kind::Malformed:
            // One bad report must not cost the link: the next ones may be the ones that count.
            DebugPrintf("sync message dropped (%s): %s\n", m.error.c_str(), Printable(payload).c_str());
            break;
        case SyncMessage::Kind::Heartbeat:
        case SyncMessage::Kind::Ignored:
            break;
    }
}

// The client routine of one worker thread.
int RunClient(std::shared_ptr<SyncClient::Shared> shared, std::shared_ptr<SyncClient::Session> session,
              std::string url) {
    SyncClient::Session& s = *session;
    SyncClient::Shared* sh = shared.get();  // the handlers live inside the session, which this
    SyncClient::Session* sp = &s;           // routine keeps alive while they can run
    WsClientEndpoint::Handlers handlers;
    handlers.onMessage = [sh, sp](const std::string& payload) { OnMessage(*sh, *sp, payload); };
    handlers.onPong = [] { DebugPrintf("req_pong ###################  \n"); };
    handlers.onClose = [] { DebugPrintf("connection on_close *********************  \n"); };

    auto endpoint = std::make_unique<WsClientEndpoint>(std::move(handlers));
    shared->Touch(s);
    std::string error;
    // No sync host configured gives "ws://:9002/...", which the library would take as this
    // machine; an absent host must fail like an unreachable one.
    if (url.rfind("ws://:", 0) == 0) {
        DebugPrintf("could not create connection because: no sync host\n");
        return -1;
    }
    if (!endpoint->Prepare(url, &error)) {
        DebugPrintf("could not create connection because: %s\n", error.c_str());
        return -1;
    }
    WsClientEndpoint* ep = nullptr;
    {
        std::lock_guard lock(s.mutex);
        if (!s.stopRequested) {
            s.endpoint = std::move(endpoint);
            ep = s.endpoint.get();
        }
    }
    if (ep != nullptr) {
        {
            std::lock_guard lock(shared->linkMutex);
            if (!s.abandoned) shared->linked = session;
        }
        const std::string failure = ep->Run();
        if (!failure.empty()) DebugPrintf("%s\n", failure.c_str());
    }
    shared->Unlink(session);
    DebugPrintf("after run.... \n");
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

SyncClient::SyncClient(platform::Clock& clock, platform::Desktop& desktop, Options options)
    : clock_(clock), options_(std::move(options)), shared_(std::make_shared<Shared>()) {
    shared_->clock = &clock;
    shared_->desktop = &desktop;
    shared_->consoleTitle = options_.consoleTitle;
    shared_->lastMessageTick = clock.TickCount();
}

SyncClient::~SyncClient() { Shutdown(); }

void SyncClient::StartSyncClient() {
    std::lock_guard lock(workerMutex_);
    auto session = std::make_shared<Session>();
    try {
        worker_ = platform::StartThread([shared = shared_, session, url = options_.url] {
            RunClient(shared, session, url);
            session->done.set_value();
        });
        session_ = std::move(session);
    } catch (const std::exception& e) {
        DebugPrintf("%s\n", e.what());
    }
}

bool SyncClient::StopWorker(std::uint32_t waitMs) {
    std::lock_guard lock(workerMutex_);
    std::shared_ptr<Session> s = std::move(session_);
    std::thread t = std::move(worker_);
    if (!s) return true;
    s->Stop();
    bool ended = true;
    if (t.joinable()) {
        // A real-time wait on another thread's end, not a pause of the program's own timeline,
        // so it does not go through the platform clock.
        if (s->finished.wait_for(std::chrono::milliseconds(waitMs)) == std::future_status::ready) {
            t.join();
        } else {
            ended = false;
            {
                std::lock_guard platformLock(shared_->platformMutex);
                s->abandoned = true;
            }
            DebugPrintf("sync thread did not stop in %u ms, left to finish on its own\n", waitMs);
            t.detach();
        }
    }
    shared_->Unlink(s);
    return ended;
}

void SyncClient::Restart() {
    StopWorker(options_.stopWaitMs);
    StartSyncClient();
}

void SyncClient::Shutdown() { Shutdown(options_.stopWaitMs); }

bool SyncClient::Shutdown(std::uint32_t waitMs) {
    const bool ended = StopWorker(waitMs);
    std::lock_guard lock(shared_->platformMutex);
    shared_->clock = nullptr;
    shared_->desktop = nullptr;
    return ended;
}

void SyncClient::HeartbeatTick() {
    try {
        const platform::LocalTime now = clock_.Now();
        DebugPrintf("30秒间隔............... %d:%d\n", now.minute, now.second);
        const std::shared_ptr<Session> s = shared_->Linked();
        if (!s) {
            DebugPrintf("目前已经被断开，准备重连\n");
            Restart();
            return;
        }
        WsClientEndpoint& link = *s->endpoint;
        const int state = link.State();
        DebugPrintf("con->get_state  %d\n", state);
        if (state == static_cast<int>(LinkState::Closed)) {
            DebugPrintf("reconnect run_client $$$$$$$$$$$$$ \n");
            Restart();
            return;
        }
        if (state != static_cast<int>(LinkState::Open)) return;
        if (InSilentWindow(now)) {
            DebugPrintf("11:29:29后 和11:30:10前 不发送心跳包 \n");
            return;
        }
        DebugPrintf("send hbeat packet............... %d:%d\n", now.minute, now.second);
        std::string error;
        if (!link.SendText("hbeat", &error)) DebugPrintf("hbeat not sent: %s\n", error.c_str());
        if (clock_.TickCount() - shared_->lastMessageTick.load() > options_.silenceLimitMs) {
            DebugPrintf("心跳包超时..准备重连 \n");
            if (!link.Close(kGoingAway, "", &error)) DebugPrintf("%s\n", error.c_str());
            // Give the close frame its chance to reach a server that is merely slow before the
            // loop is stopped under it.
            s->finished.wait_for(std::chrono::milliseconds(options_.stopWaitMs));
            Restart();
        }
    } catch (const std::exception& e) {
        DebugPrintf("%s\n", e.what());
    }
}

bool SyncClient::Send(std::string_view text) {
    // The shared reference keeps the connection and its endpoint alive for the whole send even
    // if the worker clears the link meanwhile; the library's send is safe from any thread.
    const std::shared_ptr<Session> s = shared_->Linked();
    if (!s || s->endpoint->State() != static_cast<int>(LinkState::Open)) return false;
    std::string error;
    if (s->endpoint->SendText(std::string(text), &error)) return true;
    DebugPrintf("not sent: %s\n", error.c_str());
    return false;
}

LinkState SyncClient::State() {
    const std::shared_ptr<Session> s = shared_->Linked();
    if (!s) return LinkState::None;
    return static_cast<LinkState>(s->endpoint->State());
}

std::uint32_t SyncClient::LastMessageTick() { return shared_->lastMessageTick.load(); }

}  // namespace kestrava::net
