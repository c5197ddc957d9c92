#include "base/log.h"

#include <mutex>
#include <utility>

namespace pellandor {

namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<LogSink>& currentSink() {
    static std::shared_ptr<LogSink> sink;
    return sink;
}

}  // namespace

std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink) {
    const std::lock_guard lock(sinkMutex());
    return std::exchange(currentSink(), std::move(sink));
}

void log(LogLevel level, std::string_view category, std::string_view message) {
    std::shared_ptr<LogSink> sink;
    {
        const std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    // Written outside the lock: a slow sink never holds up another thread's line.
    if (sink) sink->write(level, category, message);
}

}  // namespace pellandor
