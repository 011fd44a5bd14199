// The policy-file import: any file text imports (missing or broken keys give their defaults) with
// every imported number exactly the settings reader's value of its key and every box ticked only
// by a 1; saved back and imported again the strategy comes back unchanged.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/profile.h"
#include "console_fuzz_rig.h"
#include "strategy/strategy_values.h"

namespace {

using namespace kestrava;
using strategy::KeyUse;
using strategy::StrategyKey;

bool ImportedNumber(const StrategyKey& k) { return k.box == 0 && k.use != KeyUse::SavedOnly; }

std::vector<int> Numbers(engine::Engine& e) {
    std::vector<int> out;
    for (const StrategyKey& k : strategy::kStrategyKeys)
        if (ImportedNumber(k)) out.push_back((e.strategy.*k.field).load());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ConsoleFuzzRig rig;
    const std::string path = strategy::PolicyFilePath(1);
    fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

    rig.c().controls.Select(strategy::ctl::Combo, 0);
    strategy::ApplyComboSelection(rig.c(), rig.e());
    for (const StrategyKey& k : strategy::kStrategyKeys) {
        if (k.use == KeyUse::SavedOnly) continue;
        const int expected = config::ReadProfileInt(strategy::kStrategySection, k.name, k.defaultValue, path);
        if (k.box == 0) FUZZ_CHECK((rig.e().strategy.*k.field).load() == expected);
    }
    const std::vector<int> imported = Numbers(rig.e());

    // The save writes every saved key into the same file; the import reads the same numbers back.
    if (strategy::SaveStrategy(rig.c(), rig.e())) {
        strategy::ImportStrategy(rig.c(), rig.e(), 1);
        FUZZ_CHECK(Numbers(rig.e()) == imported);
    }
    // The log lines of this input go to disk and away, so a long run keeps no growing buffer.
    rig.book.FlushLog("fuzz");
    std::error_code ec;
    std::filesystem::remove_all("Log", ec);
    return 0;
}
