#pragma once

#include "core/Mask.h"
#include "core/Uuid.h"
#include "masks/CoverageWorker.h"
#include "masks/MaskRaster.h"
#include "masks/MaskSizing.h"
#include "masks/PixelRect.h"

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace prismeta {

// One renderer's mask coverage textures (one channel), one per record with
// masks that draw, keyed by the record's id. A texture is rasterised again
// (by a CoverageWorker, off this thread) only when its masks or its size
// change; until the first image is in, it holds no light (0), so a window
// meant to stay dark never flashes. A point drag uploads only the rows it
// changed (the worker's patches). Each frame stamps the entries it uses and
// prune() drops the rest. A steady frame allocates nothing.
//
// Render thread only, its GL context current for every call but texture()'s
// lookups.
class MaskTextures {
public:
    MaskTextures() = default;
    ~MaskTextures(); // needs the context: deletes the textures
    MaskTextures(const MaskTextures&) = delete;
    MaskTextures& operator=(const MaskTextures&) = delete;

    // Uploads the images finished since the last call.
    void collect();
    // The texture holding the coverage of the masks over space at size,
    // stamped with frame; asks for a new image when they changed.
    unsigned texture(const Uuid& key, std::span<const Mask> masks, const MaskSpace& space,
                     CoverageSize size, std::uint64_t frame);
    // Drops every entry not stamped with frame.
    void prune(std::uint64_t frame);
    // Whether an image asked for is not uploaded yet.
    bool pending() const;
    // Waits for every image asked for and uploads them.
    void finish();
    void clear();

private:
    struct Entry {
        std::uint64_t slot = 0;
        std::vector<Mask> masks;
        MaskSpace space;
        CoverageSize size;
        std::uint64_t requested = 0; // generation of the last request
        std::uint64_t shown = 0;     // generation the texture holds
        unsigned texture = 0;
        std::uint64_t frame = 0;
    };

    void request(Entry& entry, bool whole = false);
    void upload(Entry& entry, const CoverageImage& image);
    void uploadPatch(Entry& entry, const CoverageImage& image, const PixelRect& area);

    std::unordered_multimap<Uuid, Entry> entries_;
    std::uint64_t nextSlot_ = 1;
    CoverageWorker worker_;
    std::vector<CoverageWorker::Finished> finished_;
};

} // namespace prismeta
