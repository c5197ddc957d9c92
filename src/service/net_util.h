#pragma once
// Small helpers the transport and the request share.

#include <netdb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>

namespace pellandor {

using SteadyClock = std::chrono::steady_clock;

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// A duration as poll() takes it: milliseconds, 0 at least, at most INT_MAX.
inline int toPollMs(std::chrono::milliseconds d) {
    return static_cast<int>(std::clamp<long long>(d.count(), 0, INT_MAX));
}

// Milliseconds left until `deadline` as seen at `now`, 0 once it has passed.
inline int msUntil(SteadyClock::time_point deadline, SteadyClock::time_point now = SteadyClock::now()) {
    return toPollMs(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
}

}  // namespace pellandor
