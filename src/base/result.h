#pragma once
// The one way an operation reports how it went: Status (done, or why not) and
// Result<T> (a value, or why there is none). The error text names the
// operation that failed. The exchange request's outcome keeps its own step
// numbers (ServiceResult), because callers and messages depend on them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pellandor {

// Why an operation failed, where a caller acts differently on it.
enum class ErrorCode {
    Failed,
    Busy,             // another writer held a lock too long; nothing changed, try again later
    NotFound,         // the store answers but holds no such entry
    NoStore,          // no store answers or opens here (keyring, autostart folder); nothing was kept in it
    InvalidArgument,  // the caller named something that cannot exist; nothing changed
    Partial,          // done, except for what the text names
};

// What a failing operation returns; converts to a failed Status or Result<T>.
struct Failure {
    std::string error;
    ErrorCode code = ErrorCode::Failed;
};

inline Failure failure(std::string error, ErrorCode code = ErrorCode::Failed) {
    return Failure{std::move(error), code};
}

class [[nodiscard]] Status {
public:
    Status() = default;  // success
    Status(Failure failed) : failed_(true), code_(failed.code), error_(std::move(failed.error)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    bool busy() const { return failed_ && code_ == ErrorCode::Busy; }
    ErrorCode code() const { return code_; }
    // Empty on success.
    const std::string& error() const { return error_; }
    // The same failure with the operation's name in front.
    Status within(std::string_view operation) const {
        if (ok()) return *this;
        return failure(std::string(operation) + ": " + error_, code_);
    }

private:
    bool failed_ = false;
    ErrorCode code_ = ErrorCode::Failed;
    std::string error_;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failed) : code_(failed.code), error_(std::move(failed.error)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }
    ErrorCode code() const { return code_; }
    Status status() const { return ok() ? Status() : Status(failure(error_, code_)); }

    // Only when ok().
    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }

private:
    std::optional<T> value_;
    ErrorCode code_ = ErrorCode::Failed;
    std::string error_;
};

}  // namespace pellandor
