// The pieces of the cluster that need no broker: addresses, credential files,
// topics, the clock arithmetic, the messages' JSON and the records as text.
#include "cluster/ClusterMessages.h"
#include "ClusterRig.h"
#include "cluster/BrokerAddress.h"
#include "cluster/BrokerAuth.h"
#include "cluster/ClockOffset.h"
#include "cluster/ClusterTopics.h"
#include "cluster/FrameRateMeter.h"
#include "cluster/NodeDirectory.h"
#include "cluster/NodeOutputs.h"
#include "cluster/ShowComparison.h"
#include "core/ProjectFile.h"
#include "core/RecordText.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <limits>

namespace prismeta {
namespace {

TEST(BrokerAddressTest, HostsPortsAndMistakes) {
    EXPECT_EQ(parseBrokerAddress("show-broker").value(), (BrokerAddress{"show-broker", 1883}));
    EXPECT_EQ(parseBrokerAddress("10.0.0.2:8883").value(), (BrokerAddress{"10.0.0.2", 8883}));
    EXPECT_EQ(parseBrokerAddress("[fe80::1]:1884").value(), (BrokerAddress{"fe80::1", 1884}));
    EXPECT_EQ(parseBrokerAddress("[::1]").value(), (BrokerAddress{"::1", 1883}));
    for (const char* bad : {"", ":1883", "host:", "host:0", "host:65536", "host:12ab", "fe80::1",
                            "[::1", "[::1]x", "host:-1"}) {
        EXPECT_FALSE(parseBrokerAddress(bad)) << bad;
    }
}

TEST(BrokerAuthTest, KeyValueLines) {
    const auto parsed = parseBrokerCredentials(
        "# show network\nuser = stage\npassword=two words \n\ncafile=/etc/ca.crt\n");
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->user, "stage");
    EXPECT_EQ(parsed->password, "two words");
    EXPECT_EQ(parsed->cafile, "/etc/ca.crt");
    EXPECT_TRUE(parsed->usesTls());

    EXPECT_EQ(parseBrokerCredentials("user=a\nnoequals\n").error(), "line 2: expected key=value");
    EXPECT_FALSE(parseBrokerCredentials("token=x\n"));
    EXPECT_FALSE(parseBrokerCredentials("cafile=a\ncertfile=b\n"));
    EXPECT_FALSE(parseBrokerCredentials("certfile=b\nkeyfile=c\n"));
}

TEST(BrokerAuthTest, RefusesAFileOthersCanRead) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("prismeta-auth-" + std::to_string(::getpid()));
    std::ofstream(file) << "user=stage\npassword=secret\n";
    ::chmod(file.c_str(), 0644);
    const auto open = readBrokerCredentials(file);
    ASSERT_FALSE(open);
    EXPECT_NE(open.error().find("chmod 600"), std::string::npos) << open.error();
    EXPECT_NE(open.error().find("0644"), std::string::npos) << open.error();

    ::chmod(file.c_str(), 0600);
    const auto own = readBrokerCredentials(file);
    ASSERT_TRUE(own) << own.error();
    EXPECT_EQ(own->password, "secret");
    std::filesystem::remove(file);

    EXPECT_FALSE(readBrokerCredentials(file));
    EXPECT_FALSE(readBrokerCredentials("/tmp"));
}

TEST(ClusterTopicsTest, LayoutAndParsing) {
    EXPECT_FALSE(ClusterTopics::make(""));
    EXPECT_FALSE(ClusterTopics::make("shows/+"));
    EXPECT_FALSE(ClusterTopics::make("shows/#"));
    EXPECT_FALSE(ClusterTopics::make("$SYS"));
    EXPECT_FALSE(ClusterTopics::make("shows/"));
    const ClusterTopics topics = ClusterTopics::make("venue/front").value();
    const Uuid id = Uuid::random();

    using Kind = ClusterTopics::Parsed::Kind;
    const auto surface = topics.parse(topics.surface(id));
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->kind, Kind::surface);
    EXPECT_EQ(surface->id, id);
    EXPECT_EQ(topics.parse(topics.output(id))->kind, Kind::output);
    EXPECT_EQ(topics.cue(id), "venue/front/cue/" + id.text());
    EXPECT_EQ(topics.parse(topics.cue(id))->kind, Kind::cue);
    EXPECT_EQ(topics.parse(topics.project())->kind, Kind::project);
    EXPECT_EQ(topics.parse(topics.leader())->kind, Kind::leader);
    const auto status = topics.parse(topics.nodeStatus("pc-3"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->kind, Kind::nodeStatus);
    EXPECT_EQ(status->node, "pc-3");
    EXPECT_EQ(topics.parse(topics.clockPong("pc-3"))->node, "pc-3");

    for (const std::string& other :
         {std::string("venue/frontier/project"), std::string("venue/front"),
          std::string("venue/front/surface/not-an-id"), std::string("venue/front/node/a b/status"),
          std::string("venue/front/node//status"), std::string("other/project"),
          std::string("venue/front/clock/ping/"), std::string("venue/front/cues"),
          std::string("venue/front/cue/")}) {
        EXPECT_FALSE(topics.parse(other)) << other;
    }
}

TEST(ClockOffsetTest, RoundTripsAsNtpTakesThem) {
    // The leader's clock is 5 ms ahead; 1 ms each way; 0.2 ms at the leader.
    const ClockSample sample = clockSample(1'000'000, 1'006'000, 1'006'200, 1'002'200);
    EXPECT_EQ(sample.offsetMicros, 5'000);
    EXPECT_EQ(sample.delayMicros, 2'000);

    ClockOffsetFilter filter;
    EXPECT_FALSE(filter.best());
    filter.add({7'000, 9'000});
    filter.add({5'100, 400}); // the shortest round trip wins
    filter.add({3'000, 5'000});
    filter.add({0, -10}); // a clock step in between: dropped
    EXPECT_EQ(filter.best()->offsetMicros, 5'100);
    for (std::size_t i = 0; i < ClockOffsetFilter::window; ++i) {
        filter.add({4'000, 1'000});
    }
    EXPECT_EQ(filter.best()->offsetMicros, 4'000); // old samples age out
    filter.reset();
    EXPECT_FALSE(filter.best());
}

TEST(ClusterMessagesTest, RoundTripsAndRefusals) {
    ProjectStateMessage project;
    project.canvasWidth = 3840;
    project.backgroundImagePath = "ref.png";
    project.surfaces = {Uuid::random(), Uuid::random()};
    project.outputs = {Uuid::random()};
    EXPECT_EQ(writeProjectState(project)->find("cues"), std::string::npos) << "only when set";
    project.cues = {Uuid::random(), Uuid::random()};
    const auto read = readProjectState(writeProjectState(project).value());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value(), project);

    const std::string id = Uuid::random().text();
    const auto repeated = readProjectState(
        R"({"canvasWidth":1,"canvasHeight":1,"backgroundOpacity":1,"outputs":[],"surfaces":[")" +
        id + R"(",")" + id + R"("]})");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->surfaces.size(), 1u);
    for (
        const std::string& bad : std::vector<std::string>{
            "", "[]", "{", R"({"canvasWidth":"1"})",
            R"({"canvasWidth":1,"canvasHeight":1,"backgroundOpacity":1,"outputs":[],"surfaces":[1]})",
            R"({"canvasWidth":1e999,"canvasHeight":1,"backgroundOpacity":1,"outputs":[],"surfaces":[]})",
            R"({"canvasWidth":1,"canvasHeight":1,"backgroundOpacity":1,"outputs":[],"surfaces":[],"cues":{}})",
            std::string(100000, '[')}) {
        EXPECT_FALSE(readProjectState(bad)) << bad.substr(0, 40);
    }

    ShowStateMessage show;
    show.videoStarts[Uuid::random()] = 1'765'000'000'000'000;
    EXPECT_EQ(writeShowState(show).find("shaderEvents"), std::string::npos) << "only when set";
    show.shaderEvents = {{Uuid::random(), "bang", 1'765'000'000'100'000},
                         {Uuid::random(), "reset", 1'765'000'000'200'000}};
    EXPECT_EQ(readShowState(writeShowState(show)).value(), show);
    for (const std::string& bad : std::vector<std::string>{
             R"({"shaderEvents":{}})", R"({"shaderEvents":[{"surface":")" + id + R"(","at":1}]})",
             R"({"shaderEvents":[{"surface":")" + id + R"(","input":"","at":1}]})",
             R"({"shaderEvents":[{"surface":")" + id + R"(","input":"x","at":-1}]})"}) {
        EXPECT_FALSE(readShowState(bad)) << bad;
    }
    EXPECT_FALSE(readShowState(R"({"videoStarts":{"x":1}})"));
    EXPECT_FALSE(readShowState(R"({"videoStarts":{")" + id + R"(":1.5}})"));
    EXPECT_TRUE(readShowState(R"({"liveCue":"later","videoStarts":{}})")); // room to grow

    NodeStatus status;
    status.outputs = {"Left"};
    status.framesPerSecond = 60;
    status.droppedFrames = 3;
    status.clockOffsetMillis = 0.4;
    EXPECT_EQ(readNodeStatus(writeNodeStatus(status)).value(), status);
    EXPECT_EQ(writeNodeStatus(status).find("screens"), std::string::npos); // only when known
    status.screens = {{"HDMI-1", {0, 0, 1920, 1080}}, {"DP-2", {1920, 0, 1280, 720}}};
    EXPECT_EQ(readNodeStatus(writeNodeStatus(status)).value(), status);
    // Screens no window system reports are left out, the rest kept.
    const Result<NodeStatus> odd = readNodeStatus(
        R"({"online":true,"screens":[{"name":"A","x":0,"y":0,"width":0,"height":9},)"
        R"({"name":"","x":0,"y":0,"width":9,"height":9},{"name":"B","x":1e12,"y":0,)"
        R"("width":9,"height":9},"C",{"name":"D","x":-5,"y":0,"width":9,"height":9}]})");
    ASSERT_TRUE(odd);
    ASSERT_EQ(odd->screens.size(), 1u);
    EXPECT_EQ(odd->screens[0].name, "D");
    EXPECT_FALSE(readNodeStatus(offlineNodeStatus())->online);
    EXPECT_FALSE(readNodeStatus(R"({"online":"yes"})"));

    EXPECT_FALSE(readClockProbe(R"({"t1":-5})", false));
    EXPECT_FALSE(readClockProbe(R"({"t1":1,"t2":99999999999999999999,"t3":1})", true));
    EXPECT_EQ(readClockProbe(writeClockPong({1, 2, 3}), true)->t3, 3);
}

TEST(NodeDirectoryTest, WarnsAboutWhatAPersonMustSee) {
    NodeDirectory nodes;
    NodeStatus fine;
    fine.clockOffsetMillis = 1.5;
    ASSERT_FALSE(nodes.receive("a", writeNodeStatus(fine)));
    NodeStatus troubled;
    troubled.droppedFrames = 12;
    troubled.missingMedia = {"clip.mov"};
    troubled.clockOffsetMillis = -3.14;
    ASSERT_FALSE(nodes.receive("b", writeNodeStatus(troubled)));
    ASSERT_FALSE(nodes.receive("c", offlineNodeStatus()));
    EXPECT_TRUE(nodes.nodes().at("a").warnings.empty());
    EXPECT_EQ(
        nodes.nodes().at("b").warnings,
        (std::vector<std::string>{"drops pictures (12)", "misses media (1)", "clock -3.1 ms off"}));
    EXPECT_EQ(nodes.nodes().at("c").warnings, std::vector<std::string>{"offline"});
    const auto revision = nodes.revision();
    EXPECT_FALSE(nodes.receive("a", writeNodeStatus(fine)));
    EXPECT_EQ(nodes.revision(), revision); // unchanged: no redraw
    // The broker lost: every node unknown until its status comes again,
    // the same status included.
    nodes.markUnknown();
    EXPECT_GT(nodes.revision(), revision);
    EXPECT_EQ(nodes.nodes().at("b").warnings, std::vector<std::string>{"unknown (no broker)"});
    EXPECT_FALSE(nodes.receive("b", writeNodeStatus(troubled)));
    EXPECT_TRUE(nodes.nodes().at("b").known);
    EXPECT_EQ(nodes.nodes().at("b").warnings.size(), 3u);
    EXPECT_FALSE(nodes.nodes().at("a").known);
    EXPECT_TRUE(nodes.receive("a", "garbage"));
    EXPECT_FALSE(nodes.receive("a", ""));
    EXPECT_FALSE(nodes.nodes().contains("a"));
}

TEST(FrameRateMeterTest, CountsFramesAndTheDropsOfAStallNotOfAPause) {
    FrameRateMeter meter(60.0);
    double t = 100.0;
    for (int i = 0; i < 120; ++i, t += 1.0 / 60.0) {
        meter.frame(t);
    }
    EXPECT_NEAR(meter.framesPerSecond(t - 1.0 / 60.0), 60.0, 1.0);
    EXPECT_EQ(meter.dropped(t), 0u);
    meter.frame(t + 2.0 / 60.0); // a stall of three periods: two pictures missed
    EXPECT_EQ(meter.dropped(t + 1.0), 2u);
    meter.frame(t + 10.0); // nothing to draw for a while: no drop
    EXPECT_EQ(meter.dropped(t + 10.0), 2u);
    EXPECT_DOUBLE_EQ(meter.framesPerSecond(t + 10.0), 1.0);
    EXPECT_EQ(meter.dropped(t + 61.0), 0u) << "a minute later, forgotten";
}

TEST(ShowComparisonTest, NamesWhatAProjectHasOtherwiseThanTheLeader) {
    ProjectModel leader;
    testing::fillShow(leader, 3);
    ShowSnapshot project = ShowSnapshot::of(leader);
    EXPECT_TRUE(showDifferences(project, ShowSnapshot::of(leader)).empty());

    std::vector<Surface> surfaces = leader.surfaces().copy();
    surfaces[0].opacity = 0.1;
    Surface extra;
    extra.name = "Arch";
    surfaces.push_back(extra);
    project.surfaces = SurfaceList(surfaces);
    project.outputs.pop_back();
    project.canvas = CanvasSize{800, 600};
    const std::vector<std::string> differences = showDifferences(project, ShowSnapshot::of(leader));
    EXPECT_EQ(differences,
              (std::vector<std::string>{"the canvas size", "surface \"Surface 1\" differs",
                                        "surface \"Arch\" is not in the leader's show",
                                        "output \"" + leader.outputs()[1].name +
                                            "\" is only in the leader's show"}));
    EXPECT_EQ(showDifferences(project, ShowSnapshot::of(leader), 2).back(), "and 2 more");

    // A look a cue of the project gives is the live cue's business.
    project = ShowSnapshot::of(leader);
    project.surfaces = SurfaceList(std::vector<Surface>(surfaces.begin(), surfaces.begin() + 3));
    EXPECT_EQ(showDifferences(project, ShowSnapshot::of(leader)).size(), 1u);
    project.cued.insert(surfaces[0].id);
    EXPECT_TRUE(showDifferences(project, ShowSnapshot::of(leader)).empty());
}

TEST(NodeOutputsTest, EachMachineShowsItsOwnOutputs) {
    std::vector<OutputConfig> outputs(4);
    outputs[1].node = "pc-1";
    outputs[2].node = "pc-2";
    outputs[3].node = "pc-1";
    EXPECT_EQ(outputsOfNode(outputs, std::nullopt), std::vector<std::size_t>{0});
    EXPECT_EQ(outputsOfNode(outputs, "pc-1"), (std::vector<std::size_t>{1, 3}));
    EXPECT_TRUE(outputsOfNode(outputs, "pc-9").empty());
}

TEST(RecordTextTest, RecordsTravelAsInTheFile) {
    Surface surface;
    surface.name = "Façade";
    surface.mediaPath = "media/a.mov";
    surface.mesh = WarpMesh{};
    surface.mesh->interpolation = WarpMesh::Interpolation::smooth; // replicas draw it alike
    const auto text = writeSurfaceText(surface);
    ASSERT_TRUE(text) << text.error();
    EXPECT_EQ(text->find('\n'), std::string::npos);
    EXPECT_EQ(readSurfaceText(text.value()).value(), surface);

    OutputConfig output = makeOutput(OutputPreset::leftHalf);
    output.node = "pc-2";
    EXPECT_EQ(readOutputText(writeOutputText(output).value()).value(), output);
    surface.opacity = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(writeSurfaceText(surface));
    EXPECT_FALSE(readSurfaceText(R"({"id":"x"})"));

    Cue cue;
    cue.name = "Finale";
    cue.fade = 2.5;
    cue.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    cue.schedule = CueSchedule{18 * 3600, 0x1f};
    CueLook look;
    look.surface = Uuid::random();
    look.opacity = 0.25;
    look.mediaPath = "media/b.mov";
    look.restart = false;
    CueLook coloured;
    coloured.surface = Uuid::random();
    coloured.color = RGBA{1.0f, 0.5f, 0.0f, 1.0f};
    cue.looks = {look, coloured};
    const auto cueText = writeCueText(cue);
    ASSERT_TRUE(cueText) << cueText.error();
    EXPECT_EQ(cueText->find('\n'), std::string::npos);
    EXPECT_EQ(readCueText(cueText.value()).value(), cue);
    // Read as the file reads it, except that a message must say whose it is
    // and a schedule the file would drop fails it.
    EXPECT_FALSE(readCueText(R"({"name":"no id","fade":1})"));
    EXPECT_FALSE(readCueText(R"({"id":")" + cue.id.text() + R"(","schedule":{"at":"25:00"}})"));
    EXPECT_FALSE(readCueText("[1]"));
    const auto lenient = readCueText(R"({"id":")" + cue.id.text() + R"(","fade":"slow"})");
    ASSERT_TRUE(lenient);
    EXPECT_EQ(lenient->fade, 0.0);
}

TEST(ProjectFileClusterTest, NodeAndClusterKeysOnlyWhenSet) {
    ProjectFile file;
    file.outputs.push_back(makeOutput(OutputPreset::full));
    const std::string plain = writeProjectFile(file).value();
    EXPECT_EQ(plain.find("cluster"), std::string::npos);
    EXPECT_EQ(plain.find("\"node\""), std::string::npos);

    file.outputs[0].node = "pc-1";
    file.cluster = ClusterSettings{"broker.local:1884", "front"};
    const std::string text = writeProjectFile(file).value();
    EXPECT_NE(text.find("\"cluster\": {\n    \"broker\": \"broker.local:1884\",\n    \"topic\": "
                        "\"front\"\n  }"),
              std::string::npos)
        << text;
    EXPECT_EQ(readProjectFile(text).value(), file);

    // A cluster key of no use leaves the project on one machine and opens;
    // a node that is not text fails as any mistyped key does.
    const auto lenient = readProjectFile(
        R"({"backgroundOpacity":0.5,"canvasHeight":1,"canvasWidth":1,"outputs":[],"surfaces":[],"cluster":[1]})");
    ASSERT_TRUE(lenient) << lenient.error();
    EXPECT_FALSE(lenient->cluster);
    std::string badNode = text;
    badNode.replace(badNode.find("\"pc-1\""), 6, "12");
    EXPECT_FALSE(readProjectFile(badNode));
}

} // namespace
} // namespace prismeta
