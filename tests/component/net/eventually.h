// Waiting in real time for what another thread (a server, a worker) does.
#pragma once

#include <chrono>
#include <thread>

namespace kestrava::net::test {

// Polls `pred` for at most `timeoutMs` of real time.
template <typename Pred>
bool Eventually(Pred pred, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

}  // namespace kestrava::net::test
