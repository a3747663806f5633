#pragma once

#include "core/Uuid.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QSplitter;
class QToolBar;

namespace prismeta {

class AppCommands;
class ModelAdapter;
class ProjectModel;

// The main window: the menus, the toolbar (Add Surface, Output, Open, Save),
// and a horizontal split of the editor (left) and the inspector (right),
// titled after the project file and marked while the project has unsaved
// changes.
//
// The two panes are made in createEditorPane() and createInspectorPane()
// only; the split enforces their minimum sizes whatever they are.
//
// Interface thread only. Borrows the adapter (and model) and the commands,
// which must outlive it. Closing the window asks `closeHandler` first.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int minimumContentWidth = 820;
    static constexpr int minimumContentHeight = 480;
    static constexpr int editorMinimumWidth = 520;
    static constexpr int editorMinimumHeight = 400;
    static constexpr int inspectorMinimumWidth = 290;

    MainWindow(ModelAdapter& adapter, AppCommands& commands, QWidget* parent = nullptr);

    QSplitter* splitter() const { return splitter_; }
    QWidget* editorPane() const { return editorPane_; }
    QWidget* inspectorPane() const { return inspectorPane_; }
    QToolBar* toolBar() const { return toolBar_; }

    QAction* addSurfaceTool() const { return addSurfaceTool_; }
    QAction* outputTool() const { return outputTool_; }
    QAction* openTool() const { return openTool_; }
    QAction* saveTool() const { return saveTool_; }

    // Asked when the window is about to close; false keeps it open.
    void setCloseHandler(std::function<bool()> handler) { closeHandler_ = std::move(handler); }

    // "Untitled" or the project file's name.
    static QString titleFor(const ProjectModel& model);

signals:
    void outputRequested();
    // An output's own window, asked for from the inspector.
    void outputWindowRequested(const prismeta::Uuid& outputID);
    void openRequested();
    void saveRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* createEditorPane();
    QWidget* createInspectorPane();
    void createToolBar();
    void refresh();

    ModelAdapter& adapter_;
    QSplitter* splitter_ = nullptr;
    QWidget* editorPane_ = nullptr;
    QWidget* inspectorPane_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* addSurfaceTool_ = nullptr;
    QAction* outputTool_ = nullptr;
    QAction* openTool_ = nullptr;
    QAction* saveTool_ = nullptr;
    std::function<bool()> closeHandler_;
};

} // namespace prismeta
