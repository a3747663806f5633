#include "app/show/OutputWindowRegistry.h"

#include "app/show/OutputWindow.h"

#include <utility>
#include <vector>

namespace prismeta {

OutputWindowRegistry::OutputWindowRegistry(ModelAdapter& adapter, QObject* parent)
    : QObject(parent), adapter_(adapter) {}

OutputWindowRegistry::~OutputWindowRegistry() {
    // The windows borrow the adapter, which goes with the registry's owner.
    // Deleting one edits the map (through `destroyed`): walk a copy.
    const auto windows = std::exchange(windows_, {});
    for (const auto& [id, entry] : windows) {
        delete entry.window.data();
    }
}

OutputWindow* OutputWindowRegistry::open(const std::optional<Uuid>& outputID) {
    OutputWindow* window = this->window(outputID);
    if (window == nullptr) {
        window = new OutputWindow(adapter_, outputID);
        windows_[outputID] = Entry{window, window};
        // A closed window is gone for the registry at once, though Qt
        // deletes it a turn later: opening its id again makes a new one.
        const std::optional<Uuid> key = outputID;
        const QObject* const made = window;
        const auto forget = [this, key, made] {
            const auto found = windows_.find(key);
            if (found != windows_.end() && found->second.identity == made) {
                windows_.erase(found);
            }
        };
        connect(window, &OutputWindow::closed, this, forget);
        connect(window, &QObject::destroyed, this, forget);
        emit windowCreated(window);
        window->show();
        emit windowOpened(window);
    } else if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
    return window;
}

OutputWindow* OutputWindowRegistry::window(const std::optional<Uuid>& outputID) const {
    const auto found = windows_.find(outputID);
    return found == windows_.end() ? nullptr : found->second.window.data();
}

int OutputWindowRegistry::count() const {
    int n = 0;
    for (const auto& [id, entry] : windows_) {
        n += entry.window.isNull() ? 0 : 1;
    }
    return n;
}

std::vector<OutputWindow*> OutputWindowRegistry::openWindows() const {
    std::vector<OutputWindow*> open;
    for (const auto& [id, entry] : windows_) {
        if (!entry.window.isNull()) {
            open.push_back(entry.window.data());
        }
    }
    return open;
}

void OutputWindowRegistry::closeAll() {
    // Copy first: closing deletes windows, which edits the map.
    std::vector<QPointer<OutputWindow>> open;
    for (const auto& [id, entry] : windows_) {
        open.push_back(entry.window);
    }
    for (const QPointer<OutputWindow>& window : open) {
        if (window) {
            window->close();
        }
    }
}

} // namespace prismeta
