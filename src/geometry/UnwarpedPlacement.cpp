#include "geometry/UnwarpedPlacement.h"

#include "core/OutputConfig.h"
#include "geometry/AspectFit.h"

#include <cmath>

namespace prismeta {

RasterRect unwarpedRect(double cropWidth, double cropHeight, int rasterWidth, int rasterHeight) {
    const ViewRect fit = aspectFit(cropWidth, cropHeight, rasterWidth, rasterHeight);
    if (fit.isEmpty() || !std::isfinite(fit.width) || !std::isfinite(fit.height)) {
        return {};
    }
    // Both edges rounded (not the size), as LetterboxView places a picture:
    // the bars stay within a pixel of each other and none is left against
    // the raster's border.
    const auto left = static_cast<int>(std::lround(fit.x));
    const auto top = static_cast<int>(std::lround(fit.y));
    const auto right = static_cast<int>(std::lround(fit.x + fit.width));
    const auto bottom = static_cast<int>(std::lround(fit.y + fit.height));
    if (right <= left || bottom <= top) {
        return {};
    }
    return RasterRect{left, top, right - left, bottom - top};
}

OutputWarp unwarpedPlacement(double cropWidth, double cropHeight, int rasterWidth,
                             int rasterHeight) {
    const RasterRect r = unwarpedRect(cropWidth, cropHeight, rasterWidth, rasterHeight);
    if (r.empty()) {
        return OutputWarp{};
    }
    const auto w = static_cast<double>(rasterWidth);
    const auto h = static_cast<double>(rasterHeight);
    const auto x0 = static_cast<float>(r.x / w);
    const auto y0 = static_cast<float>(r.y / h);
    const auto x1 = static_cast<float>((r.x + r.width) / w);
    const auto y1 = static_cast<float>((r.y + r.height) / h);
    OutputWarp warp;
    warp.corners = {Pt{x0, y0}, Pt{x1, y0}, Pt{x1, y1}, Pt{x0, y1}};
    return warp;
}

OutputWarp drawnWarp(const OutputConfig& output, double canvasWidth, double canvasHeight,
                     int rasterWidth, int rasterHeight) {
    if (output.warp) {
        return *output.warp;
    }
    return unwarpedPlacement(canvasWidth * static_cast<double>(output.cropWidth),
                             canvasHeight * static_cast<double>(output.cropHeight), rasterWidth,
                             rasterHeight);
}

} // namespace prismeta
