// A settings file replaced as a whole: the new content is put together in a work file, then put in
// place of the old file in one step. For saves that write many keys at once (a strategy's
// sixty-odd), where a reader, or a crash half-way, must see the old file or the new one and never
// a file with half of its keys changed.
#pragma once

#include <functional>
#include <string>

namespace kestrava::config {

// `fill` gets the file being replaced (the target of a symbolic link, so the link stays a link)
// and an empty work file's path, and writes the new content there (the profile functions work on
// it as on any settings file). The work file lies in a private folder in memory where there is one
// (POSIX /dev/shm: the profile functions make every key they write durable on its own, which costs
// nothing there), else beside the target. False when `fill` fails or the file cannot be replaced;
// the old file then stays as it was.
bool ReplaceWhole(const std::string& path, const std::function<bool(const std::string& target, const std::string& work)>& fill);

}  // namespace kestrava::config
