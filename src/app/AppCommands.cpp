#include "app/AppCommands.h"

#include "app/ModelAdapter.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace prismeta {

AppCommands::AppCommands(ModelAdapter& adapter, QObject* parent)
    : QObject(parent), model_(adapter.model()) {
    // Qt::CTRL is the command key on macOS, Control elsewhere.
    newProject_ = makeAction(tr("New Project"), QKeySequence(Qt::CTRL | Qt::Key_N));
    open_ = makeAction(tr("Open…"), QKeySequence(Qt::CTRL | Qt::Key_O));
    save_ = makeAction(tr("Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    saveAs_ = makeAction(tr("Save As…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    relinkMedia_ = makeAction(tr("Relink Missing Media…"), QKeySequence());
    collectProject_ = makeAction(tr("Collect Project…"), QKeySequence());
    quit_ = makeAction(tr("Quit"), QKeySequence::Quit);
    quit_->setMenuRole(QAction::QuitRole);
    undo_ = makeAction(tr("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_ = makeAction(tr("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    addSurface_ = makeAction(tr("Add Surface"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    duplicate_ = makeAction(tr("Duplicate"), QKeySequence(Qt::CTRL | Qt::Key_D));
    // The key above Return: Backspace here, the Delete key of a Mac keyboard.
    deleteSelected_ = makeAction(tr("Delete Selected"), QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    resetCorners_ = makeAction(tr("Reset Corners"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    toggleSnap_ = makeAction(tr("Toggle Snap to Grid"), QKeySequence(Qt::CTRL | Qt::Key_G));
    calibrateOutputs_ = makeAction(tr("Calibrate Outputs…"), QKeySequence());
    // Where the platform keeps it: the Edit menu here, the application menu
    // on macOS.
    preferences_ = makeAction(tr("Preferences…"), QKeySequence::Preferences);
    preferences_->setMenuRole(QAction::PreferencesRole);
    // Wired by the application, which owns the main window.
    showEditor_ = makeAction(tr("Show Editor"), QKeySequence(Qt::CTRL | Qt::Key_E));
    // Closing the editor's window, by its key: enabled by the application
    // in a show, where closing hides the editor and the show goes on.
    hideEditor_ = makeAction(tr("Hide Editor"), QKeySequence::Close);
    hideEditor_->setEnabled(false);
    // Wired by the application; the application menu holds it on macOS.
    about_ = makeAction(tr("About Prismeta"), QKeySequence());
    about_->setMenuRole(QAction::AboutRole);

    ProjectModel& model = model_;
    connect(undo_, &QAction::triggered, this, [&model] { model.undo(); });
    connect(redo_, &QAction::triggered, this, [&model] { model.redo(); });
    connect(addSurface_, &QAction::triggered, this, [&model] { model.addSurface(); });
    connect(duplicate_, &QAction::triggered, this, [&model] { model.duplicateSelected(); });
    connect(deleteSelected_, &QAction::triggered, this, [&model] { model.deleteSelected(); });
    connect(resetCorners_, &QAction::triggered, this, [&model] { model.resetCorners(); });
    connect(toggleSnap_, &QAction::triggered, this,
            [&model] { model.setSnapEnabled(!model.snapEnabled()); });

    // Every change of a stack comes with a change of the surface list.
    connect(&adapter, &ModelAdapter::changed, this, &AppCommands::refreshEnabled);
    refreshEnabled();
}

QAction* AppCommands::makeAction(const QString& text, const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::ApplicationShortcut);
    return action;
}

QList<QAction*> AppCommands::all() const {
    return {newProject_,     open_,           save_,         saveAs_,     relinkMedia_,
            collectProject_, quit_,           undo_,         redo_,       addSurface_,
            duplicate_,      deleteSelected_, resetCorners_, toggleSnap_, calibrateOutputs_,
            preferences_,    showEditor_,     hideEditor_,   about_};
}

void AppCommands::buildMenus(QMenuBar* menuBar) const {
    QMenu* file = menuBar->addMenu(tr("&File"));
    file->addAction(newProject_);
    file->addAction(open_);
    file->addSeparator();
    file->addAction(save_);
    file->addAction(saveAs_);
    file->addSeparator();
    file->addAction(relinkMedia_);
    file->addAction(collectProject_);
    file->addSeparator();
    file->addAction(quit_);

    QMenu* edit = menuBar->addMenu(tr("&Edit"));
    edit->addAction(undo_);
    edit->addAction(redo_);
    edit->addSeparator();
    edit->addAction(preferences_);

    QMenu* surface = menuBar->addMenu(tr("&Surface"));
    surface->addAction(addSurface_);
    surface->addAction(duplicate_);
    surface->addAction(deleteSelected_);
    surface->addAction(resetCorners_);
    surface->addSeparator();
    surface->addAction(toggleSnap_);

    QMenu* output = menuBar->addMenu(tr("&Output"));
    output->addAction(calibrateOutputs_);

    QMenu* window = menuBar->addMenu(tr("&Window"));
    window->addAction(showEditor_);
    window->addAction(hideEditor_);
}

void AppCommands::buildHelpMenu(QMenuBar* menuBar) const {
    QMenu* help = menuBar->addMenu(tr("&Help"));
    help->addAction(about_);
}

void AppCommands::refreshEnabled() {
    undo_->setEnabled(!model_.undoStack().empty());
    redo_->setEnabled(!model_.redoStack().empty());
    // Named steps (a GO, a cue edit) say what they take back.
    const std::string& undoName = model_.undoName();
    const std::string& redoName = model_.redoName();
    undo_->setText(undoName.empty() ? tr("Undo")
                                    : tr("Undo %1").arg(QString::fromStdString(undoName)));
    redo_->setText(redoName.empty() ? tr("Redo")
                                    : tr("Redo %1").arg(QString::fromStdString(redoName)));
}

} // namespace prismeta
