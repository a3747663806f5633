#pragma once

#include <cstdint>
#include <vector>

namespace prismeta {

// The calibration picture of test-pattern surfaces, drawn by our own code so
// the bytes are the same everywhere: 8-bit RGBA, opaque, row 0 at the top,
// size x size pixels (1024 for surfaces). Layers, in order: grey 26
// background; grey 56 checker cells (size / 8 wide) where column + row is odd;
// 2-pixel grey 128 lines centred on every cell boundary; corner squares one
// cell wide, red top-left, green top-right, blue bottom-right, yellow
// bottom-left; an 8-pixel white border. Pure; any thread.
std::vector<std::uint8_t> makeTestPatternPixels(int size);

inline constexpr int testPatternSize = 1024;

} // namespace prismeta
