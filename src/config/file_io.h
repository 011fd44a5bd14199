// Low-level file writing shared by the settings files and the log.
#pragma once

#include <string_view>

namespace kestrava::config {

// Writes all of `data` to `fd`, resuming after short writes and signals. False on any error.
bool WriteAll(int fd, std::string_view data);

}  // namespace kestrava::config
