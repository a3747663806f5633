#pragma once

#include "core/Uuid.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <optional>
#include <vector>

namespace prismeta {

class ModelAdapter;
class OutputWindow;

// The open output windows, at most one per output id (an absent id is a key
// of its own). Opening an id whose window is open brings that window to the
// front instead of making a second one. Windows delete themselves on close
// and drop out of the registry.
//
// Interface thread only. Borrows the adapter (and model), which must outlive
// it; the windows are top-level and owned by Qt's window list until closed.
class OutputWindowRegistry : public QObject {
    Q_OBJECT

public:
    explicit OutputWindowRegistry(ModelAdapter& adapter, QObject* parent = nullptr);
    ~OutputWindowRegistry() override;

    // Shows the window of outputID, made if needed, raised and activated.
    OutputWindow* open(const std::optional<Uuid>& outputID);
    OutputWindow* window(const std::optional<Uuid>& outputID) const;
    int count() const;
    // Every open window.
    std::vector<OutputWindow*> openWindows() const;
    void closeAll();

signals:
    // A new window, not shown yet: the moment to place it.
    void windowCreated(prismeta::OutputWindow* window);
    void windowOpened(prismeta::OutputWindow* window);

private:
    ModelAdapter& adapter_;
    struct Entry {
        QPointer<OutputWindow> window;
        // The window's identity, compared without touching a window that is
        // being destroyed.
        const QObject* identity = nullptr;
    };
    std::map<std::optional<Uuid>, Entry> windows_;
};

} // namespace prismeta
