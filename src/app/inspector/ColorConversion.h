#pragma once

#include "core/RGBA.h"

#include <QColor>

namespace prismeta {

// A picked colour as the project stores it: converted to sRGB, its red,
// green, blue and alpha narrowed to single precision. A colour that cannot be
// expressed in sRGB (invalid, or extended-range channels outside 0..1) gives
// opaque white.
RGBA rgbaFromColor(const QColor& color);

// The stored colour for the colour well and as the dialog's starting colour,
// each channel clamped to 0..1 (a hand-made file may hold anything).
QColor colorFromRgba(const RGBA& rgba);

} // namespace prismeta
