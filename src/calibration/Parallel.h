#pragma once

#include <functional>

namespace prismeta::calibration {

// Runs work(begin, end) over [0, count) split into contiguous bands, one per
// worker thread (at most the machine's cores, and at most `threads` when
// above 0), and returns when all are done. Work must not throw.
void parallelBands(int count, const std::function<void(int begin, int end)>& work, int threads = 0);

} // namespace prismeta::calibration
