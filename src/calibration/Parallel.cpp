#include "calibration/Parallel.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace prismeta::calibration {

void parallelBands(int count, const std::function<void(int, int)>& work, int threads) {
    if (count <= 0) {
        return;
    }
    int workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (threads > 0) {
        workers = std::min(workers, threads);
    }
    workers = std::min(workers, count);
    if (workers == 1) {
        work(0, count);
        return;
    }
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(workers) - 1);
    const int band = (count + workers - 1) / workers;
    for (int w = 1; w < workers; ++w) {
        const int begin = w * band;
        const int end = std::min(count, begin + band);
        if (begin < end) {
            pool.emplace_back([&work, begin, end] { work(begin, end); });
        }
    }
    work(0, std::min(count, band));
    for (std::thread& t : pool) {
        t.join();
    }
}

} // namespace prismeta::calibration
