// A value behind its own small lock, for the console's strings and queues that the interface
// thread, the timer threads and the sync client share.
#pragma once

#include <mutex>
#include <utility>

namespace kestrava::console {

template <class T>
class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : value_(std::move(value)) {}

    T Get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void Set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }
    // Runs `f` on the value with the lock held; keep it short and never call back into the console.
    template <class F>
    auto With(F&& f) {
        std::lock_guard lock(mutex_);
        return f(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace kestrava::console
