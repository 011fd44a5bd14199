// The policy-file import: any file text imports (missing or broken keys give their defaults) with
// every imported number the value a reading of the text finds for its key (fuzz/reference_profile.h,
// not the program's reader) and every box ticked only by a 1; saved back and imported again the
// strategy comes back unchanged.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "console_fuzz_rig.h"
#include "reference_profile.h"
#include "strategy/parameter_controls.h"
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
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    fuzz::WriteFile(path, text);

    std::vector<bool> tickedBefore;
    for (const StrategyKey& k : strategy::kStrategyKeys) tickedBefore.push_back(rig.c().controls.IsChecked(k.box));
    rig.c().controls.Select(strategy::ctl::Combo, 0);
    strategy::ApplyComboSelection(rig.c(), rig.e());
    const bool analysis = rig.c().controls.IsChecked(strategy::ctl::Analysis);
    for (std::size_t i = 0; i < std::size(strategy::kStrategyKeys); ++i) {
        const StrategyKey& k = strategy::kStrategyKeys[i];
        if (k.use == KeyUse::SavedOnly) continue;
        const int written = fuzz::ReferenceInt(text, strategy::kStrategySection, k.name, k.defaultValue);
        FUZZ_CHECK((rig.e().strategy.*k.field).load() == written);
        if (k.box == 0 || !rig.c().controls.IsChecked(k.box)) continue;
        // A ticked box: its key reads 1, or an import that only ever ticks it found it ticked, or
        // the analysis rule ticks it (the second and third bids' own moments, without analysis).
        const bool ruleTicks = !analysis && (k.box == strategy::ctl::SecondBid || k.box == strategy::ctl::ThirdBid);
        FUZZ_CHECK(written == 1 || (k.use == KeyUse::ImportSetsOn && tickedBefore[i]) || ruleTicks);
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
