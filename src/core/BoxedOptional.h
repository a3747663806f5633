#pragma once

#include <memory>
#include <optional>
#include <utility>

namespace prismeta {

// An optional value kept on the heap: one pointer wide while empty, for
// members that are rarely set in records held by the million (a cue's look).
// A value type: copies copy the value, == compares values.
template <class T> class BoxedOptional {
public:
    BoxedOptional() = default;
    BoxedOptional(std::nullopt_t) {}
    BoxedOptional(T value) : value_(std::make_unique<T>(std::move(value))) {}
    BoxedOptional(const BoxedOptional& other)
        : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
    BoxedOptional(BoxedOptional&&) noexcept = default;
    BoxedOptional& operator=(const BoxedOptional& other) {
        if (this != &other) {
            value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
        }
        return *this;
    }
    BoxedOptional& operator=(BoxedOptional&&) noexcept = default;

    bool has_value() const { return value_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return value_.get(); }
    T* operator->() { return value_.get(); }
    void reset() { value_.reset(); }

    friend bool operator==(const BoxedOptional& a, const BoxedOptional& b) {
        return a.has_value() == b.has_value() && (!a.has_value() || *a == *b);
    }

private:
    std::unique_ptr<T> value_;
};

} // namespace prismeta
