#include "net/resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>

#include "log/log_book.h"
#include "platform/threads.h"

namespace kestrava::net {

std::optional<Ipv4> SystemResolve(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
    const Ipv4 address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

std::optional<Ipv4> ResolveWithin(const std::string& host, int timeoutMs, const Resolver& resolver) {
    if (host.empty()) return std::nullopt;
    in_addr dotted{};
    if (::inet_pton(AF_INET, host.c_str(), &dotted) == 1) return dotted.s_addr;

    // Shared with the look-up's thread, which may outlive this call.
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        bool done = false;
        std::optional<Ipv4> address;
    };
    auto answer = std::make_shared<Answer>();
    try {
        platform::StartThread([answer, host, lookUp = resolver ? resolver : Resolver(SystemResolve)] {
            std::optional<Ipv4> address;
            try {
                address = lookUp(host);
            } catch (...) {
                // A failed look-up is no address.
            }
            std::lock_guard lock(answer->mutex);
            answer->address = address;
            answer->done = true;
            answer->ready.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        log::DebugPrintf("look-up of %s not started: %s\n", host.c_str(), e.what());
        return std::nullopt;
    }
    std::unique_lock lock(answer->mutex);
    if (!answer->ready.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                                [&] { return answer->done; })) {
        log::DebugPrintf("look-up of %s gave no answer within %d ms\n", host.c_str(), timeoutMs);
        return std::nullopt;
    }
    return answer->address;
}

}  // namespace kestrava::net
