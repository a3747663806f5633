// Fuzz target: bytes as one OSC packet arriving at the server. The packet is
// parsed by the server exactly as a received one (liblo, the limits, the
// inbox) and carried out by the controller on a small show; answers go out
// of the server's socket to a socket of the target's own. Whatever the bytes,
// the show keeps its surfaces and outputs, every value stays finite and
// within the inspector's ranges, and nothing but a regular file becomes a
// media path.
#include "FuzzChecks.h"

#include "control/OscController.h"
#include "control/OscInbox.h"
#include "control/OscServer.h"
#include "core/EditRanges.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace prismeta::fuzz {
namespace {

[[noreturn]] void fault(const char* what) {
    prismeta::fuzz::fault("osc", what);
}

struct Rig {
    OscInbox inbox{[] {}};
    std::unique_ptr<OscServer> server;
    OscEndpoint sender; // a socket nobody reads: answers go nowhere, quickly
};

Rig& rig() {
    static Rig* made = [] {
        auto* r = new Rig;
        OscServerConfig config;
        config.port = 0;
        auto server = OscServer::open(config, r->inbox);
        if (!server) {
            std::fprintf(stderr, "osc fuzz: %s\n", server.error().c_str());
            fault("no server");
        }
        r->server = std::move(server.value());
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
        const int small = 4096;
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        r->sender = OscEndpoint{"127.0.0.1", ntohs(address.sin_port)};
        return r;
    }();
    return *made;
}

// A small show: named surfaces (one meshed, one with three corners), outputs.
void makeShow(ProjectModel& model) {
    std::vector<Surface> surfaces(4);
    surfaces[0].name = "wall left";
    surfaces[1].name = "wall right";
    surfaces[1].mediaKind = MediaKind::color;
    surfaces[2].name = "floor";
    surfaces[2].mesh = WarpMesh::from(surfaces[2].corners, 2, 2);
    surfaces[3].name = "0";
    surfaces[3].corners.resize(3);
    model.setSurfaces(std::move(surfaces));
    model.addOutput(OutputPreset::leftHalf);
    model.addOutput(OutputPreset::rightHalf);
    // Cues that dim and brighten the walls, one scheduled, so the cue
    // addresses reach a running show.
    std::vector<Cue> cues(3);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        cues[i].name = i == 2 ? "0" : "cue " + std::to_string(i);
        cues[i].fade = static_cast<double>(i);
        CueLook look;
        look.surface = model.surfaces()[i].id;
        look.opacity = 0.5;
        cues[i].looks.push_back(look);
    }
    cues[1].follow = CueFollow{CueFollow::Kind::seconds, 0.0};
    cues[2].schedule = CueSchedule{0, CueSchedule::everyDay};
    model.setCues(std::move(cues));
}

bool finite(float v) {
    return std::isfinite(v);
}

void checkShow(const ProjectModel& model, std::size_t surfaces, std::size_t outputs) {
    if (model.surfaces().size() != surfaces || model.outputs().size() != outputs) {
        fault("remote control added or removed a surface or an output");
    }
    for (const Surface& s : model.surfaces()) {
        if (!(s.opacity >= opacityMinimum && s.opacity <= opacityMaximum) ||
            !(s.feather >= featherMinimum && s.feather <= featherMaximum)) {
            fault("opacity or feather outside the inspector's range");
        }
        for (float c : {s.color.r, s.color.g, s.color.b, s.color.a}) {
            if (!(c >= colorChannelMinimum && c <= colorChannelMaximum)) {
                fault("a colour channel outside 0..1");
            }
        }
        for (const Pt& p : s.corners) {
            if (!finite(p.x) || !finite(p.y)) {
                fault("a corner that is not a finite number");
            }
        }
        if (s.mediaPath) {
            struct stat status {};
            if (s.mediaPath->empty() || s.mediaPath->front() != '/' ||
                ::stat(s.mediaPath->c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
                fault("a media path that is not an existing regular file");
            }
        }
    }
    for (const OutputConfig& o : model.outputs()) {
        for (float v : {o.cropX, o.cropY, o.cropWidth, o.cropHeight, o.blendLeft, o.blendRight,
                        o.blendTop, o.blendBottom}) {
            if (!finite(v)) {
                fault("an output value that is not a finite number");
            }
        }
    }
}

void testOne(const std::uint8_t* data, std::size_t size) {
    static ScopedLogSink* quiet = new ScopedLogSink([](std::string_view) {});
    (void)quiet;
    Rig& r = rig();

    ProjectModel model;
    makeShow(model);
    const std::size_t surfaces = model.surfaces().size();
    const std::size_t outputs = model.outputs().size();
    OscController controller(model, [&r](const OscOutgoing& m) { r.server->send(m); });
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner(model, showClock, wallClock);
    controller.setCueRunner(&runner);

    // Twice, so the second pass meets subscriptions, undo bursts and
    // throttled feedback the first one left.
    OscController::Clock::time_point now{};
    for (int pass = 0; pass < 2; ++pass) {
        r.server->deliver(data, size, r.sender);
        std::vector<OscMessage> messages;
        while (r.inbox.take(64, messages)) {
        }
        if (messages.size() > OscInbox::Limits{}.maxMessages) {
            fault("more messages than the inbox holds");
        }
        for (OscMessage& message : messages) {
            message.received = now;
            controller.handle(message, now);
            now += std::chrono::milliseconds(100);
            showClock.seconds += 0.1;
            runner.tick();
        }
        controller.reportUnreadable(r.server->takeUnreadable(), now);
        controller.reportOversize(r.server->takeOversize(), now);
        controller.reportDropped(r.inbox.takeDrops(), now);
        controller.update(now);
        checkShow(model, surfaces, outputs);
        now += std::chrono::seconds(1);
    }
    while (!model.undoStack().empty()) {
        model.undo();
    }
    checkShow(model, surfaces, outputs);
}

} // namespace
} // namespace prismeta::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)prismeta::fuzz::rig();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prismeta::fuzz::testOne(data, size);
    return 0;
}
