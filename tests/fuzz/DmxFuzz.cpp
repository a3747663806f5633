#include "DmxFuzz.h"

#include "FuzzChecks.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "cues/LiveLayer.h"
#include "dmx/DmxReceiver.h"
#include "dmx/DmxShow.h"

#include <cmath>
#include <span>

namespace prismeta::fuzz {

namespace {

// Surfaces patched in universes 0 and 1, the show fixture in 1.
void makeShow(ProjectModel& model) {
    std::vector<Surface> surfaces(3);
    surfaces[0].dmx = DmxPatch{0, 1};
    surfaces[1].dmx = DmxPatch{1, 1};
    surfaces[2].dmx = DmxPatch{1, 500}; // does not fit
    model.setSurfaces(std::move(surfaces));
    std::vector<Cue> cues(3);
    cues[1].fade = 1.0;
    model.setCues(std::move(cues));
    DmxSettings settings;
    settings.master = DmxPatch{1, 20};
    settings.media = {{MediaKind::color, std::nullopt}, {}};
    settings.loss = DmxLoss::release;
    model.setDmx(settings);
}

bool inUnit(float value) {
    return std::isfinite(value) && value >= 0.0f && value <= 1.0f;
}

} // namespace

void deliverPackets(DmxProtocol protocol, const std::uint8_t* data, std::size_t size,
                    const char* target) {
    static ScopedLogSink* quiet = new ScopedLogSink([](std::string_view) {});
    (void)quiet;
    ProjectModel model;
    makeShow(model);
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner(model, showClock, wallClock);
    LiveLayer layer;
    DmxShow show(model, layer);
    show.setCueRunner(&runner);
    const std::unique_ptr<DmxReceiver> receiver = DmxReceiver::detached();
    receiver->setUniverses(show.universes());

    double now = 100.0;
    std::span<const std::uint8_t> rest(data, size);
    while (!rest.empty()) {
        std::size_t length = rest.size();
        if (rest.size() >= 2) {
            const std::size_t framed = (std::size_t{rest[0]} << 8) | rest[1];
            if (framed + 2 <= rest.size()) {
                length = framed;
                rest = rest.subspan(2);
            }
        }
        receiver->deliver(protocol, rest.first(length), 0x7f000001, 6454, now);
        rest = rest.subspan(length);
        show.apply(*receiver, now);
        showClock.seconds = now;
        runner.tick();
        now += 0.7; // sources are lost along the way, and release
        if (model.surfaces().size() != 3) {
            fault(target, "DMX added or removed a surface");
        }
        if (!inUnit(layer.master())) {
            fault(target, "the master outside 0..1");
        }
        for (const Surface& surface : model.surfaces()) {
            if (const LiveLook* look = layer.find(surface.id)) {
                if (!inUnit(look->intensity) || !inUnit(look->tint[0]) || !inUnit(look->tint[1]) ||
                    !inUnit(look->tint[2]) || !inUnit(look->shaderValue) ||
                    !inUnit(look->shaderWeight)) {
                    fault(target, "a live value outside 0..1");
                }
                if (look->look && look->look->id != surface.id) {
                    fault(target, "a live look of another surface");
                }
            }
        }
        (void)receiver->status(now);
        (void)receiver->takeTimecode();
        (void)receiver->takeDrops();
    }
}

} // namespace prismeta::fuzz
