#include "ws_transport.h"

#include <sys/socket.h>

#include <cerrno>
#include <string_view>
#include <unordered_map>

#include <websocketpp/concurrency/none.hpp>
#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

namespace kestrava::sync {

namespace {

// Frames from consoles are a few dozen bytes; a small read buffer keeps an idle connection
// cheap, and the library's own logs are off (the server logs what matters itself). Everything
// runs on the one event-loop thread (other threads only post to it), so the library's locks and
// per-connection strands would be pure cost on every frame sent: they are off.
struct ServerConfig : websocketpp::config::asio {
    typedef ServerConfig type;
    typedef websocketpp::concurrency::none concurrency_type;
    typedef websocketpp::log::basic<concurrency_type, websocketpp::log::elevel> elog_type;
    typedef websocketpp::log::basic<concurrency_type, websocketpp::log::alevel> alog_type;
    static const bool enable_multithreading = false;
    static const std::size_t connection_read_buffer_size = 512;
    static const websocketpp::log::level elog_level = websocketpp::log::elevel::none;
    static const websocketpp::log::level alog_level = websocketpp::log::alevel::none;
    // Anything longer is not worth reading into memory: the connection is closed (1009).
    static const std::size_t max_message_size = 65536;
    // A connection the rules close (a flooder) gets a second to answer the close, not five.
    static const long timeout_close_handshake = 1000;

    struct transport_config : websocketpp::config::asio::transport_config {
        typedef ServerConfig::concurrency_type concurrency_type;
        typedef ServerConfig::elog_type elog_type;
        typedef ServerConfig::alog_type alog_type;
        static const bool enable_multithreading = false;
    };
    typedef websocketpp::transport::asio::endpoint<transport_config> transport_type;
};

using Server = websocketpp::server<ServerConfig>;
using Hdl = websocketpp::connection_hdl;

// A server frame as it goes on the wire: unmasked, so the same bytes serve every console.
struct Frame {
    std::string bytes;
    Server::message_ptr message;  // the same bytes for the library's queue, made when first needed
};

// A console's connection. Frames go straight onto its socket (one send(), nothing allocated)
// while the library has nothing of ours to write for it; the first time the socket does not
// take a whole frame, the rest of it and every frame after go through the library's queue, in
// order. The library writes nothing of its own to an open connection meanwhile: its automatic
// pong is off (the rules answer pings, and the pong takes this same path), and its close frame
// comes only after the connection has stopped being open, when nothing is sent here any more.
// A console whose queue there grows past the backlog limit is not reading: it is closed rather
// than let the server's memory grow with everything relayed to it.
struct Link {
    ConnId id = 0;
    Server::connection_ptr con;
    bool viaLibrary = false;
};

}  // namespace

struct WsTransport::Impl {
    RelayRules& rules;
    Clock clock;
    Log log;
    ClusterSink clusterSink;
    Server server;
    std::unordered_map<ConnId, Link> conns;
    ConnId nextId = 0;
    std::unique_ptr<boost::asio::steady_timer> ticker;
    std::function<void()> everySecond;

    Impl(RelayRules& r, Clock c, Log l, ClusterSink s)
        : rules(r), clock(std::move(c)), log(std::move(l)), clusterSink(std::move(s)) {
        server.init_asio();
        server.set_reuse_addr(true);
        server.set_listen_backlog(4096);
        server.set_validate_handler([this](Hdl h) { return Validate(h); });
        // A report is a few dozen bytes that must leave now, not wait for the next one.
        server.set_socket_init_handler([](Hdl, boost::asio::ip::tcp::socket& s) {
            boost::system::error_code ec;
            s.set_option(boost::asio::ip::tcp::no_delay(true), ec);
        });
    }

    bool Validate(Hdl h) {
        websocketpp::lib::error_code ec;
        Server::connection_ptr con = server.get_con_from_hdl(h, ec);
        if (ec) return false;
        boost::system::error_code bec;
        const auto remote = con->get_raw_socket().remote_endpoint(bec);
        std::string address = bec ? std::string("unknown") : remote.address().to_string();
        const ConnId id = ++nextId;
        const RelayRules::Admission a = rules.Admit(id, con->get_resource(), address, clock());
        if (!a.ok) {
            con->set_status(a.refusal == Refusal::ServerFull    ? websocketpp::http::status_code::service_unavailable
                            : a.refusal == Refusal::AddressFull ? websocketpp::http::status_code::too_many_requests
                            : a.refusal == Refusal::BadTarget ? websocketpp::http::status_code::bad_request
                                                              : websocketpp::http::status_code::forbidden);
            return false;
        }
        conns.emplace(id, Link{id, con});
        con->set_message_handler([this, id](Hdl, Server::message_ptr msg) {
            Execute(rules.OnFrame(id, msg->get_payload(), clock()));
        });
        // Pings are the rules' to answer (they count against the rate), and the pong goes the
        // way of the other frames, so that the two never interleave.
        con->set_ping_handler([this, id](Hdl, std::string payload) {
            Execute(rules.OnPing(id, payload, clock()));
            return false;
        });
        const auto gone = [this, id](Hdl gh) {
            websocketpp::lib::error_code e;
            Server::connection_ptr c = server.get_con_from_hdl(gh, e);
            if (!e && c->get_local_close_code() == websocketpp::close::status::message_too_big) {
                rules.RefuseOn(id, Refusal::Oversize, "frame over the library's limit, connection closed", clock());
            }
            conns.erase(id);
            rules.Leave(id);
        };
        con->set_close_handler(gone);
        con->set_fail_handler(gone);
        return true;
    }

    // The header of an unmasked frame; the server's texts and pongs are far below 64 KiB.
    static std::string Header(int first, std::size_t size) {
        std::string header(1, static_cast<char>(first));
        if (size < 126) {
            header += static_cast<char>(size);
        } else {
            header += static_cast<char>(126);
            header += static_cast<char>(size >> 8 & 0xff);
            header += static_cast<char>(size & 0xff);
        }
        return header;
    }

    // Raw bytes for the library's queue: a prepared message is written as it stands (header and
    // payload one after the other). Carried as the payload, they count in the connection's
    // buffered amount until the library hands them to the socket.
    static Server::message_ptr Prepared(std::string_view bytes) {
        auto msg = std::make_shared<ServerConfig::message_type>(ServerConfig::message_type::con_msg_man_ptr(),
                                                                websocketpp::frame::opcode::text, 0);
        msg->set_payload(std::string(bytes));
        msg->set_prepared(true);
        return msg;
    }

    // A connection not open (yet or any more) just misses the frame.
    void SendFrame(Link& link, Frame& frame) {
        if (link.con->get_state() != websocketpp::session::state::open) return;
        if (link.viaLibrary) {
            const std::size_t limit = rules.BacklogLimit();
            if (limit > 0 && link.con->get_buffered_amount() + frame.bytes.size() > limit) {
                CloseBehind(link);
                return;
            }
            if (!frame.message) frame.message = Prepared(frame.bytes);
            link.con->send(frame.message);
            return;
        }
        const ssize_t n = ::send(link.con->get_raw_socket().native_handle(), frame.bytes.data(), frame.bytes.size(),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(frame.bytes.size())) return;
        // A failing socket: the library's read ends the connection.
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
        link.viaLibrary = true;
        link.con->send(Prepared(std::string_view(frame.bytes).substr(n < 0 ? 0 : static_cast<std::size_t>(n))));
    }

    // The close frame queues behind the backlog; the close handshake's timeout ends the connection.
    void CloseBehind(Link& link) {
        const std::size_t waiting = link.con->get_buffered_amount();
        rules.RefuseOn(link.id, Refusal::Backlog, std::to_string(waiting) + " bytes not read, connection closed",
                       clock());
        ClosePolicy(link, "not reading");
    }

    static void ClosePolicy(Link& link, const std::string& reason) {
        websocketpp::lib::error_code ec;
        link.con->close(websocketpp::close::status::policy_violation, reason, ec);
    }

    // A whole unmasked frame: 0x81 a text, 0x8a a pong.
    static Frame WholeFrame(int first, const std::string& payload) {
        return Frame{Header(first, payload.size()) + payload, nullptr};
    }

    void Execute(const std::vector<Action>& actions) {
        for (const Action& a : actions) {
            switch (a.kind) {
                case Action::Kind::Send:
                case Action::Kind::Pong: {
                    const auto it = conns.find(a.conn);
                    if (it == conns.end()) break;
                    Frame frame = WholeFrame(a.kind == Action::Kind::Pong ? 0x8a : 0x81, a.text);
                    SendFrame(it->second, frame);
                    break;
                }
                case Action::Kind::Broadcast: {
                    Frame frame = WholeFrame(0x81, a.text);
                    for (auto& [id, link] : conns) {
                        if (id != a.conn) SendFrame(link, frame);
                    }
                    break;
                }
                case Action::Kind::Close: {
                    const auto it = conns.find(a.conn);
                    if (it != conns.end()) ClosePolicy(it->second, a.text);
                    break;
                }
                default:
                    if (clusterSink) clusterSink(a);
                    break;
            }
        }
    }

    void Tick() {
        ticker->expires_after(std::chrono::seconds(1));
        ticker->async_wait([this](const boost::system::error_code& ec) {
            if (ec) return;
            rules.Tick(clock());
            if (everySecond) everySecond();
            Tick();
        });
    }
};

WsTransport::WsTransport(RelayRules& rules, Clock clock, Log log, ClusterSink clusterSink)
    : impl_(std::make_unique<Impl>(rules, std::move(clock), std::move(log), std::move(clusterSink))) {}

WsTransport::~WsTransport() = default;

bool WsTransport::Listen(const std::string& bind, int port, std::string* error) {
    websocketpp::lib::error_code ec;
    boost::system::error_code bec;
    const auto address = boost::asio::ip::make_address(bind, bec);
    if (bec) {
        *error = "bad bind address " + bind;
        return false;
    }
    impl_->server.listen(boost::asio::ip::tcp::endpoint(address, static_cast<unsigned short>(port)), ec);
    if (ec) {
        *error = "cannot listen on " + bind + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    impl_->server.start_accept(ec);
    if (ec) {
        *error = "cannot accept: " + ec.message();
        return false;
    }
    return true;
}

int WsTransport::Port() const {
    websocketpp::lib::asio::error_code ec;
    const auto ep = impl_->server.get_local_endpoint(ec);
    return ec ? 0 : ep.port();
}

void WsTransport::Run(std::function<void()> everySecond) {
    impl_->everySecond = std::move(everySecond);
    impl_->ticker = std::make_unique<boost::asio::steady_timer>(impl_->server.get_io_service());
    impl_->Tick();
    impl_->server.run();
    impl_->ticker.reset();
}

void WsTransport::Stop() { impl_->server.get_io_service().stop(); }

void WsTransport::Post(std::function<void()> fn) { boost::asio::post(impl_->server.get_io_service(), std::move(fn)); }

void WsTransport::Execute(const std::vector<Action>& actions) { impl_->Execute(actions); }

}  // namespace kestrava::sync
