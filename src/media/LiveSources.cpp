#include "media/LiveSources.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>

namespace prismeta {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<LiveReader>> readers;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::atomic<double> holdTime{LiveSources::defaultHoldSeconds};

std::string keyOf(const std::string& source, const LiveOptions& options) {
    return source + '\n' + liveOptionsText(options);
}

} // namespace

std::shared_ptr<LiveReader> LiveSources::acquire(const std::string& source,
                                                 const LiveOptions& options,
                                                 const LiveReaderOptions& readerOptions) {
    Registry& all = registry();
    const std::lock_guard lock(all.mutex);
    const std::string key = keyOf(source, options);
    if (auto it = all.readers.find(key); it != all.readers.end()) {
        if (auto reader = it->second.lock()) {
            return reader;
        }
    }
    // Entries of readers that are gone go with every new one.
    std::erase_if(all.readers, [](const auto& entry) { return entry.second.expired(); });
    auto reader = std::make_shared<LiveReader>(source, options, readerOptions);
    all.readers[key] = reader;
    return reader;
}

std::optional<LiveStatus> LiveSources::status(const std::string& source,
                                              const LiveOptions& options) {
    std::shared_ptr<LiveReader> reader;
    {
        Registry& all = registry();
        const std::lock_guard lock(all.mutex);
        if (auto it = all.readers.find(keyOf(source, options)); it != all.readers.end()) {
            reader = it->second.lock();
        }
    }
    // Released outside the lock: the last holder may be this one.
    if (!reader) {
        return std::nullopt;
    }
    return reader->status();
}

int LiveSources::openReaders() {
    Registry& all = registry();
    const std::lock_guard lock(all.mutex);
    return static_cast<int>(
        std::count_if(all.readers.begin(), all.readers.end(),
                      [](const auto& entry) { return !entry.second.expired(); }));
}

void LiveSources::setHoldSeconds(double seconds) {
    holdTime =
        std::isfinite(seconds) ? std::clamp(seconds, 0.0, maxHoldSeconds) : defaultHoldSeconds;
}

double LiveSources::holdSeconds() {
    return holdTime.load();
}

} // namespace prismeta
