#pragma once

#include <string>
#include <utility>
#include <variant>

namespace prismeta {

// A value or the plain-words description of why there is none.
template <typename T> class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    static Result failure(std::string description) { return Result(Error{std::move(description)}); }

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const std::string& error() const { return std::get<1>(state_).description; }

private:
    struct Error {
        std::string description;
    };
    explicit Result(Error error) : state_(std::move(error)) {}
    std::variant<T, Error> state_;
};

// The outcome of an operation that yields nothing but may fail.
struct Status {
    bool ok = true;
    std::string error;

    static Status success() { return {}; }
    static Status failure(std::string description) { return {false, std::move(description)}; }
    explicit operator bool() const { return ok; }
};

} // namespace prismeta
