#include "dmx/UniverseMerge.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

// The count of a whole second of the clock, negative ones included.
std::size_t rateSlot(std::int64_t second) {
    return static_cast<std::size_t>((second % dmxRateSeconds + dmxRateSeconds) % dmxRateSeconds);
}

} // namespace

double lossSeconds(DmxProtocol protocol) {
    return protocol == DmxProtocol::sacn ? sacnLossSeconds : artNetLossSeconds;
}

UniverseMerge::Source* UniverseMerge::find(const DmxSourceId& id) {
    for (Source& source : sources_) {
        if (source.id == id) {
            return &source;
        }
    }
    return nullptr;
}

UniverseMerge::Outcome UniverseMerge::receive(const Packet& packet, double now) {
    Source* source = find(packet.source);
    if (source == nullptr) {
        if (sources_.size() >= maxSources) {
            return Outcome::refused;
        }
        sources_.emplace_back();
        source = &sources_.back();
        source->id = packet.source;
        source->firstSeen = now;
        source->newestSecond = static_cast<std::int64_t>(std::floor(now));
    } else if (packet.sequence && source->sequence) {
        // E1.31's rule, which Art-Net's numbering follows too: a packet up to
        // 19 behind the last one is late and dropped; anything further off
        // is a sender that started again.
        const auto behind = static_cast<std::int8_t>(*packet.sequence - *source->sequence);
        if (behind <= 0 && behind > -20) {
            return Outcome::stale;
        }
    }
    if (source->name != packet.name) {
        source->name.assign(packet.name);
    }
    source->priority = packet.priority;
    source->sequence = packet.sequence;
    source->lastSeen = now;
    source->address = packet.address;
    const auto second = static_cast<std::int64_t>(std::floor(now));
    // Seconds passed since the newest count start from nothing.
    for (std::int64_t s = source->newestSecond + 1;
         s <= second && s <= source->newestSecond + dmxRateSeconds; ++s) {
        source->perSecond[rateSlot(s)] = 0;
    }
    source->newestSecond = std::max(source->newestSecond, second);
    ++source->perSecond[rateSlot(second)];
    const std::size_t count = std::min<std::size_t>(packet.levels.size(), dmxSlots);
    if (packet.syncAddress != 0) {
        std::copy_n(packet.levels.begin(), count, source->staged.begin());
        std::fill(source->staged.begin() + static_cast<std::ptrdiff_t>(count), source->staged.end(),
                  0);
        source->stagedCount = count;
        source->stagedSync = packet.syncAddress;
        return Outcome::staged;
    }
    std::copy_n(packet.levels.begin(), count, source->levels.begin());
    std::fill(source->levels.begin() + static_cast<std::ptrdiff_t>(count), source->levels.end(), 0);
    source->count = std::max<std::size_t>(count, 1);
    source->stagedSync = 0;
    merge();
    return Outcome::shown;
}

void UniverseMerge::commit(DmxProtocol protocol, int syncAddress, const DmxSourceId* from, double) {
    bool any = false;
    for (Source& source : sources_) {
        if (source.id.protocol != protocol || source.stagedSync != syncAddress ||
            (from != nullptr && !(source.id == *from))) {
            continue;
        }
        source.levels = source.staged;
        source.count = std::max<std::size_t>(source.stagedCount, 1);
        source.stagedSync = 0;
        any = true;
    }
    if (any) {
        merge();
    }
}

void UniverseMerge::terminate(const DmxSourceId& id, double now) {
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        if (sources_[i].id == id) {
            remove(i, now);
            return;
        }
    }
}

bool UniverseMerge::expire(double now) {
    bool any = false;
    for (std::size_t i = sources_.size(); i-- > 0;) {
        if (now - sources_[i].lastSeen > lossSeconds(sources_[i].id.protocol)) {
            remove(i, now);
            any = true;
        }
    }
    return any;
}

void UniverseMerge::remove(std::size_t index, double now) {
    sources_.erase(sources_.begin() + static_cast<std::ptrdiff_t>(index));
    if (std::none_of(sources_.begin(), sources_.end(),
                     [](const Source& s) { return s.count > 0; })) {
        // The last levels stay; what to do with them is the show's choice.
        if (shown_.state == UniverseLevels::State::live) {
            shown_.state = UniverseLevels::State::lost;
            shown_.lostAt = now;
            ++shown_.changes;
        }
        return;
    }
    merge();
}

void UniverseMerge::merge() {
    int top = -1;
    for (const Source& source : sources_) {
        if (source.count > 0) {
            top = std::max(top, source.priority);
        }
    }
    if (top < 0) {
        return; // only staged levels so far
    }
    std::array<std::uint8_t, dmxSlots> merged{};
    for (const Source& source : sources_) {
        if (source.count == 0 || source.priority != top) {
            continue;
        }
        for (std::size_t i = 0; i < dmxSlots; ++i) {
            merged[i] = std::max(merged[i], source.levels[i]);
        }
    }
    if (merged != shown_.levels || shown_.state != UniverseLevels::State::live) {
        shown_.levels = merged;
        shown_.state = UniverseLevels::State::live;
        ++shown_.changes;
    }
}

double UniverseMerge::packetsPerSecond(const Source& source, double now) {
    // The seconds counted: the current one so far and the whole ones before
    // it, back to when the source was first seen.
    const auto second = static_cast<std::int64_t>(std::floor(now));
    std::uint64_t packets = 0;
    for (std::int64_t s = second - dmxRateSeconds + 1; s <= second; ++s) {
        if (s <= source.newestSecond) {
            packets += source.perSecond[rateSlot(s)];
        }
    }
    const double window = now - static_cast<double>(second - dmxRateSeconds + 1);
    const double seconds = std::max(1.0, std::min(window, now - source.firstSeen));
    return static_cast<double>(packets) / seconds;
}

std::size_t UniverseMerge::sourceCount(DmxProtocol protocol) const {
    return static_cast<std::size_t>(
        std::count_if(sources_.begin(), sources_.end(),
                      [protocol](const Source& s) { return s.id.protocol == protocol; }));
}

void UniverseMerge::appendStatus(int universe, double now,
                                 std::vector<DmxSourceStatus>& out) const {
    for (const Source& source : sources_) {
        DmxSourceStatus status;
        status.universe = universe;
        status.protocol = source.id.protocol;
        status.name = source.name;
        status.priority = source.priority;
        status.packetsPerSecond = packetsPerSecond(source, now);
        status.address = source.address;
        status.sinceLastPacket = std::max(0.0, now - source.lastSeen);
        out.push_back(std::move(status));
    }
}

} // namespace prismeta
