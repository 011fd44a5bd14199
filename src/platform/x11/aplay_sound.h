// Voice prompts played by a spawned aplay: res/sounds/<id>.wav relative to the working folder.
#pragma once

#include "platform/platform.h"

namespace kestrava::platform::x11 {

class AplaySound final : public Sound {
public:
    // Returns at once; a missing file or a machine without sound plays nothing.
    void Play(int promptId) override;
};

}  // namespace kestrava::platform::x11
