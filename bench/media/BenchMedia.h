#pragma once

#include <string>

// The media the benchmarks decode, made once with FFmpeg's encoders and cached
// under /tmp: dense content (a moving pattern under noise), since flat
// synthetic pictures decode several times faster than real footage.
namespace prismeta::bench {

// A 30 fps H.264 clip of the given height (16:9), 150 pictures, key frames
// every 60, in the container of the extension.
std::string denseVideo(int height, const char* extension = "mp4");
// A 3840 x 2160 still through the named encoder ("png" or "mjpeg").
std::string denseStill(const char* encoder, const char* extension);

// The baseline: plain libavformat + libavcodec decoding every picture of the
// file (or only the first) with `threads` codec threads (0: FFmpeg's
// automatic count, as the player sets it), converting nothing. Returns the
// pictures decoded.
int plainDecode(const std::string& path, int threads, bool firstOnly);

// The baseline of a seek: plain libavformat + libavcodec opening the file,
// seeking to the key frame the demuxer finds for `seconds` and decoding up to
// the picture due then (where that key frame is early enough). Returns the
// pictures decoded.
int plainSeekDecode(const std::string& path, double seconds);

} // namespace prismeta::bench
