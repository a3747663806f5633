#include "app/cluster/ShowNodes.h"

#include "cluster/NodeDirectory.h"

#include <algorithm>

namespace prismeta {

void ShowNodes::update(const NodeDirectory& directory) {
    std::vector<Node> nodes;
    nodes.reserve(directory.nodes().size());
    for (const auto& [name, entry] : directory.nodes()) {
        Node node{name, entry.status.online, {}};
        for (const NodeScreen& screen : entry.status.screens) {
            node.screens.push_back(Screen{screen.name, screen.geometry, screen.geometry});
        }
        nodes.push_back(std::move(node));
    }
    if (nodes != nodes_) {
        nodes_ = std::move(nodes);
        emit changed();
    }
}

const ShowNodes::Node* ShowNodes::find(std::string_view name) const {
    const auto found = std::find_if(nodes_.begin(), nodes_.end(),
                                    [name](const Node& node) { return node.name == name; });
    return found == nodes_.end() ? nullptr : &*found;
}

} // namespace prismeta
