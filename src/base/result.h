#pragma once
// The one way an operation reports how it went: Status (done, or why not) and
// Result<T> (a value, or why there is none). The error text names the
// operation that failed. The exchange request's outcome keeps its own step
// numbers (ServiceResult), because callers and messages depend on them.

#include <optional>
#include <string>
#include <utility>

namespace pellandor {

// What a failing operation returns; converts to a failed Status or Result<T>.
struct Failure {
    std::string error;
};

inline Failure failure(std::string error) {
    return Failure{std::move(error)};
}

class [[nodiscard]] Status {
public:
    Status() = default;  // success
    Status(Failure failed) : failed_(true), error_(std::move(failed.error)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // Empty on success.
    const std::string& error() const { return error_; }

private:
    bool failed_ = false;
    std::string error_;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failed) : error_(std::move(failed.error)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }
    Status status() const { return ok() ? Status() : Status(failure(error_)); }

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
    std::string error_;
};

}  // namespace pellandor
