#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace prismeta {

// The observable fields of ProjectModel. Observers are told which one was
// assigned, after the new value is stored.
enum class ModelField {
    surfaces,
    selectedID,
    canvasSize,
    documentURL,
    outputs,
    backgroundImagePath,
    backgroundOpacity,
    snapEnabled,
    blendTest,
    cues,
};

using ModelObserver = std::function<void(ModelField)>;

class ObserverRegistry;

// Keeps an observer subscribed for as long as it lives; destroying (or
// resetting) it unsubscribes. Safe to outlive the model.
class Subscription {
public:
    Subscription() = default;
    Subscription(std::weak_ptr<ObserverRegistry> registry, std::uint64_t token);
    ~Subscription();
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    void reset();
    bool active() const { return token_ != 0 && !registry_.expired(); }

private:
    std::weak_ptr<ObserverRegistry> registry_;
    std::uint64_t token_ = 0;
};

// The observers of one model. An observer may subscribe or unsubscribe others
// (or itself) while being notified: removed observers are not called again,
// added ones are called from the next notification on.
class ObserverRegistry {
public:
    std::uint64_t add(ModelObserver observer);
    void remove(std::uint64_t token);
    void notify(ModelField field);

private:
    struct Entry {
        std::uint64_t token;
        std::shared_ptr<ModelObserver> observer;
    };
    std::vector<Entry> entries_;
    std::uint64_t nextToken_ = 1;
};

} // namespace prismeta
