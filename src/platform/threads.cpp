#include "platform/threads.h"

#include <pthread.h>
#include <sched.h>

#include <utility>

namespace kestrava::platform {

void UseNormalPriority() {
    sched_param normal{};
    normal.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
}

std::thread StartThread(std::function<void()> body) {
    return std::thread([body = std::move(body)] {
        UseNormalPriority();
        body();
    });
}

}  // namespace kestrava::platform
