#pragma once

namespace prismeta {

// The ranges within which the editing controls keep a surface's values: the
// inspector's sliders and colour well, and remote control, which must accept
// exactly what the inspector accepts. Corner points and blend widths have no
// range of their own (any finite number is stored as given).
inline constexpr double opacityMinimum = 0.0;
inline constexpr double opacityMaximum = 1.0;
inline constexpr double featherMinimum = 0.0;
inline constexpr double featherMaximum = 0.5;
inline constexpr float colorChannelMinimum = 0.0f;
inline constexpr float colorChannelMaximum = 1.0f;

} // namespace prismeta
