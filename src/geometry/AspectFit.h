#pragma once

namespace prismeta {

// A rectangle in view points (double precision), origin top-left, y down.
struct ViewRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    bool isEmpty() const { return !(width > 0.0) || !(height > 0.0); }
    double midX() const { return x + width * 0.5; }
    double midY() const { return y + height * 0.5; }
    friend bool operator==(const ViewRect&, const ViewRect&) = default;
};

// Places content of size (contentWidth, contentHeight) into a view of size
// (viewWidth, viewHeight): scaled by the smaller of the two ratios, centred.
// Empty at the origin when any size is not greater than 0. Used by the editor
// (the whole canvas) and the output windows (one output's crop).
ViewRect aspectFit(double contentWidth, double contentHeight, double viewWidth, double viewHeight);

} // namespace prismeta
