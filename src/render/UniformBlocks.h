#pragma once

#include <cstddef>
#include <cstdint>

namespace prismeta {

// The std140 uniform blocks of the two programs, byte for byte. GLSL 330
// cannot name binding points, so the renderer binds them after linking:
// SurfaceUniforms at 0, FrameUniforms at 1 (surface program), BlendUniforms
// at 2 (overlay program).

inline constexpr unsigned surfaceUniformsBinding = 0;
inline constexpr unsigned frameUniformsBinding = 1;
inline constexpr unsigned blendUniformsBinding = 2;

// How the fragment stage reads a texture (pictureCoding). Plain textures
// are sampled as they are. The others are compressed video pictures padded
// to whole 4 x 4 blocks: sampled within pictureScale of the texture, and
// turned into straight RGBA first where they store something else.
enum PictureCoding : std::int32_t {
    plainPicture = 0,
    blockPicture = 1,         // RGB or RGBA blocks
    scaledYCoCgPicture = 2,   // Co, Cg, scale, Y: opaque
    scaledYCoCgWithAlpha = 3, // the same, alpha from texture unit 1 (red)
    singleChannelPicture = 4, // red shown as opaque grey
};

// Per-surface fragment constants.
struct SurfaceUniforms {
    float color[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // used when useTexture is 0
    float opacity = 1.0f;                      // multiplies every fragment's alpha
    std::int32_t useTexture = 0;               // nonzero: sample texture unit 0
    float feather = 0.0f;                      // soft border in texture units; off at <= 0.0001
    std::int32_t useMask = 0;                  // nonzero: alpha times the masks' coverage
    // The picture's share of its texture (1, 1 unless padded) and how to
    // read it; only for pictureCoding other than plainPicture.
    float pictureScale[2] = {1.0f, 1.0f};
    std::int32_t pictureCoding = plainPicture;
    float gap2_ = 0.0f;
    // The look a cue's fade comes from (Crossfade.h), read only while
    // lookWeight, the weight of the look above, is below 1.
    float fromColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float fromOpacity = 1.0f;
    std::int32_t fromUseTexture = 0; // nonzero: sample texture unit 2 (alpha image on 3)
    float fromPictureScale[2] = {1.0f, 1.0f};
    std::int32_t fromPictureCoding = plainPicture;
    float lookWeight = 1.0f;
    float gap3_[2] = {0.0f, 0.0f};
    // A live input's tint of the picture, both looks alike (rgb; 1 leaves it).
    float tint[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};

// Per-pass vertex constants: the canvas rectangle that fills the viewport.
struct FrameUniforms {
    float cropOrigin[2] = {0.0f, 0.0f};
    float cropSize[2] = {1.0f, 1.0f};
};

// Per-frame constants of the overlay pass: the ramps' curve and gamma, the
// black-level lift, and the crop (the blend test field is laid out in canvas
// space so that overlapping outputs show the same field where they overlap).
struct BlendUniforms {
    float blackLevel[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // rgb added where no ramp is; a unused
    float cropOrigin[2] = {0.0f, 0.0f};
    float cropSize[2] = {1.0f, 1.0f};
    float curve = 1.0f;
    float gamma = 1.0f;
    float gap_[2] = {0.0f, 0.0f};
};

static_assert(sizeof(SurfaceUniforms) == 112);
static_assert(offsetof(SurfaceUniforms, tint) == 96);
static_assert(offsetof(SurfaceUniforms, fromColor) == 48);
static_assert(offsetof(SurfaceUniforms, fromOpacity) == 64);
static_assert(offsetof(SurfaceUniforms, fromUseTexture) == 68);
static_assert(offsetof(SurfaceUniforms, fromPictureScale) == 72);
static_assert(offsetof(SurfaceUniforms, fromPictureCoding) == 80);
static_assert(offsetof(SurfaceUniforms, lookWeight) == 84);
static_assert(offsetof(SurfaceUniforms, color) == 0);
static_assert(offsetof(SurfaceUniforms, opacity) == 16);
static_assert(offsetof(SurfaceUniforms, useTexture) == 20);
static_assert(offsetof(SurfaceUniforms, feather) == 24);
static_assert(offsetof(SurfaceUniforms, useMask) == 28);
static_assert(offsetof(SurfaceUniforms, pictureScale) == 32);
static_assert(offsetof(SurfaceUniforms, pictureCoding) == 40);
static_assert(sizeof(FrameUniforms) == 16);
static_assert(offsetof(FrameUniforms, cropOrigin) == 0);
static_assert(offsetof(FrameUniforms, cropSize) == 8);
static_assert(sizeof(BlendUniforms) == 48);
static_assert(offsetof(BlendUniforms, blackLevel) == 0);
static_assert(offsetof(BlendUniforms, cropOrigin) == 16);
static_assert(offsetof(BlendUniforms, cropSize) == 24);
static_assert(offsetof(BlendUniforms, curve) == 32);
static_assert(offsetof(BlendUniforms, gamma) == 36);

} // namespace prismeta
