#include "calibration/PatternManifest.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace prismeta::calibration {

namespace {

bool plainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

std::string patternFileName(std::size_t index, const Pattern& pattern) {
    return "out" + std::to_string(index + 1) + "-" + pattern.name + ".png";
}

std::string writeManifest(const std::vector<ManifestOutput>& outputs) {
    nlohmann::json list = nlohmann::json::array();
    for (const ManifestOutput& o : outputs) {
        list.push_back({{"id", o.id},
                        {"name", o.name},
                        {"width", o.width},
                        {"height", o.height},
                        {"images", o.images},
                        {"patterns",
                         {{"phaseShift", o.options.phaseShift},
                          {"phasePeriod", o.options.phasePeriod},
                          {"phaseSteps", o.options.phaseSteps},
                          {"gamma", o.options.gamma}}}});
    }
    return nlohmann::json{{"outputs", list}}.dump(2) + "\n";
}

Result<std::vector<ManifestOutput>> readManifest(const std::string& text) {
    using Outcome = Result<std::vector<ManifestOutput>>;
    std::vector<ManifestOutput> outputs;
    try {
        const nlohmann::json doc = nlohmann::json::parse(text);
        const nlohmann::json& list = doc.at("outputs");
        if (!list.is_array()) {
            return Outcome::failure("\"outputs\" is not a list");
        }
        for (const nlohmann::json& entry : list) {
            ManifestOutput o;
            o.id = entry.value("id", std::string());
            o.name = entry.value("name", std::string());
            const nlohmann::json& w = entry.at("width");
            const nlohmann::json& h = entry.at("height");
            if (!w.is_number_integer() || !h.is_number_integer() || w.get<std::int64_t>() < 1 ||
                h.get<std::int64_t>() < 1 || w.get<std::int64_t>() > 16384 ||
                h.get<std::int64_t>() > 16384) {
                return Outcome::failure("output '" + o.name +
                                        "': width and height must be 1 to 16384");
            }
            o.width = w.get<int>();
            o.height = h.get<int>();
            if (const auto p = entry.find("patterns"); p != entry.end() && p->is_object()) {
                o.options.phaseShift = p->value("phaseShift", o.options.phaseShift);
                o.options.phasePeriod = p->value("phasePeriod", o.options.phasePeriod);
                o.options.phaseSteps = p->value("phaseSteps", o.options.phaseSteps);
                o.options.gamma = p->value("gamma", o.options.gamma);
            }
            for (const nlohmann::json& image : entry.at("images")) {
                const std::string name = image.get<std::string>();
                if (!plainFileName(name)) {
                    return Outcome::failure("output '" + o.name + "': '" + name +
                                            "' is not a file name in the folder");
                }
                o.images.push_back(name);
            }
            const std::size_t expected = o.patternSet().patterns.size();
            if (o.images.size() != expected) {
                return Outcome::failure(
                    "output '" + o.name + "': " + std::to_string(o.images.size()) +
                    " images listed, its patterns are " + std::to_string(expected));
            }
            outputs.push_back(std::move(o));
        }
    } catch (const nlohmann::json::exception& e) {
        return Outcome::failure(std::string("not a pattern list: ") + e.what());
    }
    if (outputs.empty()) {
        return Outcome::failure("no outputs listed");
    }
    return outputs;
}

} // namespace prismeta::calibration
