#include "cluster/NodeOutputs.h"

namespace prismeta {

std::vector<std::size_t> outputsOfNode(const std::vector<OutputConfig>& outputs,
                                       std::optional<std::string_view> node) {
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::optional<std::string>& owner = outputs[i].node;
        if (node ? (owner && *owner == *node) : !owner) {
            positions.push_back(i);
        }
    }
    return positions;
}

} // namespace prismeta
