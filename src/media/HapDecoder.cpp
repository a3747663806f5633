#include "media/HapDecoder.h"

#include "media/ChunkWorkers.h"

#include <snappy-c.h>

#include <atomic>
#include <cstring>
#include <new>

namespace prismeta {

HapDecoder::HapDecoder(int width, int height, int helpers)
    : width_(width), height_(height),
      helpers_(helpers < 0 ? ChunkWorkers::defaultHelpers() : helpers) {}

HapDecoder::~HapDecoder() = default;

std::size_t HapDecoder::prepare(std::span<const std::uint8_t> frame) {
    imageCount_ = 0;
    jobs_.clear();
    totalBytes_ = 0;
    if (!parseHapFrame(frame, layout_)) {
        return 0;
    }
    std::size_t target = 0;
    for (int i = 0; i < layout_.imageCount; ++i) {
        const HapImage& image = layout_.images[static_cast<std::size_t>(i)];
        const std::size_t expected = hapImageBytes(image.format, width_, height_);
        if (expected == 0) {
            return 0;
        }
        const std::size_t begin = target;
        for (std::size_t c = image.firstChunk; c < image.firstChunk + image.chunkCount; ++c) {
            const HapChunk& chunk = layout_.chunks[c];
            std::size_t bytes = chunk.size;
            if (chunk.snappy && snappy_uncompressed_length(
                                    reinterpret_cast<const char*>(frame.data() + chunk.offset),
                                    chunk.size, &bytes) != SNAPPY_OK) {
                return 0;
            }
            // Each chunk fills the next part of its image, and no chunk may
            // write past it: the sizes must add up to the image exactly.
            if (bytes > expected - (target - begin)) {
                return 0;
            }
            jobs_.push_back(Job{chunk.offset, chunk.size, target, bytes, chunk.snappy});
            target += bytes;
        }
        if (target - begin != expected) {
            return 0;
        }
        images_[imageCount_++] = Image{image.format, begin, expected};
    }
    totalBytes_ = target;
    return totalBytes_;
}

bool HapDecoder::decode(std::span<const std::uint8_t> frame, std::uint8_t* destination) {
    if (totalBytes_ == 0 || destination == nullptr) {
        return false;
    }
    std::atomic<bool> failed{false};
    auto job = [&](std::size_t i) {
        const Job& j = jobs_[i];
        if (j.targetBytes == 0) {
            return;
        }
        const std::uint8_t* source = frame.data() + j.source;
        std::uint8_t* target = destination + j.target;
        if (!j.snappy) {
            std::memcpy(target, source, j.targetBytes);
            return;
        }
        std::size_t written = j.targetBytes;
        if (snappy_uncompress(reinterpret_cast<const char*>(source), j.sourceBytes,
                              reinterpret_cast<char*>(target), &written) != SNAPPY_OK ||
            written != j.targetBytes) {
            failed.store(true, std::memory_order_relaxed);
        }
    };
    if (jobs_.size() > 1 && helpers_ > 0 && !workers_) {
        workers_ = std::make_unique<ChunkWorkers>(helpers_);
    }
    if (workers_) {
        workers_->run(jobs_.size(), job);
    } else {
        for (std::size_t i = 0; i < jobs_.size(); ++i) {
            job(i);
        }
    }
    return !failed.load(std::memory_order_relaxed);
}

} // namespace prismeta
