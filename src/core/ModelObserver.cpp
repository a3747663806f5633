#include "core/ModelObserver.h"

#include <algorithm>
#include <utility>

namespace prismeta {

Subscription::Subscription(std::weak_ptr<ObserverRegistry> registry, std::uint64_t token)
    : registry_(std::move(registry)), token_(token) {}

Subscription::~Subscription() {
    reset();
}

Subscription::Subscription(Subscription&& other) noexcept
    : registry_(std::move(other.registry_)), token_(std::exchange(other.token_, 0)) {}

Subscription& Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        token_ = std::exchange(other.token_, 0);
    }
    return *this;
}

void Subscription::reset() {
    if (token_ != 0) {
        if (auto registry = registry_.lock()) {
            registry->remove(token_);
        }
    }
    token_ = 0;
    registry_.reset();
}

std::uint64_t ObserverRegistry::add(ModelObserver observer) {
    const std::uint64_t token = nextToken_++;
    entries_.push_back({token, std::make_shared<ModelObserver>(std::move(observer))});
    return token;
}

void ObserverRegistry::remove(std::uint64_t token) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [token](const Entry& e) { return e.token == token; });
    if (it != entries_.end()) {
        entries_.erase(it);
    }
}

void ObserverRegistry::notify(ModelField field) {
    // Walk by token so that changes to the list during a callback are safe.
    const std::uint64_t last = nextToken_;
    std::uint64_t after = 0;
    for (;;) {
        const Entry* next = nullptr;
        for (const Entry& e : entries_) {
            if (e.token > after && e.token < last && (!next || e.token < next->token)) {
                next = &e;
            }
        }
        if (!next) {
            return;
        }
        after = next->token;
        const std::shared_ptr<ModelObserver> observer = next->observer; // survives removal
        (*observer)(field);
    }
}

} // namespace prismeta
