// Compiled as C++17 (see CMakeLists.txt): websocketpp 0.8 declares constructors with template
// ids, which C++20 rejects.
#include "net/ws_endpoint.h"

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

namespace kestrava::net {

using WsClient = websocketpp::client<websocketpp::config::asio_client>;

struct WsClientEndpoint::Impl {
    WsClient client;
    WsClient::connection_ptr connection;
};

WsClientEndpoint::WsClientEndpoint(Handlers handlers) : impl_(std::make_unique<Impl>()) {
    WsClient& c = impl_->client;
    c.clear_access_channels(websocketpp::log::alevel::all);
    c.init_asio();
    c.set_message_handler([h = handlers.onMessage](websocketpp::connection_hdl, WsClient::message_ptr msg) {
        if (h) h(msg->get_payload());
    });
    c.set_pong_handler([h = handlers.onPong](websocketpp::connection_hdl, std::string) {
        if (h) h();
    });
    c.set_close_handler([h = handlers.onClose](websocketpp::connection_hdl) {
        if (h) h();
    });
}

WsClientEndpoint::~WsClientEndpoint() {
    // The connection refers to the endpoint's event loop: let it go first.
    impl_->connection.reset();
}

bool WsClientEndpoint::Prepare(const std::string& url, std::string* error) {
    websocketpp::lib::error_code ec;
    try {
        impl_->connection = impl_->client.get_connection(url, ec);
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
    if (ec) {
        impl_->connection.reset();
        if (error != nullptr) *error = ec.message();
        return false;
    }
    return true;
}

std::string WsClientEndpoint::Run() {
    std::string failure;
    try {
        if (impl_->connection) impl_->client.connect(impl_->connection);
        impl_->client.run();
    } catch (const websocketpp::exception& e) {
        failure = e.what();
    } catch (...) {
    }
    try {
        impl_->client.reset();
    } catch (...) {
    }
    return failure;
}

void WsClientEndpoint::Stop() { impl_->client.stop(); }

int WsClientEndpoint::State() const {
    if (!impl_->connection) return -1;
    return static_cast<int>(impl_->connection->get_state());
}

bool WsClientEndpoint::SendText(const std::string& text, std::string* error) {
    if (!impl_->connection) return false;
    try {
        const websocketpp::lib::error_code ec = impl_->connection->send(text, websocketpp::frame::opcode::text);
        if (ec && error != nullptr) *error = ec.message();
        return !ec;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

bool WsClientEndpoint::Close(std::uint16_t code, const std::string& reason, std::string* error) {
    if (!impl_->connection) return false;
    websocketpp::lib::error_code ec;
    try {
        impl_->connection->close(code, reason, ec);
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
    if (ec && error != nullptr) *error = ec.message();
    return !ec;
}

}  // namespace kestrava::net
