// The "cues" key of a project file: written only when there are cues, read
// back as written, and read leniently: nothing in it fails a project.
#include "core/Log.h"
#include "core/ProjectFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace prismeta {
namespace {

const std::string surfaceId = "6f1c2a4e-8b3d-4c5e-9f70-112233445566";

std::string projectWithCues(const std::string& cues) {
    return R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
               "outputs": [], "surfaces": [], "cues": )" +
           cues + "}";
}

struct LoggedRead {
    Result<ProjectFile> file;
    std::vector<std::string> lines;
};

LoggedRead readLogged(const std::string& text) {
    std::vector<std::string> lines;
    ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    Result<ProjectFile> file = readProjectFile(text);
    return {std::move(file), std::move(lines)};
}

TEST(CueFile, ProjectWithoutCuesIsWrittenWithoutTheKey) {
    ProjectFile file;
    file.surfaces.emplace_back();
    const Result<std::string> bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes.value().find("cues"), std::string::npos);
}

TEST(CueFile, EveryFieldRoundTrips) {
    ProjectFile file;
    Cue first;
    first.name = "Opening";
    first.fade = 2.5;
    first.follow = CueFollow{CueFollow::Kind::seconds, 30.0};
    first.schedule = CueSchedule{18 * 3600 + 30 * 60 + 5, 0b0010001}; // mon, fri
    CueLook look;
    look.surface = *Uuid::parse(surfaceId);
    look.opacity = 0.25;
    look.color = RGBA{0.1f, 0.2f, 0.3f, 1.0f};
    look.mediaKind = MediaKind::video;
    look.mediaPath = "clips/intro.mov";
    look.restart = false;
    first.looks.push_back(look);
    CueLook opacityOnly;
    opacityOnly.surface = look.surface;
    opacityOnly.opacity = 1.0;
    first.looks.push_back(opacityOnly);
    Cue second;
    second.name = "Loop";
    second.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    second.schedule = CueSchedule{7 * 3600, CueSchedule::everyDay};
    file.cues = {first, second};

    const Result<std::string> bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    EXPECT_NE(bytes.value().find(R"("at": "18:30:05")"), std::string::npos);
    EXPECT_NE(bytes.value().find(R"("days": [)"), std::string::npos);
    EXPECT_NE(bytes.value().find(R"("follow": "end")"), std::string::npos);
    const Result<ProjectFile> read = readProjectFile(bytes.value());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value().cues, file.cues);
    const Result<std::string> again = writeProjectFile(read.value());
    ASSERT_TRUE(again);
    EXPECT_EQ(again.value(), bytes.value());
}

TEST(CueFile, OutOfRangeValuesReadAsTheNearestEnd) {
    const LoggedRead read = readLogged(projectWithCues(R"([
        {"name": "a", "fade": -3, "follow": 1e9},
        {"name": "b", "fade": 99999, "follow": -1},
        {"name": "c", "fade": "slow", "follow": "later"}])"));
    ASSERT_TRUE(read.file) << read.file.error();
    const std::vector<Cue>& cues = read.file.value().cues;
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].fade, 0.0);
    EXPECT_EQ(cues[0].follow->seconds, maxCueFollowSeconds);
    EXPECT_EQ(cues[1].fade, maxCueFade);
    EXPECT_EQ(cues[1].follow->seconds, 0.0);
    EXPECT_EQ(cues[2].fade, 0.0);
    EXPECT_FALSE(cues[2].follow);
    EXPECT_NE(cues[0].id, cues[1].id) << "cues without an id are given one each";
}

TEST(CueFile, BadSchedulesAreDroppedWithOneLineNamingTheCue) {
    const LoggedRead read = readLogged(projectWithCues(R"([
        {"name": "Dawn", "schedule": {"at": "25:00"}},
        {"name": "Noon", "schedule": {"at": "12:00", "days": ["mon", "someday"]}},
        {"name": "Dusk", "schedule": "18:00"},
        {"name": "Night", "schedule": {"at": "22:15", "days": ["sun", "sat"]}}])"));
    ASSERT_TRUE(read.file) << read.file.error();
    const std::vector<Cue>& cues = read.file.value().cues;
    ASSERT_EQ(cues.size(), 4u);
    EXPECT_FALSE(cues[0].schedule || cues[1].schedule || cues[2].schedule);
    ASSERT_TRUE(cues[3].schedule);
    EXPECT_EQ(cues[3].schedule->secondOfDay, 22 * 3600 + 15 * 60);
    EXPECT_EQ(cues[3].schedule->days, 0b1100000);
    ASSERT_EQ(read.lines.size(), 3u);
    EXPECT_NE(read.lines[0].find("\"Dawn\""), std::string::npos);
    EXPECT_NE(read.lines[2].find("\"Dusk\""), std::string::npos);
}

TEST(CueFile, NothingUnderCuesFailsTheProject) {
    for (const std::string& cues : std::vector<std::string>{
             R"("not a list")", R"({"a": 1})", R"(42)", R"([1, "two", null, [3]])",
             R"([{"looks": "none"}, {"looks": [1, {"surface": 7}, {"opacity": 1}]}])",
             R"([{"id": "nope", "name": 5, "looks": [{"surface": ")" + surfaceId +
                 R"(", "color": {"r": 1}, "mediaKind": "hologram", "opacity": "x",
              "restart": "no"}], "unknown": {"deep": [1, 2]}}])",
             R"([{"name": "x", "schedule": {"at": "12:00", "days": []}}])"}) {
        const LoggedRead read = readLogged(projectWithCues(cues));
        ASSERT_TRUE(read.file) << cues << ": " << read.file.error();
    }
    const LoggedRead mixed = readLogged(projectWithCues(
        R"([7, {"id": "nope", "name": 5, "looks": [{"surface": ")" + surfaceId +
        R"(", "color": {"r": 1}, "mediaKind": "hologram", "opacity": "x"}, {"opacity": 1}]}])"));
    ASSERT_TRUE(mixed.file);
    ASSERT_EQ(mixed.file.value().cues.size(), 1u);
    const Cue& cue = mixed.file.value().cues[0];
    EXPECT_EQ(cue.name, "");
    ASSERT_EQ(cue.looks.size(), 1u) << "a look without a surface is dropped";
    CueLook bare;
    bare.surface = *Uuid::parse(surfaceId);
    EXPECT_EQ(cue.looks[0], bare);
}

TEST(CueFile, LooksForUnknownSurfacesAreKept) {
    const LoggedRead read = readLogged(projectWithCues(R"([{"name": "a", "looks": [{"surface": ")" +
                                                       surfaceId + R"(", "opacity": 0.5}]}])"));
    ASSERT_TRUE(read.file);
    ASSERT_EQ(read.file.value().cues.at(0).looks.size(), 1u);
    EXPECT_EQ(read.file.value().cues[0].looks[0].opacity, 0.5);
}

TEST(CueFile, ScheduleTimesAreStrict) {
    EXPECT_EQ(parseScheduleTime("00:00"), 0);
    EXPECT_EQ(parseScheduleTime("23:59:59"), 86399);
    for (const char* bad : {"24:00", "7:00", "12:60", "12:00:60", "12:00:", "12-00", ""}) {
        EXPECT_FALSE(parseScheduleTime(bad)) << bad;
    }
    EXPECT_EQ(scheduleTimeText(18 * 3600 + 30 * 60), "18:30");
    EXPECT_EQ(scheduleTimeText(9 * 3600 + 5), "09:00:05");
}

} // namespace
} // namespace prismeta
