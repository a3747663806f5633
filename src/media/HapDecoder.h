#pragma once

#include "media/HapFrame.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace prismeta {

class ChunkWorkers;

// Turns HAP frames into the compressed texture data a GPU samples directly:
// parses the frame, checks that its images decompress to exactly the blocks
// of the picture, then decompresses (Snappy) or copies the chunks side by
// side on a few helper threads into memory the caller provides. No picture
// is ever decoded to pixels here.
//
// Two steps, so that the caller can size its buffer in between: prepare
// (parse and check; returns the bytes needed), then decode into that many
// bytes. Once its lists have grown to the largest frame's chunk count it
// allocates nothing.
//
// Used by one thread (a player's decoding thread); owns its helpers.
class HapDecoder {
public:
    // The picture size comes from the container: HAP frames do not carry it.
    // helpers < 0 picks ChunkWorkers::defaultHelpers(); they are made with
    // the first frame of more than one chunk.
    HapDecoder(int width, int height, int helpers = -1);
    ~HapDecoder();
    HapDecoder(const HapDecoder&) = delete;
    HapDecoder& operator=(const HapDecoder&) = delete;

    // One image of the prepared frame, within decode's destination.
    struct Image {
        HapTextureFormat format = HapTextureFormat::rgbDxt1;
        std::size_t offset = 0;
        std::size_t bytes = 0;
    };

    // Parses and checks frame: the bytes decode will write, or 0 when the
    // frame is malformed or its images do not fill the picture's blocks
    // exactly (the caller keeps its last good picture).
    std::size_t prepare(std::span<const std::uint8_t> frame);
    // The images of the frame last prepared: the colour image first.
    std::span<const Image> images() const { return {images_.data(), imageCount_}; }
    // Decompresses the frame last prepared (the same bytes) into destination,
    // which holds at least prepare's bytes. False when a chunk's data is
    // corrupt; destination is then partly written.
    bool decode(std::span<const std::uint8_t> frame, std::uint8_t* destination);

private:
    struct Job {
        std::size_t source = 0;
        std::size_t sourceBytes = 0;
        std::size_t target = 0;
        std::size_t targetBytes = 0;
        bool snappy = false;
    };

    int width_;
    int height_;
    int helpers_;
    HapFrameLayout layout_;
    std::array<Image, 2> images_{};
    std::size_t imageCount_ = 0;
    std::vector<Job> jobs_;
    std::size_t totalBytes_ = 0;
    std::unique_ptr<ChunkWorkers> workers_;
};

} // namespace prismeta
