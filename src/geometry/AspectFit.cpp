#include "geometry/AspectFit.h"

namespace prismeta {

ViewRect aspectFit(double contentWidth, double contentHeight, double viewWidth, double viewHeight) {
    if (!(contentWidth > 0.0) || !(contentHeight > 0.0) || !(viewWidth > 0.0) ||
        !(viewHeight > 0.0)) {
        return {};
    }
    const double scaleX = viewWidth / contentWidth;
    const double scaleY = viewHeight / contentHeight;
    const double s = scaleY < scaleX ? scaleY : scaleX;
    ViewRect fit;
    fit.width = contentWidth * s;
    fit.height = contentHeight * s;
    fit.x = (viewWidth - fit.width) * 0.5;
    fit.y = (viewHeight - fit.height) * 0.5;
    return fit;
}

} // namespace prismeta
