// Starting programs and opening documents on a POSIX desktop.
#pragma once

#include "platform/platform.h"

namespace kestrava::platform::x11 {

class PosixPrograms final : public Programs {
public:
    bool Start(const std::string& path, const std::vector<std::string>& args) override;
    // Hands the document or address to xdg-open.
    bool Open(const std::string& documentOrUrl) override;
    // True for an existing path that is not a folder.
    bool FileExists(const std::string& path) override;
};

}  // namespace kestrava::platform::x11
