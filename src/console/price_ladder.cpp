#include "console/console.h"

namespace kestrava::console {

void CKestravaDlg::BuildPriceLadder(int base) {
    for (int i = 0; i < ConsoleState::kLadderLevels; ++i) {
        const int level = base + i * ConsoleState::kLadderStep;
        state.priceLadder[i] = level;
        log::DebugPrintf("%ld\n", static_cast<long>(level));
    }
}

}  // namespace kestrava::console
