// docs/file-format.md against the reader and the writer: every fenced json
// example loads and is written back as the same JSON (so the examples hold
// exactly what Prismeta writes), and every key the writer can write is named
// in the document.
#include "core/ProjectFile.h"
#include "core/RecordText.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace prismeta {
namespace {

using nlohmann::json;

std::string documentText() {
    std::ifstream in(PRISMETA_SOURCE_DIR "/docs/file-format.md");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Example {
    std::string kind; // "project", "surface", "output" or "cue"
    std::string text;
    int line = 0;
};

// The fenced blocks whose info string starts with "json": the word after it
// names the record, a whole project without one.
std::vector<Example> examples(const std::string& document) {
    std::vector<Example> found;
    std::istringstream lines(document);
    std::string line;
    Example* open = nullptr;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (open != nullptr) {
            if (line.rfind("```", 0) == 0) {
                open = nullptr;
            } else {
                open->text += line + "\n";
            }
        } else if (line.rfind("```json", 0) == 0) {
            std::istringstream info(line.substr(7));
            Example example;
            example.line = number;
            if (!(info >> example.kind)) {
                example.kind = "project";
            }
            found.push_back(std::move(example));
            open = &found.back();
        }
    }
    return found;
}

// The example read as its record and written again.
Result<std::string> rewritten(const Example& example) {
    if (example.kind == "project") {
        Result<ProjectFile> file = readProjectFile(example.text);
        return file ? writeProjectFile(file.value()) : Result<std::string>::failure(file.error());
    }
    if (example.kind == "surface") {
        Result<Surface> surface = readSurfaceText(example.text);
        return surface ? writeSurfaceText(surface.value())
                       : Result<std::string>::failure(surface.error());
    }
    if (example.kind == "output") {
        Result<OutputConfig> output = readOutputText(example.text);
        return output ? writeOutputText(output.value())
                      : Result<std::string>::failure(output.error());
    }
    if (example.kind == "cue") {
        Result<Cue> cue = readCueText(example.text);
        return cue ? writeCueText(cue.value()) : Result<std::string>::failure(cue.error());
    }
    return Result<std::string>::failure("an example of unknown kind \"" + example.kind + "\"");
}

TEST(FileFormatDoc, EveryExampleLoadsAndIsWrittenBackAsItIs) {
    const std::vector<Example> found = examples(documentText());
    ASSERT_GE(found.size(), 10u) << "docs/file-format.md was not found or lost its examples";
    for (const Example& example : found) {
        SCOPED_TRACE("docs/file-format.md:" + std::to_string(example.line));
        const Result<std::string> written = rewritten(example);
        ASSERT_TRUE(written) << written.error();
        EXPECT_EQ(json::parse(written.value()), json::parse(example.text)) << written.value();
    }
}

// A project that sets every key the writer knows.
ProjectFile everyKey() {
    ProjectFile file;
    file.backgroundImagePath = "/reference.jpg";
    file.cluster = ClusterSettings{"10.0.0.1", "front"};
    Surface surface;
    surface.mediaKind = MediaKind::shader;
    surface.mediaPath = "/shader.fs";
    surface.mesh = WarpMesh::from(surface.corners, 1, 1);
    surface.mesh->interpolation = WarpMesh::Interpolation::smooth;
    surface.playback = VideoPlayback::once;
    surface.shaderInputs["speed"] = ShaderInputValue::ofNumber(2.0);
    Mask mask;
    mask.points = {MaskPoint{0, 0, Pt{0, 0}, Pt{1, 0}}, MaskPoint{1, 1, {}, {}},
                   MaskPoint{0, 1, {}, {}}};
    surface.masks.push_back(mask);
    file.surfaces.push_back(surface);
    OutputConfig output;
    output.blendCurve = 2.0f;
    output.blendGamma = 2.0f;
    output.blackLevel = {0.1f, 0.1f, 0.1f};
    output.display = OutputDisplay{"HDMI-1", {0, 0, 1920, 1080}, true};
    output.masks.push_back(mask);
    output.node = "pc-1";
    file.outputs.push_back(output);
    Cue cue;
    cue.follow = CueFollow{CueFollow::Kind::seconds, 5.0};
    cue.schedule = CueSchedule{3600, 0b1};
    CueLook look;
    look.surface = surface.id;
    look.opacity = 0.5;
    look.color = RGBA{1, 0, 0, 1};
    look.mediaKind = MediaKind::video;
    look.mediaPath = "/clip.mov";
    look.shaderInputs = ShaderInputs{};
    look.restart = false;
    cue.looks.push_back(look);
    file.cues.push_back(cue);
    return file;
}

TEST(FileFormatDoc, NamesEveryKeyTheWriterWrites) {
    const Result<std::string> written = writeProjectFile(everyKey());
    ASSERT_TRUE(written) << written.error();
    std::set<std::string> keys;
    const std::function<void(const json&)> collect = [&](const json& value) {
        if (value.is_object()) {
            for (const auto& [key, member] : value.items()) {
                keys.insert(key);
                if (key != "shaderInputs") { // the names of the shader's inputs
                    collect(member);
                }
            }
        } else if (value.is_array()) {
            for (const json& element : value) {
                collect(element);
            }
        }
    };
    collect(json::parse(written.value()));
    const std::string document = documentText();
    for (const std::string& key : keys) {
        EXPECT_TRUE(document.find("`" + key + "`") != std::string::npos ||
                    document.find("\"" + key + "\"") != std::string::npos)
            << "docs/file-format.md does not name the key " << key;
    }
}

} // namespace
} // namespace prismeta
