// The whole public ISF collection (`make isf-conformance`, never part of
// `make test`): every shader of the folder read, translated, compiled and
// drawn headless at TIME 1 and 2.5, as `prismeta-cli render --time` draws a
// shader surface: image inputs fed a still of four colours, audio inputs
// silence, every other input at its default. A shader passes when both
// frames give a picture and nothing was logged. One line per shader (ok or
// FAIL with the log line, and what it took: see Outcome), then the pictures
// that were one flat colour in both frames (worth a look: a filter of a
// four-colour still rarely is), the share that passed and the time per
// shader. Exits 1 when any failed.
//
// prismeta_isf_conformance [FOLDER] [--size WxH]   (default 640x360)
#include "core/FileIO.h"
#include "core/Log.h"
#include "core/Surface.h"
#include "isf/IsfShader.h"
#include "isf/IsfShaderFile.h"
#include "media/FFmpegLog.h"
#include "render/FFmpegMediaBackend.h"
#include "render/HeadlessContext.h"
#include "render/IsfPicture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// 64 x 48 pixels: red, green on the top row, blue, white below.
void writeStill(const fs::path& path) {
    constexpr int width = 64;
    constexpr int height = 48;
    std::string pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            const bool red = bottom == right; // red and white
            const bool green = right;         // green and white
            const unsigned char rgb[3] = {static_cast<unsigned char>(red ? 255 : 0),
                                          static_cast<unsigned char>(green ? 255 : 0),
                                          static_cast<unsigned char>(bottom ? 255 : 0)};
            pixels.append(reinterpret_cast<const char*>(rgb), 3);
        }
    }
    std::ofstream(path, std::ios::binary) << "P6\n"
                                          << width << ' ' << height << "\n255\n"
                                          << pixels;
}

// The texture's pixels, or none for no picture.
std::vector<unsigned char> pixelsOf(unsigned texture, int width, int height) {
    std::vector<unsigned char> pixels;
    if (texture == 0) {
        return pixels;
    }
    pixels.resize(static_cast<std::size_t>(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

bool flat(const std::vector<unsigned char>& pixels) {
    for (std::size_t i = 4; i < pixels.size(); i += 4) {
        if (std::memcmp(&pixels[i], pixels.data(), 4) != 0) {
            return false;
        }
    }
    return true;
}

// Milliseconds: reading and translating the file (also done on its own
// beforehand, to show that share), from reading to the first picture read
// back (the driver's compile included), and the second frame alone.
struct Outcome {
    std::string name;
    std::string failure; // empty when it passed
    double translate = 0.0;
    double firstPicture = 0.0;
    double nextFrame = 0.0;
    bool flat = false;
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Outcome drawShader(const fs::path& file, const std::string& still, int width, int height) {
    Outcome outcome;
    outcome.name = file.stem().string();
    std::vector<std::string> log;
    ScopedLogSink sink([&log](std::string_view line) { log.emplace_back(line); });
    const Clock::time_point read = Clock::now();
    (void)loadIsfShaderFile(file.string());
    outcome.translate = millisecondsSince(read);
    const Clock::time_point start = Clock::now();

    Surface surface{Uuid::random()};
    surface.mediaKind = MediaKind::shader;
    surface.mediaPath = file.string();
    if (const auto text = readRegularFile(file.string(), maxIsfSourceBytes)) {
        if (const auto shader = parseIsfShader(text.value())) {
            for (const IsfInput& input : shader->inputs) {
                if (input.type == IsfInputType::image) {
                    surface.shaderInputs[input.name] = ShaderInputValue::ofText(still);
                }
            }
        }
    }
    std::vector<unsigned char> frames[2];
    {
        IsfPicture picture(file.string(), mediaBackendAt(0.0));
        frames[0] = pixelsOf(picture.render(surface, width, height, 1.0, 1.0), width, height);
        glFinish();
        outcome.firstPicture = millisecondsSince(start);
        const Clock::time_point next = Clock::now();
        frames[1] = pixelsOf(picture.render(surface, width, height, 2.5, 2.5), width, height);
        glFinish();
        outcome.nextFrame = millisecondsSince(next);
    }
    if (!log.empty()) {
        outcome.failure = log.front();
    } else if (frames[0].empty() || frames[1].empty()) {
        outcome.failure = "no picture";
    }
    outcome.flat = outcome.failure.empty() && flat(frames[0]) && flat(frames[1]) &&
                   std::memcmp(frames[0].data(), frames[1].data(), 4) == 0;
    return outcome;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

int run(int argc, char** argv) {
    std::string folder = PRISMETA_ISF_FILES;
    int width = 640;
    int height = 360;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc &&
            std::sscanf(argv[++i], "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
            continue;
        }
        if (arg.front() != '-') {
            folder = arg;
            continue;
        }
        std::fprintf(stderr, "usage: prismeta_isf_conformance [FOLDER] [--size WxH]\n");
        return 2;
    }
    silenceFFmpegLogging();
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".fs") {
            files.push_back(entry.path());
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "prismeta_isf_conformance: no .fs files in '%s'\n", folder.c_str());
        return 1;
    }
    std::sort(files.begin(), files.end());

    auto context = HeadlessContext::create();
    if (!context) {
        std::fprintf(stderr, "prismeta_isf_conformance: %s\n", context.error().c_str());
        return 1;
    }
    const fs::path scratch =
        fs::temp_directory_path() / ("prismeta-isf-conformance-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string still = (scratch / "still.ppm").string();
    writeStill(still);
    std::printf("%s, %s; %zu shaders from %s at %dx%d\n", context.value()->rendererName().c_str(),
                context.value()->platformName().c_str(), files.size(), folder.c_str(), width,
                height);

    std::printf("      translate  first picture  next frame (ms)\n");
    std::vector<Outcome> outcomes;
    for (const fs::path& file : files) {
        Outcome outcome = drawShader(file, still, width, height);
        std::printf("%-4s %9.2f %14.1f %11.1f  %s%s%s\n", outcome.failure.empty() ? "ok" : "FAIL",
                    outcome.translate, outcome.firstPicture, outcome.nextFrame,
                    outcome.name.c_str(), outcome.failure.empty() ? "" : ": ",
                    outcome.failure.c_str());
        std::fflush(stdout);
        outcomes.push_back(std::move(outcome));
    }
    fs::remove_all(scratch, error);

    std::size_t passed = 0;
    std::string flats;
    for (const Outcome& outcome : outcomes) {
        passed += outcome.failure.empty();
        if (outcome.flat) {
            flats += (flats.empty() ? "" : ", ") + outcome.name;
        }
    }
    std::printf("\nflat in both frames: %s\n", flats.empty() ? "none" : flats.c_str());
    std::printf("%zu of %zu shaders show a picture (%.1f %%)\n", passed, outcomes.size(),
                100.0 * static_cast<double>(passed) / static_cast<double>(outcomes.size()));
    const auto summary = [&outcomes](const char* what, double Outcome::*field) {
        std::vector<double> times;
        double total = 0.0;
        const Outcome* slowest = &outcomes.front();
        for (const Outcome& outcome : outcomes) {
            times.push_back(outcome.*field);
            total += outcome.*field;
            slowest = outcome.*field > slowest->*field ? &outcome : slowest;
        }
        std::printf("%s per shader: mean %.2f ms, median %.2f ms, slowest %.1f ms (%s)\n", what,
                    total / static_cast<double>(times.size()), median(times), slowest->*field,
                    slowest->name.c_str());
    };
    summary("translate", &Outcome::translate);
    summary("first picture", &Outcome::firstPicture);
    summary("next frame", &Outcome::nextFrame);
    return passed == outcomes.size() ? 0 : 1;
}

} // namespace
} // namespace prismeta

int main(int argc, char** argv) {
    return prismeta::run(argc, argv);
}
