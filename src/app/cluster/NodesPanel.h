#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QMainWindow;
class QTreeWidget;

namespace prismeta {

class BrokerConnection;
class NodeDirectory;

// The leader's list of the show's machines (the Nodes panel): name, outputs
// shown, frame rate, clock offset to the leader, and the warnings a person
// must see (offline, drops pictures, misses media, clock more than 2 ms
// off), a row with any of them drawn in the warning colour; above it, the
// broker's state (connected, or lost since a time and reconnecting, and why),
// during which every node is unknown (greyed). Interface thread.
class NodesPanel : public QWidget {
public:
    explicit NodesPanel(QWidget* parent = nullptr);

    // A Nodes panel docked at the bottom of the window, with its toggle in
    // the window's Window menu (when it has one).
    static NodesPanel* addDockTo(QMainWindow& window);

    // Shows the directory's nodes; does nothing when its revision is the one
    // shown already.
    void show(const NodeDirectory& nodes);

    // Shows the broker's state; does nothing when its revision is shown.
    void showBroker(const BrokerConnection& broker);

    QTreeWidget* list() const { return list_; }
    QLabel* brokerLine() const { return broker_; }

private:
    QLabel* broker_;
    QTreeWidget* list_;
    std::uint64_t brokerShown_ = UINT64_MAX;
    std::uint64_t shown_ = UINT64_MAX;
};

} // namespace prismeta
