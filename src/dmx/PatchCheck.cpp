#include "dmx/PatchCheck.h"

#include "core/ProjectModel.h"
#include "dmx/FixtureLayout.h"

#include <algorithm>

namespace prismeta {

PatchCheck checkPatch(const ProjectModel& model) {
    struct Fixture {
        std::string name;
        DmxPatch patch;
        int channels = 0;
    };
    std::vector<Fixture> fixtures;
    for (const Surface& surface : model.surfaces()) {
        if (surface.dmx) {
            fixtures.push_back(
                {"surface \"" + surface.name + "\"", *surface.dmx, surfaceChannel::count});
        }
    }
    if (model.dmx() && model.dmx()->master) {
        fixtures.push_back({"the show fixture", *model.dmx()->master, showChannel::count});
    }
    PatchCheck check;
    check.fixtures = fixtures.size();
    const auto where = [](int universe, int first, int last) {
        return "universe " + std::to_string(universe) + ", channel" +
               (first == last ? " " + std::to_string(first)
                              : "s " + std::to_string(first) + ".." + std::to_string(last));
    };
    for (std::size_t i = 0; i < fixtures.size(); ++i) {
        const Fixture& a = fixtures[i];
        const int aLast = a.patch.address + a.channels - 1;
        if (!fitsUniverse(a.patch, a.channels)) {
            check.problems.push_back(a.name + " at " +
                                     where(a.patch.universe, a.patch.address, aLast) +
                                     " does not fit in the universe's 512 channels");
        }
        for (std::size_t j = i + 1; j < fixtures.size(); ++j) {
            const Fixture& b = fixtures[j];
            const int bLast = b.patch.address + b.channels - 1;
            if (a.patch.universe != b.patch.universe || aLast < b.patch.address ||
                bLast < a.patch.address) {
                continue;
            }
            check.problems.push_back(a.name + " and " + b.name + " share " +
                                     where(a.patch.universe,
                                           std::max(a.patch.address, b.patch.address),
                                           std::min(aLast, bLast)));
        }
    }
    return check;
}

} // namespace prismeta
