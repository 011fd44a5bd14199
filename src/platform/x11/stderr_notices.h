// Message boxes before the GUI takes over: the text goes to stderr.
#pragma once

#include "platform/platform.h"

namespace kestrava::platform::x11 {

class StderrNotices final : public Notices {
public:
    void Show(std::string_view text, std::string_view caption) override;
};

}  // namespace kestrava::platform::x11
