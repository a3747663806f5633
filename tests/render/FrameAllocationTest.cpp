// Steady frames allocate nothing: every global operator new on this thread is
// counted. Lives in its own executable because it replaces operator new.
#include "FakeMedia.h"
#include "GlTestSupport.h"
#include "TestFiles.h"

#include "MediaFixtures.h"
#include "core/ProjectModel.h"
#include "cues/Crossfade.h"
#include "render/FFmpegMediaBackend.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <ostream>
#include <string>

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;

void* allocate(std::size_t size, std::size_t alignment = 0) {
    if (counting) {
        ++allocations;
    }
    if (size == 0) {
        size = 1;
    }
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace prismeta {
// How parameterised tests name the upload path in their listings.
static void PrintTo(MediaBackend::Upload upload, std::ostream* os) {
    *os << (upload == MediaBackend::Upload::direct ? "direct upload" : "pixel buffer upload");
}
} // namespace prismeta

namespace prismeta::test {
namespace {

std::vector<Surface> mixedSurfaces(int count) {
    std::vector<Surface> surfaces;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(i % 10) / 10;
        const float y = static_cast<float>(i / 10 % 10) / 10;
        Surface s;
        s.corners = rect(x, y, x + 0.15f, y + 0.12f);
        switch (i % 4) {
        case 0:
            s.mediaKind = MediaKind::color;
            break;
        case 1:
            s.mediaKind = MediaKind::testPattern;
            s.mesh = WarpMesh::from(s.corners, 6, 6);
            if (i % 8 == 1) { // every other mesh smooth, cut on the first frame
                s.mesh->interpolation = WarpMesh::Interpolation::smooth;
                s.mesh->points[24].x += 0.01f;
            }
            break;
        case 2:
            s.mediaKind = MediaKind::image;
            s.mediaPath = "/image.png";
            break;
        default:
            s.mediaKind = MediaKind::video;
            s.mediaPath = "/video.mov";
            s.feather = 0.1f;
            break;
        }
        surfaces.push_back(s);
    }
    return surfaces;
}

TEST(FrameAllocation, NoHeapAllocationAfterTheFirstFrame) {
    ASSERT_TRUE(useGlContext());
    FakeMedia media;
    media.images["/image.png"] = solid(1, 2, 3);
    for (int i = 0; i < 20; ++i) {
        media.videos["/video.mov"].push_back({static_cast<double>(i), solid(9, 8, 7)});
    }
    ProjectModel model;
    model.setSurfaces(mixedSurfaces(100));
    OutputConfig output;
    output.cropX = 0.25f;
    output.cropWidth = 0.5f;
    output.blendLeft = 0.1f;
    output.blendTop = 0.2f;
    output.blendCurve = 2.0f;
    output.blendGamma = 2.2f;
    output.blackLevel = {0.02f, 0.02f, 0.03f};
    auto renderer = Renderer::create(model, output, media.backend());
    auto fb = OffscreenFramebuffer::create(64, 48);
    ASSERT_TRUE(renderer && fb);

    // The first frame makes the media sources: the counter sees that.
    counting = true;
    renderer->draw(fb->target(), 0.0);
    counting = false;
    EXPECT_GT(allocations, 0);
    for (int frame = 1; frame < 8; ++frame) {
        // An edit between frames (a corner drag) is the model's allocation, not the frame's.
        std::vector<Surface> moved = model.surfaces().copy();
        moved[static_cast<std::size_t>(frame)].corners[0].x += 0.01f;
        model.setSurfaces(std::move(moved));
        model.setBlendTest(output.id, frame % 2 == 1);

        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), frame * 0.5);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame;
    }
    EXPECT_EQ(renderer->mediaSourceCount(), 75u);
}

// A cue's fade of 100 surfaces, colours and stills crossing to others: the
// frames during it allocate no more than steady ones.
TEST(FrameAllocation, NoHeapAllocationPerFrameDuringACueFade) {
    ASSERT_TRUE(useGlContext());
    FakeMedia media;
    media.images["/image.png"] = solid(1, 2, 3);
    media.images["/other.png"] = solid(3, 2, 1);
    ProjectModel model;
    const std::vector<Surface> before = mixedSurfaces(100);
    std::vector<Surface> after = before;
    for (Surface& surface : after) {
        surface.opacity = 0.5;
        surface.color = RGBA{0.1f, 0.9f, 0.2f, 1.0f};
        if (surface.mediaKind == MediaKind::image) {
            surface.mediaPath = "/other.png";
        }
    }
    model.setSurfaces(before);
    auto renderer = Renderer::create(model, std::nullopt, media.backend());
    auto fb = OffscreenFramebuffer::create(64, 48);
    ASSERT_TRUE(renderer && fb);
    renderer->draw(fb->target(), 0.0);
    model.setSurfaces(after);
    renderer->setCrossfade(Crossfade::start(nullptr, before, after, 1.0, 10.0));
    renderer->draw(fb->target(), 1.0); // makes the new looks' sources
    for (int frame = 1; frame < 8; ++frame) {
        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), 1.0 + frame * 0.5);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame;
    }
}

TEST(FrameAllocation, MaskedFramesAllocateNothingOnceTheirCoverageIsIn) {
    ASSERT_TRUE(useGlContext());
    Mask mask;
    mask.points = {MaskPoint{0.1f, 0.1f, {}, Pt{0.5f, 0.0f}}, MaskPoint{0.9f, 0.2f, {}, {}},
                   MaskPoint{0.5f, 0.9f, Pt{0.8f, 0.9f}, {}}};
    std::vector<Surface> surfaces(10);
    for (Surface& s : surfaces) {
        s.mediaKind = MediaKind::color;
        s.masks = {mask, mask};
        s.masks[1].invert = true;
        s.masks[1].feather = 0.1f;
    }
    ProjectModel model;
    model.setSurfaces(surfaces);
    OutputConfig output;
    output.masks = {mask};
    auto renderer = Renderer::create(model, output);
    auto fb = OffscreenFramebuffer::create(64, 48);
    ASSERT_TRUE(renderer && fb);
    renderer->setWaitForMasks(true);
    renderer->draw(fb->target(), 0.0);
    for (int frame = 1; frame < 5; ++frame) {
        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), frame * 0.5);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame;
    }
}

TEST(FrameAllocation, WarpedOutputsWithABlendMapAllocateNothingOnceTheMapIsIn) {
    ASSERT_TRUE(useGlContext());
    const std::string dir = fixtures::makeTempDir("alloc-blend-map");
    const std::string map = dir + "/map.png";
    ASSERT_TRUE(fixtures::writeGreyPng(
        map, 32, 8, [](int x, int) { return static_cast<std::uint16_t>(x * 2000); }));
    ProjectModel model;
    model.setSurfaces(mixedSurfaces(20));
    OutputConfig output;
    output.blendMap = map;
    output.blendLeft = 0.1f;
    output.warp = OutputWarp{};
    output.warp->corners = {Pt{0.1f, 0}, Pt{0.9f, 0.1f}, Pt{1, 1}, Pt{0, 0.9f}};
    output.warp->mesh = WarpMesh::from(
        std::vector<Pt>(output.warp->corners.begin(), output.warp->corners.end()), 16, 9);
    auto renderer = Renderer::create(model, output);
    auto fb = OffscreenFramebuffer::create(64, 48);
    ASSERT_TRUE(renderer && fb);
    renderer->setWaitForMasks(true);
    renderer->draw(fb->target(), 0.0);
    for (int frame = 1; frame < 5; ++frame) {
        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), frame * 0.5);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame;
    }
    std::filesystem::remove_all(dir);
}

// Shader surfaces: passes at an expression's size, a persistent buffer, an
// image input and inputs set on the surface; rendered anew every frame.
TEST(FrameAllocation, ShaderFramesAllocateNothingOnceCompiled) {
    ASSERT_TRUE(useGlContext());
    std::string folder = (std::filesystem::temp_directory_path() / "prismeta-isf-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string shader = folder + "/trail.fs";
    std::ofstream(shader) << R"isf(/*{"INPUTS": [{"NAME": "inputImage", "TYPE": "image"},
        {"NAME": "level", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0, "MAX": 1},
        {"NAME": "tint", "TYPE": "color"}],
      "PASSES": [{"TARGET": "small", "WIDTH": "max($WIDTH * $level, 1)", "HEIGHT": "$HEIGHT / 2"},
                 {"TARGET": "trail", "PERSISTENT": true}, {}]}*/
void main() {
    vec4 image = IMG_THIS_NORM_PIXEL(inputImage) * tint;
    if (PASSINDEX == 0) gl_FragColor = image * TIME;
    else if (PASSINDEX == 1) gl_FragColor = mix(IMG_THIS_PIXEL(trail), IMG_THIS_NORM_PIXEL(small), 0.5);
    else gl_FragColor = IMG_THIS_NORM_PIXEL(trail) + vec4(DATE.w * 0.0, 0.0, 0.0, 1.0);
})isf";
    const std::string image = folder + "/still.png";
    std::ofstream(image) << "decoded by the fake";
    FakeMedia media;
    media.images[image] = solid(40, 80, 120);
    MediaBackend backend = media.backend();
    backend.shadersAtOnce = true;
    std::vector<Surface> surfaces;
    for (int i = 0; i < 3; ++i) {
        Surface s;
        s.corners =
            rect(0.3f * static_cast<float>(i), 0.1f, 0.3f * static_cast<float>(i) + 0.25f, 0.9f);
        s.mediaKind = MediaKind::shader;
        s.mediaPath = shader;
        s.shaderInputs = {{"inputImage", ShaderInputValue::ofText(image)},
                          {"tint", ShaderInputValue::ofColor(1, 0.5, 0.25, 1)}};
        surfaces.push_back(s);
    }
    ProjectModel model;
    model.setSurfaces(surfaces);
    auto renderer = Renderer::create(model, std::nullopt, backend);
    auto fb = OffscreenFramebuffer::create(64, 48);
    ASSERT_TRUE(renderer && fb);
    renderer->draw(fb->target(), 0.0); // reads, compiles, makes the buffers
    renderer->draw(fb->target(), 0.1);
    for (int frame = 2; frame < 8; ++frame) {
        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), frame * 0.1);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame;
    }
    // In a cue's fade of their inputs: one run a frame with the inputs mixed.
    std::vector<Surface> faded = surfaces;
    for (Surface& s : faded) {
        s.shaderInputs["tint"] = ShaderInputValue::ofColor(0, 1, 0, 1);
    }
    model.setSurfaces(faded);
    renderer->setCrossfade(Crossfade::start(nullptr, surfaces, faded, 1.0, 10.0));
    renderer->draw(fb->target(), 1.0);
    for (int frame = 1; frame < 6; ++frame) {
        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), 1.0 + frame * 0.1);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame << " of the fade";
    }
    std::filesystem::remove_all(folder);
}

// A real video through the FFmpeg backend, a new picture uploaded at every
// frame into the source's one texture, straight or through its pixel buffer.
class PlayingVideoAllocation : public ::testing::TestWithParam<MediaBackend::Upload> {};

TEST_P(PlayingVideoAllocation, NoHeapAllocationPerFrame) {
    ASSERT_TRUE(useGlContext());
    testfiles::TempDir dir("alloc-video");
    fixtures::VideoSpec spec;
    spec.encoder = "mpeg4";
    spec.frames = 12;
    const std::string path = dir.file("clip.avi");
    ASSERT_TRUE(fixtures::writeVideo(path, spec));
    Surface video;
    video.corners = fullCanvas();
    video.mediaKind = MediaKind::video;
    video.mediaPath = path;
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{video});
    LiveMediaOptions options;
    options.waitForDecoders = true; // a new picture at every frame
    options.videoUpload = GetParam();
    auto renderer = Renderer::create(model, std::nullopt, liveMediaBackend(options));
    auto fb = OffscreenFramebuffer::create(16, 16);
    ASSERT_TRUE(renderer && fb);

    const double start = 10.0;
    renderer->draw(fb->target(), start); // makes the source and the texture
    renderer->draw(fb->target(), start + 1.0 / 30);
    int shown = 0;
    for (int frame = 2; frame < 30; ++frame) {
        allocations = 0;
        counting = true;
        renderer->draw(fb->target(), start + frame / 30.0);
        counting = false;
        EXPECT_EQ(allocations, 0) << "frame " << frame;
        // The picture's number is its left half's grey level: it must move.
        const std::vector<std::uint8_t> pixels = fb->readPixels();
        shown += fixtures::frameNumberOf(pixels.data(), 16 * 4, 16, 16) == frame % 12;
    }
    EXPECT_EQ(shown, 28);
}

INSTANTIATE_TEST_SUITE_P(Uploads, PlayingVideoAllocation,
                         ::testing::Values(MediaBackend::Upload::direct,
                                           MediaBackend::Upload::pixelBuffer),
                         [](const auto& param) {
                             return param.param == MediaBackend::Upload::direct
                                        ? std::string("direct")
                                        : std::string("pixelBuffer");
                         });

} // namespace
} // namespace prismeta::test
