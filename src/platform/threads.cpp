#include "platform/threads.h"

#include <pthread.h>
#include <sched.h>

#include <utility>

namespace kestrava::platform {

bool UseNormalPriority() {
    sched_param normal{};
    normal.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal) == 0;
}

std::thread StartThread(std::function<void()> body) {
    return std::thread([body = std::move(body)] {
        UseNormalPriority();
        body();
    });
}

}  // namespace kestrava::platform
