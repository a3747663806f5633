#pragma once

// A full-canvas shader surface drawn headless at a small size, with the log
// lines the drawing wrote, for tests that check the pixels shaders give.
#include "../core/ScratchFolder.h"
#include "../render/FakeMedia.h"
#include "../render/GlTestSupport.h"
#include "../render/HeadlessCanvas.h"

#include "core/Log.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace prismeta::test {

constexpr int shaderCanvasSize = 32;
// The renderer's placeholder colour, in bytes.
constexpr std::array<int, 3> placeholder = {38, 38, 43};

inline void expectRgb(const Picture& p, int x, int y, double r, double g, double b,
                      double tolerance = 1.0) {
    const auto px = p.at(x, y);
    EXPECT_NEAR(px[0], r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(px[1], g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(px[2], b, tolerance) << "blue at " << x << "," << y;
}

// width x height RGBA bytes of four colours in quadrants: red, green on the
// top row; blue, white below.
inline std::vector<std::uint8_t> quadrants(int width, int height) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = 2 * x >= width;
            const bool bottom = 2 * y >= height;
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(bottom == right ? 255 : 0),
                                     static_cast<std::uint8_t>(right ? 255 : 0),
                                     static_cast<std::uint8_t>(bottom ? 255 : 0), 255});
        }
    }
    return rgba;
}

struct ShaderScene {
    ScratchFolder folder;
    FakeMedia media;
    ProjectModel model;
    std::vector<std::string> log;

    // A full-canvas surface showing the shader file at path.
    void showFile(const std::string& path, ShaderInputs inputs = {}) {
        Surface s;
        s.corners = fullCanvas();
        s.mediaKind = MediaKind::shader;
        s.mediaPath = path;
        s.shaderInputs = std::move(inputs);
        model.setSurfaces(std::vector<Surface>{s});
    }
    // The same for a shader written from source.
    void show(const std::string& source, ShaderInputs inputs = {}) {
        showFile(folder.write("test.fs", source).string(), std::move(inputs));
    }
    // A still the fake decoder serves: width x height pixels of RGBA bytes.
    std::string still(const std::string& name, int width, int height,
                      std::vector<std::uint8_t> rgba) {
        const std::string path = folder.write(name, "made by the fake decoder").string();
        media.images[path] = {width, height, std::move(rgba)};
        return path;
    }
    MediaBackend backend(bool atOnce = true) {
        MediaBackend b = media.backend();
        b.shadersAtOnce = atOnce;
        return b;
    }
    std::vector<Picture> frames(std::initializer_list<double> times, bool atOnce = true) {
        ScopedLogSink sink([this](std::string_view line) { log.emplace_back(line); });
        HeadlessCanvas canvas(model, backend(atOnce), shaderCanvasSize, shaderCanvasSize);
        std::vector<Picture> pictures;
        if (canvas) {
            for (double t : times) {
                pictures.push_back(canvas.draw(t));
            }
        }
        return pictures;
    }
};

} // namespace prismeta::test
