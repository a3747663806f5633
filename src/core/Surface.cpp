#include "core/Surface.h"

namespace prismeta {

Surface::Surface() : id(Uuid::random()) {}

Surface::Surface(const Uuid& surfaceID) : id(surfaceID) {}

std::string mediaSignature(const Surface& surface) {
    std::string signature(mediaKindText(surface.mediaKind));
    signature.push_back('|');
    if (surface.mediaPath) {
        signature += *surface.mediaPath;
    }
    return signature;
}

bool mediaSignatureMatches(const Surface& surface, MediaKind kind, std::string_view path) {
    if (surface.mediaKind != kind) {
        return false;
    }
    const std::string_view own = surface.mediaPath ? std::string_view(*surface.mediaPath) : "";
    return own == path;
}

} // namespace prismeta
