#pragma once
// The core's one way to say what happened: a sink the front installs. No sink
// (the default) writes nothing, so the command line's output stays its own.
// Never hand a password or a whole request body to log().

#include <memory>
#include <string_view>

namespace pellandor {

enum class LogLevel { Debug, Info, Warning };

// Subsystems, as short names; a front maps them to its own categories.
inline constexpr std::string_view kLogCall = "call";
inline constexpr std::string_view kLogRequest = "request";
inline constexpr std::string_view kLogConfig = "config";

class LogSink {
public:
    virtual ~LogSink() = default;
    // May be called from any thread, also several at once.
    virtual void write(LogLevel level, std::string_view category, std::string_view message) = 0;
};

// Replaces the process's sink (nullptr: none) and returns the previous one.
std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink);

void log(LogLevel level, std::string_view category, std::string_view message);

// Installs a sink for a scope and puts the previous one back after it.
class ScopedLogSink final {
public:
    explicit ScopedLogSink(std::shared_ptr<LogSink> sink) : previous_(setLogSink(std::move(sink))) {}
    ~ScopedLogSink() { setLogSink(std::move(previous_)); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    std::shared_ptr<LogSink> previous_;
};

}  // namespace pellandor
