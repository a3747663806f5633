// Remote control end to end: a liblo client sends real UDP packets to the
// server on the loopback address; the test's thread carries them out as the
// interface thread does, and the results are checked in the model, in
// headless renders and in what comes back to the client.
#include "RemoteRig.h"

#include "GlTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace prismeta::test {
namespace {

namespace fs = std::filesystem;

Surface named(std::string name, std::vector<Pt> corners, RGBA colour) {
    Surface s = colourSurface(std::move(corners), colour);
    s.name = std::move(name);
    return s;
}

bool logMentions(const RemoteRig& rig, std::string_view text) {
    return std::any_of(rig.logged.begin(), rig.logged.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

// A folder of its own under the system's temporary folder.
struct TempFolder {
    fs::path path;
    TempFolder() {
        path = fs::temp_directory_path() / ("prismeta-osc-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// Seconds from 1900 (OSC time tags) to 1970.
constexpr std::uint32_t osc1900 = 2208988800u;

void appendBigEndian(std::string& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// An OSC bundle of the packets, timed `seconds` after 1900.
std::string bundle(std::uint32_t seconds, const std::vector<std::string>& elements) {
    std::string bytes("#bundle", 8);
    appendBigEndian(bytes, seconds);
    appendBigEndian(bytes, 0);
    for (const std::string& element : elements) {
        appendBigEndian(bytes, static_cast<std::uint32_t>(element.size()));
        bytes += element;
    }
    return bytes;
}

// The local address a UDP port is bound to, from the kernel's table
// ("0100007F" is 127.0.0.1, "00000000" every interface).
std::string boundAddressOf(std::uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line); // header
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, "%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string local;
        fields >> slot >> local;
        const std::size_t colon = local.find(':');
        if (colon != std::string::npos && local.substr(colon + 1) == wanted) {
            return local.substr(0, colon);
        }
    }
    return {};
}

class OscRemote : public ::testing::Test {
protected:
    void SetUp() override {
        rig.model.setSurfaces(std::vector<Surface>{
            named("wall left", {{0.0f, 0.0f}, {0.5f, 0.0f}, {0.5f, 1.0f}, {0.0f, 1.0f}},
                  {1, 0, 0, 1}),
            named("wall right", {{0.5f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.5f, 1.0f}},
                  {0, 1, 0, 1}),
            named("floor", {{0.25f, 0.25f}, {0.75f, 0.25f}, {0.75f, 0.75f}, {0.25f, 0.75f}},
                  {0, 0, 1, 1})});
        rig.model.addOutput(OutputPreset::full);
    }

    const Surface& surface(std::size_t i) { return rig.model.surfaces()[i]; }

    RemoteRig rig{{}, std::chrono::milliseconds(0)}; // every log line written
};

TEST_F(OscRemote, EverySurfaceAddressChangesTheModelAsTheInspectorWould) {
    TempFolder folder;
    const fs::path picture = folder.path / "still.png";
    std::ofstream(picture) << "not really a picture; the renderer shows its placeholder";

    rig.sendAndPump("/prismeta/surface/0/opacity", {f(0.25f)});
    EXPECT_DOUBLE_EQ(surface(0).opacity, 0.25);
    rig.sendAndPump("/prismeta/surface/0/feather", {f(0.125f)});
    EXPECT_FLOAT_EQ(surface(0).feather, 0.125f);
    rig.sendAndPump("/prismeta/surface/0/color", {f(0.1f), f(0.2f), f(0.3f), f(0.4f)});
    EXPECT_EQ(surface(0).color, (RGBA{0.1f, 0.2f, 0.3f, 0.4f}));
    rig.sendAndPump("/prismeta/surface/0/color", {f(0.5f), f(0.6f), f(0.7f)});
    EXPECT_EQ(surface(0).color, (RGBA{0.5f, 0.6f, 0.7f, 0.4f})) << "fff keeps the alpha";
    rig.sendAndPump("/prismeta/surface/0/corner/2", {f(0.9f), f(1.25f)});
    EXPECT_EQ(surface(0).corners[2], (Pt{0.9f, 1.25f}));
    rig.sendAndPump("/prismeta/surface/0/mediaKind", {s("image")});
    EXPECT_EQ(surface(0).mediaKind, MediaKind::image);
    rig.sendAndPump("/prismeta/surface/0/mediaPath", {s(picture.string())});
    EXPECT_EQ(surface(0).mediaPath, picture.string());
    EXPECT_EQ(surface(0).mediaKind, MediaKind::image) << "a path leaves the kind alone";
    rig.sendAndPump("/prismeta/surface/2/select");
    EXPECT_EQ(rig.model.selectedID(), surface(2).id);

    // Targets by id and by name reach the same surface as by index.
    rig.sendAndPump("/prismeta/surface/" + surface(1).id.text() + "/opacity", {f(0.5f)});
    EXPECT_DOUBLE_EQ(surface(1).opacity, 0.5);
    rig.sendAndPump("/prismeta/surface/floor/opacity", {f(0.75f)});
    EXPECT_DOUBLE_EQ(surface(2).opacity, 0.75);

    // Out of range: clamped to the inspector's ranges (opacity 0..1, feather
    // 0..0.5, colour channels 0..1); corners are stored as given.
    rig.sendAndPump("/prismeta/surface/0/opacity", {f(7.0f)});
    EXPECT_DOUBLE_EQ(surface(0).opacity, 1.0);
    rig.sendAndPump("/prismeta/surface/0/opacity", {f(-2.0f)});
    EXPECT_DOUBLE_EQ(surface(0).opacity, 0.0);
    rig.sendAndPump("/prismeta/surface/0/feather", {f(0.9f)});
    EXPECT_FLOAT_EQ(surface(0).feather, 0.5f);
    rig.sendAndPump("/prismeta/surface/0/color", {f(2), f(-1), f(0.5f), f(3)});
    EXPECT_EQ(surface(0).color, (RGBA{1, 0, 0.5f, 1}));
    rig.sendAndPump("/prismeta/surface/0/corner/0", {f(-3.5f), f(12.0f)});
    EXPECT_EQ(surface(0).corners[0], (Pt{-3.5f, 12.0f}));

    // Integers and doubles are numbers too, as desks send them.
    rig.sendAndPump("/prismeta/surface/1/opacity", {i(0)});
    EXPECT_DOUBLE_EQ(surface(1).opacity, 0.0);
    rig.sendAndPump("/prismeta/surface/1/opacity", {d(0.3)});
    EXPECT_DOUBLE_EQ(surface(1).opacity, 0.3);
}

TEST_F(OscRemote, OutputsSnapAndHistoryChangeTheModel) {
    rig.sendAndPump("/prismeta/output/0/blend/left", {f(0.1f)});
    rig.sendAndPump("/prismeta/output/Full/blend/right", {f(0.2f)});
    rig.sendAndPump("/prismeta/output/0/blend/top", {f(0.3f)});
    rig.sendAndPump("/prismeta/output/" + rig.model.outputs()[0].id.text() + "/blend/bottom",
                    {f(0.4f)});
    rig.sendAndPump("/prismeta/output/0/crop", {f(0.5f), f(0.0f), f(0.5f), f(1.0f)});
    const OutputConfig& output = rig.model.outputs()[0];
    EXPECT_EQ(output.blendLeft, 0.1f);
    EXPECT_EQ(output.blendRight, 0.2f);
    EXPECT_EQ(output.blendTop, 0.3f);
    EXPECT_EQ(output.blendBottom, 0.4f);
    EXPECT_EQ(output.cropX, 0.5f);
    EXPECT_EQ(output.cropWidth, 0.5f);
    // Blend widths are stored as given, as the inspector's fields store them.
    rig.sendAndPump("/prismeta/output/0/blend/left", {f(1.5f)});
    EXPECT_EQ(rig.model.outputs()[0].blendLeft, 1.5f);

    rig.sendAndPump("/prismeta/snap", {i(1)});
    EXPECT_TRUE(rig.model.snapEnabled());
    rig.sendAndPump("/prismeta/snap", {OscArgument{'F', {}}});
    EXPECT_FALSE(rig.model.snapEnabled());

    // Outputs and snap are not in the undo history; surface edits are.
    EXPECT_TRUE(rig.model.undoStack().empty());
    rig.sendAndPump("/prismeta/surface/0/opacity", {f(0.5f)});
    ASSERT_EQ(rig.model.undoStack().size(), 1u);
    rig.sendAndPump("/prismeta/undo");
    EXPECT_DOUBLE_EQ(surface(0).opacity, 1.0);
    EXPECT_EQ(rig.model.outputs()[0].blendLeft, 1.5f) << "undo leaves outputs alone";
    rig.sendAndPump("/prismeta/redo");
    EXPECT_DOUBLE_EQ(surface(0).opacity, 0.5);
}

TEST_F(OscRemote, EditsMarkTheProjectChangedSinceItWasSaved) {
    TempFolder folder;
    ASSERT_TRUE(rig.model.save(folder.path / "show.prismeta.json"));
    ASSERT_FALSE(rig.model.hasUnsavedChanges());
    rig.sendAndPump("/prismeta/output/0/blend/left", {f(0.1f)});
    EXPECT_TRUE(rig.model.hasUnsavedChanges());
}

TEST_F(OscRemote, EditsShowInAHeadlessRender) {
    // One full-canvas colour surface, drawn over black.
    rig.model.setSurfaces(std::vector<Surface>{named("screen", fullCanvas(), {1, 1, 1, 1})});
    rig.sendAndPump("/prismeta/surface/screen/color", {f(1), f(0), f(0)});
    rig.sendAndPump("/prismeta/surface/screen/opacity", {f(0.5f)});
    Picture p = renderFrame(rig.model, std::nullopt, 16, 16);
    ASSERT_EQ(p.width, 16);
    EXPECT_NEAR(p.at(8, 8)[0], 127.5, 1.5);
    EXPECT_NEAR(p.at(8, 8)[1], 0, 1.5);

    // Pulling corner 1 and 2 to the middle leaves the right half black.
    rig.sendAndPump("/prismeta/surface/0/opacity", {f(1)});
    rig.sendAndPump("/prismeta/surface/0/corner/1", {f(0.5f), f(0)});
    rig.sendAndPump("/prismeta/surface/0/corner/2", {f(0.5f), f(1)});
    p = renderFrame(rig.model, std::nullopt, 16, 16);
    EXPECT_NEAR(p.at(4, 8)[0], 255, 1.5);
    EXPECT_NEAR(p.at(12, 8)[0], 0, 1.5);

    // The output's crop takes the left half onto the whole output, and a left
    // blend of a half darkens its left edge to black, its middle to half.
    rig.sendAndPump("/prismeta/output/0/crop", {f(0), f(0), f(0.5f), f(1)});
    rig.sendAndPump("/prismeta/output/0/blend/left", {f(0.5f)});
    p = renderFrame(rig.model, rig.model.outputs()[0], 64, 4);
    EXPECT_NEAR(p.at(63, 2)[0], 255, 1.5) << "crop: red across the whole width";
    EXPECT_LT(p.at(0, 2)[0], 8) << "blend: black at the left edge";
    EXPECT_NEAR((p.at(15, 2)[0] + p.at(16, 2)[0]) / 2.0, 127.5, 3.0) << "half halfway in";
    EXPECT_NEAR(p.at(33, 2)[0], 255, 1.5) << "full past the ramp";
}

TEST_F(OscRemote, PatternsMatchNames) {
    rig.sendAndPump("/prismeta/surface/wall*/opacity", {f(0)});
    EXPECT_DOUBLE_EQ(surface(0).opacity, 0.0);
    EXPECT_DOUBLE_EQ(surface(1).opacity, 0.0);
    EXPECT_DOUBLE_EQ(surface(2).opacity, 1.0);
    ASSERT_EQ(rig.model.undoStack().size(), 1u) << "one message, one step";

    rig.sendAndPump("/prismeta/surface/{floor,wall right}/feather", {f(0.2f)});
    EXPECT_FLOAT_EQ(surface(0).feather, 0.0f);
    EXPECT_FLOAT_EQ(surface(1).feather, 0.2f);
    EXPECT_FLOAT_EQ(surface(2).feather, 0.2f);

    rig.sendAndPump("/prismeta/surface/wall?left/corner/[0-1]", {f(0.1f), f(0.1f)});
    EXPECT_EQ(surface(0).corners[0], (Pt{0.1f, 0.1f}));
    EXPECT_EQ(surface(0).corners[1], (Pt{0.1f, 0.1f}));
    EXPECT_EQ(surface(0).corners[2], (Pt{0.5f, 1.0f}));

    rig.sendAndPump("/prismeta/output/*/blend/*", {f(0.05f)});
    const OutputConfig& output = rig.model.outputs()[0];
    EXPECT_EQ(output.blendLeft, 0.05f);
    EXPECT_EQ(output.blendBottom, 0.05f);

    // A pattern that matches nothing changes nothing and says so.
    const SurfaceList before = rig.model.surfaces();
    rig.sendAndPump("/prismeta/surface/ceiling*/opacity", {f(0.5f)});
    EXPECT_TRUE(rig.model.surfaces().sharesStorageWith(before));
    EXPECT_TRUE(logMentions(rig, "no surface matches \"ceiling*\""));
}

TEST_F(OscRemote, QueriesAndListsAnswerTheSender) {
    rig.model.replaceOutput(0, [&] {
        OutputConfig o = rig.model.outputs()[0];
        o.blendTop = 0.25f;
        return o;
    }());
    rig.sendAndPump("/prismeta/surface/floor/color", {s("?")});
    rig.sendAndPump("/prismeta/query", {s("/prismeta/output/0/blend/top")});
    rig.sendAndPump("/prismeta/query", {s("/prismeta/surface/wall*/opacity")});
    rig.sendAndPump("/prismeta/snap", {s("?")});
    rig.sendAndPump("/prismeta/list/surfaces");
    const auto answers = rig.client.receive([](const auto& got) { return got.size() >= 9; });
    ASSERT_EQ(answers.size(), 9u);

    EXPECT_EQ(answers[0].address, "/prismeta/surface/floor/color") << "on the address asked";
    EXPECT_EQ(answers[0].arguments, (OscArguments{f(0), f(0), f(1), f(1)}));
    EXPECT_EQ(answers[1].address, "/prismeta/output/0/blend/top");
    EXPECT_EQ(answers[1].arguments, (OscArguments{f(0.25f)}));
    // A pattern answers once per surface, each on its id's address.
    EXPECT_EQ(answers[2].address, "/prismeta/surface/" + surface(0).id.text() + "/opacity");
    EXPECT_EQ(answers[3].address, "/prismeta/surface/" + surface(1).id.text() + "/opacity");
    EXPECT_EQ(answers[4].address, "/prismeta/snap");
    EXPECT_EQ(answers[4].arguments, (OscArguments{i(0)}));
    EXPECT_EQ(answers[5].address, "/prismeta/list/surfaces/count");
    EXPECT_EQ(answers[5].arguments, (OscArguments{i(3)}));
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(answers[6 + k].address, "/prismeta/list/surfaces");
        EXPECT_EQ(answers[6 + k].arguments,
                  (OscArguments{s(surface(k).id.text()), i(static_cast<std::int32_t>(k)),
                                s(surface(k).name)}));
    }
}

TEST_F(OscRemote, SubscribersHearEveryChangeFromAnySource) {
    rig.sendAndPump("/prismeta/subscribe");
    ASSERT_EQ(rig.controller->subscribers().size(), 1u);
    EXPECT_EQ(rig.controller->subscribers()[0].port, rig.client.port());

    // Changes made elsewhere (the inspector, undo) are sent too.
    Surface changed = surface(2);
    changed.feather = 0.25f;
    rig.model.replaceSurface(2, changed);
    rig.model.setSnapEnabled(true);
    rig.controller->update(std::chrono::steady_clock::now());
    auto heard = rig.client.receive([](const auto& got) { return got.size() >= 2; });
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].address, "/prismeta/surface/" + surface(2).id.text() + "/feather");
    EXPECT_EQ(heard[0].arguments, (OscArguments{f(0.25f)}));
    EXPECT_EQ(heard[1].address, "/prismeta/snap");

    // A sweep reaches the subscriber thinned out, ending on its last value.
    rig.client.clear();
    for (int k = 49; k >= 0; --k) {
        rig.send("/prismeta/surface/0/opacity", {f(static_cast<float>(k) / 50.0f)});
    }
    const std::string address = "/prismeta/surface/" + surface(0).id.text() + "/opacity";
    const auto endsOnZero = [&](const std::vector<OscOutgoing>& got) {
        return !got.empty() && got.back().address == address &&
               got.back().arguments == OscArguments{f(0.0f)};
    };
    EXPECT_TRUE(rig.pumpUntil([&] {
        rig.client.receiveFor(std::chrono::milliseconds(1));
        return endsOnZero(rig.client.receiveFor(std::chrono::milliseconds(0)));
    }));

    rig.sendAndPump("/prismeta/unsubscribe");
    EXPECT_TRUE(rig.controller->subscribers().empty());
}

TEST_F(OscRemote, SubscriptionToAnotherPortOfTheSender) {
    OscTestClient listener;
    rig.sendAndPump("/prismeta/subscribe", {i(listener.port())});
    rig.model.setSnapEnabled(true);
    rig.controller->update(std::chrono::steady_clock::now());
    const auto heard = listener.receive([](const auto& got) { return !got.empty(); });
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].address, "/prismeta/snap");
}

TEST_F(OscRemote, OnlyExistingRegularFilesBecomeMediaPaths) {
    TempFolder folder;
    const fs::path fifo = folder.path / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path :
         {(folder.path / "missing.png").string(), folder.path.string(), fifo.string(),
          std::string("/dev/null"), std::string("relative/still.png"), std::string()}) {
        rig.sendAndPump("/prismeta/surface/0/mediaPath", {s(path)});
        EXPECT_FALSE(surface(0).mediaPath.has_value()) << path;
    }
    EXPECT_TRUE(logMentions(rig, "not an absolute path to an existing regular file"));
}

// A live surface takes a stream URL; its status is answered, never set.
TEST_F(OscRemote, StreamUrlsBecomeMediaPathsAndALiveSourceAnswersItsStatus) {
    rig.controller->setLiveStatus([](const Surface& s) -> std::optional<LiveStatus> {
        if (s.mediaPath != "srt://127.0.0.1:9000?mode=listener") {
            return std::nullopt;
        }
        return LiveStatus{LiveStatus::State::connected, 29.97, 3, 5, 0.0}; // 3 lost, 5 not shown
        // (answered not shown first: the third argument was the only count)
    });
    rig.sendAndPump("/prismeta/surface/0/mediaKind", {s("live")});
    rig.sendAndPump("/prismeta/surface/0/mediaPath", {s("srt://127.0.0.1:9000?mode=listener")});
    EXPECT_EQ(surface(0).mediaKind, MediaKind::live);
    EXPECT_EQ(surface(0).mediaPath, "srt://127.0.0.1:9000?mode=listener");
    for (const char* refused : {"file:///etc/passwd", "pipe:0", "/dev/zero"}) {
        rig.sendAndPump("/prismeta/surface/0/mediaPath", {s(refused)});
        EXPECT_EQ(surface(0).mediaPath, "srt://127.0.0.1:9000?mode=listener") << refused;
    }
    rig.sendAndPump("/prismeta/surface/1/mediaKind", {s("live")});
    rig.sendAndPump("/prismeta/surface/1/mediaPath", {s("udp://@:5000")});
    rig.sendAndPump("/prismeta/surface/0/live/status", {s("?")});
    rig.sendAndPump("/prismeta/surface/wall right/live/status");
    const auto answers = rig.client.receive([](const auto& got) { return got.size() >= 2; });
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].address, "/prismeta/surface/0/live/status");
    EXPECT_EQ(answers[0].arguments, (OscArguments{s("connected"), f(29.97f), i(5), i(3)}));
    EXPECT_EQ(answers[1].arguments, (OscArguments{s("waiting"), f(0), i(0), i(0)}))
        << "not open here";
    rig.sendAndPump("/prismeta/surface/floor/live/status");
    rig.sendAndPump("/prismeta/surface/0/live/status", {s("lost")});
    EXPECT_TRUE(logMentions(rig, "the surface shows no live source"));
    EXPECT_TRUE(logMentions(rig, "live/status is only answered"));
    EXPECT_EQ(surface(0).mediaKind, MediaKind::live);
}

TEST_F(OscRemote, HostileInputIsIgnoredWithAReasonAndTheServerCarriesOn) {
    const SurfaceList surfaces = rig.model.surfaces();
    const std::vector<OutputConfig> outputs = rig.model.outputs();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        std::string address;
        OscArguments arguments;
        std::string_view reason;
    };
    const std::vector<Case> cases = {
        {"/prismeta/surface/0/opacity", {s("half")}, "takes f, got s"},
        {"/prismeta/surface/0/opacity", {}, "takes f, got no arguments"},
        {"/prismeta/surface/0/opacity", {f(0.5f), f(0.5f)}, "takes f, got ff"},
        {"/prismeta/surface/0/opacity", {f(nan)}, "not a finite number"},
        {"/prismeta/surface/0/color", {f(inf), f(0), f(0)}, "not a finite number"},
        {"/prismeta/surface/0/corner/1", {d(1e300), d(0)}, "beyond the range of a 32-bit float"},
        {"/prismeta/surface/0/corner/4", {f(0), f(0)}, "no such field"},
        {"/prismeta/surface/0/mediaKind", {s("hologram")}, "is not a media kind"},
        {"/prismeta/surface/0/select", {i(1)}, "select takes no arguments"},
        {"/prismeta/surface/3/opacity", {f(0.5f)}, "no surface matches \"3\""},
        {"/prismeta/surface/[0/opacity", {f(0.5f)}, "malformed pattern"},
        {"/prismeta/output/7/crop", {f(0), f(0), f(1), f(1)}, "no output matches \"7\""},
        {"/prismeta/output/0/crop", {f(0), f(0), f(1)}, "takes ffff, got fff"},
        {"/prismeta/snap", {s("on")}, "takes i"},
        {"/prismeta/undo", {i(1)}, "takes no arguments"},
        {"/prismeta/save", {}, "no such address"},
        {"/prismeta/surface/0/delete", {}, "no such field"},
        {"/other/thing", {f(1)}, "no such address"},
        {"/prismeta/surface/0/opacity", {OscArgument{'b', {}}}, "takes f, got b"},
    };
    for (const Case& c : cases) {
        rig.sendAndPump(c.address, c.arguments);
    }
    // Packets that are not OSC at all, or too large.
    OscTestClient::sendRaw(rig.port(), "");
    OscTestClient::sendRaw(rig.port(), "garbage!");
    OscTestClient::sendRaw(rig.port(), std::string("/prismeta/snap\0\0,i\0\0", 20));
    OscTestClient::sendRaw(rig.port(), OscTestClient::encode("/prismeta/surface/0/mediaPath",
                                                             {s(std::string(9000, 'x'))}));
    OscTestClient::sendRaw(rig.port(), OscTestClient::encode("/" + std::string(2000, 'p'), {f(1)}));
    OscArguments many(40, f(1));
    OscTestClient::sendRaw(rig.port(), OscTestClient::encode("/prismeta/snap", many));
    EXPECT_TRUE(rig.pumpUntil([&] {
        return logMentions(rig, "not OSC or larger than") && logMentions(rig, "over the limits");
    }));

    EXPECT_TRUE(rig.model.surfaces().sharesStorageWith(surfaces));
    EXPECT_EQ(rig.model.outputs(), outputs);
    EXPECT_TRUE(rig.model.undoStack().empty());
    for (const Case& c : cases) {
        EXPECT_TRUE(logMentions(rig, c.reason)) << c.address << ": no line saying " << c.reason;
    }
    for (const std::string& line : rig.logged) {
        EXPECT_EQ(line.rfind("Prismeta: OSC ignored ", 0), 0u) << line;
    }

    // The server still works.
    rig.sendAndPump("/prismeta/surface/0/opacity", {f(0.5f)});
    EXPECT_DOUBLE_EQ(surface(0).opacity, 0.5);
}

TEST_F(OscRemote, BundlesAreCarriedOutOnArrivalWhateverTheirTimeTag) {
    // Timed a day ahead: carried out now, not kept in a queue.
    const auto tomorrow = static_cast<std::uint32_t>(std::time(nullptr) + osc1900 + 86400);
    OscTestClient::sendRaw(rig.port(),
                           bundle(tomorrow, {OscTestClient::encode("/prismeta/snap", {i(1)})}));
    EXPECT_TRUE(rig.pumpUntil([&] { return rig.model.snapEnabled(); }));

    // Bundles inside bundles, as deep as a packet allows.
    std::string nested = OscTestClient::encode("/prismeta/snap", {i(0)});
    while (nested.size() + 20 <= 8192) {
        nested = bundle(1, {nested});
    }
    OscTestClient::sendRaw(rig.port(), nested);
    EXPECT_TRUE(rig.pumpUntil([&] { return !rig.model.snapEnabled(); }));
}

TEST_F(OscRemote, AFloodIsBoundedAndEndsOnTheLastValue) {
    RemoteRig small(OscInbox::Limits{64, std::size_t{1} << 20});
    small.model.setSurfaces(std::vector<Surface>{named("screen", fullCanvas(), {1, 1, 1, 1})});
    // 20,000 packets as fast as the client can send them, nobody taking any
    // off the queue meanwhile: a fader gone mad.
    constexpr int count = 20000;
    for (int k = 1; k <= count; ++k) {
        small.send("/prismeta/surface/0/opacity", {f(static_cast<float>(k) / count)});
    }
    // A command after the flood still gets through: redundant older values
    // make room for it. Sent again until it arrives, as the kernel may drop
    // packets of a flood before the server sees them.
    EXPECT_TRUE(small.pumpUntil([&] {
        if (!small.model.snapEnabled()) {
            small.send("/prismeta/snap", {i(1)});
        }
        return small.model.snapEnabled();
    }));
    EXPECT_LE(small.inbox->highWater(), 64u);
    // Older values made room for newer ones, so a late one stays.
    EXPECT_GT(small.model.surfaces()[0].opacity, 0.5);
    EXPECT_LT(small.handled(), static_cast<std::size_t>(count));
    EXPECT_TRUE(logMentions(small, "replaced by newer values of the same field"));
    // A line per kind of problem per window, not one per packet.
    EXPECT_LT(small.logged.size(), 10u);
}

TEST(OscServer, ListensOnTheLoopbackAddressUnlessAskedForEveryInterface) {
    OscInbox inbox([] {});
    OscServerConfig config;
    config.port = 0;
    auto loopback = OscServer::start(config, inbox);
    ASSERT_TRUE(loopback) << loopback.error();
    EXPECT_EQ(loopback.value()->host(), "127.0.0.1");
    EXPECT_EQ(boundAddressOf(loopback.value()->port()), "0100007F");

    config.allInterfaces = true;
    auto everywhere = OscServer::start(config, inbox);
    ASSERT_TRUE(everywhere) << everywhere.error();
    EXPECT_EQ(boundAddressOf(everywhere.value()->port()), "00000000");

    // A port in use is refused with the system's reason.
    config.allInterfaces = false;
    config.port = loopback.value()->port();
    auto taken = OscServer::start(config, inbox);
    ASSERT_FALSE(taken);
    EXPECT_NE(taken.error().find("Address already in use"), std::string::npos) << taken.error();
    EXPECT_NE(taken.error().find("127.0.0.1:"), std::string::npos) << taken.error();
}

} // namespace
} // namespace prismeta::test
