#pragma once

#include "media/VideoFrame.h"

namespace prismeta {

class FramePool;

// The render thread's hold on one converted picture. While the lease lives
// the picture's memory stays untouched; destroying (or resetting) the lease
// hands the buffer back to the decoder, so upload, then let it go. Move-only;
// an empty lease means "no new picture". It must not outlive the VideoPlayer
// that handed it out. Render thread only.
class VideoFrameLease {
public:
    VideoFrameLease() = default;
    VideoFrameLease(FramePool* pool, int slot);
    ~VideoFrameLease() { reset(); }
    VideoFrameLease(VideoFrameLease&& other) noexcept;
    VideoFrameLease& operator=(VideoFrameLease&& other) noexcept;
    VideoFrameLease(const VideoFrameLease&) = delete;
    VideoFrameLease& operator=(const VideoFrameLease&) = delete;

    explicit operator bool() const { return pool_ != nullptr; }
    const VideoFrame& operator*() const { return *frame_; }
    const VideoFrame* operator->() const { return frame_; }

    void reset();

private:
    FramePool* pool_ = nullptr;
    int slot_ = -1;
    const VideoFrame* frame_ = nullptr;
};

} // namespace prismeta
