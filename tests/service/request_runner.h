#pragma once
// Starts a request and waits for its result callback.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "../base/status_assert.h"
#include "service/exchange_request.h"

namespace pellandor::test {

struct Outcome {
    std::mutex mutex;
    std::condition_variable done;
    int calls = 0;
    ServiceResult result;

    void record(const ServiceResult& reported) {
        const std::lock_guard lock(mutex);
        ++calls;
        result = reported;
        done.notify_all();
    }
    // The callback that records into this outcome.
    ResultCallback callback() {
        return [this](const ServiceResult& reported) { record(reported); };
    }

    bool waitForCalls(int count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return done.wait_for(lock, limit, [&] { return calls >= count; });
    }
};

// The step and text the callback reported; step 0 when nothing came in time.
inline ServiceResult runRequest(ExchangeRequest& request, int callType, const CallUserInfo& user,
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    Outcome outcome;
    request.setResultCallback(outcome.callback());
    if (!request.start(callType, user)) return {0, "Start refused"};
    if (!outcome.waitForCalls(1, limit)) return {0, "no result in time"};
    const std::lock_guard lock(outcome.mutex);
    return outcome.result;
}

}  // namespace pellandor::test
