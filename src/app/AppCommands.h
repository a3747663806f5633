#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenuBar;

namespace prismeta {

class ModelAdapter;
class ProjectModel;

// The menu commands, as application-wide actions: they act on the one shared
// model whichever window is in front, so their shortcuts work with an output
// window active too. The model operations are wired here; the document
// commands and Quit are wired by the application, which owns the dialogs.
// Undo and Redo follow their stacks; every other command is always enabled
// (the surface operations do nothing without a selection), except Hide
// Editor. Show Editor (in the Window menu and every output window) brings the
// main window back during a show, where it starts hidden; Hide Editor (Ctrl+W,
// enabled only in a show) hides it again as closing it does.
//
// Interface thread only. The actions are children of this object; the model
// and adapter must outlive it.
class AppCommands : public QObject {
    Q_OBJECT

public:
    AppCommands(ModelAdapter& adapter, QObject* parent = nullptr);

    QAction* newProject() const { return newProject_; }
    QAction* open() const { return open_; }
    QAction* save() const { return save_; }
    QAction* saveAs() const { return saveAs_; }
    QAction* relinkMedia() const { return relinkMedia_; }
    QAction* collectProject() const { return collectProject_; }
    QAction* quit() const { return quit_; }
    QAction* undo() const { return undo_; }
    QAction* redo() const { return redo_; }
    QAction* addSurface() const { return addSurface_; }
    QAction* duplicate() const { return duplicate_; }
    QAction* deleteSelected() const { return deleteSelected_; }
    QAction* resetCorners() const { return resetCorners_; }
    QAction* toggleSnap() const { return toggleSnap_; }
    // Wired by the application, which owns the output windows.
    QAction* calibrateOutputs() const { return calibrateOutputs_; }
    // Wired by the application, which owns the preferences.
    QAction* preferences() const { return preferences_; }
    QAction* showEditor() const { return showEditor_; }
    QAction* hideEditor() const { return hideEditor_; }
    // Wired by the application, which owns the main window.
    QAction* about() const { return about_; }

    QList<QAction*> all() const;

    // File, Edit, Surface, Output and Window, with every item, into a window's menu bar.
    void buildMenus(QMenuBar* menuBar) const;
    // Help, with About: the last menu, so the application adds it after its own.
    void buildHelpMenu(QMenuBar* menuBar) const;

    // Enables Undo and Redo by their stacks (also done on every model change).
    void refreshEnabled();

private:
    QAction* makeAction(const QString& text, const QKeySequence& shortcut);

    ProjectModel& model_;
    QAction* newProject_;
    QAction* open_;
    QAction* save_;
    QAction* saveAs_;
    QAction* relinkMedia_;
    QAction* collectProject_;
    QAction* quit_;
    QAction* undo_;
    QAction* redo_;
    QAction* addSurface_;
    QAction* duplicate_;
    QAction* deleteSelected_;
    QAction* resetCorners_;
    QAction* toggleSnap_;
    QAction* calibrateOutputs_;
    QAction* preferences_;
    QAction* showEditor_;
    QAction* hideEditor_;
    QAction* about_;
};

} // namespace prismeta
