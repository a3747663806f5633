#pragma once

#include "core/Cue.h"
#include "core/ModelObserver.h"
#include "core/OutputConfig.h"
#include "core/OutputParts.h"
#include "core/ProjectFile.h"
#include "core/Result.h"
#include "core/ShaderEvents.h"
#include "core/Surface.h"
#include "core/SurfaceList.h"
#include "core/Uuid.h"

#include <cstddef>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace prismeta {

struct CanvasSize {
    double width = 1920.0;
    double height = 1080.0;
    friend bool operator==(const CanvasSize&, const CanvasSize&) = default;
};

class ProjectModel;

// The two-way binding to the selected surface: it captures the id, not the
// index. Reading finds the first surface with the id, or yields a stand-by
// surface (the id with every default) once it is gone; writing replaces that
// surface, or is dropped once it is gone. Writes take no undo snapshot.
class SelectedSurfaceBinding {
public:
    SelectedSurfaceBinding(ProjectModel& model, const Uuid& id) : model_(&model), id_(id) {}

    Surface get() const;
    void set(const Surface& surface) const;
    const Uuid& id() const { return id_; }

private:
    ProjectModel* model_;
    Uuid id_;
};

// The one live document: surfaces (in stacking order), outputs, selection,
// canvas size, the editor's reference image, the snap flag, the outputs in
// blend test, the file it came from and the undo history of the surface list
// (and of the outputs' geometry, see pushOutputUndo).
//
// Main thread only; no locks. Observers are told after every assignment of an
// observable field, once the new value is stored. The surface list is an
// immutable shared list, so snapshots (undo, the renderer's frame) are O(1).
class ProjectModel {
public:
    static constexpr float snapGrid = 0.0625f;
    static constexpr std::size_t maxUndo = 50;
    static constexpr float newSurfaceOffset = 0.03f;

    ProjectModel();
    ProjectModel(const ProjectModel&) = delete;
    ProjectModel& operator=(const ProjectModel&) = delete;

    // ---- observation
    [[nodiscard]] Subscription subscribe(ModelObserver observer);

    // ---- observable fields
    // The surfaces on screen, in stacking order.
    const SurfaceList& surfaces() const { return surfaces_; }
    // An edit of the surfaces. While a show's look is on screen the edit is
    // carried over to the document's own surfaces too (DocumentSurfaces.h).
    void setSurfaces(SurfaceList surfaces);
    void setSurfaces(std::vector<Surface> surfaces);
    // Replaces one element (an assignment of the whole list). Out of range: nothing.
    void replaceSurface(std::size_t index, Surface surface);
    // The surfaces as a running show puts them on screen (a GO, Back, a
    // follow, a schedule): observers see them as any other change, but the
    // document keeps its own, so running a show never changes what Save
    // writes and never makes the project unsaved. They may differ from the
    // document's only in the fields a cue sets, surface for surface.
    void setShowSurfaces(SurfaceList surfaces);
    // The surfaces the document holds: those on screen, but for the looks a
    // running show put there.
    const SurfaceList& documentSurfaces() const { return own_ ? *own_ : surfaces_; }

    const std::optional<Uuid>& selectedID() const { return selectedID_; }
    void setSelectedID(std::optional<Uuid> id);

    CanvasSize canvasSize() const { return canvasSize_; }
    void setCanvasSize(CanvasSize size);

    const std::optional<std::filesystem::path>& documentURL() const { return documentURL_; }
    void setDocumentURL(std::optional<std::filesystem::path> url);

    const std::vector<OutputConfig>& outputs() const { return outputs_; }
    void setOutputs(std::vector<OutputConfig> outputs);
    // Replaces one element (an assignment of the whole list). Out of range: nothing.
    void replaceOutput(std::size_t index, OutputConfig output);

    const std::optional<std::string>& backgroundImagePath() const { return backgroundImagePath_; }
    void setBackgroundImagePath(std::optional<std::string> path);

    double backgroundOpacity() const { return backgroundOpacity_; }
    void setBackgroundOpacity(double opacity);

    bool snapEnabled() const { return snapEnabled_; }
    void setSnapEnabled(bool enabled);

    // The show's cues, in order. An immutable shared list, like the surfaces,
    // so undo snapshots of it are O(1).
    const std::vector<Cue>& cues() const { return *cues_; }
    std::shared_ptr<const std::vector<Cue>> sharedCues() const { return cues_; }
    void setCues(std::vector<Cue> cues);
    void setCues(std::shared_ptr<const std::vector<Cue>> cues);
    // Where the show meets when it runs on several machines (kept with the
    // file; not observable: it changes only with the document).
    const std::optional<ClusterSettings>& cluster() const { return cluster_; }
    void setCluster(std::optional<ClusterSettings> cluster) { cluster_ = std::move(cluster); }
    // The show fixture and media list of a show run from a lighting desk (kept
    // with the file; not observable: it changes only with the document).
    const std::optional<DmxSettings>& dmx() const { return dmx_; }
    void setDmx(std::optional<DmxSettings> dmx) { dmx_ = std::move(dmx); }

    // Outputs that show the blend test field (flat grey and black through
    // their ramps) instead of the canvas: a calibration view, not in the file,
    // cleared by a new project and by loading one.
    bool blendTest(const Uuid& outputID) const;
    void setBlendTest(const Uuid& outputID, bool enabled);
    // Outputs whose window shows their warp's handles to edit it on the
    // projector, and those whose window shows the alignment grid: calibration
    // views like the blend test, kept and cleared with it and told as
    // ModelField::blendTest.
    bool warpEditing(const Uuid& outputID) const;
    void setWarpEditing(const Uuid& outputID, bool enabled);
    bool warpGrid(const Uuid& outputID) const;
    void setWarpGrid(const Uuid& outputID, bool enabled);

    // Triggers of shader surfaces' event inputs, for the renderers to fire
    // (not observable, not in the file, not in undo).
    ShaderEvents& shaderEvents() { return shaderEvents_; }
    const ShaderEvents& shaderEvents() const { return shaderEvents_; }

    // ---- history (not observable: every change comes with a change of
    // surfaces, cues or outputs). A step holds the surfaces (on screen and the
    // document's own) and the cue list, or (pushOutputUndo) parts of some
    // outputs; the stacks below have one entry per step of either kind.
    const std::deque<SurfaceList>& undoStack() const { return undoStack_; }
    const std::deque<SurfaceList>& redoStack() const { return redoStack_; }
    // What the step undo() or redo() would take back, when it was given a name
    // ("Go 'Opening'"); empty otherwise.
    const std::string& undoName() const;
    const std::string& redoName() const;

    // ---- selection and hit testing
    std::optional<std::size_t> selectedIndex() const;
    std::optional<SelectedSurfaceBinding> selectedSurface();
    // The topmost surface whose four corners contain p (even-odd rule).
    std::optional<Uuid> surface(Pt p) const;

    // ---- outputs
    Uuid ensureDefaultOutput();
    void addOutput(OutputPreset preset);

    // Outputs' geometry is undone in steps of its own (a warp drag, a gesture
    // on an output mask, a calibration), unlike the outputs' other fields.
    // pushOutputUndo takes a step that holds the named parts of the listed
    // outputs as they are now; its undo and redo put back those parts of
    // those outputs (found by id, when still there) and touch neither the
    // surfaces, the cues nor any other field. Ids of no output are left out;
    // no step is taken when none is left.
    void pushOutputUndo(std::span<const Uuid> outputs, OutputParts parts, std::string name = {});
    // For each entry of edited, the named parts of the output with its id
    // take the entry's values, all in one undo step (entries of unknown ids
    // are ignored). No step and no change when nothing differs; returns
    // whether anything changed.
    bool editOutputs(std::span<const OutputConfig> edited, OutputParts parts,
                     std::string name = {});
    // One part of one output, as one undo step (through editOutputs), named
    // as given ("Reset Warp") or else for the part ("Change Warp").
    bool setOutputWarp(const Uuid& output, std::optional<OutputWarp> warp, std::string name = {});
    bool setOutputBlendMap(const Uuid& output, std::optional<std::string> path,
                           std::string name = {});
    bool setOutputCrop(const Uuid& output, float x, float y, float width, float height,
                       std::string name = {});

    // ---- editing and undo
    void pushUndo();
    // The same, naming the step for the interface's Undo and Redo items.
    void pushUndo(std::string name);
    void undo();
    void redo();
    void addSurface();
    void duplicateSelected();
    void deleteSelected();
    void resetCorners();

    // ---- documents
    void newProject();
    // What the file would hold: the document's own surfaces, not a show's look.
    ProjectFile makeFile() const;
    // Write and read the project file. A failure logs "Prismeta: failed to save
    // project: " (or load) with the description, changes nothing in the model
    // and hands the description back. Running out of memory is such a failure
    // ("out of memory while loading the project"), never the end of the
    // process: all that needs memory is made before the model changes.
    Status save(const std::filesystem::path& url);
    Status load(const std::filesystem::path& url);

    // Whether anything the file would hold differs from the file it was last
    // loaded from or saved to; a project never saved (or just made by
    // newProject) is compared with the empty project it started as.
    bool hasUnsavedChanges() const;

private:
    void notify(ModelField field);
    void assignSurfaces(SurfaceList surfaces);
    void clearBlendTests();

    std::shared_ptr<ObserverRegistry> observers_;

    SurfaceList surfaces_;
    // The document's own surfaces while a show's look differs from them.
    std::optional<SurfaceList> own_;
    std::optional<Uuid> selectedID_;
    CanvasSize canvasSize_;
    std::optional<std::filesystem::path> documentURL_;
    std::vector<OutputConfig> outputs_;
    std::optional<std::string> backgroundImagePath_;
    double backgroundOpacity_ = 0.5;
    bool snapEnabled_ = false;
    std::vector<Uuid> blendTestOutputs_;
    std::vector<Uuid> warpEditingOutputs_;
    std::vector<Uuid> warpGridOutputs_;
    std::optional<ClusterSettings> cluster_;
    std::optional<DmxSettings> dmx_;
    ShaderEvents shaderEvents_;

    std::shared_ptr<const std::vector<Cue>> cues_;

    // Parts of one output as an undo step holds them.
    struct OutputSnapshot {
        Uuid id;
        OutputParts parts;
        OutputConfig values;
    };
    // What every undo step holds besides the surfaces, in step with the
    // stacks. A step of outputs leaves the surfaces and cues alone.
    struct StepExtras {
        std::shared_ptr<const std::vector<Cue>> cues;
        std::string name;
        std::optional<SurfaceList> own;
        std::vector<OutputSnapshot> outputs;
        bool ofOutputs = false;
    };
    // The snapshots' outputs as they are now (same ids and parts).
    std::vector<OutputSnapshot> currentOutputs(const std::vector<OutputSnapshot>& like) const;
    void restoreOutputs(const std::vector<OutputSnapshot>& snapshots);
    // Moves one step from one pair of stacks to the other.
    void stepBetween(std::deque<SurfaceList>& from, std::deque<StepExtras>& fromExtras,
                     std::deque<SurfaceList>& to, std::deque<StepExtras>& toExtras);
    std::deque<SurfaceList> undoStack_;
    std::deque<SurfaceList> redoStack_;
    std::deque<StepExtras> undoExtras_;
    std::deque<StepExtras> redoExtras_;

    // What the file last loaded or saved held (or the empty project a new
    // one started as), to answer hasUnsavedChanges.
    ProjectFile savedFile_;
};

} // namespace prismeta
