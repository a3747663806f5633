#pragma once

#include "core/DmxSettings.h"
#include "core/LiveSource.h"
#include "core/Mask.h"
#include "core/MediaKind.h"
#include "core/Pt.h"
#include "core/RGBA.h"
#include "core/ShaderInputValue.h"
#include "core/Uuid.h"
#include "core/WarpMesh.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// The default corner layout: a centred square half the canvas wide and high,
// clockwise from the top-left.
inline constexpr std::array<Pt, 4> defaultCorners = {Pt{0.25f, 0.25f}, Pt{0.75f, 0.25f},
                                                     Pt{0.75f, 0.75f}, Pt{0.25f, 0.75f}};

inline constexpr RGBA defaultSurfaceColor{0.2f, 0.6f, 1.0f, 1.0f};

// How a video surface plays its file: looping for ever (the default), or
// once from its start, holding its last picture.
enum class VideoPlayback : unsigned char { loop, once };

// One mapping surface: a corner-pinned quad (or a warp mesh) and what it
// shows. A plain value; corner 0 shows the media's top-left, 1 its top-right,
// 2 its bottom-right and 3 its bottom-left. Files may carry any number of
// corners; everything that reads them checks the count.
struct Surface {
    Uuid id;
    std::string name = "Surface";
    std::vector<Pt> corners{defaultCorners.begin(), defaultCorners.end()};
    std::optional<WarpMesh> mesh;
    MediaKind mediaKind = MediaKind::testPattern;
    RGBA color = defaultSurfaceColor;
    std::optional<std::string> mediaPath;
    double opacity = 1.0;
    float feather = 0.0f;
    // In picture coordinates, so they follow every corner drag and mesh warp.
    std::vector<Mask> masks;
    // A shader surface's input values that differ from the shader's defaults.
    ShaderInputs shaderInputs;
    VideoPlayback playback = VideoPlayback::loop;
    // Its place on a lighting desk, as a fixture (dmx/FixtureLayout.h).
    std::optional<DmxPatch> dmx;
    // What a live surface passes to its device or protocol; kept whatever
    // the kind, as the path is.
    LiveOptions liveOptions;

    // A surface with a new random id and every default.
    Surface();
    // A surface with the given id and every default (the stand-by surface).
    explicit Surface(const Uuid& surfaceID);

    friend bool operator==(const Surface&, const Surface&) = default;
};

// The media kind's text form, "|", then the media path or nothing:
// "image|/a/b.png", "color|".
std::string mediaSignature(const Surface& surface);

// Whether a source made for (kind, path) still matches the surface, compared
// in place without building the signature text. Same answer as comparing
// mediaSignature() of both, including an absent path matching an empty one.
bool mediaSignatureMatches(const Surface& surface, MediaKind kind, std::string_view path);

} // namespace prismeta
