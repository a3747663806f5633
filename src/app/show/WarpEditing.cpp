#include "app/show/WarpEditing.h"

#include "core/ProjectModel.h"
#include "geometry/OutputWarpEdits.h"
#include "geometry/UnwarpedPlacement.h"

#include <cmath>

namespace prismeta {

namespace {

const OutputConfig* findOutput(const ProjectModel& model, const Uuid& id, std::size_t& index) {
    const std::vector<OutputConfig>& outputs = model.outputs();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].id == id) {
            index = i;
            return &outputs[i];
        }
    }
    return nullptr;
}

bool isFinite(Pt p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

} // namespace

WarpEditing::WarpEditing(ProjectModel& model, Uuid outputID) : model_(model), id_(outputID) {}

void WarpEditing::setRasterSize(int width, int height) {
    rasterWidth_ = width;
    rasterHeight_ = height;
}

OutputWarp WarpEditing::drawnWarp(const OutputConfig& output) const {
    const CanvasSize canvas = model_.canvasSize();
    return prismeta::drawnWarp(output, canvas.width, canvas.height, rasterWidth_, rasterHeight_);
}

std::optional<OutputWarp> WarpEditing::warp() const {
    std::size_t index = 0;
    const OutputConfig* output = findOutput(model_, id_, index);
    if (output == nullptr) {
        return std::nullopt;
    }
    return drawnWarp(*output);
}

std::size_t WarpEditing::handleCount() const {
    const std::optional<OutputWarp> current = warp();
    if (!current) {
        return 0;
    }
    const bool meshed = current->mesh && current->mesh->hasValidGrid();
    return 4 + (meshed ? current->mesh->points.size() : 0);
}

std::optional<Pt> WarpEditing::handle(std::size_t h) const {
    const std::optional<OutputWarp> current = warp();
    if (!current || h >= handleCount()) {
        return std::nullopt;
    }
    return isCorner(h) ? current->corners[h] : current->mesh->points[h - 4];
}

std::optional<std::size_t> WarpEditing::selected() const {
    if (selected_ && *selected_ < handleCount()) {
        return selected_;
    }
    return std::nullopt;
}

void WarpEditing::selectNext() {
    const std::size_t count = handleCount();
    if (count == 0) {
        selected_.reset();
        return;
    }
    const std::optional<std::size_t> now = selected();
    selected_ = now ? (*now + 1) % count : 0;
}

void WarpEditing::selectPrevious() {
    const std::size_t count = handleCount();
    if (count == 0) {
        selected_.reset();
        return;
    }
    const std::optional<std::size_t> now = selected();
    selected_ = now && *now > 0 ? *now - 1 : count - 1;
}

bool WarpEditing::press(Pt p, double width, double height, double radius) {
    grabbed_.reset();
    dragStep_ = false;
    const std::size_t count = handleCount();
    // Corners first (drawn on top), then the mesh points, last drawn first.
    std::optional<std::size_t> hit;
    const auto near = [&](std::size_t h) {
        const Pt at = *handle(h);
        const double dx = (at.x - p.x) * width;
        const double dy = (at.y - p.y) * height;
        return std::hypot(dx, dy) <= radius;
    };
    for (std::size_t h = 0; h < 4 && h < count && !hit; ++h) {
        if (near(h)) {
            hit = h;
        }
    }
    for (std::size_t h = count; h-- > 4 && !hit;) {
        if (near(h)) {
            hit = h;
        }
    }
    return hit && grab(*hit, p);
}

bool WarpEditing::grab(std::size_t h, Pt p) {
    grabbed_.reset();
    dragStep_ = false;
    const std::optional<Pt> at = handle(h);
    if (!at) {
        return false;
    }
    selected_ = h;
    grabbed_ = h;
    grabOffset_ = Pt{at->x - p.x, at->y - p.y};
    return true;
}

void WarpEditing::drag(Pt p) {
    if (!grabbed_) {
        return;
    }
    const Pt to{p.x + grabOffset_.x, p.y + grabOffset_.y};
    if (isFinite(to)) {
        place(*grabbed_, to, dragStep_);
    }
}

void WarpEditing::release() {
    grabbed_.reset();
    dragStep_ = false;
}

bool WarpEditing::nudge(float dx, float dy) {
    const std::optional<std::size_t> h = selected();
    const std::optional<Pt> at = h ? handle(*h) : std::nullopt;
    if (!at) {
        return false;
    }
    const Pt to{at->x + dx, at->y + dy};
    if (!isFinite(to)) {
        return false;
    }
    // A run of nudges of one handle is one step, until anything else
    // changes the warp (a drag, an undo, remote control).
    bool stepTaken = nudgeLeft_ && nudgeHandle_ == *h && warp() == nudgeLeft_;
    place(*h, to, stepTaken);
    nudgeLeft_ = warp();
    nudgeHandle_ = *h;
    return true;
}

void WarpEditing::place(std::size_t h, Pt p, bool& stepTaken) {
    std::size_t index = 0;
    const OutputConfig* output = findOutput(model_, id_, index);
    if (output == nullptr) {
        return;
    }
    const OutputWarp current = drawnWarp(*output);
    if (h >= handleCount()) {
        return;
    }
    const OutputWarp moved =
        isCorner(h) ? warpWithCorner(current, h, p) : warpWithMeshPoint(current, h - 4, p);
    if (output->warp && moved == *output->warp) {
        return;
    }
    if (!stepTaken) {
        model_.pushOutputUndo(std::vector<Uuid>{id_}, OutputPart::warp,
                              isCorner(h) ? "Move Warp Corner" : "Move Warp Point");
        stepTaken = true;
    }
    OutputConfig edited = *output;
    edited.warp = moved;
    model_.replaceOutput(index, std::move(edited));
}

} // namespace prismeta
