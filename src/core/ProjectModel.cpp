#include "core/ProjectModel.h"

#include "core/DocumentSurfaces.h"
#include "core/FileIO.h"
#include "core/Log.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <utility>

namespace prismeta {

// ------------------------------------------------------------ binding

Surface SelectedSurfaceBinding::get() const {
    for (const Surface& s : model_->surfaces()) {
        if (s.id == id_) {
            return s;
        }
    }
    return Surface(id_);
}

void SelectedSurfaceBinding::set(const Surface& surface) const {
    const SurfaceList& list = model_->surfaces();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].id == id_) {
            model_->replaceSurface(i, surface);
            return;
        }
    }
}

// ------------------------------------------------------------ fields

ProjectModel::ProjectModel()
    : observers_(std::make_shared<ObserverRegistry>()),
      cues_(std::make_shared<const std::vector<Cue>>()), savedFile_(makeFile()) {}

Subscription ProjectModel::subscribe(ModelObserver observer) {
    const std::uint64_t token = observers_->add(std::move(observer));
    return Subscription(observers_, token);
}

void ProjectModel::notify(ModelField field) {
    observers_->notify(field);
}

void ProjectModel::assignSurfaces(SurfaceList surfaces) {
    surfaces_ = std::move(surfaces);
    notify(ModelField::surfaces);
}

void ProjectModel::setSurfaces(SurfaceList surfaces) {
    if (own_) {
        SurfaceList own = carryEdit(*own_, surfaces_, surfaces);
        // Once the look on screen is the document's again, edits need no carrying.
        if (own == surfaces) {
            own_.reset();
        } else {
            own_ = std::move(own);
        }
    }
    assignSurfaces(std::move(surfaces));
}

void ProjectModel::setShowSurfaces(SurfaceList surfaces) {
    if (!own_) {
        own_ = surfaces_;
    }
    assignSurfaces(std::move(surfaces));
}

void ProjectModel::setSurfaces(std::vector<Surface> surfaces) {
    setSurfaces(SurfaceList(std::move(surfaces)));
}

void ProjectModel::replaceSurface(std::size_t index, Surface surface) {
    if (index >= surfaces_.size()) {
        return;
    }
    setSurfaces(surfaces_.replacing(index, std::move(surface)));
}

void ProjectModel::setSelectedID(std::optional<Uuid> id) {
    selectedID_ = id;
    notify(ModelField::selectedID);
}

void ProjectModel::setCanvasSize(CanvasSize size) {
    canvasSize_ = size;
    notify(ModelField::canvasSize);
}

void ProjectModel::setDocumentURL(std::optional<std::filesystem::path> url) {
    documentURL_ = std::move(url);
    notify(ModelField::documentURL);
}

void ProjectModel::setOutputs(std::vector<OutputConfig> outputs) {
    outputs_ = std::move(outputs);
    notify(ModelField::outputs);
}

void ProjectModel::replaceOutput(std::size_t index, OutputConfig output) {
    if (index >= outputs_.size()) {
        return;
    }
    std::vector<OutputConfig> outputs = outputs_;
    outputs[index] = std::move(output);
    setOutputs(std::move(outputs));
}

void ProjectModel::setBackgroundImagePath(std::optional<std::string> path) {
    backgroundImagePath_ = std::move(path);
    notify(ModelField::backgroundImagePath);
}

void ProjectModel::setBackgroundOpacity(double opacity) {
    backgroundOpacity_ = opacity;
    notify(ModelField::backgroundOpacity);
}

void ProjectModel::setSnapEnabled(bool enabled) {
    snapEnabled_ = enabled;
    notify(ModelField::snapEnabled);
}

void ProjectModel::setCues(std::vector<Cue> cues) {
    setCues(std::make_shared<const std::vector<Cue>>(std::move(cues)));
}

void ProjectModel::setCues(std::shared_ptr<const std::vector<Cue>> cues) {
    cues_ = cues ? std::move(cues) : std::make_shared<const std::vector<Cue>>();
    notify(ModelField::cues);
}

namespace {

bool holds(const std::vector<Uuid>& ids, const Uuid& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Adds or removes the id; whether that changed the list.
bool assign(std::vector<Uuid>& ids, const Uuid& id, bool member) {
    if (member == holds(ids, id)) {
        return false;
    }
    if (member) {
        ids.push_back(id);
    } else {
        std::erase(ids, id);
    }
    return true;
}

} // namespace

bool ProjectModel::blendTest(const Uuid& outputID) const {
    return holds(blendTestOutputs_, outputID);
}

void ProjectModel::setBlendTest(const Uuid& outputID, bool enabled) {
    if (assign(blendTestOutputs_, outputID, enabled)) {
        notify(ModelField::blendTest);
    }
}

bool ProjectModel::warpEditing(const Uuid& outputID) const {
    return holds(warpEditingOutputs_, outputID);
}

void ProjectModel::setWarpEditing(const Uuid& outputID, bool enabled) {
    if (assign(warpEditingOutputs_, outputID, enabled)) {
        notify(ModelField::blendTest);
    }
}

bool ProjectModel::warpGrid(const Uuid& outputID) const {
    return holds(warpGridOutputs_, outputID);
}

void ProjectModel::setWarpGrid(const Uuid& outputID, bool enabled) {
    if (assign(warpGridOutputs_, outputID, enabled)) {
        notify(ModelField::blendTest);
    }
}

void ProjectModel::clearBlendTests() {
    if (!blendTestOutputs_.empty() || !warpEditingOutputs_.empty() || !warpGridOutputs_.empty()) {
        blendTestOutputs_.clear();
        warpEditingOutputs_.clear();
        warpGridOutputs_.clear();
        notify(ModelField::blendTest);
    }
}

// ------------------------------------------------------------ selection

std::optional<std::size_t> ProjectModel::selectedIndex() const {
    if (!selectedID_) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < surfaces_.size(); ++i) {
        if (surfaces_[i].id == *selectedID_) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<SelectedSurfaceBinding> ProjectModel::selectedSurface() {
    if (!selectedIndex()) {
        return std::nullopt;
    }
    return SelectedSurfaceBinding(*this, *selectedID_);
}

std::optional<Uuid> ProjectModel::surface(Pt p) const {
    const float px = p.x;
    const float py = p.y;
    for (std::size_t n = surfaces_.size(); n-- > 0;) {
        const Surface& s = surfaces_[n];
        if (s.corners.size() != 4) {
            continue;
        }
        bool inside = false;
        for (std::size_t i = 0, j = 3; i < 4; j = i++) {
            const float xi = s.corners[i].x;
            const float yi = s.corners[i].y;
            const float xj = s.corners[j].x;
            const float yj = s.corners[j].y;
            if ((py < yi) != (py < yj) && px < xi + (py - yi) / (yj - yi) * (xj - xi)) {
                inside = !inside;
            }
        }
        if (inside) {
            return s.id;
        }
    }
    return std::nullopt;
}

// ------------------------------------------------------------ outputs

Uuid ProjectModel::ensureDefaultOutput() {
    if (!outputs_.empty()) {
        return outputs_.front().id;
    }
    OutputConfig output;
    output.name = "Main";
    const Uuid id = output.id;
    std::vector<OutputConfig> outputs = outputs_;
    outputs.push_back(std::move(output));
    setOutputs(std::move(outputs));
    return id;
}

void ProjectModel::addOutput(OutputPreset preset) {
    std::vector<OutputConfig> outputs = outputs_;
    outputs.push_back(makeOutput(preset));
    setOutputs(std::move(outputs));
}

// ------------------------------------------------------------ editing

void ProjectModel::pushUndo() {
    pushUndo(std::string());
}

void ProjectModel::pushUndo(std::string name) {
    undoStack_.push_back(surfaces_);
    undoExtras_.push_back({cues_, std::move(name), own_, {}, false});
    if (undoStack_.size() > maxUndo) {
        undoStack_.pop_front();
        undoExtras_.pop_front();
    }
    redoStack_.clear();
    redoExtras_.clear();
}

const std::string& ProjectModel::undoName() const {
    static const std::string none;
    return undoExtras_.empty() ? none : undoExtras_.back().name;
}

const std::string& ProjectModel::redoName() const {
    static const std::string none;
    return redoExtras_.empty() ? none : redoExtras_.back().name;
}

// The stacks of extras follow the surface stacks step for step; a step the
// caller pushed straight onto the surface stack alone (none do) would simply
// carry the cues as they are.
void ProjectModel::undo() {
    stepBetween(undoStack_, undoExtras_, redoStack_, redoExtras_);
}

void ProjectModel::redo() {
    stepBetween(redoStack_, redoExtras_, undoStack_, undoExtras_);
}

void ProjectModel::stepBetween(std::deque<SurfaceList>& from, std::deque<StepExtras>& fromExtras,
                               std::deque<SurfaceList>& to, std::deque<StepExtras>& toExtras) {
    if (from.empty()) {
        return;
    }
    SurfaceList snapshot = std::move(from.back());
    from.pop_back();
    StepExtras extras{cues_, {}, own_, {}, false};
    if (!fromExtras.empty()) {
        extras = std::move(fromExtras.back());
        fromExtras.pop_back();
    }
    // The way back holds what this step changes, as it is now.
    to.push_back(surfaces_);
    if (extras.ofOutputs) {
        toExtras.push_back({cues_, extras.name, own_, currentOutputs(extras.outputs), true});
        restoreOutputs(extras.outputs);
        return;
    }
    toExtras.push_back({cues_, extras.name, std::move(own_), {}, false});
    own_ = std::move(extras.own);
    assignSurfaces(std::move(snapshot));
    if (extras.cues != cues_) {
        setCues(std::move(extras.cues));
    }
}

void ProjectModel::pushOutputUndo(std::span<const Uuid> outputs, OutputParts parts,
                                  std::string name) {
    StepExtras extras{cues_, std::move(name), own_, {}, true};
    for (const Uuid& id : outputs) {
        const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                        [&id](const OutputConfig& o) { return o.id == id; });
        if (found != outputs_.end()) {
            extras.outputs.push_back({id, parts, *found});
        }
    }
    if (extras.outputs.empty() || parts.empty()) {
        return;
    }
    undoStack_.push_back(surfaces_);
    undoExtras_.push_back(std::move(extras));
    if (undoStack_.size() > maxUndo) {
        undoStack_.pop_front();
        undoExtras_.pop_front();
    }
    redoStack_.clear();
    redoExtras_.clear();
}

std::vector<ProjectModel::OutputSnapshot>
ProjectModel::currentOutputs(const std::vector<OutputSnapshot>& like) const {
    std::vector<OutputSnapshot> now;
    now.reserve(like.size());
    for (const OutputSnapshot& snapshot : like) {
        OutputSnapshot current{snapshot.id, snapshot.parts, snapshot.values};
        for (const OutputConfig& output : outputs_) {
            if (output.id == snapshot.id) {
                current.values = output;
                break;
            }
        }
        now.push_back(std::move(current));
    }
    return now;
}

void ProjectModel::restoreOutputs(const std::vector<OutputSnapshot>& snapshots) {
    std::vector<OutputConfig> outputs = outputs_;
    for (const OutputSnapshot& snapshot : snapshots) {
        for (OutputConfig& output : outputs) {
            if (output.id == snapshot.id) {
                copyOutputParts(snapshot.values, output, snapshot.parts);
                break;
            }
        }
    }
    if (outputs != outputs_) {
        setOutputs(std::move(outputs));
    }
}

bool ProjectModel::editOutputs(std::span<const OutputConfig> edited, OutputParts parts,
                               std::string name) {
    std::vector<OutputConfig> outputs = outputs_;
    std::vector<Uuid> changed;
    for (const OutputConfig& entry : edited) {
        for (OutputConfig& output : outputs) {
            if (output.id != entry.id) {
                continue;
            }
            const OutputConfig before = output;
            copyOutputParts(entry, output, parts);
            if (output != before &&
                std::find(changed.begin(), changed.end(), output.id) == changed.end()) {
                changed.push_back(output.id);
            }
            break;
        }
    }
    if (changed.empty()) {
        return false;
    }
    pushOutputUndo(changed, parts, std::move(name));
    setOutputs(std::move(outputs));
    return true;
}

namespace {

// The output with the id, with one part set by `change`.
template <typename Change>
bool editOneOutput(ProjectModel& model, const Uuid& id, OutputPart part, std::string name,
                   Change change) {
    for (const OutputConfig& output : model.outputs()) {
        if (output.id == id) {
            OutputConfig edited = output;
            change(edited);
            return model.editOutputs({&edited, 1}, part, std::move(name));
        }
    }
    return false;
}

} // namespace

bool ProjectModel::setOutputWarp(const Uuid& output, std::optional<OutputWarp> warp,
                                 std::string name) {
    return editOneOutput(*this, output, OutputPart::warp,
                         name.empty() ? std::string("Change Warp") : std::move(name),
                         [&warp](OutputConfig& o) { o.warp = std::move(warp); });
}

bool ProjectModel::setOutputBlendMap(const Uuid& output, std::optional<std::string> path,
                                     std::string name) {
    return editOneOutput(*this, output, OutputPart::blendMap,
                         name.empty() ? std::string("Change Blend Map") : std::move(name),
                         [&path](OutputConfig& o) { o.blendMap = std::move(path); });
}

bool ProjectModel::setOutputCrop(const Uuid& output, float x, float y, float width, float height,
                                 std::string name) {
    return editOneOutput(*this, output, OutputPart::crop,
                         name.empty() ? std::string("Change Crop") : std::move(name),
                         [&](OutputConfig& o) {
                             o.cropX = x;
                             o.cropY = y;
                             o.cropWidth = width;
                             o.cropHeight = height;
                         });
}

void ProjectModel::addSurface() {
    pushUndo("Add Surface");
    const std::size_t n = surfaces_.size();
    const float d = static_cast<float>(n % 6) * newSurfaceOffset;
    Surface surface;
    surface.name = "Surface " + std::to_string(n + 1);
    for (Pt& corner : surface.corners) {
        corner.x += d;
        corner.y += d;
    }
    const Uuid id = surface.id;
    std::vector<Surface> surfaces = surfaces_.copy();
    surfaces.push_back(std::move(surface));
    setSurfaces(std::move(surfaces));
    setSelectedID(id);
}

void ProjectModel::duplicateSelected() {
    const auto index = selectedIndex();
    if (!index) {
        return;
    }
    pushUndo("Duplicate Surface");
    Surface copy = surfaces_[*index];
    copy.id = Uuid::random();
    copy.name += " copy";
    for (Pt& corner : copy.corners) {
        corner.x += newSurfaceOffset;
        corner.y += newSurfaceOffset;
    }
    if (copy.mesh) {
        for (Pt& point : copy.mesh->points) {
            point.x += newSurfaceOffset;
            point.y += newSurfaceOffset;
        }
    }
    const Uuid id = copy.id;
    std::vector<Surface> surfaces = surfaces_.copy();
    surfaces.insert(surfaces.begin() + static_cast<std::ptrdiff_t>(*index + 1), std::move(copy));
    setSurfaces(std::move(surfaces));
    setSelectedID(id);
}

void ProjectModel::deleteSelected() {
    const auto index = selectedIndex();
    if (!index) {
        return;
    }
    pushUndo("Delete Surface");
    std::vector<Surface> surfaces = surfaces_.copy();
    surfaces.erase(surfaces.begin() + static_cast<std::ptrdiff_t>(*index));
    std::optional<Uuid> next;
    if (!surfaces.empty()) {
        next = surfaces.front().id;
    }
    setSurfaces(std::move(surfaces));
    setSelectedID(next);
}

void ProjectModel::resetCorners() {
    const auto index = selectedIndex();
    if (!index) {
        return;
    }
    pushUndo("Reset Corners");
    Surface surface = surfaces_[*index];
    surface.corners.assign(defaultCorners.begin(), defaultCorners.end());
    if (surface.mesh) {
        // A mesh whose counts cannot be rebuilt (a hostile file) stays as it is.
        if (auto rebuilt =
                WarpMesh::from(surface.corners, surface.mesh->cols, surface.mesh->rows)) {
            rebuilt->interpolation = surface.mesh->interpolation;
            surface.mesh = std::move(*rebuilt);
        }
    }
    replaceSurface(*index, std::move(surface));
}

// ------------------------------------------------------------ documents

void ProjectModel::newProject() {
    undoStack_.clear();
    redoStack_.clear();
    undoExtras_.clear();
    redoExtras_.clear();
    // The empty project is what the file would hold, canvas size and opacity
    // as they are kept; any change from it is worth asking about.
    ProjectFile empty;
    empty.canvasWidth = canvasSize_.width;
    empty.canvasHeight = canvasSize_.height;
    empty.backgroundOpacity = backgroundOpacity_;
    savedFile_ = std::move(empty);
    own_.reset();
    // Before the surfaces are announced: observers of them read it.
    dmx_.reset();
    setSurfaces(SurfaceList());
    setOutputs({});
    if (!cues_->empty()) {
        setCues(std::vector<Cue>());
    }
    setSelectedID(std::nullopt);
    setDocumentURL(std::nullopt);
    setBackgroundImagePath(std::nullopt);
    cluster_.reset();
    clearBlendTests();
}

ProjectFile ProjectModel::makeFile() const {
    ProjectFile file;
    file.canvasWidth = canvasSize_.width;
    file.canvasHeight = canvasSize_.height;
    file.surfaces = documentSurfaces().vector();
    file.outputs = outputs_;
    file.backgroundImagePath = backgroundImagePath_;
    file.backgroundOpacity = backgroundOpacity_;
    file.cues = *cues_;
    file.cluster = cluster_;
    file.dmx = dmx_;
    return file;
}

namespace {

// The failure of a save or load: logged with its line and handed back. Out of
// memory, the description may not fit either; the failure is still returned.
Status failed(std::string_view line, std::string_view description) noexcept {
    Status status;
    status.ok = false;
    try {
        status.error = std::string(description);
        std::string text(line);
        text += description;
        logLine(text);
    } catch (const std::bad_alloc&) {
    }
    return status;
}

constexpr std::string_view saveFailure = "Prismeta: failed to save project: ";
constexpr std::string_view loadFailure = "Prismeta: failed to load project: ";

} // namespace

// Saving and loading first make everything that needs memory, and only then
// change the model, so that running out of memory fails the operation with
// its log line and leaves the project as it was.

Status ProjectModel::save(const std::filesystem::path& url) {
    try {
        ProjectFile file = makeFile();
        std::optional<std::filesystem::path> location = url;
        const Result<std::string> bytes = writeProjectFile(file);
        if (!bytes) {
            return failed(saveFailure, bytes.error());
        }
        const Status written = writeFileAtomically(url, bytes.value());
        if (!written) {
            return failed(saveFailure, written.error);
        }
        savedFile_ = std::move(file);
        setDocumentURL(std::move(location));
        return Status::success();
    } catch (const std::bad_alloc&) {
        return failed(saveFailure, "out of memory while saving the project");
    }
}

Status ProjectModel::load(const std::filesystem::path& url) {
    try {
        Result<std::string> bytes = readRegularFile(url);
        if (!bytes) {
            return failed(loadFailure, bytes.error());
        }
        Result<ProjectFile> file = readProjectFile(bytes.value());
        if (!file) {
            return failed(loadFailure, file.error());
        }
        // The text is not needed any more; free it before the copies below.
        std::string().swap(bytes.value());

        ProjectFile& loaded = file.value();
        ProjectFile saved = loaded;
        std::optional<std::filesystem::path> location = url;
        std::optional<Uuid> first;
        if (!loaded.surfaces.empty()) {
            first = loaded.surfaces.front().id;
        }
        SurfaceList surfaces(std::move(loaded.surfaces));
        auto cues = std::make_shared<const std::vector<Cue>>(std::move(loaded.cues));

        savedFile_ = std::move(saved);
        setCanvasSize({loaded.canvasWidth, loaded.canvasHeight});
        // The stacks are emptied before the surfaces are announced, so observers
        // never see the new list beside the old history.
        undoStack_.clear();
        redoStack_.clear();
        undoExtras_.clear();
        redoExtras_.clear();
        own_.reset();
        dmx_ = std::move(loaded.dmx); // before the surfaces, whose observers read it
        setSurfaces(std::move(surfaces));
        if (!cues->empty() || !cues_->empty()) {
            setCues(std::move(cues));
        }
        setOutputs(std::move(loaded.outputs));
        setBackgroundImagePath(std::move(loaded.backgroundImagePath));
        setBackgroundOpacity(loaded.backgroundOpacity);
        cluster_ = std::move(loaded.cluster);
        setSelectedID(first);
        setDocumentURL(std::move(location));
        clearBlendTests();
        return Status::success();
    } catch (const std::bad_alloc&) {
        return failed(loadFailure, "out of memory while loading the project");
    }
}

bool ProjectModel::hasUnsavedChanges() const {
    const ProjectFile& saved = savedFile_;
    return saved.canvasWidth != canvasSize_.width || saved.canvasHeight != canvasSize_.height ||
           saved.surfaces != documentSurfaces().vector() || saved.outputs != outputs_ ||
           saved.backgroundImagePath != backgroundImagePath_ ||
           saved.backgroundOpacity != backgroundOpacity_ || saved.cues != *cues_ ||
           saved.cluster != cluster_ || saved.dmx != dmx_;
}

} // namespace prismeta
