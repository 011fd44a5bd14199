// kestrava-settings: the installation's settings files from the command line, with the same
// reading and writing rules as the programs (the launcher completes a person's files with it).
//
//   kestrava-settings merge [--owner-only] <defaults.ini> <file.ini>
//       adds the keys of <defaults.ini> that <file.ini> lacks; the file's own values stay
//   kestrava-settings get <file.ini> <section> <key>
//   kestrava-settings set [--owner-only] <file.ini> <section> <key> <value>
//
// --owner-only: the file ends up readable by its owner alone (0600).
// Exit status: 0 done, 1 a file could not be read or written, 2 bad usage.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "config/profile.h"

namespace {

using kestrava::config::FileAccess;

int Usage() {
    std::fputs(
        "usage: kestrava-settings merge [--owner-only] <defaults.ini> <file.ini>\n"
        "       kestrava-settings get <file.ini> <section> <key>\n"
        "       kestrava-settings set [--owner-only] <file.ini> <section> <key> <value>\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    const std::string command = args.front();
    args.erase(args.begin());
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
