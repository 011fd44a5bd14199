// The configuration host on cpp-httplib: "/?dwbase", "/?hpbase", "/?serverip" and "/notice"
// from the answers, every other path from the update repository. Only GET (and HEAD); small
// requests; every answer that is not a value is an error status with an "Error:" body.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "answers.h"

namespace httplib {
class Server;
}

namespace kestrava::config_server {

struct HostOptions {
    Answers answers;
    std::filesystem::path updates;  // empty: no update repository, every file is 404
    bool logRequests = false;       // one line per request on stderr
};

class ConfigHost {
public:
    explicit ConfigHost(HostOptions options);
    ~ConfigHost();
    ConfigHost(const ConfigHost&) = delete;
    ConfigHost& operator=(const ConfigHost&) = delete;

    // Binds `address`:`port` (0: a free port); the bound port, or -1.
    int Bind(const std::string& address, int port);
    // Serves until Stop(); blocks.
    void Run();
    void Stop();

private:
    HostOptions options_;
    std::unique_ptr<httplib::Server> server_;
};

}  // namespace kestrava::config_server
