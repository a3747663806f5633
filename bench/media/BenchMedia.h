#pragma once

#include <string>

// The media the benchmarks decode, made once with FFmpeg's encoders and cached
// under /tmp: dense content (a moving pattern under noise), since flat
// synthetic pictures decode several times faster than real footage.
namespace prismeta::bench {

// A 30 fps H.264 clip of the given height (16:9), 150 pictures.
std::string denseVideo(int height);
// A 3840 x 2160 still through the named encoder ("png" or "mjpeg").
std::string denseStill(const char* encoder, const char* extension);

} // namespace prismeta::bench
