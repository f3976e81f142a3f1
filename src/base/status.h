// The outcome of a stage: success, or a failure with the message that the caller will report.
// Stages return it instead of writing a shared error text, so that one call can never see
// another's message.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace kestrin::base {

class status {
public:
    static status success() { return status(); }
    static status failure(std::string message) { return status(std::move(message)); }

    bool ok() const { return !message_; }
    explicit operator bool() const { return ok(); }
    // The failure's message; empty on success.
    const std::string& message() const
    {
        static const std::string none;
        return message_ ? *message_ : none;
    }

private:
    status() = default;
    explicit status(std::string message) : message_(std::move(message)) {}

    std::optional<std::string> message_;
};

// A stage's record, or the failure that stopped the stage from making it.
template <class T>
class result {
public:
    result(T value) : value_(std::move(value)) {}
    result(status failure) : failure_(std::move(failure)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // The failure's message; empty on success.
    const std::string& message() const { return failure_.message(); }

private:
    std::optional<T> value_;
    status failure_ = status::success();
};

}  // namespace kestrin::base
