#include "geometry/BlendBands.h"

#include "core/OutputConfig.h"

namespace prismeta {

namespace {

struct BandCorner {
    float x;
    float y;
    float alpha;
};

void appendBand(BlendBands& bands, const std::array<BandCorner, 6>& corners) {
    for (const BandCorner& c : corners) {
        BlendVertex& v = bands.vertices[bands.count++];
        v.pos[0] = c.x;
        v.pos[1] = c.y;
        v.alpha = c.alpha;
    }
}

} // namespace

BlendBands blendBands(const OutputConfig& output) {
    BlendBands bands;
    // `w > 0` is false for NaN as well: such an edge gets no band.
    if (const float w = output.blendLeft; w > 0.0f) {
        appendBand(bands, {{{0, 0, 1}, {w, 0, 0}, {w, 1, 0}, {0, 0, 1}, {w, 1, 0}, {0, 1, 1}}});
    }
    if (const float w = output.blendRight; w > 0.0f) {
        const float x = 1.0f - w;
        appendBand(bands, {{{x, 0, 0}, {1, 0, 1}, {1, 1, 1}, {x, 0, 0}, {1, 1, 1}, {x, 1, 0}}});
    }
    if (const float w = output.blendTop; w > 0.0f) {
        appendBand(bands, {{{0, 0, 1}, {1, 0, 1}, {1, w, 0}, {0, 0, 1}, {1, w, 0}, {0, w, 0}}});
    }
    if (const float w = output.blendBottom; w > 0.0f) {
        const float y = 1.0f - w;
        appendBand(bands, {{{0, y, 0}, {1, y, 0}, {1, 1, 1}, {0, y, 0}, {1, 1, 1}, {0, 1, 1}}});
    }
    return bands;
}

BlendQuad blendQuad(float x0, float y0, float x1, float y1) {
    BlendQuad quad;
    const std::array<BandCorner, 6> corners = {
        {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y0, 0}, {x1, y1, 0}, {x0, y1, 0}}};
    for (std::size_t i = 0; i < corners.size(); ++i) {
        quad.vertices[i].pos[0] = corners[i].x;
        quad.vertices[i].pos[1] = corners[i].y;
    }
    return quad;
}

std::optional<BlendQuad> blendFreeArea(const OutputConfig& output) {
    // The same tests and the same arithmetic as blendBands above.
    const auto inset = [](float w) { return w > 0.0f ? w : 0.0f; };
    const float x0 = inset(output.blendLeft);
    const float x1 = output.blendRight > 0.0f ? 1.0f - output.blendRight : 1.0f;
    const float y0 = inset(output.blendTop);
    const float y1 = output.blendBottom > 0.0f ? 1.0f - output.blendBottom : 1.0f;
    if (!(x0 < x1) || !(y0 < y1)) {
        return std::nullopt;
    }
    return blendQuad(x0, y0, x1, y1);
}

} // namespace prismeta
