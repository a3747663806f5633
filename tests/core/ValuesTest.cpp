#include "core/MediaKind.h"
#include "core/OutputConfig.h"
#include "core/Surface.h"
#include "core/Uuid.h"
#include "core/WarpMesh.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace prismeta {
namespace {

TEST(MediaKind, TextFormsAndLabelsRoundTripExactly) {
    const char* texts[] = {"color", "testPattern", "image", "video", "shader", "live"};
    const char* labels[] = {"Solid Color", "Test Pattern", "Image",
                            "Video",       "Shader",       "Live Source"};
    for (std::size_t i = 0; i < allMediaKinds.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(allMediaKinds[i]), i);
        EXPECT_EQ(mediaKindText(allMediaKinds[i]), texts[i]);
        EXPECT_EQ(mediaKindLabel(allMediaKinds[i]), labels[i]);
        EXPECT_EQ(mediaKindFromText(texts[i]), allMediaKinds[i]);
    }
    for (const char* wrong : {"TestPattern", "Video", "COLOR", "", "image ", "Solid Color"}) {
        EXPECT_FALSE(mediaKindFromText(wrong).has_value()) << wrong;
    }
}

TEST(Uuid, TextIsUpperCaseAndParsingAcceptsEitherCase) {
    const Uuid id = Uuid::random();
    const std::string text = id.text();
    ASSERT_EQ(text.size(), 36u);
    for (char c : text) {
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-') << text;
    }
    EXPECT_EQ(Uuid::parse(text), id);
    std::string lower = text;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(Uuid::parse(lower), id);
    EXPECT_EQ(Uuid::parse("00112233-4455-6677-8899-aAbBcCdDeEfF")->text(),
              "00112233-4455-6677-8899-AABBCCDDEEFF");
}

TEST(Uuid, RejectsAnythingButTheHyphenatedForm) {
    for (const char* bad :
         {"", "00112233445566778899AABBCCDDEEFF", "{00112233-4455-6677-8899-AABBCCDDEEFF}",
          "00112233-4455-6677-8899-AABBCCDDEEF", "00112233-4455-6677-8899-AABBCCDDEEFFF",
          "0011223-34455-6677-8899-AABBCCDDEEFF", "00112233-4455-6677-8899-AABBCCDDEEFG",
          "00112233 4455-6677-8899-AABBCCDDEEFF", "+0112233-4455-6677-8899-AABBCCDDEEFF"}) {
        EXPECT_FALSE(Uuid::parse(bad).has_value()) << bad;
    }
}

TEST(Uuid, RandomValuesAreDistinct) {
    std::set<Uuid> ids;
    for (int i = 0; i < 1000; ++i) {
        ids.insert(Uuid::random());
    }
    EXPECT_EQ(ids.size(), 1000u);
}

TEST(WarpMesh, OneByOneHoldsTheCornersRowByRow) {
    const std::vector<Pt> corners = {{0.1f, 0.2f}, {0.9f, 0.1f}, {0.8f, 0.7f}, {0.2f, 0.9f}};
    const auto mesh = WarpMesh::from(corners, 1, 1);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->points, (std::vector<Pt>{corners[0], corners[1], corners[3], corners[2]}));
}

TEST(WarpMesh, ThreeByThreeOnTheDefaultLayoutIsTheBilinearGrid) {
    const auto mesh = WarpMesh::from(defaultCorners, 3, 3);
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->points.size(), 16u);
    // The values as the single-precision steps compute them.
    const float third = 1.0f / 3.0f;
    const float twoThirds = 2.0f / 3.0f;
    const float steps[] = {0.25f, 0.25f + (0.75f - 0.25f) * third,
                           0.25f + (0.75f - 0.25f) * twoThirds, 0.75f};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const Pt p = mesh->points[static_cast<std::size_t>(r * 4 + c)];
            EXPECT_EQ(p.x, steps[c]) << r << "," << c;
            EXPECT_EQ(p.y, steps[r]) << r << "," << c;
        }
    }
    EXPECT_FLOAT_EQ(mesh->points[5].x, 0.25f + 0.5f / 3.0f);
}

TEST(WarpMesh, ExtraCornersAreIgnoredAndBadRequestsRefused) {
    std::vector<Pt> five(defaultCorners.begin(), defaultCorners.end());
    five.push_back({9, 9});
    EXPECT_EQ(WarpMesh::from(five, 2, 3), WarpMesh::from(defaultCorners, 2, 3));

    const std::vector<Pt> three(defaultCorners.begin(), defaultCorners.begin() + 3);
    EXPECT_FALSE(WarpMesh::from(three, 3, 3));
    EXPECT_FALSE(WarpMesh::from(defaultCorners, 0, 3));
    EXPECT_FALSE(WarpMesh::from(defaultCorners, 3, -1));
    EXPECT_FALSE(WarpMesh::from(defaultCorners, INT64_MAX, INT64_MAX));
    EXPECT_FALSE(WarpMesh::from(defaultCorners, WarpMesh::maxPoints, 1));
}

TEST(WarpMesh, GridValidityChecksCountsAndPoints) {
    WarpMesh mesh = *WarpMesh::from(defaultCorners, 4, 2);
    EXPECT_TRUE(mesh.hasValidGrid());
    mesh.points.pop_back();
    EXPECT_FALSE(mesh.hasValidGrid());
    mesh = *WarpMesh::from(defaultCorners, 4, 2);
    mesh.cols = 0;
    EXPECT_FALSE(mesh.hasValidGrid());
    mesh.cols = INT64_MAX; // (cols + 1) would overflow
    EXPECT_FALSE(mesh.hasValidGrid());
    EXPECT_EQ(WarpMesh::gridPointCount(INT64_MAX / 2, INT64_MAX / 2), std::nullopt);
}

TEST(Surface, DefaultsAndEquality) {
    const Uuid id = Uuid::random();
    const Surface s(id);
    EXPECT_EQ(s.id, id);
    EXPECT_EQ(s.name, "Surface");
    EXPECT_EQ(s.corners,
              (std::vector<Pt>{{0.25f, 0.25f}, {0.75f, 0.25f}, {0.75f, 0.75f}, {0.25f, 0.75f}}));
    EXPECT_FALSE(s.mesh);
    EXPECT_EQ(s.mediaKind, MediaKind::testPattern);
    EXPECT_EQ(s.color, (RGBA{0.2f, 0.6f, 1.0f, 1.0f}));
    EXPECT_FALSE(s.mediaPath);
    EXPECT_EQ(s.opacity, 1.0);
    EXPECT_EQ(s.feather, 0.0f);

    Surface other = s;
    EXPECT_EQ(other, s);
    other.id = Uuid::random();
    EXPECT_NE(other, s);

    Surface emptyPath = s;
    emptyPath.mediaPath = "";
    EXPECT_NE(emptyPath, s);
    EXPECT_EQ(mediaSignature(emptyPath), mediaSignature(s));
}

TEST(Surface, SignatureFollowsKindAndPathOnly) {
    Surface s;
    s.mediaKind = MediaKind::color;
    EXPECT_EQ(mediaSignature(s), "color|");
    s.mediaKind = MediaKind::image;
    s.mediaPath = "/a/b.png";
    EXPECT_EQ(mediaSignature(s), "image|/a/b.png");
    const std::string before = mediaSignature(s);
    s.color = {1, 0, 0, 1};
    s.opacity = 0.3;
    s.feather = 0.2f;
    EXPECT_EQ(mediaSignature(s), before);
    s.mediaKind = MediaKind::video;
    EXPECT_EQ(mediaSignature(s), "video|/a/b.png");

    EXPECT_TRUE(mediaSignatureMatches(s, MediaKind::video, "/a/b.png"));
    EXPECT_FALSE(mediaSignatureMatches(s, MediaKind::image, "/a/b.png"));
    EXPECT_FALSE(mediaSignatureMatches(s, MediaKind::video, "/a/b.pn"));
    s.mediaPath.reset();
    EXPECT_TRUE(mediaSignatureMatches(s, MediaKind::video, ""));
}

TEST(OutputConfig, DefaultsAndPresets) {
    const OutputConfig standBy(Uuid::random());
    EXPECT_EQ(standBy.name, "Output");
    EXPECT_EQ(standBy.cropX, 0.0f);
    EXPECT_EQ(standBy.cropWidth, 1.0f);
    EXPECT_EQ(standBy.cropHeight, 1.0f);
    EXPECT_EQ(standBy.blendLeft + standBy.blendRight + standBy.blendTop + standBy.blendBottom,
              0.0f);

    struct Expected {
        OutputPreset preset;
        const char* label;
        const char* name;
        float x, y, w, h;
    };
    const Expected expected[] = {
        {OutputPreset::full, "Full Canvas", "Full", 0, 0, 1, 1},
        {OutputPreset::leftHalf, "Left Half", "Left Half", 0, 0, 0.5f, 1},
        {OutputPreset::rightHalf, "Right Half", "Right Half", 0.5f, 0, 0.5f, 1},
        {OutputPreset::topHalf, "Top Half", "Top Half", 0, 0, 1, 0.5f},
        {OutputPreset::bottomHalf, "Bottom Half", "Bottom Half", 0, 0.5f, 1, 0.5f},
    };
    for (const Expected& e : expected) {
        EXPECT_EQ(outputPresetLabel(e.preset), e.label);
        const OutputConfig a = makeOutput(e.preset);
        const OutputConfig b = makeOutput(e.preset);
        EXPECT_EQ(a.name, e.name);
        EXPECT_EQ(a.cropX, e.x);
        EXPECT_EQ(a.cropY, e.y);
        EXPECT_EQ(a.cropWidth, e.w);
        EXPECT_EQ(a.cropHeight, e.h);
        EXPECT_EQ(a.blendLeft + a.blendRight + a.blendTop + a.blendBottom, 0.0f);
        EXPECT_NE(a.id, b.id);
        OutputConfig sameId = b;
        sameId.id = a.id;
        EXPECT_EQ(sameId, a);
    }
}

} // namespace
} // namespace prismeta
