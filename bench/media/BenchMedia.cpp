#include "BenchMedia.h"

#include "MediaFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace prismeta::bench {

namespace {

// Bump when the content changes, so stale caches are not measured.
constexpr int mediaVersion = 3;

std::string cacheDir() {
    const std::string dir = "/tmp/prismeta-bench-media";
    std::filesystem::create_directories(dir);
    return dir;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench_media: cannot make %s\n", what.c_str());
    std::exit(1);
}

// Writes to a temporary name and renames, so an interrupted run leaves no
// half file in the cache.
template <typename Make> std::string cached(const std::string& name, Make make) {
    const std::string path = cacheDir() + "/v" + std::to_string(mediaVersion) + "-" + name;
    if (std::filesystem::exists(path)) {
        return path;
    }
    const std::string partial = cacheDir() + "/partial-" + std::to_string(::getpid()) + "-" + name;
    if (!make(partial)) {
        fail(path);
    }
    std::filesystem::rename(partial, path);
    return path;
}

} // namespace

std::string denseVideo(int height) {
    const int width = height * 16 / 9;
    return cached("dense-" + std::to_string(height) + "p.mp4", [&](const std::string& path) {
        fixtures::VideoSpec spec;
        spec.encoder = "libx264";
        spec.width = width;
        spec.height = height;
        spec.frames = 150;
        spec.gop = 60;
        spec.noise = 12;
        return fixtures::writeVideo(path, spec);
    });
}

std::string denseStill(const char* encoder, const char* extension) {
    return cached(std::string("dense-4k.") + extension, [&](const std::string& path) {
        std::mt19937 random(99);
        std::uniform_int_distribution<int> noise(-20, 20);
        return fixtures::writeStill(path, encoder, 3840, 2160, [&](int x, int y) {
            const auto channel = [&](int base) {
                return static_cast<std::uint8_t>(std::clamp(base + noise(random), 0, 255));
            };
            return fixtures::Rgba8{channel((x / 15) & 255), channel((y / 9) & 255),
                                   channel(((x + y) / 24) & 255), 255};
        });
    });
}

} // namespace prismeta::bench
