#include "render/MaskTextures.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace prismeta {

MaskTextures::~MaskTextures() {
    clear();
}

void MaskTextures::clear() {
    for (auto& [key, entry] : entries_) {
        if (entry.texture != 0) {
            glDeleteTextures(1, &entry.texture);
        }
    }
    entries_.clear();
}

void MaskTextures::request(Entry& entry, bool whole) {
    ++entry.requested;
    CoverageWorker::Request request;
    request.slot = entry.slot;
    request.generation = entry.requested;
    request.masks = entry.masks;
    request.space = entry.space;
    request.width = entry.size.width;
    request.height = entry.size.height;
    request.whole = whole;
    worker_.submit(std::move(request));
}

void MaskTextures::upload(Entry& entry, const CoverageImage& image) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, entry.texture);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (image.width > 0) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, image.stride);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, image.width, image.height, 0, GL_RED,
                     GL_UNSIGNED_BYTE, image.pixels.data());
    } else {
        // Nothing could be rasterised for a space of no size: no masking.
        const std::uint8_t all = 255;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, 1, 1, 0, GL_RED, GL_UNSIGNED_BYTE, &all);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void MaskTextures::uploadPatch(Entry& entry, const CoverageImage& image, const PixelRect& area) {
    if (area.empty() || image.width != area.width || image.height != area.height) {
        return;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, entry.texture);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, image.stride);
    glTexSubImage2D(GL_TEXTURE_2D, 0, area.x, area.y, area.width, area.height, GL_RED,
                    GL_UNSIGNED_BYTE, image.pixels.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void MaskTextures::collect() {
    worker_.takeFinished(finished_);
    for (CoverageWorker::Finished& done : finished_) {
        for (auto& [key, entry] : entries_) {
            // An older image than the one shown never replaces it.
            if (entry.slot != done.slot || done.generation <= entry.shown) {
                continue;
            }
            if (!done.patch) {
                entry.shown = done.generation;
                upload(entry, done.image);
            } else if (done.base == entry.shown) {
                entry.shown = done.generation;
                uploadPatch(entry, done.image, done.area);
            } else if (entry.requested == done.generation) {
                // Not a patch of what the texture holds: the whole image again.
                request(entry, true);
            }
            break;
        }
    }
    finished_.clear();
}

unsigned MaskTextures::texture(const Uuid& key, std::span<const Mask> masks, const MaskSpace& space,
                               CoverageSize size, std::uint64_t frame) {
    const auto sameMasks = [&masks](const Entry& entry) {
        return std::equal(masks.begin(), masks.end(), entry.masks.begin(), entry.masks.end());
    };
    // Of entries not yet used this frame (a file may repeat an id), the one
    // with the same masks, else any.
    Entry* found = nullptr;
    const auto [first, last] = entries_.equal_range(key);
    for (auto it = first; it != last; ++it) {
        Entry& entry = it->second;
        if (entry.frame == frame) {
            continue;
        }
        if (found == nullptr || sameMasks(entry)) {
            found = &entry;
        }
    }
    if (found == nullptr) {
        Entry entry;
        entry.slot = nextSlot_++;
        glGenTextures(1, &entry.texture);
        glBindTexture(GL_TEXTURE_2D, entry.texture);
        const std::uint8_t none = 0;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, 1, 1, 0, GL_RED, GL_UNSIGNED_BYTE, &none);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        entry.masks.assign(masks.begin(), masks.end());
        entry.space = space;
        entry.size = size;
        found = &entries_.emplace(key, std::move(entry))->second;
        request(*found);
    } else if (!sameMasks(*found) || !(found->space == space) || !(found->size == size)) {
        found->masks.assign(masks.begin(), masks.end());
        found->space = space;
        found->size = size;
        request(*found);
    }
    found->frame = frame;
    return found->texture;
}

void MaskTextures::prune(std::uint64_t frame) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.frame != frame) {
            glDeleteTextures(1, &it->second.texture);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

bool MaskTextures::pending() const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const auto& item) { return item.second.shown != item.second.requested; });
}

void MaskTextures::finish() {
    // A patch that cannot go over what a texture holds asks for the whole
    // image again: at most one more round.
    for (int round = 0; round < 2 && pending(); ++round) {
        worker_.waitIdle();
        collect();
    }
}

} // namespace prismeta
