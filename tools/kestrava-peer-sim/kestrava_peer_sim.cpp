// kestrava-peer-sim: simulated bidders on a sync server, for practice runs. Each peer is one
// WebSocket client with a bid number of its own; together they report the practice page's price
// steps and, at a set moment, the congestion signal, and count what the server relays to them.
//
//   kestrava-peer-sim --url ws://HOST:PORT --timeline "end=<ms> warning=<price> steps=<ms>,..."
//                     [--peers N] [--first-id NNNNNNNN] [--lead MS] [--jam-before-end MS]
//
// The timeline is the practice page's own announcement (its log line "timeline ..."). Prints one
// line per event worth knowing and a summary; ends 3 s after the auction's end or on SIGINT or
// SIGTERM. Exit status: 0 done, 1 no peer could connect, 2 bad usage.

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>
#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include "peer_schedule.h"

namespace {

using namespace kestrava::peer_sim;
using Client = websocketpp::client<websocketpp::config::asio_client>;

constexpr std::int64_t kAfterEndMs = 3000;
constexpr long kHeartbeatMs = 20000;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Peer {
    std::string id;
    websocketpp::connection_hdl hdl;
    bool open = false;
    int reportsReceived = 0;
    std::vector<std::string> jamsReceived;
};

int Usage() {
    std::fputs("usage: kestrava-peer-sim --url ws://HOST:PORT --timeline \"end=... warning=... steps=...\"\n"
               "                         [--peers N] [--first-id NNNNNNNN] [--lead MS] [--jam-before-end MS]\n",
               stderr);
    return 2;
}

bool ToInt(const std::string& text, long long lo, long long hi, long long& value) {
    try {
        std::size_t used = 0;
        value = std::stoll(text, &used);
        return used == text.size() && value >= lo && value <= hi;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string url, timelineText;
    long long peers = 3, firstId = 20000001, lead = 300, jamBeforeEnd = 5000;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return Usage();
        const std::string& a = args[i];
        const std::string& v = args[i + 1];
        bool ok = true;
        if (a == "--url") url = v;
        else if (a == "--timeline") timelineText = v;
        else if (a == "--peers") ok = ToInt(v, 1, 1000, peers);
        else if (a == "--first-id") ok = v.size() == 8 && ToInt(v, 10000000, 99999999 - peers, firstId);
        else if (a == "--lead") ok = ToInt(v, 0, 60000, lead);
        else if (a == "--jam-before-end") ok = ToInt(v, -1, 600000, jamBeforeEnd);
        else ok = false;
        if (!ok) return Usage();
    }
    const std::optional<Timeline> timeline = ParseTimeline(timelineText);
    if (url.rfind("ws://", 0) != 0 || !timeline) return Usage();

    PeerOptions options;
    options.peers = static_cast<int>(peers);
    options.leadMs = lead;
    options.jamBeforeEndMs = jamBeforeEnd;
    const std::vector<PeerEvent> events = Schedule(*timeline, options, NowMs());

    Client client;
    client.clear_access_channels(websocketpp::log::alevel::all);
    client.clear_error_channels(websocketpp::log::elevel::all);
    client.init_asio();
    std::vector<Peer> group(static_cast<std::size_t>(peers));
    int sentReports = 0, sentJams = 0, notSent = 0;

    for (std::size_t p = 0; p < group.size(); ++p) {
        Peer& peer = group[p];
        peer.id = std::to_string(firstId + static_cast<long long>(p));
        websocketpp::lib::error_code ec;
        Client::connection_ptr con = client.get_connection(url + "/?id=" + peer.id + "&type=101", ec);
        if (ec) {
            std::fprintf(stderr, "peer-sim: %s\n", ec.message().c_str());
            return 2;
        }
        con->set_open_handler([&peer](websocketpp::connection_hdl) { peer.open = true; });
        con->set_close_handler([&peer](websocketpp::connection_hdl) { peer.open = false; });
        con->set_fail_handler([&peer, &client](websocketpp::connection_hdl h) {
            std::printf("peer-sim: peer %s could not connect: %s\n", peer.id.c_str(),
                        client.get_con_from_hdl(h)->get_ec().message().c_str());
        });
        con->set_message_handler([&peer](websocketpp::connection_hdl, Client::message_ptr m) {
            const std::string& text = m->get_payload();
            if (text.rfind("1_", 0) == 0) ++peer.reportsReceived;
            if (text.rfind("6_", 0) == 0) peer.jamsReceived.push_back(text);
        });
        peer.hdl = con->get_handle();
        client.connect(con);
    }

    const auto send = [&](Peer& peer, const std::string& text) {
        websocketpp::lib::error_code ec;
        if (peer.open) client.send(peer.hdl, text, websocketpp::frame::opcode::text, ec);
        return peer.open && !ec;
    };
    for (const PeerEvent& e : events) {
        client.set_timer(std::max<std::int64_t>(0, e.atMs - NowMs()), [&, e](const websocketpp::lib::error_code& ec) {
            if (ec) return;
            Peer& peer = group[static_cast<std::size_t>(e.peer)];
            if (!send(peer, e.text)) {
                ++notSent;
                return;
            }
            if (e.text == "6_0") {
                if (sentJams++ == 0) {
                    const std::int64_t code = PageTimeCode(e.atMs, timeline->endMs);
                    std::printf("peer-sim: 6_0 from the peers at page clock %02lld:%02lld:%02lld\n",
                                static_cast<long long>(code / 100000000), static_cast<long long>(code / 1000000 % 100),
                                static_cast<long long>(code / 10000 % 100));
                }
            } else {
                ++sentReports;
            }
        });
    }
    std::function<void(const websocketpp::lib::error_code&)> heartbeat = [&](const websocketpp::lib::error_code& ec) {
        if (ec) return;
        for (Peer& peer : group) send(peer, "hbeat");
        client.set_timer(kHeartbeatMs, heartbeat);
    };
    client.set_timer(kHeartbeatMs, heartbeat);

    const auto stop = [&] {
        for (Peer& peer : group) {
            websocketpp::lib::error_code ec;
            if (peer.open) client.close(peer.hdl, websocketpp::close::status::going_away, "", ec);
        }
        client.stop_perpetual();
        client.stop();
    };
    client.set_timer(std::max<std::int64_t>(0, timeline->endMs + kAfterEndMs - NowMs()),
                     [&](const websocketpp::lib::error_code& ec) {
                         if (!ec) stop();
                     });
    boost::asio::signal_set signals(client.get_io_service(), SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code& ec, int) {
        if (!ec) stop();
    });
    client.set_timer(2000, [&](const websocketpp::lib::error_code& ec) {
        if (ec) return;
        int open = 0;
        for (const Peer& peer : group) open += peer.open ? 1 : 0;
        std::printf("peer-sim: %d of %lld peers connected to %s (bid numbers %s …)\n", open, peers, url.c_str(),
                    group.front().id.c_str());
        std::fflush(stdout);
    });

    client.run();

    int open = 0, reports = 0, jams = 0;
    std::string jamTexts;
    for (const Peer& peer : group) {
        reports += peer.reportsReceived;
        jams += static_cast<int>(peer.jamsReceived.size());
        for (const std::string& j : peer.jamsReceived) {
            if (jamTexts.find(j) == std::string::npos) jamTexts += (jamTexts.empty() ? "" : " ") + j;
        }
        open += peer.open ? 1 : 0;
    }
    std::printf("peer-sim: sent %d reports and %d 6_0, %d not sent (peer not connected); received %d relayed reports "
                "and %d jam signals%s%s\n",
                sentReports, sentJams, notSent, reports, jams, jamTexts.empty() ? "" : ": ", jamTexts.c_str());
    return sentReports + sentJams > 0 ? 0 : 1;
}
