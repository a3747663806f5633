#include "core/MediaKind.h"

namespace prismeta {

std::string_view mediaKindText(MediaKind kind) {
    switch (kind) {
    case MediaKind::color:
        return "color";
    case MediaKind::testPattern:
        return "testPattern";
    case MediaKind::image:
        return "image";
    case MediaKind::video:
        return "video";
    case MediaKind::shader:
        return "shader";
    case MediaKind::live:
        return "live";
    }
    return "color";
}

std::string_view mediaKindLabel(MediaKind kind) {
    switch (kind) {
    case MediaKind::color:
        return "Solid Color";
    case MediaKind::testPattern:
        return "Test Pattern";
    case MediaKind::image:
        return "Image";
    case MediaKind::video:
        return "Video";
    case MediaKind::shader:
        return "Shader";
    case MediaKind::live:
        return "Live Source";
    }
    return "Solid Color";
}

std::optional<MediaKind> mediaKindFromText(std::string_view text) {
    for (MediaKind kind : allMediaKinds) {
        if (mediaKindText(kind) == text) {
            return kind;
        }
    }
    return std::nullopt;
}

} // namespace prismeta
