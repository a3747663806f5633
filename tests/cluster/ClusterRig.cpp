#include "ClusterRig.h"

#include <thread>

namespace prismeta::testing {

bool ClusterRig::pumpUntil(
    const std::vector<std::function<void(std::chrono::steady_clock::time_point)>>& updates,
    const std::function<bool()>& done, std::chrono::milliseconds timeout,
    std::chrono::milliseconds period) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        const auto now = std::chrono::steady_clock::now();
        for (const auto& update : updates) {
            update(now);
        }
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(period);
    }
    return false;
}

bool sameShow(const ProjectModel& a, const ProjectModel& b) {
    return a.surfaces() == b.surfaces() && a.outputs() == b.outputs() &&
           a.canvasSize() == b.canvasSize() && a.backgroundImagePath() == b.backgroundImagePath() &&
           a.backgroundOpacity() == b.backgroundOpacity();
}

void fillShow(ProjectModel& model, std::size_t count) {
    std::vector<Surface> surfaces;
    surfaces.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Surface surface;
        surface.name = "Surface " + std::to_string(i + 1);
        surface.color = RGBA{static_cast<float>(i % 7) / 7.0f, 0.5f, 0.25f, 1.0f};
        surface.opacity = 0.5 + static_cast<double>(i % 2) * 0.25;
        surfaces.push_back(std::move(surface));
    }
    model.setSurfaces(std::move(surfaces));
    OutputConfig main = makeOutput(OutputPreset::rightHalf);
    OutputConfig left = makeOutput(OutputPreset::leftHalf);
    left.node = "left";
    // The follower's projector hangs askew: its window warps as the
    // leader's file says.
    OutputWarp warp;
    warp.corners = {Pt{0.02f, 0.05f}, Pt{0.97f, 0.0f}, Pt{1.0f, 0.96f}, Pt{0.0f, 0.91f}};
    warp.mesh = WarpMesh::from(std::vector<Pt>(warp.corners.begin(), warp.corners.end()), 4, 3);
    warp.mesh->points[6].y += 0.01f;
    left.warp = warp;
    left.blendMap = "/show/maps/left.png";
    model.setOutputs({main, left});
    model.setCanvasSize({1280.0, 720.0});
    model.setBackgroundOpacity(0.25);
}

} // namespace prismeta::testing
