#include "media/PlaybackClock.h"

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

namespace prismeta {

struct PlaybackClock::Playback {
    explicit Playback(double hostStart) : start(hostStart) {}
    std::atomic<double> start;
    int members = 0; // under the registry's lock
};

namespace {

using Key = std::pair<Uuid, std::string>;

struct Registry {
    std::mutex mutex;
    std::map<Key, std::shared_ptr<PlaybackClock::Playback>> playbacks;
};

// Never destroyed: members held by objects that outlive static destruction
// still find it.
Registry& registry() {
    static auto* instance = new Registry();
    return *instance;
}

} // namespace

PlaybackClock::PlaybackClock(const Uuid& surface, std::string signature, double hostNow, Join join)
    : surface_(surface), signature_(std::move(signature)) {
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    auto [entry, inserted] = shared.playbacks.try_emplace(Key{surface_, signature_});
    if (inserted) {
        entry->second = std::make_shared<Playback>(join == Join::cued ? notStarted : hostNow);
    } else if (join == Join::start && entry->second->start.load() == notStarted) {
        // Shown before its GO came (an edit, another way to the look): it
        // starts now, cued members with it.
        entry->second->start.store(hostNow);
    }
    ++entry->second->members;
    playback_ = entry->second;
}

PlaybackClock::~PlaybackClock() {
    leave();
}

PlaybackClock::PlaybackClock(PlaybackClock&& other) noexcept
    : surface_(other.surface_), signature_(std::move(other.signature_)),
      playback_(std::move(other.playback_)) {}

PlaybackClock& PlaybackClock::operator=(PlaybackClock&& other) noexcept {
    if (this != &other) {
        leave();
        surface_ = other.surface_;
        signature_ = std::move(other.signature_);
        playback_ = std::move(other.playback_);
    }
    return *this;
}

double PlaybackClock::start() const {
    return playback_ ? playback_->start.load(std::memory_order_acquire) : notStarted;
}

void PlaybackClock::startIfCued(double hostNow) {
    if (playback_) {
        double expected = notStarted;
        playback_->start.compare_exchange_strong(expected, hostNow);
    }
}

void PlaybackClock::leave() {
    if (!playback_) {
        return;
    }
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    const auto entry = shared.playbacks.find(Key{surface_, signature_});
    if (--playback_->members == 0 && entry != shared.playbacks.end() &&
        entry->second == playback_) {
        shared.playbacks.erase(entry);
    }
    playback_.reset();
}

void PlaybackClock::startAt(const Uuid& surface, std::string_view signature, double hostStart) {
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    Key key{surface, std::string(signature)};
    auto entry = shared.playbacks.find(key);
    if (entry == shared.playbacks.end()) {
        // A start kept for members to come: at most one per surface, so
        // starts nobody joins cannot pile up.
        for (auto it = shared.playbacks.lower_bound(Key{surface, std::string()});
             it != shared.playbacks.end() && it->first.first == surface;) {
            it = it->second->members == 0 ? shared.playbacks.erase(it) : std::next(it);
        }
        entry =
            shared.playbacks.emplace(std::move(key), std::make_shared<Playback>(hostStart)).first;
    }
    entry->second->start.store(hostStart, std::memory_order_release);
}

std::vector<PlaybackClock::Started> PlaybackClock::snapshot() {
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    std::vector<Started> started;
    started.reserve(shared.playbacks.size());
    for (const auto& [key, playback] : shared.playbacks) {
        const double start = playback->start.load();
        if (start != notStarted) {
            started.push_back(Started{key.first, key.second, start});
        }
    }
    return started;
}

std::size_t PlaybackClock::activePlaybacks() {
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    return shared.playbacks.size();
}

} // namespace prismeta
