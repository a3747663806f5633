#pragma once

#include "core/OutputWarp.h"

namespace prismeta {

struct OutputConfig;

// Where an output without a warp lies on its projector's raster: its crop
// (cropWidth x cropHeight, any unit) fitted into the raster (rasterWidth x
// rasterHeight pixels) with its aspect kept and centred, each edge rounded
// to a whole pixel, as an output window letterboxes it. The warp editor
// starts from this placement, so ticking Edit Warp moves nothing on the
// wall, and a render of the raster draws an unwarped output here. Pure; any
// thread.
struct RasterRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const RasterRect&, const RasterRect&) = default;
};

// Empty when a size is not greater than 0 (or not a number).
RasterRect unwarpedRect(double cropWidth, double cropHeight, int rasterWidth, int rasterHeight);

// The same placement as a warp, in the raster's 0..1 coordinates: the warp
// an output without one is drawn as. The identity where the placement is
// empty.
OutputWarp unwarpedPlacement(double cropWidth, double cropHeight, int rasterWidth,
                             int rasterHeight);

// The warp an output is drawn through on a raster of rasterWidth x
// rasterHeight: its own, else the placement above of its crop of a canvas of
// canvasWidth x canvasHeight.
OutputWarp drawnWarp(const OutputConfig& output, double canvasWidth, double canvasHeight,
                     int rasterWidth, int rasterHeight);

} // namespace prismeta
