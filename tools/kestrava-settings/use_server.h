// Pointing an installation at a club's server: the sync server, the configuration host and the
// update address, in the keys the console reads.
#pragma once

#include <string>

namespace kestrava::settings_tool {

struct ServerAddress {
    std::string host;
    int port = 80;  // the configuration host's; the sync server is always on 9002, updates on 80
};

// "HOST" or "HOST:PORT": a host name or IPv4 address of letters, digits, dots and hyphens (at most
// 99 characters), a port 1 … 65535. Nothing for anything else.
bool ParseServerAddress(const std::string& text, ServerAddress& address);

// Writes synchostip (bin/userconf.ini), confighost (bin/conf.ini) and iniurl0 … iniurl4
// (Update.ini) of the installation folder `dir`. False, with `error` set, when `dir` is not an
// installation folder (no bin/) or a file cannot be written.
bool UseServer(const std::string& dir, const ServerAddress& address, std::string& error);

}  // namespace kestrava::settings_tool
