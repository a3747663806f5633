#include "control/OscWarpFields.h"

#include "geometry/OutputWarpEdits.h"

#include <charconv>
#include <cmath>

namespace prismeta {

namespace {

const WarpMesh* meshOf(const OutputConfig& output) {
    return output.warp && output.warp->mesh && output.warp->mesh->hasValidGrid()
               ? &*output.warp->mesh
               : nullptr;
}

} // namespace

WarpAddress warpAddress(std::span<const std::string_view> parts, std::size_t& point) {
    if (parts.size() == 2 && parts[0] == "warp" && parts[1] == "reset") {
        return WarpAddress::reset;
    }
    if (parts.size() == 3 && parts[0] == "warp" && parts[1] == "point") {
        if (const std::optional<std::size_t> k = addressIndex(parts[2])) {
            point = *k;
            return WarpAddress::point;
        }
    }
    return WarpAddress::none;
}

Status writeWarpPoint(OutputConfig& output, std::size_t point, const OscArguments& arguments) {
    std::optional<double> x, y;
    if (arguments.size() == 2) {
        x = arguments[0].number();
        y = arguments[1].number();
    }
    if (!x || !y) {
        return Status::failure("takes ff, got " + (arguments.empty() ? std::string("no arguments")
                                                                     : typeTags(arguments)));
    }
    if (!(std::fabs(*x) < oscFloatOverflow) || !(std::fabs(*y) < oscFloatOverflow)) {
        return Status::failure("not a finite number a 32-bit float holds");
    }
    const WarpMesh* mesh = meshOf(output);
    if (mesh == nullptr) {
        return Status::failure("the output's warp has no mesh");
    }
    if (point >= mesh->points.size()) {
        return Status::failure("the warp's mesh has no point " + std::to_string(point));
    }
    output.warp =
        warpWithMeshPoint(*output.warp, point, Pt{static_cast<float>(*x), static_cast<float>(*y)});
    return Status::success();
}

OscArguments readWarpPoint(const OutputConfig& output, std::size_t point) {
    const WarpMesh* mesh = meshOf(output);
    if (mesh == nullptr || point >= mesh->points.size()) {
        return {};
    }
    return {OscArgument::float32(mesh->points[point].x),
            OscArgument::float32(mesh->points[point].y)};
}

void forEachChangedWarpPoint(const OutputConfig* before, const OutputConfig& after,
                             const std::function<void(std::size_t point, OscArguments)>& each) {
    const WarpMesh* now = meshOf(after);
    if (now == nullptr) {
        return;
    }
    const WarpMesh* was = before != nullptr ? meshOf(*before) : nullptr;
    for (std::size_t k = 0; k < now->points.size(); ++k) {
        if (was == nullptr || k >= was->points.size() || was->points[k] != now->points[k]) {
            each(k, readWarpPoint(after, k));
        }
    }
}

} // namespace prismeta
