#pragma once

#include "core/Surface.h"

namespace prismeta {

struct CoverageSize {
    int width = 0;
    int height = 0;

    friend bool operator==(const CoverageSize&, const CoverageSize&) = default;
};

inline constexpr int minSurfaceCoverageSide = 32;
inline constexpr int maxSurfaceCoverageSide = 4096;

// The size of a surface's mask coverage image when the surface is drawn on a
// target of targetWidth x targetHeight pixels showing cropWidth x cropHeight
// of the canvas: the surface's footprint (the box around its corners and mesh
// points) in target pixels, each side rounded up to a power of two between
// minSurfaceCoverageSide and maxSurfaceCoverageSide. So the coverage has at
// least a texel per target pixel, and a drag re-rasterises only when the
// footprint crosses a power of two.
CoverageSize surfaceCoverageSize(const Surface& surface, double cropWidth, double cropHeight,
                                 int targetWidth, int targetHeight);

} // namespace prismeta
