#pragma once

#include "media/VideoPlayer.h"

#include "MediaFixtures.h"

#include <chrono>

// Helpers shared by the video tests: media time is driven by hand (host times
// are plain numbers), and waitFrameDue lets the decoder catch up between steps
// so nothing depends on this machine's speed.
namespace prismeta::videotest {

constexpr double fps = 30.0;
constexpr auto patience = std::chrono::seconds(10);

// The number a picture of the frame-number pattern carries.
inline int numberOf(const VideoFrame& frame) {
    return fixtures::frameNumberOf(frame.pixels, frame.stride, frame.width, frame.height);
}

// The picture due at media time t of a file of `frames` pictures at 30 fps:
// the loop is frames / 30 seconds long.
inline int dueNumber(double t, int frames) {
    const auto index = static_cast<long long>(t * fps + 1e-6);
    return static_cast<int>(index % frames);
}

// What a renderer shows: the last picture handed out.
struct Screen {
    int shown = -1;
    int pictures = 0;

    void step(VideoPlayer& player, double hostTime) {
        const VideoFrameLease lease = player.waitFrameDue(hostTime, patience);
        if (lease) {
            shown = numberOf(*lease);
            ++pictures;
        }
    }
};

} // namespace prismeta::videotest
