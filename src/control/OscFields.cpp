#include "control/OscFields.h"

#include "core/BlendCurve.h"
#include "core/EditRanges.h"
#include "core/LiveSource.h"
#include "core/MediaKind.h"
#include "geometry/OutputWarpEdits.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

namespace prismeta {

namespace {

using Parsed = Result<FieldValue>;

std::optional<double> narrowToFloat(double value) {
    if (!(std::fabs(value) < oscFloatOverflow)) {
        return std::nullopt; // NaN fails the comparison too
    }
    if (std::fabs(value) > static_cast<double>(FLT_MAX)) {
        return value > 0 ? FLT_MAX : -FLT_MAX;
    }
    return static_cast<double>(static_cast<float>(value));
}

std::string expected(std::string_view tags, const OscMessage& message) {
    return "takes " + std::string(tags) + ", got " +
           (message.arguments.empty() ? std::string("no arguments") : typeTags(message.arguments));
}

// `count` numbers (any of i, h, f, d), each finite.
Parsed numbers(const OscMessage& message, std::size_t count, std::string_view tags) {
    if (message.arguments.size() != count) {
        return Parsed::failure(expected(tags, message));
    }
    FieldValue value;
    value.count = count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<double> number = message.arguments[i].number();
        if (!number) {
            return Parsed::failure(expected(tags, message));
        }
        if (!std::isfinite(*number)) {
            return Parsed::failure("not a finite number");
        }
        value.numbers[i] = *number;
    }
    return value;
}

// Numbers stored in 32-bit fields without a range of their own (corner
// points, blend widths, the crop): refused only when no float holds them.
Parsed floats(const OscMessage& message, std::size_t count, std::string_view tags) {
    Parsed parsed = numbers(message, count, tags);
    if (!parsed) {
        return parsed;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<double> narrowed = narrowToFloat(parsed->numbers[i]);
        if (!narrowed) {
            return Parsed::failure("beyond the range of a 32-bit float");
        }
        parsed->numbers[i] = *narrowed;
    }
    return parsed;
}

Parsed clamped(const OscMessage& message, double minimum, double maximum, std::string_view tags) {
    Parsed parsed = numbers(message, 1, tags);
    if (parsed) {
        parsed->numbers[0] = std::clamp(parsed->numbers[0], minimum, maximum);
    }
    return parsed;
}

Parsed text(const OscMessage& message) {
    if (message.arguments.size() != 1 || message.arguments.front().string() == nullptr) {
        return Parsed::failure(expected("s", message));
    }
    FieldValue value;
    value.text = *message.arguments.front().string();
    return value;
}

OscArguments oneFloat(double value) {
    return {OscArgument::float32(static_cast<float>(value))};
}

// ---------------------------------------------------------------- meshes

// A warp mesh's interpolation by name, as the project file writes it.
Parsed interpolationName(const OscMessage& m) {
    Parsed parsed = text(m);
    if (parsed && parsed->text != "cells" && parsed->text != "smooth") {
        return Parsed::failure("\"" + parsed->text + "\" is not an interpolation (cells, smooth)");
    }
    return parsed;
}

Status setInterpolation(std::optional<WarpMesh>& mesh, const FieldValue& v, const char* owner) {
    if (!mesh) {
        return Status::failure(std::string(owner) + " has no warp mesh");
    }
    mesh->interpolation =
        v.text == "smooth" ? WarpMesh::Interpolation::smooth : WarpMesh::Interpolation::cells;
    return Status::success();
}

// Empty (no value) without a mesh.
OscArguments interpolationOf(const std::optional<WarpMesh>& mesh) {
    if (!mesh) {
        return {};
    }
    return {OscArgument::text(mesh->interpolation == WarpMesh::Interpolation::smooth ? "smooth"
                                                                                     : "cells")};
}

// ---------------------------------------------------------------- surfaces

// The point the picture's corner `index` follows on a meshed surface: the
// grid's outer corner (top-left, top-right, bottom-right, bottom-left).
// Nothing when the grid is not whole (then nothing is drawn from it).
template <std::size_t index> std::optional<Pt> meshCorner(const WarpMesh& mesh) {
    if (!mesh.hasValidGrid()) {
        return std::nullopt;
    }
    const std::int64_t column = (index == 1 || index == 2) ? mesh.cols : 0;
    const std::int64_t row = (index == 2 || index == 3) ? mesh.rows : 0;
    return mesh.points[static_cast<std::size_t>(row * (mesh.cols + 1) + column)];
}

// Corner fields take any finite point, as the inspector's corner fields do;
// a meshed surface takes none (the inspector hides them: its mesh points set
// its shape), and a query answers the mesh's corner points, which the
// picture follows, not the stored corners, which it no longer does.
template <std::size_t index> OscField<Surface> cornerField(std::string_view path) {
    return {path, "ff", [](const OscMessage& m) { return floats(m, 2, "ff"); },
            [](Surface& s, const FieldValue& v) {
                if (s.mesh) {
                    return Status::failure(
                        "the surface has a warp mesh, whose points set its shape");
                }
                if (s.corners.size() <= index) {
                    return Status::failure("the surface has no corner " + std::to_string(index));
                }
                s.corners[index] =
                    Pt{static_cast<float>(v.numbers[0]), static_cast<float>(v.numbers[1])};
                return Status::success();
            },
            [](const Surface& s) {
                if (s.mesh) {
                    const std::optional<Pt> point = meshCorner<index>(*s.mesh);
                    return point ? OscArguments{OscArgument::float32(point->x),
                                                OscArgument::float32(point->y)}
                                 : OscArguments{};
                }
                if (s.corners.size() <= index) {
                    return OscArguments{};
                }
                return OscArguments{OscArgument::float32(s.corners[index].x),
                                    OscArgument::float32(s.corners[index].y)};
            }};
}

const auto surfaceTable = std::to_array<OscField<Surface>>({
    {"opacity", "f",
     [](const OscMessage& m) { return clamped(m, opacityMinimum, opacityMaximum, "f"); },
     [](Surface& s, const FieldValue& v) {
         s.opacity = v.numbers[0];
         return Status::success();
     },
     [](const Surface& s) { return oneFloat(s.opacity); }},
    {"feather", "f",
     [](const OscMessage& m) { return clamped(m, featherMinimum, featherMaximum, "f"); },
     [](Surface& s, const FieldValue& v) {
         s.feather = static_cast<float>(v.numbers[0]);
         return Status::success();
     },
     [](const Surface& s) { return oneFloat(s.feather); }},
    {"color", "ffff or fff",
     [](const OscMessage& m) {
         // Red, green, blue and, optionally, alpha; each clamped to 0..1.
         Parsed parsed =
             m.arguments.size() == 3 ? numbers(m, 3, "ffff or fff") : numbers(m, 4, "ffff or fff");
         if (parsed) {
             for (std::size_t i = 0; i < parsed->count; ++i) {
                 parsed->numbers[i] =
                     std::clamp(parsed->numbers[i], static_cast<double>(colorChannelMinimum),
                                static_cast<double>(colorChannelMaximum));
             }
         }
         return parsed;
     },
     [](Surface& s, const FieldValue& v) {
         s.color.r = static_cast<float>(v.numbers[0]);
         s.color.g = static_cast<float>(v.numbers[1]);
         s.color.b = static_cast<float>(v.numbers[2]);
         if (v.count == 4) {
             s.color.a = static_cast<float>(v.numbers[3]);
         }
         return Status::success();
     },
     [](const Surface& s) {
         return OscArguments{OscArgument::float32(s.color.r), OscArgument::float32(s.color.g),
                             OscArgument::float32(s.color.b), OscArgument::float32(s.color.a)};
     }},
    cornerField<0>("corner/0"),
    cornerField<1>("corner/1"),
    cornerField<2>("corner/2"),
    cornerField<3>("corner/3"),
    {"mesh/interpolation", "s", &interpolationName,
     [](Surface& s, const FieldValue& v) { return setInterpolation(s.mesh, v, "the surface"); },
     [](const Surface& s) { return interpolationOf(s.mesh); }},
    {"mediaKind", "s",
     [](const OscMessage& m) {
         Parsed parsed = text(m);
         if (parsed && !mediaKindFromText(parsed->text)) {
             return Parsed::failure(
                 "\"" + parsed->text +
                 "\" is not a media kind (color, testPattern, image, video, shader, live)");
         }
         return parsed;
     },
     [](Surface& s, const FieldValue& v) {
         s.mediaKind = *mediaKindFromText(v.text);
         return Status::success();
     },
     [](const Surface& s) {
         return OscArguments{OscArgument::text(std::string(mediaKindText(s.mediaKind)))};
     }},
    {"mediaPath", "s",
     [](const OscMessage& m) {
         Parsed parsed = text(m);
         // Only files that are there, stream URLs and cameras: nothing over
         // the network may point a surface at another device, a folder or a
         // pipe. A file surface given a URL or a camera shows the
         // placeholder; the file reader opens regular files only.
         if (parsed && !m.textNamesRegularFile && !isLiveUrl(parsed->text) &&
             !m.textNamesCaptureDevice) {
             return Parsed::failure("not an absolute path to an existing regular file, a stream "
                                    "URL (srt, udp, rtp, rtsp, http, https) or a video device");
         }
         return parsed;
     },
     [](Surface& s, const FieldValue& v) {
         s.mediaPath = v.text;
         return Status::success();
     },
     [](const Surface& s) { return OscArguments{OscArgument::text(s.mediaPath.value_or(""))}; }},
});

// ---------------------------------------------------------------- outputs

template <float OutputConfig::*width> OscField<OutputConfig> blendField(std::string_view path) {
    return {path, "f", [](const OscMessage& m) { return floats(m, 1, "f"); },
            [](OutputConfig& o, const FieldValue& v) {
                o.*width = static_cast<float>(v.numbers[0]);
                return Status::success();
            },
            [](const OutputConfig& o) { return oneFloat(o.*width); }};
}

// Curve and gamma are clamped to their ranges as the inspector's controls
// clamp them.
Parsed curveValue(const OscMessage& m) {
    return clamped(m, minBlendCurve, maxBlendCurve, "f");
}
Parsed gammaValue(const OscMessage& m) {
    return clamped(m, minBlendGamma, maxBlendGamma, "f");
}

template <float OutputConfig::*field, float (*inRange)(float)>
OscField<OutputConfig> curveField(std::string_view path, Parsed (*parse)(const OscMessage&)) {
    return {path, "f", parse,
            [](OutputConfig& o, const FieldValue& v) {
                o.*field = inRange(static_cast<float>(v.numbers[0]));
                return Status::success();
            },
            [](const OutputConfig& o) { return oneFloat(o.*field); }};
}

// A warp's corner (an output without a warp has the raster's corners); any
// finite point, as the other points. Setting one gives the output a warp; on
// a meshed warp the whole mesh follows in perspective (warpWithCorner).
template <std::size_t index> OscField<OutputConfig> warpCornerField(std::string_view path) {
    return {path, "ff", [](const OscMessage& m) { return floats(m, 2, "ff"); },
            [](OutputConfig& o, const FieldValue& v) {
                o.warp = warpWithCorner(
                    o.warp.value_or(OutputWarp{}), index,
                    Pt{static_cast<float>(v.numbers[0]), static_cast<float>(v.numbers[1])});
                return Status::success();
            },
            [](const OutputConfig& o) {
                const Pt p = o.warp ? o.warp->corners[index] : identityWarpCorners[index];
                return OscArguments{OscArgument::float32(p.x), OscArgument::float32(p.y)};
            }};
}

const auto outputTable = std::to_array<OscField<OutputConfig>>({
    // Blend widths are stored as given, as the inspector's blend fields do.
    blendField<&OutputConfig::blendLeft>("blend/left"),
    blendField<&OutputConfig::blendRight>("blend/right"),
    blendField<&OutputConfig::blendTop>("blend/top"),
    blendField<&OutputConfig::blendBottom>("blend/bottom"),
    curveField<&OutputConfig::blendCurve, &blendCurveInRange>("blend/curve", &curveValue),
    curveField<&OutputConfig::blendGamma, &blendGammaInRange>("blend/gamma", &gammaValue),
    // One level for all three channels (the inspector's linked boxes) or one
    // each, every channel clamped to 0..0.2.
    {"blend/black", "f or fff",
     [](const OscMessage& m) {
         Parsed parsed = numbers(m, m.arguments.size() == 1 ? 1 : 3, "f or fff");
         if (parsed) {
             for (std::size_t i = 0; i < parsed->count; ++i) {
                 parsed->numbers[i] =
                     std::clamp(parsed->numbers[i], 0.0, static_cast<double>(maxBlackLevel));
             }
         }
         return parsed;
     },
     [](OutputConfig& o, const FieldValue& v) {
         const auto level = [&](std::size_t i) {
             return blackLevelInRange(static_cast<float>(v.numbers[v.count == 1 ? 0 : i]));
         };
         o.blackLevel = BlackLevel{level(0), level(1), level(2)};
         return Status::success();
     },
     [](const OutputConfig& o) {
         return OscArguments{OscArgument::float32(o.blackLevel.r),
                             OscArgument::float32(o.blackLevel.g),
                             OscArgument::float32(o.blackLevel.b)};
     }},
    {"crop", "ffff", [](const OscMessage& m) { return floats(m, 4, "ffff"); },
     [](OutputConfig& o, const FieldValue& v) {
         o.cropX = static_cast<float>(v.numbers[0]);
         o.cropY = static_cast<float>(v.numbers[1]);
         o.cropWidth = static_cast<float>(v.numbers[2]);
         o.cropHeight = static_cast<float>(v.numbers[3]);
         return Status::success();
     },
     [](const OutputConfig& o) {
         return OscArguments{OscArgument::float32(o.cropX), OscArgument::float32(o.cropY),
                             OscArgument::float32(o.cropWidth), OscArgument::float32(o.cropHeight)};
     }},
    warpCornerField<0>("warp/corner/0"),
    warpCornerField<1>("warp/corner/1"),
    warpCornerField<2>("warp/corner/2"),
    warpCornerField<3>("warp/corner/3"),
    {"warp/mesh/interpolation", "s", &interpolationName,
     [](OutputConfig& o, const FieldValue& v) {
         if (!o.warp) {
             return Status::failure("the output has no warp mesh");
         }
         return setInterpolation(o.warp->mesh, v, "the output");
     },
     [](const OutputConfig& o) { return o.warp ? interpolationOf(o.warp->mesh) : OscArguments{}; }},
    // A still's path, or empty for none; a path must name an existing
    // regular file when it arrives, as a surface's media path must.
    {"blendMap", "s",
     [](const OscMessage& m) {
         Parsed parsed = text(m);
         if (parsed && !parsed->text.empty() && !m.textNamesRegularFile) {
             return Parsed::failure("not an absolute path to an existing regular file");
         }
         return parsed;
     },
     [](OutputConfig& o, const FieldValue& v) {
         o.blendMap = v.text.empty() ? std::nullopt : std::optional<std::string>(v.text);
         return Status::success();
     },
     [](const OutputConfig& o) {
         return OscArguments{OscArgument::text(o.blendMap.value_or(""))};
     }},
});

} // namespace

std::span<const OscField<Surface>> surfaceFields() {
    return surfaceTable;
}

std::span<const OscField<OutputConfig>> outputFields() {
    return outputTable;
}

} // namespace prismeta
