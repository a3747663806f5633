#include "placement/WindowFit.h"

#include <algorithm>
#include <cstdint>

namespace prismeta {

ScreenRect centredWindow(WindowSize size, const ScreenRect& area, FrameMargins frame) {
    // 64-bit sums: hostile margins or areas must not overflow.
    const std::int64_t frameWidth = std::int64_t{frame.left} + frame.right;
    const std::int64_t frameHeight = std::int64_t{frame.top} + frame.bottom;
    const std::int64_t roomWidth = std::int64_t{area.width} - frameWidth;
    const std::int64_t roomHeight = std::int64_t{area.height} - frameHeight;

    std::int64_t width = std::max(size.width, 1);
    std::int64_t height = std::max(size.height, 1);
    if (roomWidth < 1 || roomHeight < 1) {
        width = 1;
        height = 1;
    } else if (width > roomWidth || height > roomHeight) {
        // Whole numbers throughout: the limiting side becomes exactly the
        // room, the other keeps the aspect, rounded down.
        if (width * roomHeight >= height * roomWidth) {
            height = std::max<std::int64_t>(1, height * roomWidth / width);
            width = roomWidth;
        } else {
            width = std::max<std::int64_t>(1, width * roomHeight / height);
            height = roomHeight;
        }
    }
    // Centre the framed window; where it cannot fit, start at the area's
    // corner so that at least the title bar stays reachable.
    const std::int64_t outerX =
        std::int64_t{area.x} + std::max<std::int64_t>(0, (area.width - (width + frameWidth)) / 2);
    const std::int64_t outerY =
        std::int64_t{area.y} +
        std::max<std::int64_t>(0, (area.height - (height + frameHeight)) / 2);
    return ScreenRect{static_cast<int>(outerX + frame.left), static_cast<int>(outerY + frame.top),
                      static_cast<int>(width), static_cast<int>(height)};
}

} // namespace prismeta
