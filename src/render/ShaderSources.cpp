#include "render/ShaderSources.h"

namespace prismeta {

// Canvas y grows downwards and clip-space y upwards, hence the flip. The
// fourth clip coordinate is 1, so uvq is interpolated linearly on screen and
// the perspective comes only from the division per fragment.
const std::string_view surfaceVertexSource = R"(#version 330 core
layout(std140) uniform FrameUniforms {
    vec2 cropOrigin;
    vec2 cropSize;
};
layout(location = 0) in vec2 pos;
layout(location = 1) in vec3 uvq;
out vec3 vUvq;

void surface_vertex() {
    vec2 p = (pos - cropOrigin) / cropSize;
    gl_Position = vec4(2.0 * p.x - 1.0, 1.0 - 2.0 * p.y, 0.0, 1.0);
    vUvq = uvq;
}

void main() { surface_vertex(); }
)";

// The feather is measured in texture space, so on a meshed surface it softens
// only the outer border of the whole surface. The output is premultiplied for
// the ONE, ONE_MINUS_SRC_ALPHA blending.
//
// Compressed video pictures (pictureCoding not 0) fill only pictureScale of
// their texture, the rest padding them to whole 4 x 4 blocks: they are
// sampled no further than half a texel inside the picture's far edges, as
// clamping to the edge would, so the padding never shows. Scaled YCoCg (Co,
// Cg around 128/255 and divided by scale = blue * 255/8 + 1, Y in alpha) is
// turned into straight RGB here, before the same opacity, feather and
// premultiplication as every other picture; plain textures are sampled
// exactly as before.
//
// During a cue's fade (lookWeight below 1) the look faded from is read the
// same way from units 2 and 3, and the two are summed premultiplied, the new
// look with weight lookWeight, before the feather.
//
// A live input's tint multiplies both looks' colour (1, 1, 1 changes
// nothing, bit for bit).
const std::string_view surfaceFragmentSource = R"(#version 330 core
layout(std140) uniform SurfaceUniforms {
    vec4 color;
    float opacity;
    int useTexture;
    float feather;
    int useMask;
    vec2 pictureScale;
    int pictureCoding;
    vec4 fromColor;
    float fromOpacity;
    int fromUseTexture;
    vec2 fromPictureScale;
    int fromPictureCoding;
    float lookWeight;
    vec4 tint;
};
uniform sampler2D mediaTexture;
uniform sampler2D alphaTexture;
uniform sampler2D fromTexture;
uniform sampler2D fromAlphaTexture;
uniform sampler2D maskTexture;
in vec3 vUvq;
out vec4 fragColor;

vec4 surface_block_picture(sampler2D picture, sampler2D alphaPicture, vec2 scale, int coding,
                           vec2 uv) {
    vec2 farthest = scale - 0.5 / vec2(textureSize(picture, 0));
    vec2 st = min(uv * scale, farthest);
    vec4 t = texture(picture, st);
    if (coding == 1) {
        return t;
    }
    if (coding == 4) {
        return vec4(t.rrr, 1.0);
    }
    float scaleYCoCg = t.b * (255.0 / 8.0) + 1.0;
    float co = (t.r - 128.0 / 255.0) / scaleYCoCg;
    float cg = (t.g - 128.0 / 255.0) / scaleYCoCg;
    vec3 rgb = clamp(vec3(t.a + co - cg, t.a + cg, t.a - co - cg), 0.0, 1.0);
    float a = coding == 3 ? texture(alphaPicture, st).r : 1.0;
    return vec4(rgb, a);
}

vec4 surface_fragment() {
    vec2 uv = vUvq.xy / vUvq.z;
    vec4 c = useTexture == 0 ? color
             : pictureCoding == 0
                 ? texture(mediaTexture, uv)
                 : surface_block_picture(mediaTexture, alphaTexture, pictureScale, pictureCoding, uv);
    c.rgb = c.rgb * tint.rgb;
    c.a = c.a * opacity;
    // The masks' coverage and the edge feather weigh both looks alike.
    float edge = 1.0;
    if (useMask != 0) {
        edge = texture(maskTexture, uv).r;
    }
    if (feather > 0.0001) {
        edge = edge * clamp(min(min(uv.x, 1.0 - uv.x), min(uv.y, 1.0 - uv.y)) / feather, 0.0, 1.0);
    }
    if (lookWeight < 1.0) {
        vec4 f = fromUseTexture == 0 ? fromColor
                 : fromPictureCoding == 0
                     ? texture(fromTexture, uv)
                     : surface_block_picture(fromTexture, fromAlphaTexture, fromPictureScale,
                                             fromPictureCoding, uv);
        f.rgb = f.rgb * tint.rgb;
        f.a = f.a * fromOpacity;
        return mix(vec4(f.rgb * f.a, f.a), vec4(c.rgb * c.a, c.a), lookWeight) * edge;
    }
    c.a = c.a * edge;
    c.rgb = c.rgb * c.a;
    return c;
}

void main() { fragColor = surface_fragment(); }
)";

// The overlay always covers the whole viewport, whatever the crop.
const std::string_view blendVertexSource = R"(#version 330 core
layout(location = 0) in vec2 pos;
layout(location = 1) in float alpha;
out float vAlpha;
out vec2 vPos;

void blend_vertex() {
    gl_Position = vec4(2.0 * pos.x - 1.0, 1.0 - 2.0 * pos.y, 0.0, 1.0);
    vAlpha = alpha;
    vPos = pos;
}

void main() { blend_vertex(); }
)";

// The stages, each drawn over the finished picture with ONE,
// ONE_MINUS_SRC_ALPHA blending:
//
// 0, ramps. The vertices carry the linear darkening alpha = 1 - d, where d is
// the normalised distance into the ramp (0 at the outer edge, 1 at the inner
// end). The colour under the ramp is multiplied by
//     w = (d^curve)^(1/gamma) = d^(curve/gamma),
// so a projector of that gamma turns it into the light d^curve: two mirrored
// ramps with curve 1 add up to full light across the overlap. Where bands
// cross, each multiplies on its own. Curve and gamma 1 return the
// interpolated alpha untouched: the plain linear ramp, bit for bit.
// 1, black-level lift: drawn only where no ramp is; (lift, 0) adds the lift
// to the colour under it.
// 2, blend test field: opaque diagonal stripes of mid-grey and black in
// canvas space, so every seam, in whatever direction, crosses both.
// 3, blackout: the vertices carry how black the output is; the picture is
// multiplied by 1 - alpha, whatever the curve.
// 4, output masks: (0, 1 - coverage) multiplies everything beneath, lift
// included, by the coverage (row 0 of the coverage is the output's top).
// 5, blend map: the map's value v is the share of this projector's light
// (linear light), so the colour beneath is multiplied by v^(1/gamma), with
// the ramps' gamma; the texture holds v^(1/gamma) already (BlendMapTexture.h;
// row 0 of the map is the output's top).
const std::string_view blendFragmentSource = R"(#version 330 core
layout(std140) uniform BlendUniforms {
    vec4 blackLevel;
    vec2 cropOrigin;
    vec2 cropSize;
    float curve;
    float gamma;
};
uniform int blendStage;
uniform sampler2D maskTexture;
uniform sampler2D blendMapTexture;
in float vAlpha;
in vec2 vPos;
out vec4 fragColor;

vec4 blend_fragment() {
    if (blendStage == 5) {
        return vec4(0.0, 0.0, 0.0, 1.0 - texture(blendMapTexture, vPos).r);
    }
    if (blendStage == 1) {
        return vec4(blackLevel.rgb, 0.0);
    }
    if (blendStage == 3) {
        return vec4(0.0, 0.0, 0.0, vAlpha);
    }
    if (blendStage == 4) {
        return vec4(0.0, 0.0, 0.0, 1.0 - texture(maskTexture, vPos).r);
    }
    if (blendStage == 2) {
        vec2 canvas = cropOrigin + vPos * cropSize;
        float stripe = floor(2.0 * (canvas.x + canvas.y) + 0.5);
        float grey = mod(stripe, 2.0) < 0.5 ? 0.5 : 0.0;
        return vec4(grey, grey, grey, 1.0);
    }
    if (curve == 1.0 && gamma == 1.0) {
        return vec4(0.0, 0.0, 0.0, vAlpha);
    }
    float d = clamp(1.0 - vAlpha, 0.0, 1.0);
    return vec4(0.0, 0.0, 0.0, 1.0 - pow(d, curve / gamma));
}

void main() { fragColor = blend_fragment(); }
)";

} // namespace prismeta
