// The "dmx" keys of surfaces and of the project, and a cue's "timecode":
// written only when set, in their sorted places, read back equal; values of
// no use read as not set and never fail a load.
#include "core/Log.h"
#include "core/ProjectFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace prismeta {
namespace {

std::string project(const std::string& surfaceKeys, const std::string& topKeys) {
    return R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
        "outputs": [], )" +
           topKeys + R"("surfaces": [{"color": {"a": 1, "b": 1, "g": 1, "r": 1},
        "corners": [{"x": 0, "y": 0}, {"x": 1, "y": 0}, {"x": 1, "y": 1}, {"x": 0, "y": 1}],
        "feather": 0, "id": "0E984725-C51C-4BF4-9960-E1C80E27ABA0", "mediaKind": "color",
        "name": "Wall", "opacity": 1)" +
           surfaceKeys + "}]}";
}

TEST(DmxFile, PatchesMediaListLossAndCueTimecodesRoundTripInTheirPlaces) {
    ProjectFile file;
    file.surfaces.emplace_back();
    file.surfaces[0].dmx = DmxPatch{3, 17};
    DmxSettings dmx;
    dmx.master = DmxPatch{0, 1};
    dmx.media = {{MediaKind::video, "/shows/a.mp4"}, {}, {MediaKind::color, std::nullopt}};
    dmx.loss = DmxLoss::release;
    dmx.lossFade = 1.5;
    file.dmx = dmx;
    Cue cue;
    cue.name = "Opening";
    cue.timecode = Timecode{1, 0, 5, 12};
    file.cues.push_back(cue);

    const auto bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    const std::string& text = bytes.value();
    EXPECT_NE(text.find(R"("dmx": {
        "address": 17,
        "universe": 3
      },
      "feather")"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"("dmx": {
    "loss": "release",
    "lossFade": 1.5,
    "master": {
      "address": 1,
      "universe": 0
    },
    "media": [
      {
        "mediaKind": "video",
        "mediaPath": "/shows/a.mp4"
      },
      {},
      {
        "mediaKind": "color"
      }
    ]
  },
  "outputs")"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"("timecode": "01:00:05:12")"), std::string::npos);

    const auto back = readProjectFile(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back.value(), file);
}

TEST(DmxFile, UnusableValuesReadAsNotSetWithALineAndKeepTheMediaNumbers) {
    std::vector<std::string> lines;
    const ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    for (const char* patch :
         {R"({"universe": 64000, "address": 1})", R"({"universe": 1, "address": 0})",
          R"({"universe": 1.5, "address": 3})", R"({"universe": "1", "address": 3})", R"([1, 3])",
          R"("1/3")"}) {
        const auto read = readProjectFile(project(std::string(R"(, "dmx": )") + patch, ""));
        ASSERT_TRUE(read) << patch << ": " << read.error();
        EXPECT_FALSE(read->surfaces[0].dmx) << patch;
    }
    EXPECT_EQ(lines.size(), 6u);

    // Every element of the media list keeps its number, usable or not.
    const auto read = readProjectFile(
        project("", R"("dmx": {"master": {"universe": 2, "address": 510}, "loss": "fade",
        "lossFade": -3, "media": [7, {"mediaKind": "film"}, {"mediaKind": "image",
        "mediaPath": "/a.png"}, [], {"mediaKind": "video", "mediaPath": 3}]},)"));
    ASSERT_TRUE(read) << read.error();
    ASSERT_TRUE(read->dmx);
    EXPECT_EQ(read->dmx->master, (DmxPatch{2, 510})); // fits or not is the show's to judge
    EXPECT_FALSE(read->dmx->loss);
    EXPECT_EQ(read->dmx->lossFade, 0.0);
    ASSERT_EQ(read->dmx->media.size(), 5u);
    EXPECT_FALSE(read->dmx->media[0].mediaKind);
    EXPECT_FALSE(read->dmx->media[1].mediaKind);
    EXPECT_EQ(read->dmx->media[2], (DmxMedia{MediaKind::image, "/a.png"}));
    EXPECT_FALSE(read->dmx->media[3].mediaKind);
    EXPECT_EQ(read->dmx->media[4].mediaKind, MediaKind::video);
    EXPECT_FALSE(read->dmx->media[4].mediaPath);

    for (const char* top : {R"("dmx": 3,)", R"("dmx": [],)", R"("dmx": null,)"}) {
        const auto ignored = readProjectFile(project("", top));
        ASSERT_TRUE(ignored) << top;
        EXPECT_FALSE(ignored->dmx) << top;
    }
}

TEST(DmxFile, CueTimecodesTakeTheirFormOnly) {
    EXPECT_EQ(parseTimecode("23:59:59:29"), (Timecode{23, 59, 59, 29}));
    EXPECT_EQ(parseTimecode("00:01:00;02"), (Timecode{0, 1, 0, 2}));
    for (const char* bad : {"24:00:00:00", "00:60:00:00", "00:00:00:30", "1:00:00:00", "00:00:00",
                            "00-00-00-00", "0a:00:00:00"}) {
        EXPECT_FALSE(parseTimecode(bad)) << bad;
    }
    const std::string cues = R"("cues": [{"fade": 0, "id": "5A1F0C2E-8B61-4D9C-A7F2-3E0B1C2D4E5F",
        "looks": [], "name": "A", "timecode": "25:00:00:00"}],)";
    const auto read = readProjectFile(project("", cues));
    ASSERT_TRUE(read) << read.error();
    ASSERT_EQ(read->cues.size(), 1u);
    EXPECT_FALSE(read->cues[0].timecode);
}

} // namespace
} // namespace prismeta
