// GPU-compressed video pictures in the renderer: each block format drawn
// from solid blocks whose decoded colours follow from their bytes, the
// padding to whole blocks never shown, the YCoCg conversion ahead of the
// opacity, feather and premultiplication, and plain textures drawn exactly as
// the fragment stage drew them before compressed pictures existed.
#include "GlTestSupport.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "geometry/Tessellation.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"
#include "render/ShaderProgram.h"
#include "render/ShaderSources.h"
#include "render/UniformBlocks.h"

#include "HapFixtures.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>

namespace prismeta::test {
namespace {

namespace hap = fixtures::hap;
using hap::Bytes;

// One picture a feed hands out: compressed blocks (and an alpha image), or
// RGBA pixels when format is rgba8.
struct Frame {
    Frame() = default;
    Frame(int w, int h, MediaPixelFormat f, Bytes b, Bytes a = {})
        : width(w), height(h), format(f), blocks(std::move(b)), alpha(std::move(a)) {}
    int width = 0;
    int height = 0;
    MediaPixelFormat format = MediaPixelFormat::bc1;
    Bytes blocks;
    Bytes alpha;
};

// A video feed delivering queued frames, one a call, reporting a route.
struct CompressedFeeds {
    std::deque<Frame> frames;
    VideoFeed::Route route = VideoFeed::Route::compressed;
    std::vector<CompressedTextures> requests;

    MediaBackend backend() {
        struct Feed final : VideoFeed {
            CompressedFeeds* owner;
            Frame current;
            std::optional<MediaFrame> newFrame(double) override {
                if (owner->frames.empty()) {
                    return std::nullopt;
                }
                current = owner->frames.front();
                owner->frames.pop_front();
                MediaFrame frame;
                frame.width = current.width;
                frame.height = current.height;
                frame.format = current.format;
                frame.pixels = current.blocks.data();
                frame.bytes = current.blocks.size();
                frame.strideBytes = static_cast<std::size_t>(current.width) * 4;
                if (!current.alpha.empty()) {
                    frame.alphaPixels = current.alpha.data();
                    frame.alphaBytes = current.alpha.size();
                }
                return frame;
            }
            Route route() const override { return owner->route; }
        };
        MediaBackend media;
        media.openVideo = [this](const MediaRequest& request) -> std::unique_ptr<VideoFeed> {
            requests.push_back(request.compressedTextures);
            auto feed = std::make_unique<Feed>();
            feed->owner = this;
            return feed;
        };
        return media;
    }
};

Surface videoSurface(std::vector<Pt> corners = fullCanvas(), double opacity = 1.0,
                     float feather = 0.0f) {
    Surface s;
    s.corners = std::move(corners);
    s.mediaKind = MediaKind::video;
    s.mediaPath = "/clip.mov";
    s.opacity = opacity;
    s.feather = feather;
    return s;
}

// Draws the frames one renderer frame each and returns the last picture.
Picture draw(std::vector<Frame> frames, int width, int height, Surface surface = videoSurface()) {
    CompressedFeeds feeds;
    feeds.frames.assign(frames.begin(), frames.end());
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{surface});
    auto renderer = Renderer::create(model, std::nullopt, feeds.backend());
    auto target = OffscreenFramebuffer::create(width, height);
    if (!renderer || !target) {
        ADD_FAILURE() << "no renderer";
        return {};
    }
    for (std::size_t i = 0; i < std::max<std::size_t>(1, frames.size()); ++i) {
        renderer->draw(target->target(), static_cast<double>(i));
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return Picture{width, height, target->readPixels()};
}

void expectPixel(const Picture& p, int x, int y, std::array<double, 4> rgba,
                 double tolerance = 0.0) {
    const auto px = p.at(x, y);
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(px[static_cast<std::size_t>(c)], rgba[static_cast<std::size_t>(c)], tolerance)
            << "channel " << c << " at " << x << "," << y;
    }
}

// What the target shows of a straight colour with alpha a over opaque black.
std::array<double, 4> over(double r, double g, double b, double a) {
    return {r * a, g * a, b * a, 255.0};
}

// 8 x 8 pictures of four solid blocks; block n is the colour of n.
constexpr int side = 8;
const hap::Rgb565 colours[4] = {{31, 0, 0}, {0, 63, 0}, {4, 40, 20}, {16, 32, 31}};
const std::uint8_t alphas[4] = {255, 128, 64, 0};

int blockAt(int x, int y) {
    return x / 4 + (y / 4) * 2;
}

TEST(CompressedPicture, EveryBlockFormatShowsItsColours) {
    ASSERT_TRUE(useGlContext());
    const auto each = [](auto make) {
        return hap::blocks(side, side, [&](int bx, int by) { return make(bx + by * 2); });
    };
    struct Case {
        const char* name;
        Frame frame;
        std::function<std::array<double, 4>(int n)> expected;
        double tolerance;
    };
    const std::vector<Case> cases = {
        {"BC1", Frame{side, side, MediaPixelFormat::bc1, each([](int n) {
                          return hap::solidDxt1(colours[n]);
                      })},
         [](int n) {
             const auto c = hap::decodedDxt(colours[n]);
             return over(c.r, c.g, c.b, 1.0);
         },
         0.0},
        {"BC3",
         {side, side, MediaPixelFormat::bc3,
          each([](int n) { return hap::solidDxt5(colours[n], alphas[n]); })},
         [](int n) {
             const auto c = hap::decodedDxt(colours[n]);
             return over(c.r, c.g, c.b, alphas[n] / 255.0);
         },
         1.0},
        {"BC7",
         {side, side, MediaPixelFormat::bc7, each([](int n) {
              return hap::solidBptc(fixtures::Rgba8{static_cast<std::uint8_t>(40 * n + 10), 200, 60,
                                                    static_cast<std::uint8_t>(254 - 80 * n)});
          })},
         [](int n) { return over(40 * n + 10, 200, 60, (254 - 80 * n) / 255.0); },
         1.0},
        {"BC4 as grey",
         {side, side, MediaPixelFormat::bc4,
          each([](int n) { return hap::solidRgtc1(static_cast<std::uint8_t>(30 + 70 * n)); })},
         [](int n) { return over(30 + 70 * n, 30 + 70 * n, 30 + 70 * n, 1.0); },
         0.0},
        {"scaled YCoCg",
         {side, side, MediaPixelFormat::bc3ScaledYCoCg, each([](int n) {
              return hap::solidDxt5(colours[n], static_cast<std::uint8_t>(60 * n + 40));
          })},
         [](int n) {
             const auto c = hap::decodedYCoCg(colours[n], static_cast<std::uint8_t>(60 * n + 40));
             const auto unit = [](double v) { return std::clamp(v, 0.0, 1.0) * 255.0; };
             return over(unit(c.r), unit(c.g), unit(c.b), 1.0);
         },
         1.0},
        {"scaled YCoCg with alpha",
         {side, side, MediaPixelFormat::bc3ScaledYCoCg,
          each([](int n) { return hap::solidDxt5(colours[n], 200); }),
          each([](int n) { return hap::solidRgtc1(alphas[n]); })},
         [](int n) {
             const auto c = hap::decodedYCoCg(colours[n], 200);
             const auto unit = [](double v) { return std::clamp(v, 0.0, 1.0) * 255.0; };
             return over(unit(c.r), unit(c.g), unit(c.b), alphas[n] / 255.0);
         },
         1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // One target pixel a texel: every sample lands on a texel's centre.
        const Picture p = draw({c.frame}, side, side);
        ASSERT_EQ(p.width, side);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                expectPixel(p, x, y, c.expected(blockAt(x, y)), c.tolerance);
            }
        }
    }
}

// Two-colour blocks: in each, columns (or rows) from `from` on take colour 1.
Bytes splitDxt1(hap::Rgb565 a, hap::Rgb565 b, int from, bool rows) {
    // Colour 0 must be the larger for the four-colour mode, where index 1 is
    // exactly colour 1.
    const auto value = [](hap::Rgb565 c) { return c.r5 << 11 | c.g6 << 5 | c.b5; };
    EXPECT_GT(value(a), value(b));
    std::uint32_t indices = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            if ((rows ? y : x) >= from) {
                indices |= 1u << (2 * (y * 4 + x));
            }
        }
    }
    Bytes out = hap::solidDxt1(a);
    out[2] = static_cast<std::uint8_t>(value(b) & 0xFF);
    out[3] = static_cast<std::uint8_t>(value(b) >> 8);
    for (int i = 0; i < 4; ++i) {
        out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(indices >> (8 * i));
    }
    return out;
}

TEST(CompressedPicture, PaddingToWholeBlocksNeverShows) {
    ASSERT_TRUE(useGlContext());
    // A 6 x 6 picture in 2 x 2 blocks: the last two columns and rows of the
    // blocks are padding, in blue; the picture has no blue at all.
    const hap::Rgb565 red{31, 0, 0};
    const hap::Rgb565 green{0, 63, 0};
    const hap::Rgb565 blue{0, 0, 31};
    const Bytes blocks = hap::blocks(6, 6, [&](int bx, int by) {
        const hap::Rgb565 own = (bx + by) % 2 == 0 ? red : green;
        if (bx == 1 && by == 1) {
            // Both columns and rows 2, 3 pad: left as the corner colour but
            // blue where either pads. Rows first, then columns of the top rows.
            Bytes b = splitDxt1(own, blue, 2, true);
            std::uint32_t indices = 0;
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 4; ++x) {
                    if (x >= 2 || y >= 2) {
                        indices |= 1u << (2 * (y * 4 + x));
                    }
                }
            }
            for (int i = 0; i < 4; ++i) {
                b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(indices >> (8 * i));
            }
            return b;
        }
        if (bx == 1) {
            return splitDxt1(own, blue, 2, false);
        }
        if (by == 1) {
            return splitDxt1(own, blue, 2, true);
        }
        return hap::solidDxt1(own);
    });
    // Magnified eight times: linear filtering near the far edges would pull
    // in the padding if the coordinates reached it.
    const Picture p = draw({Frame{6, 6, MediaPixelFormat::bc1, blocks}}, 48, 48);
    ASSERT_EQ(p.width, 48);
    int bluest = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            bluest = std::max(bluest, p.at(x, y)[2]);
        }
    }
    EXPECT_EQ(bluest, 0);
    // The picture fills the surface: its corners show their blocks' colours.
    expectPixel(p, 0, 0, {255, 0, 0, 255});
    expectPixel(p, 47, 0, {0, 255, 0, 255});
    expectPixel(p, 0, 47, {0, 255, 0, 255});
    expectPixel(p, 47, 47, {255, 0, 0, 255});
    // Texel 3 (red, block 0) meets texel 4 (green, block 1) at x = 4 / 6 of
    // the width: pixel 31 samples texel 3.6875 from (31.5 / 48) * 6.
    const auto mid = p.at(31, 0);
    EXPECT_NEAR(mid[0], 255 * (1 - 0.4375), 2);
    EXPECT_NEAR(mid[1], 255 * 0.4375, 2);
}

TEST(CompressedPicture, OpacityAndFeatherApplyToTheConvertedColour) {
    ASSERT_TRUE(useGlContext());
    const hap::Rgb565 c{10, 40, 3};
    const Frame frame{side, side, MediaPixelFormat::bc3ScaledYCoCg,
                      hap::blocks(side, side, [&](int, int) { return hap::solidDxt5(c, 150); }),
                      hap::blocks(side, side, [](int, int) { return hap::solidRgtc1(200); })};
    const auto rgb = hap::decodedYCoCg(c, 150);
    const double alpha = 200.0 / 255.0 * 0.5;
    // Feather 0.25: pixel column 0 (u = 1/16) keeps a quarter of its alpha,
    // the centre all of it.
    const Picture p = draw({frame}, side, side, videoSurface(fullCanvas(), 0.5, 0.25f));
    const auto unit = [](double v) { return std::clamp(v, 0.0, 1.0) * 255.0; };
    expectPixel(p, 4, 4, over(unit(rgb.r), unit(rgb.g), unit(rgb.b), alpha), 1.0);
    expectPixel(p, 0, 4, over(unit(rgb.r), unit(rgb.g), unit(rgb.b), alpha * 0.25), 1.0);
}

TEST(CompressedPicture, OneSourceSwitchesBetweenPixelsAndBlocks) {
    ASSERT_TRUE(useGlContext());
    const Frame rgba{1, 1, MediaPixelFormat::rgba8, {0, 0, 255, 255}};
    const Frame dxt{side, side, MediaPixelFormat::bc1, hap::blocks(side, side, [](int, int) {
                        return hap::solidDxt1({31, 0, 0});
                    })};
    const Frame ycocg{side, side, MediaPixelFormat::bc3ScaledYCoCg,
                      hap::blocks(side, side,
                                  [](int, int) {
                                      return hap::solidDxt5({16, 32, 0}, 77);
                                  }),
                      hap::blocks(side, side, [](int, int) { return hap::solidRgtc1(255); })};
    CompressedFeeds feeds;
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{videoSurface()});
    auto renderer = Renderer::create(model, std::nullopt, feeds.backend());
    auto target = OffscreenFramebuffer::create(side, side);
    ASSERT_TRUE(renderer && target);
    const auto show = [&](const Frame& f) {
        feeds.frames.push_back(f);
        renderer->draw(target->target(), 0.0);
        return Picture{side, side, target->readPixels()}.at(3, 3);
    };
    EXPECT_EQ(show(rgba), (std::array<int, 4>{0, 0, 255, 255}));
    EXPECT_EQ(show(dxt), (std::array<int, 4>{255, 0, 0, 255}));
    // Co 16 and Cg 32 expand to 132 and 130, 4 and 2 above the 128 of no
    // chroma: R = Y + 4 - 2, G = Y + 2, B = Y - 4 - 2.
    EXPECT_EQ(show(ycocg), (std::array<int, 4>{79, 79, 71, 255}));
    EXPECT_EQ(show(rgba), (std::array<int, 4>{0, 0, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(CompressedPicture, MalformedPicturesKeepTheLastGoodOne) {
    ASSERT_TRUE(useGlContext());
    const Bytes red = hap::blocks(side, side, [](int, int) { return hap::solidDxt1({31, 0, 0}); });
    const Bytes green = hap::blocks(side, side, [](int, int) {
        return hap::solidDxt1({0, 63, 0});
    });
    Bytes shortGreen = green;
    shortGreen.pop_back();
    const std::vector<Frame> bad = {
        {side, side, MediaPixelFormat::bc1, shortGreen},
        {side + 4, side, MediaPixelFormat::bc1, green},
        {0, side, MediaPixelFormat::bc1, {}},
        {side, side, MediaPixelFormat::bc3, green}, // half the bytes DXT5 needs
        {1 << 20, 4, MediaPixelFormat::bc1, green}, // beyond any texture size
        {side, side, MediaPixelFormat::bc3ScaledYCoCg, hap::concat({green, green}), Bytes(7)},
    };
    for (const Frame& f : bad) {
        const Picture p = draw({Frame{side, side, MediaPixelFormat::bc1, red}, f}, side, side);
        expectPixel(p, 3, 3, {255, 0, 0, 255});
    }
    // A video whose first picture is malformed shows the placeholder.
    const Picture p = draw({bad[0]}, side, side);
    expectPixel(p, 3, 3, {38, 38, 43, 255});
}

std::vector<std::string> compressedPictureLog(const std::function<void()>& action) {
    std::vector<std::string> lines;
    ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    action();
    return lines;
}

TEST(CompressedPicture, RenderersSayOnceWhenCompressedVideoFellBackToPixels) {
    ASSERT_TRUE(useGlContext());
    auto target = OffscreenFramebuffer::create(4, 4);
    ASSERT_TRUE(target);
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{videoSurface(), videoSurface()});
    for (const VideoFeed::Route route :
         {VideoFeed::Route::undecided, VideoFeed::Route::pixels, VideoFeed::Route::compressed}) {
        CompressedFeeds feeds;
        feeds.route = route;
        const auto lines = compressedPictureLog([&] {
            auto renderer = Renderer::create(model, std::nullopt, feeds.backend());
            for (int i = 0; i < 3; ++i) {
                renderer->draw(target->target(), i);
            }
        });
        EXPECT_TRUE(lines.empty());
    }
    CompressedFeeds feeds;
    feeds.route = VideoFeed::Route::pixelsForLackOfTextures;
    const auto lines = compressedPictureLog([&] {
        // Two renderers, two such videos each, several frames: a line each.
        for (int r = 0; r < 2; ++r) {
            auto renderer = Renderer::create(model, std::nullopt, feeds.backend());
            for (int i = 0; i < 3; ++i) {
                renderer->draw(target->target(), i);
            }
        }
    });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Prismeta: HAP video decoded on the processor (", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("/clip.mov"), std::string::npos) << lines[0];
}

TEST(CompressedPicture, SourcesAskForTheFormatsBothDriverAndBackendAllow) {
    ASSERT_TRUE(useGlContext());
    auto target = OffscreenFramebuffer::create(4, 4);
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{videoSurface()});
    const bool s3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    const bool bptc =
        epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_texture_compression_bptc");
    for (const bool narrowed : {false, true}) {
        CompressedFeeds feeds;
        MediaBackend backend = feeds.backend();
        if (narrowed) {
            backend.compressedTextures = {false, true, false};
        }
        auto renderer = Renderer::create(model, std::nullopt, backend);
        renderer->draw(target->target(), 0.0);
        ASSERT_EQ(feeds.requests.size(), 1u);
        EXPECT_EQ(feeds.requests[0].s3tc, s3tc && !narrowed);
        EXPECT_TRUE(feeds.requests[0].rgtc); // core since OpenGL 3.0
        EXPECT_EQ(feeds.requests[0].bptc, bptc && !narrowed);
    }
}

// The surface fragment stage as it was before compressed pictures: plain
// textures and colours must come out of today's stage bit for bit the same.
constexpr const char* earlierSurfaceFragment = R"(#version 330 core
layout(std140) uniform SurfaceUniforms {
    vec4 color;
    float opacity;
    int useTexture;
    float feather;
};
uniform sampler2D mediaTexture;
in vec3 vUvq;
out vec4 fragColor;

vec4 surface_fragment() {
    vec2 uv = vUvq.xy / vUvq.z;
    vec4 c = useTexture != 0 ? texture(mediaTexture, uv) : color;
    c.a = c.a * opacity;
    if (feather > 0.0001) {
        float edge = min(min(uv.x, 1.0 - uv.x), min(uv.y, 1.0 - uv.y));
        c.a = c.a * clamp(edge / feather, 0.0, 1.0);
    }
    c.rgb = c.rgb * c.a;
    return c;
}

void main() { fragColor = surface_fragment(); }
)";

// Draws surfaces with the given fragment stage into target, the way the
// renderer does: one vertex buffer, a uniform block per surface, the
// renderer's blending and a linear, clamped sampler.
std::vector<std::uint8_t> drawWith(const char* fragment, const std::vector<Surface>& surfaces,
                                   const std::vector<unsigned>& textures,
                                   OffscreenFramebuffer& target) {
    const unsigned program =
        buildShaderProgram(surfaceVertexSource, fragment == nullptr ? surfaceFragmentSource
                                                                    : std::string_view(fragment));
    EXPECT_NE(program, 0u);
    glUniformBlockBinding(program, glGetUniformBlockIndex(program, "SurfaceUniforms"), 0);
    glUniformBlockBinding(program, glGetUniformBlockIndex(program, "FrameUniforms"), 1);
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "mediaTexture"), 0);
    GLuint sampler = 0;
    glGenSamplers(1, &sampler);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindSampler(0, sampler);
    GLuint buffers[3] = {};
    glGenBuffers(3, buffers);
    GLuint vertexArray = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    const FrameUniforms frame;
    glBindBuffer(GL_UNIFORM_BUFFER, buffers[1]);
    glBufferData(GL_UNIFORM_BUFFER, sizeof frame, &frame, GL_STATIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, buffers[1]);
    const FrameTarget t = target.target();
    glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
    glViewport(0, 0, t.width, t.height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        const Surface& s = surfaces[i];
        std::vector<SurfaceVertex> vertices;
        tessellateSurface(s, PixelScale{}, vertices);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        glBufferData(GL_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(vertices.size() * sizeof(SurfaceVertex)),
                     vertices.data(), GL_STREAM_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(SurfaceVertex),
                              reinterpret_cast<const void*>(offsetof(SurfaceVertex, pos)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(SurfaceVertex),
                              reinterpret_cast<const void*>(offsetof(SurfaceVertex, uvq)));
        SurfaceUniforms u;
        if (textures[i] != 0) {
            u.color[0] = u.color[1] = u.color[2] = u.color[3] = 1.0f;
            u.useTexture = 1;
        } else {
            u.color[0] = s.color.r;
            u.color[1] = s.color.g;
            u.color[2] = s.color.b;
            u.color[3] = s.color.a;
        }
        u.opacity = static_cast<float>(s.opacity);
        u.feather = s.feather;
        glBindBuffer(GL_UNIFORM_BUFFER, buffers[2]);
        glBufferData(GL_UNIFORM_BUFFER, sizeof u, &u, GL_STREAM_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, buffers[2]);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size()));
    }
    std::vector<std::uint8_t> pixels = target.readPixels();
    glBindVertexArray(0);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteBuffers(3, buffers);
    glBindSampler(0, 0);
    glDeleteSamplers(1, &sampler);
    glUseProgram(0);
    glDeleteProgram(program);
    return pixels;
}

TEST(CompressedPicture, PlainTexturesAndColoursDrawExactlyAsBefore) {
    ASSERT_TRUE(useGlContext());
    // A 37 x 23 texture of varied colours and alphas, magnified and minified
    // through perspective quads, a warp mesh, opacity and feather.
    constexpr int tw = 37;
    constexpr int th = 23;
    std::vector<std::uint8_t> pixels(tw * th * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>((i * 97 + i / 7 * 13) & 255);
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);

    Surface skewed =
        videoSurface({{0.05f, 0.1f}, {0.9f, 0.0f}, {0.7f, 0.95f}, {0.2f, 0.8f}}, 0.8, 0.15f);
    Surface small = videoSurface(rect(0.6f, 0.6f, 0.75f, 0.7f), 1.0);
    Surface meshed =
        videoSurface({{0.3f, 0.2f}, {0.8f, 0.3f}, {0.85f, 0.9f}, {0.25f, 0.7f}}, 0.6, 0.05f);
    meshed.mesh = WarpMesh::from(meshed.corners, 3, 2);
    ASSERT_TRUE(meshed.mesh.has_value());
    meshed.mesh->points[5].x += 0.04f; // bend an inner point
    Surface colour = colourSurface(rect(0.1f, 0.4f, 0.6f, 0.9f), {0.9f, 0.3f, 0.1f, 0.7f}, 0.55);
    colour.feather = 0.2f;
    const std::vector<Surface> surfaces = {skewed, small, meshed, colour};
    const std::vector<unsigned> textures = {texture, texture, texture, 0};

    auto target = OffscreenFramebuffer::create(160, 100);
    ASSERT_TRUE(target);
    const auto before = drawWith(earlierSurfaceFragment, surfaces, textures, *target);
    const auto now = drawWith(nullptr, surfaces, textures, *target);
    glDeleteTextures(1, &texture);
    ASSERT_EQ(before.size(), now.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        differing += before[i] != now[i];
    }
    EXPECT_EQ(differing, 0u);
    // And the frame is not trivially black.
    EXPECT_GT(std::count_if(now.begin(), now.end(), [](std::uint8_t v) { return v > 40; }), 1000);
}

} // namespace
} // namespace prismeta::test
