#include "control/ModelFeed.h"

#include "control/OscAddresses.h"
#include "control/OscFields.h"
#include "control/OscMaskFields.h"
#include "control/OscWarpFields.h"
#include "core/ProjectModel.h"

#include <algorithm>
#include <span>
#include <type_traits>
#include <unordered_map>

namespace prismeta {

namespace {

void addUnit(std::vector<FeedUnit>& units, std::string address, OscArguments arguments) {
    FeedUnit unit;
    unit.key = address;
    unit.messages.push_back({{}, std::move(address), std::move(arguments)});
    units.push_back(std::move(unit));
}

template <typename Record, typename Records>
void collectRecords(std::string_view kind, std::span<const OscField<Record>> fields,
                    const Records& before, const Records& after, std::vector<FeedUnit>& units) {
    std::unordered_map<Uuid, const Record*> earlier;
    earlier.reserve(before.size());
    for (const Record& record : before) {
        earlier.try_emplace(record.id, &record); // the first of an id, as edits find it
    }
    for (const Record& record : after) {
        const auto found = earlier.find(record.id);
        if (found != earlier.end() && *found->second == record) {
            continue;
        }
        for (const OscField<Record>& field : fields) {
            OscArguments now = field.read(record);
            if (found != earlier.end() && field.read(*found->second) == now) {
                continue;
            }
            if (!now.empty()) {
                addUnit(units, recordAddress(kind, record.id.text(), field.path), std::move(now));
            }
        }
        static const std::vector<Mask> none;
        const std::vector<Mask>& masksBefore = found != earlier.end() ? found->second->masks : none;
        if (masksBefore != record.masks) {
            forEachChangedMaskField(
                masksBefore, record.masks, [&](const MaskField& field, OscArguments value) {
                    addUnit(units, recordAddress(kind, record.id.text(), field.path()),
                            std::move(value));
                });
        }
        if constexpr (std::is_same_v<Record, OutputConfig>) {
            const OutputConfig* was = found != earlier.end() ? found->second : nullptr;
            if (was == nullptr || was->warp != record.warp) {
                forEachChangedWarpPoint(was, record, [&](std::size_t k, OscArguments value) {
                    addUnit(
                        units,
                        recordAddress(kind, record.id.text(), "warp/point/" + std::to_string(k)),
                        std::move(value));
                });
            }
        }
    }
}

// The shader inputs whose values changed, in the inputs' declared types.
void collectShaderInputs(const SurfaceList& before, const SurfaceList& after,
                         ShaderHeaders& headers, std::vector<FeedUnit>& units) {
    const auto hasInputs = [](const Surface& s) {
        return s.mediaKind == MediaKind::shader && s.mediaPath;
    };
    if (std::none_of(after.begin(), after.end(), hasInputs)) {
        return;
    }
    std::unordered_map<Uuid, const Surface*> earlier;
    earlier.reserve(before.size());
    for (const Surface& surface : before) {
        earlier.try_emplace(surface.id, &surface);
    }
    for (const Surface& surface : after) {
        if (!hasInputs(surface)) {
            continue;
        }
        const auto found = earlier.find(surface.id);
        const Surface* was = found != earlier.end() ? found->second : nullptr;
        const bool sameShader =
            was != nullptr && hasInputs(*was) && was->mediaPath == surface.mediaPath;
        if (sameShader && was->shaderInputs == surface.shaderInputs) {
            continue;
        }
        std::string why;
        const std::shared_ptr<const IsfShader> header = headers.find(*surface.mediaPath, why);
        if (!header) {
            continue;
        }
        for (const IsfInput& input : header->inputs) {
            if (input.type == IsfInputType::event || input.type == IsfInputType::audio ||
                input.type == IsfInputType::audioFFT) {
                continue;
            }
            if (sameShader) {
                const auto a = was->shaderInputs.find(input.name);
                const auto b = surface.shaderInputs.find(input.name);
                const bool inA = a != was->shaderInputs.end();
                const bool inB = b != surface.shaderInputs.end();
                if (inA == inB && (!inA || a->second == b->second)) {
                    continue;
                }
            }
            addUnit(units, recordAddress("surface", surface.id.text(), "input/" + input.name),
                    shaderInputAnswer(input, surface.shaderInputs));
        }
    }
}

// Whether the lists hold the same ids and names in the same order.
template <typename Records> bool sameListing(const Records& a, const Records& b) {
    if (a.size() != b.size()) {
        return false;
    }
    auto other = b.begin();
    for (const auto& record : a) {
        if (record.id != other->id || record.name != other->name) {
            return false;
        }
        ++other;
    }
    return true;
}

} // namespace

void ModelFeed::reset(const ProjectModel& model) {
    surfaces_ = model.surfaces();
    outputs_ = model.outputs();
    selected_ = model.selectedID();
    snap_ = model.snapEnabled();
}

std::vector<FeedUnit> ModelFeed::collect(const ProjectModel& model) {
    std::vector<FeedUnit> units;
    const SurfaceList& surfaces = model.surfaces();
    if (!surfaces.sharesStorageWith(surfaces_)) {
        collectRecords<Surface>("surface", surfaceFields(), surfaces_, surfaces, units);
        collectShaderInputs(surfaces_, surfaces, shaderHeaders_, units);
        if (!sameListing(surfaces_, surfaces)) {
            units.push_back({"/prismeta/list/surfaces", surfaceListMessages(surfaces)});
        }
        surfaces_ = surfaces;
    }
    if (model.outputs() != outputs_) {
        collectRecords<OutputConfig>("output", outputFields(), outputs_, model.outputs(), units);
        if (!sameListing(outputs_, model.outputs())) {
            units.push_back({"/prismeta/list/outputs", outputListMessages(model.outputs())});
        }
        outputs_ = model.outputs();
    }
    if (model.selectedID() != selected_) {
        if (selected_) {
            addUnit(units, recordAddress("surface", selected_->text(), "select"),
                    {OscArgument::int32(0)});
        }
        if (model.selectedID()) {
            addUnit(units, recordAddress("surface", model.selectedID()->text(), "select"),
                    {OscArgument::int32(1)});
        }
        selected_ = model.selectedID();
    }
    if (model.snapEnabled() != snap_) {
        snap_ = model.snapEnabled();
        addUnit(units, "/prismeta/snap", {OscArgument::int32(snap_ ? 1 : 0)});
    }
    return units;
}

} // namespace prismeta
