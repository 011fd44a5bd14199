// The console's interface lock, and the message boxes of everything that runs under it.
//
// The lock serialises what a dialog program's interface thread would: the start-up, the
// one-second tick, the commands and the window messages. A message box waits for a person. Shown
// by a thread that holds this lock, it would keep the one-second tick waiting for the lock, and
// the close, which waits for that tick, would wait for ever. So the lock is also the console's
// message-box service: a box asked for by a thread that holds the lock is kept until that
// thread lets go of it and is shown only then. No box can be open while the lock is held,
// whoever asks for it.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace kestrava::console {

class InterfaceLock final : public platform::Notices {
public:
    // `boxes` shows the boxes (the platform's message boxes).
    explicit InterfaceLock(platform::Notices& boxes) : boxes_(boxes) {}
    InterfaceLock(const InterfaceLock&) = delete;
    InterfaceLock& operator=(const InterfaceLock&) = delete;

    // Recursive, like the interface thread it stands for.
    void lock();
    void unlock();

    // Now when this thread does not hold the lock; otherwise once it has let go of it.
    void Show(std::string_view text, std::string_view caption) override;

    // From now on boxes are printed to the standard error instead: the console has closed and
    // nobody is there to answer them (a box would only keep the program from ending).
    void StopShowing() { stopped_ = true; }

private:
    struct Box {
        std::string text;
        std::string caption;
    };
    void ShowNow(std::string_view text, std::string_view caption);

    platform::Notices& boxes_;
    std::recursive_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;           // under mutex_
    std::vector<Box> kept_;   // under mutex_
    std::atomic<bool> stopped_{false};
};

}  // namespace kestrava::console
