#include "ws_clients.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

namespace kestrava::sync::testing {

namespace {

struct ClientConfig : websocketpp::config::asio_client {
    typedef ClientConfig type;
    static const std::size_t connection_read_buffer_size = 1024;
    static const websocketpp::log::level elog_level = websocketpp::log::elevel::none;
    static const websocketpp::log::level alog_level = websocketpp::log::alevel::none;
};
using Client = websocketpp::client<ClientConfig>;
using Hdl = websocketpp::connection_hdl;

enum class State { Connecting, Open, Ended };

struct Conn {
    Hdl hdl;
    State state = State::Connecting;
    int status = 0;
    int closeCode = 0;
    std::uint64_t count = 0;
    std::vector<std::string> texts;
};

}  // namespace

struct WsClients::Impl {
    bool keep;
    Client client;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Conn> conns;  // stable addresses
    int open = 0;
    int ended = 0;
    std::function<void(int, const std::string&)> onMessage;

    explicit Impl(bool k) : keep(k) {
        client.init_asio();
        client.set_socket_init_handler([](Hdl, boost::asio::ip::tcp::socket& s) {
            boost::system::error_code ec;
            s.set_option(boost::asio::ip::tcp::no_delay(true), ec);
        });
        client.start_perpetual();
        thread = std::thread([this] { client.run(); });
    }

    ~Impl() {
        client.stop_perpetual();
        client.stop();
        thread.join();
    }

    void End(int i, Client::connection_ptr con) {
        std::lock_guard lock(mutex);
        Conn& c = conns[i];
        if (c.state == State::Open) --open;
        if (c.state != State::Ended) ++ended;
        c.state = State::Ended;
        if (con) {
            c.status = static_cast<int>(con->get_response_code());
            c.closeCode = static_cast<int>(con->get_remote_close_code());
        }
        changed.notify_all();
    }
};

WsClients::WsClients(bool keep) : impl_(std::make_unique<Impl>(keep)) {}
WsClients::~WsClients() = default;

int WsClients::Open(const std::string& url) {
    int i;
    {
        std::lock_guard lock(impl_->mutex);
        i = static_cast<int>(impl_->conns.size());
        impl_->conns.emplace_back();
    }
    Impl* p = impl_.get();
    websocketpp::lib::error_code ec;
    Client::connection_ptr con = p->client.get_connection(url, ec);
    if (ec) {
        p->End(i, nullptr);
        return i;
    }
    con->set_open_handler([p, i](Hdl) {
        std::lock_guard lock(p->mutex);
        p->conns[i].state = State::Open;
        ++p->open;
        p->changed.notify_all();
    });
    con->set_fail_handler([p, i](Hdl h) { p->End(i, p->client.get_con_from_hdl(h)); });
    con->set_close_handler([p, i](Hdl h) { p->End(i, p->client.get_con_from_hdl(h)); });
    con->set_message_handler([p, i](Hdl, Client::message_ptr msg) {
        std::function<void(int, const std::string&)> fn;
        {
            std::lock_guard lock(p->mutex);
            Conn& c = p->conns[i];
            ++c.count;
            if (p->keep) c.texts.push_back(msg->get_payload());
            fn = p->onMessage;
            p->changed.notify_all();
        }
        if (fn) fn(i, msg->get_payload());
    });
    {
        std::lock_guard lock(p->mutex);
        p->conns[i].hdl = con->get_handle();
    }
    p->client.connect(con);
    return i;
}

bool WsClients::WaitOpen(int i, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait_for(lock, timeout, [&] { return impl_->conns[i].state != State::Connecting; });
    return impl_->conns[i].state == State::Open;
}

bool WsClients::WaitEnded(int i, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->conns[i].state == State::Ended; });
}

int WsClients::CloseCode(int i) {
    std::lock_guard lock(impl_->mutex);
    return impl_->conns[i].closeCode;
}

int WsClients::Status(int i) {
    std::lock_guard lock(impl_->mutex);
    return impl_->conns[i].status;
}

bool WsClients::IsOpen(int i) {
    std::lock_guard lock(impl_->mutex);
    return impl_->conns[i].state == State::Open;
}

int WsClients::OpenCount() {
    std::lock_guard lock(impl_->mutex);
    return impl_->open;
}

int WsClients::EndedCount() {
    std::lock_guard lock(impl_->mutex);
    return impl_->ended;
}

void WsClients::Send(int i, const std::string& text) {
    Hdl h;
    {
        std::lock_guard lock(impl_->mutex);
        h = impl_->conns[i].hdl;
    }
    websocketpp::lib::error_code ec;
    impl_->client.send(h, text, websocketpp::frame::opcode::text, ec);
}

void WsClients::Close(int i) {
    Hdl h;
    {
        std::lock_guard lock(impl_->mutex);
        h = impl_->conns[i].hdl;
    }
    websocketpp::lib::error_code ec;
    impl_->client.close(h, websocketpp::close::status::going_away, "", ec);
}

std::vector<std::string> WsClients::Received(int i) {
    std::lock_guard lock(impl_->mutex);
    return impl_->conns[i].texts;
}

std::uint64_t WsClients::ReceivedCount(int i) {
    std::lock_guard lock(impl_->mutex);
    return impl_->conns[i].count;
}

bool WsClients::WaitFor(int i, const std::string& text, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] {
        const auto& t = impl_->conns[i].texts;
        return std::find(t.begin(), t.end(), text) != t.end();
    });
}

void WsClients::OnMessage(std::function<void(int, const std::string&)> fn) {
    std::lock_guard lock(impl_->mutex);
    impl_->onMessage = std::move(fn);
}

}  // namespace kestrava::sync::testing
