// Fuzz target: bytes as a project file. The reader calls text "not valid
// JSON" exactly when the JSON library refuses it. Whatever the reader accepts
// must write and read back to the same record, load into the model through a
// real file, survive the editing operations and undo, and draw one headless
// frame in the editor canvas and in an output renderer. Anything the reader
// refuses must leave the model as it was.
#include "FuzzChecks.h"
#include "ScratchFile.h"

#include "core/Log.h"
#include "core/ProjectFile.h"
#include "core/ProjectModel.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace prismeta::fuzz {
namespace {

[[noreturn]] void fault(const char* what) {
    prismeta::fuzz::fault("project", what);
}

// The GL side, made once: compiling the shaders for every input would leave
// little time for the inputs themselves. Renderers outlive each input's model,
// so they are pointed at an empty model between inputs.
struct Gpu {
    std::unique_ptr<HeadlessContext> context;
    std::unique_ptr<OffscreenFramebuffer> target;
    std::unique_ptr<Renderer> editor;
    std::unique_ptr<Renderer> output;
};

ProjectModel& idleModel() {
    static ProjectModel model;
    return model;
}

Gpu* gpu() {
    static Gpu* made = [] {
        auto context = HeadlessContext::create();
        if (!context) {
            std::fprintf(stderr, "project fuzz: no headless GL (%s); frames are not drawn\n",
                         context.error().c_str());
            return static_cast<Gpu*>(nullptr);
        }
        auto* g = new Gpu;
        g->context = std::move(context.value());
        g->target = OffscreenFramebuffer::create(48, 27);
        g->editor = Renderer::create(idleModel(), std::nullopt);
        g->output = Renderer::create(idleModel(), OutputConfig{});
        if (!g->target || !g->editor || !g->output) {
            fault("renderer or framebuffer not made");
        }
        return g;
    }();
    return made;
}

void drawFrames(const ProjectModel& model) {
    Gpu* g = gpu();
    if (g == nullptr) {
        return;
    }
    g->editor->setModel(model);
    g->editor->draw(g->target->target(), 0.0);
    g->output->setModel(model);
    std::size_t shown = 0;
    for (const OutputConfig& output : model.outputs()) {
        g->output->setOutputConfig(output);
        g->output->draw(g->target->target(), 0.5);
        if (++shown == 2) {
            break;
        }
    }
    (void)g->target->readPixels();
    g->editor->setModel(idleModel());
    g->output->setModel(idleModel());
}

// The operations a user reaches from the menus on whatever was loaded.
void editAndUndo(ProjectModel& model) {
    const std::size_t count = model.surfaces().size();
    (void)model.surface({0.5f, 0.5f});
    (void)model.surface({0.25f, 0.75f});
    if (count > 0) {
        model.setSelectedID(model.surfaces()[count - 1].id);
        if (auto binding = model.selectedSurface()) {
            Surface s = binding->get();
            s.opacity = 0.5;
            binding->set(s);
        }
        model.duplicateSelected();
        model.resetCorners();
        model.deleteSelected();
    }
    model.addSurface();
    model.ensureDefaultOutput();
    (void)model.hasUnsavedChanges();
    (void)model.makeFile();
    while (!model.undoStack().empty()) {
        model.undo();
    }
    if (model.surfaces().size() != count) {
        fault("undo did not bring the surface count back");
    }
}

void testOne(const std::uint8_t* data, std::size_t size) {
    static ScratchFile file("project.prismeta.json");
    static std::vector<std::string>* logged = new std::vector<std::string>;
    static ScopedLogSink* sink =
        new ScopedLogSink([](std::string_view line) { logged->emplace_back(line); });
    (void)sink;
    logged->clear();

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Result<ProjectFile> read = readProjectFile(bytes);
    // The reader's own parser and the JSON library must agree on what is JSON.
    const bool json = nlohmann::json::accept(bytes.begin(), bytes.end());
    const bool calledNotJson = !read && read.error().rfind("not valid JSON", 0) == 0;
    if (json == calledNotJson) {
        fault(json ? "JSON text refused as not JSON" : "text that is not JSON read as JSON");
    }
    if (read) {
        // Whatever reads must write, and read back as the same record.
        Result<std::string> written = writeProjectFile(read.value());
        if (!written) {
            fault(("a file that reads does not write: " + written.error()).c_str());
        }
        Result<ProjectFile> again = readProjectFile(written.value());
        if (!again || !(again.value() == read.value())) {
            fault("written file does not read back the same");
        }
    }

    // Through the model, from a file as the open dialog would hand it over.
    ProjectModel model;
    model.addSurface();
    const SurfaceList before = model.surfaces();
    if (!file.write(data, size)) {
        fault("scratch file not written");
    }
    const Status status = model.load(file.path());
    // What the lenient reading of cues drops is noted as it streams past
    // (a bad schedule, a "cues" that is not a list); nothing else may log.
    std::erase_if(*logged, [](const std::string& line) {
        return line.rfind("Prismeta: cue \"", 0) == 0 ||
               line.rfind("Prismeta: \"cues\" is not a list", 0) == 0;
    });
    if (static_cast<bool>(status) != static_cast<bool>(read)) {
        fault("the model and the reader disagree about the file");
    }
    if (!status) {
        if (logged->size() != 1 ||
            logged->front().rfind("Prismeta: failed to load project: ", 0) != 0 ||
            !model.surfaces().sharesStorageWith(before) || model.documentURL().has_value()) {
            fault("a failed load changed the model or did not log the load line");
        }
        return;
    }
    // The only lines of a good load: masks kept but not (fully) drawn.
    const bool onlyMaskLines =
        std::all_of(logged->begin(), logged->end(), [](const std::string& line) {
            return line.rfind("Prismeta: ", 0) == 0 && line.find("mask") != std::string::npos &&
                   line.find(" draw") != std::string::npos;
        });
    if (!onlyMaskLines) {
        fault("a good load logged");
    }
    drawFrames(model);
    editAndUndo(model);
    drawFrames(model);
}

} // namespace
} // namespace prismeta::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // llvmpipe draws these tiny frames fastest on the calling thread.
    ::setenv("LP_NUM_THREADS", "0", 0);
    (void)prismeta::fuzz::gpu();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prismeta::fuzz::testOne(data, size);
    return 0;
}
