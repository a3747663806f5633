#pragma once

#include "media/PixelImage.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace prismeta::fuzz {

// Reports what a fuzz target found wrong and stops, so libFuzzer keeps the
// input as a crash.
[[noreturn]] inline void fault(const char* target, const char* what) {
    std::fprintf(stderr, "%s fuzz: %s\n", target, what);
    std::abort();
}

// A decoded picture must be as large as its buffer says, within maxSide.
inline void checkPictureSize(const PixelImage& picture, int maxSide, const char* target) {
    if (picture.width < 1 || picture.height < 1 || picture.width > maxSide ||
        picture.height > maxSide ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) *
                                     static_cast<std::size_t>(picture.height) * 4) {
        fault(target, "decoded picture has an impossible size");
    }
}

} // namespace prismeta::fuzz
