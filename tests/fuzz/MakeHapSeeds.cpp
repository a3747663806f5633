// Writes the HAP seed files no encoder on this machine makes: alpha only,
// YCoCg with an alpha image, BPTC, and a chunked frame with an offset table,
// mixed chunk compressors and short section headers. Called by
// tests/corpus/make-media-seeds:  make_hap_seeds <folder>
#include "HapFixtures.h"

#include <cstdio>
#include <string>

namespace {

using namespace prismeta::fixtures::hap;

// 16 x 12 pictures (4 x 3 blocks), three of them, each block a colour of its
// own that moves on from picture to picture.
constexpr int width = 16;
constexpr int height = 12;
constexpr int pictures = 3;

Rgb565 colourOf(int n) {
    return {(n * 7) & 31, (n * 13) & 63, (31 - n * 5) & 31};
}

std::vector<Bytes> frames(const std::function<Bytes(int picture)>& frame) {
    std::vector<Bytes> out;
    for (int p = 0; p < pictures; ++p) {
        out.push_back(frame(p));
    }
    return out;
}

Bytes picture(int p, const std::function<Bytes(int n)>& block) {
    return blocks(width, height, [&](int bx, int by) { return block(bx + by * 4 + p); });
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_hap_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    ok = ok &&
         writeMovie(folder + "/hap-q-alpha.mov", "HapM", width, height, 10, frames([](int p) {
                        return multipleImages(
                            {chunkedImage(scaledYCoCg,
                                          picture(p,
                                                  [](int n) {
                                                      return solidDxt5(
                                                          colourOf(n),
                                                          static_cast<std::uint8_t>(n * 20));
                                                  }),
                                          {2, {true}}),
                             simpleImage(rgtc1, snappy, picture(p, [](int n) {
                                             return solidRgtc1(static_cast<std::uint8_t>(n * 16));
                                         }))});
                    }));
    ok = ok &&
         writeMovie(folder + "/hap-alpha-only.mov", "HapA", width, height, 10, frames([](int p) {
                        return simpleImage(rgtc1, snappy, picture(p, [](int n) {
                                               return solidRgtc1(static_cast<std::uint8_t>(n * 16));
                                           }));
                    }));
    // The QuickTime muxer here does not know Hap7; AVI carries any fourcc.
    ok = ok && writeMovie(folder + "/hap7.avi", "Hap7", width, height, 10, frames([](int p) {
                              return simpleImage(bptc, snappy, picture(p, [](int n) {
                                                     const auto v =
                                                         static_cast<std::uint8_t>(n * 16);
                                                     return solidBptc({v, 100, 60, 254});
                                                 }));
                          }));
    ok = ok &&
         writeMovie(folder + "/hap-alpha-offsets.mov", "Hap5", width, height, 10, frames([](int p) {
                        return chunkedImage(dxt5,
                                            picture(p,
                                                    [](int n) {
                                                        return solidDxt5(
                                                            colourOf(n),
                                                            static_cast<std::uint8_t>(n * 20));
                                                    }),
                                            {3, {true, false}, true, false});
                    }));
    if (!ok) {
        std::fprintf(stderr, "make_hap_seeds: could not write the seeds\n");
        return 1;
    }
    return 0;
}
