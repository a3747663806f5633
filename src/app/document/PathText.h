#pragma once

#include <QString>

#include <string_view>

namespace prismeta {

// A stored path as text for a label, a list row or a tooltip: at most
// maxBytes of it, then an ellipsis. A damaged project may hold a path of
// megabytes, and Qt lays out the whole text of a row on every paint.
inline QString pathText(std::string_view path, std::size_t maxBytes = 1024) {
    if (path.size() <= maxBytes) {
        return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    }
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(maxBytes)) + QChar(0x2026);
}

} // namespace prismeta
