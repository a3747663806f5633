#pragma once

#include "placement/Screen.h"

#include <QObject>

#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

class NodeDirectory;

// The machines of a show that its leader has heard from, each with the
// screens it reports, for the output card's Node and Display pickers. Empty
// on a machine that does not lead.
//
// Interface thread only.
class ShowNodes : public QObject {
    Q_OBJECT

public:
    struct Node {
        std::string name;
        bool online = false;
        std::vector<Screen> screens;

        friend bool operator==(const Node&, const Node&) = default;
    };

    explicit ShowNodes(QObject* parent = nullptr) : QObject(parent) {}

    // Takes the directory's nodes; announces a change only when a node came
    // or went, went on or off line, or reports other screens (not at every
    // frame-rate reading).
    void update(const NodeDirectory& directory);

    // By name.
    const std::vector<Node>& nodes() const { return nodes_; }
    const Node* find(std::string_view name) const;

signals:
    void changed();

private:
    std::vector<Node> nodes_;
};

} // namespace prismeta
