#include "media/PlaybackClock.h"

#include <map>
#include <mutex>
#include <utility>

namespace prismeta {

namespace {

struct Playback {
    double start = 0.0;
    int members = 0;
};

struct Registry {
    std::mutex mutex;
    std::map<std::pair<Uuid, std::string>, Playback> playbacks;
};

// Never destroyed: members held by objects that outlive static destruction
// still find it.
Registry& registry() {
    static auto* instance = new Registry();
    return *instance;
}

} // namespace

PlaybackClock::PlaybackClock(const Uuid& surface, std::string signature, double hostNow)
    : surface_(surface), signature_(std::move(signature)), member_(true) {
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    auto [entry, inserted] =
        shared.playbacks.try_emplace({surface_, signature_}, Playback{hostNow, 0});
    ++entry->second.members;
    start_ = entry->second.start;
}

PlaybackClock::~PlaybackClock() {
    leave();
}

PlaybackClock::PlaybackClock(PlaybackClock&& other) noexcept
    : surface_(other.surface_), signature_(std::move(other.signature_)), start_(other.start_),
      member_(std::exchange(other.member_, false)) {}

PlaybackClock& PlaybackClock::operator=(PlaybackClock&& other) noexcept {
    if (this != &other) {
        leave();
        surface_ = other.surface_;
        signature_ = std::move(other.signature_);
        start_ = other.start_;
        member_ = std::exchange(other.member_, false);
    }
    return *this;
}

void PlaybackClock::leave() {
    if (!member_) {
        return;
    }
    member_ = false;
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    const auto entry = shared.playbacks.find({surface_, signature_});
    if (entry != shared.playbacks.end() && --entry->second.members == 0) {
        shared.playbacks.erase(entry);
    }
}

std::size_t PlaybackClock::activePlaybacks() {
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    return shared.playbacks.size();
}

} // namespace prismeta
