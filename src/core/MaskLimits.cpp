#include "core/MaskLimits.h"

#include "core/Log.h"
#include "core/ProjectFile.h"

#include <string>

namespace prismeta {

namespace {

struct Tally {
    std::size_t count = 0;
    std::string first;

    void add(const std::string& where) {
        if (count++ == 0) {
            first = where;
        }
    }

    void log(const char* what) const {
        if (count > 0) {
            logLine("Prismeta: " + std::to_string(count) + " " + what + " (first: " + first + ")");
        }
    }
};

struct MaskTallies {
    Tally tooFewPoints;
    Tally tooManyMasks;
    Tally tooManyPoints;

    void check(const std::vector<Mask>& masks, const std::string& record) {
        if (masks.size() > Mask::maxDrawnMasks) {
            tooManyMasks.add(record + ".masks");
        }
        for (std::size_t i = 0; i < masks.size(); ++i) {
            const Mask& mask = masks[i];
            if (!mask.drawable()) {
                tooFewPoints.add(record + ".masks[" + std::to_string(i) + "]");
            } else if (mask.points.size() > Mask::maxDrawnPoints) {
                tooManyPoints.add(record + ".masks[" + std::to_string(i) + "]");
            }
        }
    }
};

} // namespace

void logUndrawnMasks(const ProjectFile& file) {
    MaskTallies tallies;
    for (std::size_t i = 0; i < file.surfaces.size(); ++i) {
        if (!file.surfaces[i].masks.empty()) {
            tallies.check(file.surfaces[i].masks, "surfaces[" + std::to_string(i) + "]");
        }
    }
    for (std::size_t i = 0; i < file.outputs.size(); ++i) {
        if (!file.outputs[i].masks.empty()) {
            tallies.check(file.outputs[i].masks, "outputs[" + std::to_string(i) + "]");
        }
    }
    tallies.tooFewPoints.log("mask(s) with fewer than 3 points draw nothing");
    tallies.tooManyMasks.log("record(s) with more than 64 masks draw only the first 64");
    tallies.tooManyPoints.log("mask(s) with more than 10000 points draw only the first 10000");
}

} // namespace prismeta
