#include "calibration/PatternManifest.h"

#include <gtest/gtest.h>

namespace prismeta::calibration {
namespace {

ManifestOutput smallOutput() {
    ManifestOutput o;
    o.id = "8c1e6f3a-5f0e-4c57-9a0b-1f2e3d4c5b6a";
    o.name = "Left";
    o.width = 64;
    o.height = 32;
    const PatternSet set = o.patternSet();
    for (std::size_t k = 0; k < set.patterns.size(); ++k) {
        o.images.push_back(patternFileName(0, set.patterns[k]));
    }
    return o;
}

TEST(PatternManifest, RoundTripsAndRefusesNamesOutsideTheFolder) {
    ManifestOutput o = smallOutput();
    o.options.gamma = 2.4;
    const auto read = readManifest(writeManifest({o}));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value()[0].images, o.images);
    EXPECT_EQ(read.value()[0].options.gamma, 2.4);
    EXPECT_EQ(read.value()[0].images[0], "out1-00-white.png");

    for (const char* bad : {"../secret.png", "/etc/passwd", "", "..", "a\\b.png"}) {
        ManifestOutput hostile = smallOutput();
        hostile.images[3] = bad;
        EXPECT_FALSE(readManifest(writeManifest({hostile}))) << bad;
    }
    ManifestOutput missing = smallOutput();
    missing.images.pop_back();
    EXPECT_FALSE(readManifest(writeManifest({missing})));
    ManifestOutput huge = smallOutput();
    huge.width = 1 << 20;
    EXPECT_FALSE(readManifest(writeManifest({huge})));
    EXPECT_FALSE(readManifest("{\"outputs\": 3}"));
    EXPECT_FALSE(readManifest("{\"outputs\": [{\"width\": 1e400}]}"));
    EXPECT_FALSE(readManifest("not json"));
}

} // namespace
} // namespace prismeta::calibration
