#include "console/interface_lock.h"

#include <cstdio>
#include <utility>

namespace kestrava::console {

void InterfaceLock::lock() {
    mutex_.lock();
    if (depth_++ == 0) owner_ = std::this_thread::get_id();
}

void InterfaceLock::unlock() {
    std::vector<Box> due;
    if (--depth_ == 0) {
        owner_ = std::thread::id{};
        due.swap(kept_);
    }
    mutex_.unlock();
    // In the order they were asked for, with the lock free for the ticks meanwhile.
    for (const Box& box : due) ShowNow(box.text, box.caption);
}

void InterfaceLock::Show(std::string_view text, std::string_view caption) {
    if (owner_.load() == std::this_thread::get_id()) {
        // Only the owner gets here, so kept_ is ours to change.
        kept_.push_back(Box{std::string(text), std::string(caption)});
        return;
    }
    ShowNow(text, caption);
}

void InterfaceLock::ShowNow(std::string_view text, std::string_view caption) {
    if (stopped_.load()) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return;
    }
    boxes_.Show(text, caption);
}

}  // namespace kestrava::console
