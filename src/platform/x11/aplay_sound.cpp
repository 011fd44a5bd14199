#include "platform/x11/aplay_sound.h"

#include "platform/x11/child_process.h"

#include <sys/stat.h>

namespace kestrava::platform::x11 {

void AplaySound::Play(int promptId) {
    const std::string file = "res/sounds/" + std::to_string(promptId) + ".wav";
    struct stat st{};
    if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // aplay complains on machines without a sound card; that is no concern of the user.
    SpawnDetached("aplay", {"-q", file}, /*quiet=*/true);
}

}  // namespace kestrava::platform::x11
