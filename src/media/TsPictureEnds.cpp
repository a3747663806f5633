#include "media/TsPictureEnds.h"

#include <algorithm>
#include <cstring>

namespace prismeta {

namespace {

constexpr std::uint8_t syncByte = 0x47;

// The bytes of an adaptation field that are not stuffing: its flags and the
// optional fields they announce.
std::size_t adaptationFieldUsed(const std::uint8_t* field, std::size_t length) {
    if (length == 0) {
        return 0;
    }
    const std::uint8_t flags = field[0];
    std::size_t used = 1;
    if (flags & 0x10) {
        used += 6; // PCR
    }
    if (flags & 0x08) {
        used += 6; // OPCR
    }
    if (flags & 0x04) {
        used += 1; // splice countdown
    }
    if ((flags & 0x02) && used < length) {
        used += 1 + field[used]; // private data
    }
    if ((flags & 0x01) && used < length) {
        used += 1 + field[used]; // extension
    }
    return used;
}

} // namespace

void TsPictureEnds::feed(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        if (partialSize_ == 0) {
            if (!synced_ || bytes[0] != syncByte) {
                const auto sync = std::find(bytes.begin(), bytes.end(), syncByte);
                if (synced_ && sync != bytes.begin()) {
                    // Lost the packet grid: nothing is known about the open
                    // PESs any more.
                    synced_ = false;
                    tracked_ = 0;
                }
                bytes = bytes.subspan(static_cast<std::size_t>(sync - bytes.begin()));
                if (bytes.empty()) {
                    return;
                }
                synced_ = true;
            }
            if (bytes.size() >= packetSize) {
                packet(bytes.data());
                bytes = bytes.subspan(packetSize);
                continue;
            }
        }
        const std::size_t take = std::min(packetSize - partialSize_, bytes.size());
        std::memcpy(partial_.data() + partialSize_, bytes.data(), take);
        partialSize_ += take;
        bytes = bytes.subspan(take);
        if (partialSize_ == packetSize) {
            partialSize_ = 0;
            packet(partial_.data());
        }
    }
}

bool TsPictureEnds::pictureMayBeWhole() const {
    bool any = false;
    for (std::size_t i = 0; i < tracked_; ++i) {
        if (pes_[i].open) {
            if (!pes_[i].padded) {
                return false;
            }
            any = true;
        }
    }
    return any;
}

bool TsPictureEnds::pictureOpen() const {
    return std::any_of(pes_.begin(), pes_.begin() + static_cast<std::ptrdiff_t>(tracked_),
                       [](const Pes& pes) { return pes.open; });
}

TsPictureEnds::Pes* TsPictureEnds::track(std::uint16_t pid, bool create) {
    for (std::size_t i = 0; i < tracked_; ++i) {
        if (pes_[i].pid == pid) {
            return &pes_[i];
        }
    }
    if (!create) {
        return nullptr;
    }
    if (tracked_ == maxTracked) {
        // More streams than a live picture needs: forget the oldest.
        std::move(pes_.begin() + 1, pes_.end(), pes_.begin());
        --tracked_;
    }
    pes_[tracked_] = Pes{pid, false, false};
    return &pes_[tracked_++];
}

void TsPictureEnds::packet(const std::uint8_t* data) {
    if (data[0] != syncByte) {
        synced_ = false;
        tracked_ = 0;
        return;
    }
    const bool unitStart = (data[1] & 0x40) != 0;
    const auto pid = static_cast<std::uint16_t>(((data[1] & 0x1f) << 8) | data[2]);
    const unsigned control = (data[3] >> 4) & 0x3;
    if ((control & 0x1) == 0) {
        return; // no payload (a PCR of its own, or reserved)
    }
    std::size_t payload = 4;
    bool padded = false;
    if (control & 0x2) {
        const std::size_t length = data[4];
        if (length > packetSize - 5) {
            return; // malformed
        }
        // A length of zero is itself the one byte of stuffing.
        padded = length == 0 || adaptationFieldUsed(data + 5, length) < length;
        payload = 5 + length;
    }
    if (unitStart) {
        // A PES header: start code, stream id, length.
        const bool pesStart = payload + 6 <= packetSize && data[payload] == 0 &&
                              data[payload + 1] == 0 && data[payload + 2] == 1;
        if (!pesStart) {
            return; // a table
        }
        const bool withoutLength = data[payload + 4] == 0 && data[payload + 5] == 0;
        Pes* pes = track(pid, withoutLength);
        if (pes != nullptr) {
            pes->open = withoutLength;
            pes->padded = padded;
        }
        return;
    }
    if (Pes* pes = track(pid, false); pes != nullptr && pes->open) {
        pes->padded = padded;
    }
}

} // namespace prismeta
