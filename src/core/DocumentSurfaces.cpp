#include "core/DocumentSurfaces.h"

#include <unordered_map>
#include <utility>
#include <vector>

namespace prismeta {

bool sameCueFields(const Surface& a, const Surface& b) {
    return a.opacity == b.opacity && a.color == b.color && a.mediaKind == b.mediaKind &&
           a.mediaPath == b.mediaPath && a.shaderInputs == b.shaderInputs;
}

namespace {

// Where each id first sits in a list, made only when a surface is not at the
// position it had.
class IdIndex {
public:
    explicit IdIndex(const SurfaceList& list) : list_(list) {}

    const Surface* find(std::size_t position, const Uuid& id) {
        if (position < list_.size() && list_[position].id == id) {
            return &list_[position];
        }
        if (positions_.empty()) {
            positions_.reserve(list_.size());
            for (std::size_t i = 0; i < list_.size(); ++i) {
                positions_.try_emplace(list_[i].id, i);
            }
        }
        const auto found = positions_.find(id);
        return found == positions_.end() ? nullptr : &list_[found->second];
    }

private:
    const SurfaceList& list_;
    std::unordered_map<Uuid, std::size_t> positions_;
};

} // namespace

SurfaceList carryEdit(const SurfaceList& own, const SurfaceList& before, const SurfaceList& after) {
    IdIndex owned(own);
    IdIndex was(before);
    std::vector<Surface> result;
    result.reserve(after.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        const Surface& edited = after[i];
        Surface surface = edited;
        const Surface* previous = was.find(i, edited.id);
        const Surface* kept = owned.find(i, edited.id);
        if (previous != nullptr && kept != nullptr) {
            // The cue fields this edit left alone keep the document's values.
            if (edited.opacity == previous->opacity) {
                surface.opacity = kept->opacity;
            }
            if (edited.color == previous->color) {
                surface.color = kept->color;
            }
            if (edited.mediaKind == previous->mediaKind) {
                surface.mediaKind = kept->mediaKind;
            }
            if (edited.mediaPath == previous->mediaPath) {
                surface.mediaPath = kept->mediaPath;
            }
            if (edited.shaderInputs == previous->shaderInputs) {
                surface.shaderInputs = kept->shaderInputs;
            }
        }
        result.push_back(std::move(surface));
    }
    return SurfaceList(std::move(result));
}

} // namespace prismeta
