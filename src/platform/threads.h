// Worker threads at the ordinary priority.
//
// Only the submit tick runs at a real-time priority (TickPriority in platform.h). On Linux a new
// thread takes its scheduling policy from the thread that starts it, so a worker started from
// inside a tick would inherit whatever that tick runs at; every worker of the program is
// therefore started through StartThread, which puts it back on the ordinary policy before its
// work begins.
#pragma once

#include <functional>
#include <thread>

namespace kestrava::platform {

// Puts the calling thread on the ordinary time-sharing policy; false when the system refused.
bool UseNormalPriority();

// Starts `body` on a new thread that first puts itself on the ordinary policy. Throws
// std::system_error like std::thread when no thread can be started.
std::thread StartThread(std::function<void()> body);

}  // namespace kestrava::platform
