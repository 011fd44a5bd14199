// kestrava-replay: runs the console and its roles on the fake platform through a scenario file
// (docs/replay.md) and prints what the console did to the page, its log and the confirmations.
//
//   kestrava-replay scenarios/confirm_on_rise.scn
//
// Exit status: 0 after a replay, 1 when the scenario is malformed or the console did not start,
// 2 for a wrong command line.
#include <cstdio>
#include <string>

#include "runtime/replay.h"
#include "runtime/scenario.h"

int main(int argc, char** argv) {
    using namespace kestrava::runtime;
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(stderr, "usage: %s <scenario file>\n", argc > 0 ? argv[0] : "kestrava-replay");
        return 2;
    }
    const std::string path = argv[1];
    const ParseResult parsed = LoadScenario(path);
    if (!parsed.scenario) {
        if (parsed.error->line > 0)
            std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), parsed.error->line, parsed.error->message.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", path.c_str(), parsed.error->message.c_str());
        return 1;
    }
    const ReplayResult result = RunReplay(*parsed.scenario);
    const std::string text = FormatReplay(*parsed.scenario, result);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!result.started) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), result.failure.c_str());
        return 1;
    }
    return 0;
}
