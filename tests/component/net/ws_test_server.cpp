// Compiled as C++17: websocketpp 0.8 does not compile as C++20.
#include "ws_test_server.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

namespace kestrava::net::test {

using Server = websocketpp::server<websocketpp::config::asio>;

struct WsTestServer::Impl {
    Server server;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    std::set<websocketpp::connection_hdl, std::owner_less<websocketpp::connection_hdl>> open;
    std::vector<std::string> received;
    std::vector<int> closeCodes;
    int opened = 0;
    std::uint16_t port = 0;

    template <typename Pred>
    bool WaitUntil(int timeoutMs, Pred pred) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
    }
};

WsTestServer::WsTestServer(std::uint16_t port) : impl_(std::make_unique<Impl>()) {
    Impl& i = *impl_;
    i.server.clear_access_channels(websocketpp::log::alevel::all);
    i.server.clear_error_channels(websocketpp::log::elevel::all);
    i.server.init_asio();
    i.server.set_reuse_addr(true);
    i.server.set_open_handler([&i](websocketpp::connection_hdl h) {
        std::lock_guard lock(i.mutex);
        i.open.insert(h);
        ++i.opened;
        i.changed.notify_all();
    });
    i.server.set_close_handler([&i](websocketpp::connection_hdl h) {
        const int code = i.server.get_con_from_hdl(h)->get_remote_close_code();
        std::lock_guard lock(i.mutex);
        i.open.erase(h);
        i.closeCodes.push_back(code);
        i.changed.notify_all();
    });
    i.server.set_fail_handler([&i](websocketpp::connection_hdl h) {
        std::lock_guard lock(i.mutex);
        i.open.erase(h);
        i.changed.notify_all();
    });
    i.server.set_message_handler([&i](websocketpp::connection_hdl, Server::message_ptr msg) {
        std::lock_guard lock(i.mutex);
        i.received.push_back(msg->get_payload());
        i.changed.notify_all();
    });
    i.server.listen(websocketpp::lib::asio::ip::tcp::endpoint(websocketpp::lib::asio::ip::address_v4::loopback(), port));
    websocketpp::lib::asio::error_code ec;
    i.port = i.server.get_local_endpoint(ec).port();
    i.server.start_accept();
    i.thread = std::thread([&i] { i.server.run(); });
}

WsTestServer::~WsTestServer() {
    impl_->server.stop();
    impl_->thread.join();
}

std::uint16_t WsTestServer::Port() const { return impl_->port; }

void WsTestServer::SendToAll(const std::string& payload, bool binary) {
    std::vector<websocketpp::connection_hdl> targets;
    {
        std::lock_guard lock(impl_->mutex);
        targets.assign(impl_->open.begin(), impl_->open.end());
    }
    for (auto& h : targets) {
        websocketpp::lib::error_code ec;
        impl_->server.send(h, payload, binary ? websocketpp::frame::opcode::binary : websocketpp::frame::opcode::text,
                           ec);
    }
}

std::vector<std::string> WsTestServer::Received() {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::vector<int> WsTestServer::CloseCodes() {
    std::lock_guard lock(impl_->mutex);
    return impl_->closeCodes;
}

int WsTestServer::ConnectionsOpened() {
    std::lock_guard lock(impl_->mutex);
    return impl_->opened;
}

int WsTestServer::ConnectionsOpen() {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->open.size());
}

bool WsTestServer::WaitForOpened(int count, int timeoutMs) {
    return impl_->WaitUntil(timeoutMs, [&] { return impl_->opened >= count; });
}

bool WsTestServer::WaitForReceived(const std::string& text, int timeoutMs) {
    return impl_->WaitUntil(timeoutMs, [&] {
        return std::find(impl_->received.begin(), impl_->received.end(), text) != impl_->received.end();
    });
}

bool WsTestServer::WaitForCloseCode(int code, int timeoutMs) {
    return impl_->WaitUntil(timeoutMs, [&] {
        return std::find(impl_->closeCodes.begin(), impl_->closeCodes.end(), code) != impl_->closeCodes.end();
    });
}

}  // namespace kestrava::net::test
