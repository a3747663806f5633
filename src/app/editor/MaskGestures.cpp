#include "app/editor/MaskGestures.h"

#include "core/ProjectModel.h"
#include "masks/MaskEdits.h"

#include <utility>

namespace prismeta {

MaskGestures::MaskGestures(ProjectModel& model) : model_(model) {}

void MaskGestures::setTarget(std::optional<MaskTarget> target) {
    if (target != target_) {
        selected_.reset();
        drag_ = Drag::none;
    }
    target_ = std::move(target);
}

std::optional<std::size_t> MaskGestures::selectedPoint() const {
    const std::optional<EditedMask> edited = findEditedMask(model_, target_);
    if (!edited || !selected_ || *selected_ >= edited->mask->points.size()) {
        return std::nullopt;
    }
    return selected_;
}

template <typename Change> bool MaskGestures::edit(Change&& change) {
    const std::optional<EditedMask> edited = findEditedMask(model_, target_);
    if (!edited) {
        return false;
    }
    Mask mask = *edited->mask;
    if (!change(mask, *edited) || mask == *edited->mask) {
        return false;
    }
    if (edited->surface != nullptr) {
        Surface surface = *edited->surface;
        surface.masks[target_->mask] = std::move(mask);
        if (!didPushUndo_) {
            model_.pushUndo("Edit Mask");
            didPushUndo_ = true;
        }
        model_.replaceSurface(edited->recordIndex, std::move(surface));
    } else {
        OutputConfig output = model_.outputs()[edited->recordIndex];
        output.masks[target_->mask] = std::move(mask);
        if (!didPushUndo_) {
            model_.pushOutputUndo(std::vector<Uuid>{output.id}, OutputPart::masks,
                                  "Edit Output Mask");
            didPushUndo_ = true;
        }
        model_.replaceOutput(edited->recordIndex, std::move(output));
    }
    return true;
}

bool MaskGestures::press(ViewPoint p, const ViewRect& fit, bool alt) {
    drag_ = Drag::none;
    didPushUndo_ = false;
    const std::optional<EditedMask> edited = findEditedMask(model_, target_);
    if (!edited || fit.isEmpty()) {
        selected_.reset();
        return false;
    }
    fit_ = fit;
    if (const std::optional<MaskHandle> hit = maskHandleAt(*edited, fit, p)) {
        point_ = hit->point;
        selected_ = hit->point;
        switch (hit->kind) {
        case MaskHandleKind::point:
            drag_ = alt ? Drag::pullHandles : Drag::point;
            break;
        case MaskHandleKind::in:
            drag_ = Drag::handleIn;
            break;
        case MaskHandleKind::out:
            drag_ = Drag::handleOut;
            break;
        }
        // Nothing changes until the pointer moves: a click selects.
        return true;
    }
    if (alt) {
        if (const std::optional<PathHit> hit = maskPathAt(*edited, fit, p, pathTolerance)) {
            const bool added =
                edit([&hit](Mask& mask, const EditedMask&) { return insertPoint(mask, *hit); });
            if (added) {
                point_ = hit->segment + 1;
                selected_ = point_;
                drag_ = Drag::point;
                return true;
            }
        }
    }
    selected_.reset();
    return false;
}

void MaskGestures::move(ViewPoint p) {
    if (drag_ == Drag::none) {
        return;
    }
    const Drag drag = drag_;
    const std::size_t k = point_;
    const ViewRect fit = fit_;
    edit([&](Mask& mask, const EditedMask& edited) {
        const std::optional<Pt> at = viewToMask(edited, fit, p);
        if (!at || k >= mask.points.size()) {
            return false;
        }
        const Pt placed = placeDraggedPoint(*at, model_.snapEnabled(), ProjectModel::snapGrid);
        if (!isFinite(placed)) {
            return false;
        }
        switch (drag) {
        case Drag::point:
            return movePoint(mask, k, placed);
        case Drag::handleIn:
            mask.points[k].in = placed;
            return true;
        case Drag::handleOut:
            mask.points[k].out = placed;
            return true;
        case Drag::pullHandles:
            return pullSymmetricHandles(mask, k, placed);
        case Drag::none:
            break;
        }
        return false;
    });
}

void MaskGestures::release() {
    drag_ = Drag::none;
    didPushUndo_ = false;
}

bool MaskGestures::doubleClick(ViewPoint p, const ViewRect& fit) {
    const std::optional<EditedMask> edited = findEditedMask(model_, target_);
    if (!edited || fit.isEmpty()) {
        return false;
    }
    const std::optional<MaskHandle> hit = maskHandleAt(*edited, fit, p);
    if (!hit || hit->kind != MaskHandleKind::point) {
        return false;
    }
    drag_ = Drag::none;
    didPushUndo_ = false;
    selected_ = hit->point;
    const std::size_t k = hit->point;
    edit([k](Mask& mask, const EditedMask&) { return makeCorner(mask, k); });
    didPushUndo_ = false;
    return true;
}

bool MaskGestures::removeSelectedPoint() {
    const std::optional<std::size_t> k = selectedPoint();
    if (!k) {
        return false;
    }
    didPushUndo_ = false;
    const bool removed = edit([k](Mask& mask, const EditedMask&) { return removePoint(mask, *k); });
    didPushUndo_ = false;
    if (removed) {
        // The point before takes the selection, so Delete can go on.
        selected_ = *k == 0 ? 0 : *k - 1;
    }
    // A mask at three points swallows the key all the same: Delete here
    // never means the surface.
    return true;
}

} // namespace prismeta
