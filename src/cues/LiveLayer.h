#pragma once

// What live inputs (a lighting desk over DMX) make of the project on the
// frames drawn now: per surface an intensity and a tint over its look, other
// media or another way of playing its video, a held picture and a shader
// input; over every output a master intensity. It is a layer over the
// project, never part of it: nothing here reaches the model, the file or the
// undo history, and the editor's fields keep showing the project's values.
// The editor's canvas and the output windows draw through it; the master
// darkens outputs only, as the blackout does.
//
// Renderers look a surface up on every frame without allocating; entries are
// made and removed only when the surfaces driven change. Interface thread
// only, like the renderers that read it.

#include "core/Surface.h"
#include "core/Uuid.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace prismeta {

struct LiveLook {
    float intensity = 1.0f;                      // multiplies the opacity
    std::array<float, 3> tint{1.0f, 1.0f, 1.0f}; // multiplies the picture per channel
    bool paused = false;                         // a video holds the picture it shows
    // The first float input of a shader surface: shaderValue runs 0..1
    // across the input's MIN..MAX, and shaderWeight says how much of it
    // replaces the value the surface holds (0: none).
    float shaderValue = 0.0f;
    float shaderWeight = 0.0f;
    // The surface with other media or another way of playing its video:
    // its picture is drawn in place of the surface's own (geometry, masks and
    // opacity stay the surface's). None: its own picture.
    std::optional<Surface> look;

    // Whether it changes nothing.
    bool neutral() const {
        return intensity == 1.0f && tint == std::array<float, 3>{1.0f, 1.0f, 1.0f} && !paused &&
               shaderWeight == 0.0f && !look;
    }
    friend bool operator==(const LiveLook&, const LiveLook&) = default;
};

class LiveLayer {
public:
    // The surface's live look; null when nothing live touches it.
    const LiveLook* find(const Uuid& surface) const;
    // Sets a surface's live look (a neutral one removes the entry).
    void set(const Uuid& surface, LiveLook look);
    // The surface's entry to change in place, made (neutral) if missing; say
    // so with markChanged() after changing it. No allocation for one that
    // exists.
    LiveLook& at(const Uuid& surface);
    void markChanged() { ++version_; }
    void erase(const Uuid& surface);
    void clear();
    std::size_t size() const { return entries_.size(); }

    // Multiplies every output's picture (1: as it is).
    float master() const { return master_; }
    void setMaster(float master);

    // Counts every change, so hosts can tell when to draw again.
    std::uint64_t version() const { return version_; }

private:
    std::vector<std::pair<Uuid, LiveLook>> entries_; // by id
    float master_ = 1.0f;
    std::uint64_t version_ = 0;
};

} // namespace prismeta
