// kestrava-settings: the installation's settings files from the command line, with the same
// reading and writing rules as the programs (the launcher completes a person's files with it).
//
//   kestrava-settings merge [--owner-only] <defaults.ini> <file.ini>
//       adds the keys of <defaults.ini> that <file.ini> lacks; the file's own values stay
//   kestrava-settings get <file.ini> <section> <key>
//   kestrava-settings set [--owner-only] <file.ini> <section> <key> <value>
//   kestrava-settings use-server [--dir DIR] HOST[:PORT]
//       points the installation folder DIR (default: the launcher's, ~/.local/share/kestrava) at a
//       club's server: the sync server HOST (port 9002), the configuration host HOST:PORT
//       (default port 80) and the update address http://HOST/kestrava/Updater.ini
//
// --owner-only: the file ends up readable by its owner alone (0600).
// Exit status: 0 done, 1 a file could not be read or written, 2 bad usage.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/profile.h"
#include "use_server.h"

namespace {

using kestrava::config::FileAccess;

int Usage() {
    std::fputs(
        "usage: kestrava-settings merge [--owner-only] <defaults.ini> <file.ini>\n"
        "       kestrava-settings get <file.ini> <section> <key>\n"
        "       kestrava-settings set [--owner-only] <file.ini> <section> <key> <value>\n"
        "       kestrava-settings use-server [--dir DIR] HOST[:PORT]\n",
        stderr);
    return 2;
}

// The folder the launcher makes: $XDG_DATA_HOME/kestrava, ~/.local/share/kestrava without it.
std::string LauncherFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/kestrava";
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/.local/share/kestrava" : std::string();
}

int UseServer(std::vector<std::string> args) {
    std::string dir = LauncherFolder();
    if (args.size() == 3 && args[0] == "--dir") {
        dir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    kestrava::settings_tool::ServerAddress address;
    if (args.size() != 1 || !kestrava::settings_tool::ParseServerAddress(args[0], address)) return Usage();
    std::string error;
    if (dir.empty() || !kestrava::settings_tool::UseServer(dir, address, error)) {
        std::fprintf(stderr, "kestrava-settings: %s\n", dir.empty() ? "HOME is not set; give --dir" : error.c_str());
        return 1;
    }
    std::printf("%s: sync server %s:9002, configuration host http://%s:%d, updates http://%s/kestrava/Updater.ini\n",
                dir.c_str(), address.host.c_str(), address.host.c_str(), address.port, address.host.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "use-server") return UseServer(args);
    FileAccess access = FileAccess::Keep;
    if (!args.empty() && args.front() == "--owner-only") {
        access = FileAccess::OwnerOnly;
        args.erase(args.begin());
    }

    if (command == "merge" && args.size() == 2) {
        const auto added = kestrava::config::MergeProfileDefaults(args[0], args[1], access);
        if (!added) {
            std::fprintf(stderr, "kestrava-settings: cannot complete %s from %s\n", args[1].c_str(), args[0].c_str());
            return 1;
        }
        if (*added > 0) std::printf("%s: %d new key(s)\n", args[1].c_str(), *added);
        return 0;
    }
    if (command == "get" && args.size() == 3 && access == FileAccess::Keep) {
        std::printf("%s\n", kestrava::config::ReadProfileString(args[1], args[2], "", 4096, args[0]).c_str());
        return 0;
    }
    if (command == "set" && args.size() == 4) {
        if (!kestrava::config::WriteProfileString(args[1], args[2], args[3], args[0], access)) {
            std::fprintf(stderr, "kestrava-settings: cannot write %s\n", args[0].c_str());
            return 1;
        }
        return 0;
    }
    return Usage();
}
