#include "cluster/ShowComparison.h"

#include <algorithm>
#include <unordered_map>

namespace prismeta {

ShowSnapshot ShowSnapshot::of(const ProjectModel& model) {
    ShowSnapshot snapshot{model.surfaces(),          model.outputs(),
                          model.canvasSize(),        model.backgroundImagePath(),
                          model.backgroundOpacity(), {}};
    for (const Cue& cue : model.cues()) {
        for (const CueLook& look : cue.looks) {
            snapshot.cued.insert(look.surface);
        }
    }
    return snapshot;
}

namespace {

struct Differences {
    std::size_t limit;
    std::vector<std::string> items;
    std::size_t more = 0;

    void add(std::string item) {
        if (items.size() < limit) {
            items.push_back(std::move(item));
        } else {
            ++more;
        }
    }
};

// Records compared by id: changed, missing on either side, or in another
// place of the order.
bool same(const OutputConfig& ours, const OutputConfig& theirs, const ShowSnapshot&) {
    return ours == theirs;
}

bool same(const Surface& ours, const Surface& theirs, const ShowSnapshot& project) {
    if (project.cued.count(ours.id) == 0) {
        return ours == theirs;
    }
    Surface withTheirLook = ours;
    withTheirLook.opacity = theirs.opacity;
    withTheirLook.color = theirs.color;
    withTheirLook.mediaKind = theirs.mediaKind;
    withTheirLook.mediaPath = theirs.mediaPath;
    return withTheirLook == theirs;
}

template <class Record, class List>
void compareRecords(const char* kind, const List& project, const List& leader,
                    const ShowSnapshot& snapshot, Differences& out) {
    std::unordered_map<Uuid, std::size_t> theirs;
    theirs.reserve(leader.size());
    for (std::size_t i = 0; i < leader.size(); ++i) {
        theirs.emplace(leader[i].id, i);
    }
    const auto named = [kind](const Record& record) {
        return std::string(kind) + " \"" + record.name + "\"";
    };
    std::size_t shared = 0;
    bool reordered = false;
    for (std::size_t i = 0; i < project.size(); ++i) {
        const Record& record = project[i];
        const auto found = theirs.find(record.id);
        if (found == theirs.end()) {
            out.add(named(record) + " is not in the leader's show");
            continue;
        }
        if (!same(record, leader[found->second], snapshot)) {
            out.add(named(record) + " differs");
        }
        reordered |= found->second < shared;
        shared = std::max(shared, found->second);
    }
    std::unordered_map<Uuid, bool> ours;
    ours.reserve(project.size());
    for (const Record& record : project) {
        ours.emplace(record.id, true);
    }
    for (const Record& record : leader) {
        if (ours.count(record.id) == 0) {
            out.add(named(record) + " is only in the leader's show");
        }
    }
    if (reordered) {
        out.add(std::string("the order of the ") + kind + "s");
    }
}

} // namespace

std::vector<std::string> showDifferences(const ShowSnapshot& project, const ShowSnapshot& leader,
                                         std::size_t limit) {
    Differences out{limit, {}, 0};
    if (!(project.canvas == leader.canvas)) {
        out.add("the canvas size");
    }
    if (project.backgroundImagePath != leader.backgroundImagePath ||
        project.backgroundOpacity != leader.backgroundOpacity) {
        out.add("the background");
    }
    compareRecords<Surface>("surface", project.surfaces, leader.surfaces, project, out);
    compareRecords<OutputConfig>("output", project.outputs, leader.outputs, project, out);
    if (out.more > 0) {
        out.items.push_back("and " + std::to_string(out.more) + " more");
    }
    return std::move(out.items);
}

} // namespace prismeta
