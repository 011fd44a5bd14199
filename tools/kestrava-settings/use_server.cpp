#include "use_server.h"

#include <filesystem>

#include "app/remote_config.h"
#include "config/profile.h"
#include "config/settings.h"

namespace kestrava::settings_tool {
namespace {

constexpr std::size_t kMaxHost = 99;  // what synchostip holds
constexpr int kUpdateUrls = 5;        // iniurl0 … iniurl4

bool IsHostChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-';
}

// The settings files are named relative to the installation folder (".//bin//conf.ini").
std::string In(const std::string& dir, std::string_view relative) {
    while (relative.substr(0, 3) == ".//") relative.remove_prefix(3);
    std::string path(relative);
    for (std::size_t at; (at = path.find("//")) != std::string::npos;) path.erase(at, 1);
    return (std::filesystem::path(dir) / path).string();
}

}  // namespace

bool ParseServerAddress(const std::string& text, ServerAddress& address) {
    const std::size_t colon = text.find(':');
    const std::string host = text.substr(0, colon);
    if (host.empty() || host.size() > kMaxHost || host.front() == '-' || host.front() == '.') return false;
    for (char c : host) {
        if (!IsHostChar(c)) return false;
    }
    int port = 80;
    if (colon != std::string::npos) {
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        port = std::stoi(digits);
        if (port < 1 || port > 65535) return false;
    }
    address = {host, port};
    return true;
}

bool UseServer(const std::string& dir, const ServerAddress& address, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(dir) / "bin", ec)) {
        error = dir + " is not an installation folder (no bin/ in it; start kestrava once to make it)";
        return false;
    }
    const std::string root = "http://" + address.host + (address.port == 80 ? "" : ":" + std::to_string(address.port));
    const std::string userconf = In(dir, config::kUserConfFile);
    const std::string conf = In(dir, config::kConfFile);
    const std::string updateIni = In(dir, "Update.ini");
    bool ok = config::WriteProfileString(config::kSection, config::user::synchostip.key, address.host, userconf,
                                         config::FileAccess::OwnerOnly) &&
              config::WriteProfileString(config::kSection, app::remote::confighost.key, root, conf);
    // The update check always fetches on port 80, whatever the configuration host's port.
    for (int i = 0; ok && i < kUpdateUrls; ++i) {
        ok = config::WriteProfileString("URL", "iniurl" + std::to_string(i),
                                        "http://" + address.host + "/kestrava/Updater.ini", updateIni);
    }
    if (!ok) error = "cannot write the settings files in " + dir;
    return ok;
}

}  // namespace kestrava::settings_tool
