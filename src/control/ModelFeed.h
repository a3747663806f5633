#pragma once

#include "control/OscMessage.h"
#include "control/OscShaderInputs.h"
#include "core/OutputConfig.h"
#include "core/SurfaceList.h"
#include "core/Uuid.h"

#include <optional>
#include <string>
#include <vector>

namespace prismeta {

class ProjectModel;

// Messages that go out together and are throttled as one, under `key` (the
// address, or the list's address for a whole list).
struct FeedUnit {
    std::string key;
    std::vector<OscOutgoing> messages; // destinations left empty
};

// What subscribers are told: every field of the address space that changed
// since the last look, whoever changed it (the editor, the inspector, undo, a
// loaded file, remote control), on the address of the record's id:
// "/prismeta/surface/<id>/opacity f". A surface or output that appears sends
// all its fields; the selection sends ".../select i 1" for the newly selected
// surface and "i 0" for the one before; when records come, go, move or are
// renamed, their list is sent again as "/prismeta/list/..." answers. A
// shader surface's inputs go as ".../input/<name>" in their declared types,
// each whose value changed, all of them when the surface or its shader is
// new (events and audio inputs hold no value and are never sent).
//
// Keeps a copy of the state it last looked at (the surface list is shared,
// not copied). Interface thread only.
class ModelFeed {
public:
    // Takes the current state as seen, without reporting anything.
    void reset(const ProjectModel& model);
    // The changes since the last look (or reset), and takes the current state.
    std::vector<FeedUnit> collect(const ProjectModel& model);

private:
    SurfaceList surfaces_;
    std::vector<OutputConfig> outputs_;
    std::optional<Uuid> selected_;
    bool snap_ = false;
    ShaderHeaders shaderHeaders_;
};

} // namespace prismeta
