#pragma once

namespace prismeta {

struct Surface;

// The size in pixels of the box around a surface's points (its mesh's where
// it has one) drawn at the given pixels per canvas unit, rounded up and kept
// within 1 and cap: the size a picture made for the surface needs to show
// every pixel it covers. Non-finite points and scales give 1 x 1.
struct PixelSize {
    int width = 1;
    int height = 1;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};
PixelSize coveredSize(const Surface& surface, double pixelsPerUnitX, double pixelsPerUnitY,
                      int cap);

// Whether the box around a surface's points (its mesh's where it has one)
// overlaps the canvas region from (x, y), width by height: whether the
// surface may draw there at all. A surface with non-finite points, and a
// region that is not a finite box, count as overlapping (drawing decides).
bool mayCoverRegion(const Surface& surface, double x, double y, double width, double height);

} // namespace prismeta
