#include "config_host.h"

#include <httplib.h>

#include <cstdio>
#include <fstream>

#include "update_folder.h"

namespace kestrava::config_server {
namespace {

// A console's request is one line and a few headers; anything bigger is not one of them.
constexpr std::size_t kMaxRequestBody = 1024;
constexpr time_t kReadTimeoutSeconds = 5;
constexpr std::size_t kChunk = 64 * 1024;

void Send(httplib::Response& res, const Reply& reply) {
    res.status = reply.status;
    res.set_content(reply.body, "text/plain; charset=utf-8");
}

// The query of the request line as sent ("dwbase" of "/?dwbase"), before any decoding.
std::string RawQuery(const httplib::Request& req) {
    const std::size_t mark = req.target.find('?');
    return mark == std::string::npos ? std::string() : req.target.substr(mark + 1);
}

void ServeFile(httplib::Response& res, const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
    if (ec || !*in) {
        Send(res, ErrorReply(500, "cannot read the file"));
        return;
    }
    const char* type = file.extension() == ".ini" ? "text/plain" : "application/octet-stream";
    res.set_content_provider(static_cast<std::size_t>(size), type,
                             [in](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 std::string buffer(std::min(length, kChunk), '\0');
                                 in->seekg(static_cast<std::streamoff>(offset));
                                 in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                                 const auto got = in->gcount();
                                 if (got <= 0) return false;
                                 return sink.write(buffer.data(), static_cast<std::size_t>(got));
                             });
}

}  // namespace

ConfigHost::ConfigHost(HostOptions options) : options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {
    httplib::Server& s = *server_;
    s.set_payload_max_length(kMaxRequestBody);
    s.set_read_timeout(kReadTimeoutSeconds, 0);
    s.set_write_timeout(kReadTimeoutSeconds, 0);

    s.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, AnswerQuery(options_.answers, RawQuery(req)));
    });
    s.Get("/notice", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, RawQuery(req).empty() ? AnswerNotice(options_.answers) : ErrorReply(400, "unexpected query"));
    });
    s.Get(R"(/.+)", [this](const httplib::Request& req, httplib::Response& res) {
        if (options_.updates.empty()) {
            Send(res, ErrorReply(404, "no such file"));
            return;
        }
        const UpdateLookup found = FindUpdateFile(options_.updates, req.path);
        if (found.status != 200) {
            Send(res, ErrorReply(found.status, found.status == 400 ? "not a plain path" : "no such file"));
            return;
        }
        ServeFile(res, found.file);
    });
    const auto refuse = [](const httplib::Request&, httplib::Response& res) {
        Send(res, ErrorReply(405, "only GET is answered here"));
    };
    s.Post(".*", refuse);
    s.Put(".*", refuse);
    s.Patch(".*", refuse);
    s.Delete(".*", refuse);
    s.Options(".*", refuse);
    // httplib's own refusals (a bad request line, an oversize request) carry a body the console
    // can tell from a value.
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content("Error:" + std::to_string(res.status) + "\n", "text/plain");
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Send(res, ErrorReply(500, "internal error"));
    });
    if (options_.logRequests) {
        s.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::fprintf(stderr, "%s %s %s %d\n", req.remote_addr.c_str(), req.method.c_str(), req.target.c_str(),
                         res.status);
        });
    }
}

ConfigHost::~ConfigHost() { Stop(); }

int ConfigHost::Bind(const std::string& address, int port) {
    if (port == 0) return server_->bind_to_any_port(address);
    return server_->bind_to_port(address, port) ? port : -1;
}

void ConfigHost::Run() { server_->listen_after_bind(); }

void ConfigHost::Stop() { server_->stop(); }

}  // namespace kestrava::config_server
