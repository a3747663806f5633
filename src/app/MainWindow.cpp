#include "app/MainWindow.h"

#include "app/AppCommands.h"
#include "app/Icons.h"
#include "app/ModelAdapter.h"
#include "app/document/UnsavedChangesGuard.h"
#include "app/editor/EditorView.h"
#include "app/inspector/InspectorView.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

namespace prismeta {

MainWindow::MainWindow(ModelAdapter& adapter, AppCommands& commands, QWidget* parent)
    : QMainWindow(parent), adapter_(adapter) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(appIcon(AppIcon::application));
    // Toolbars stay put: no menu to hide them.
    setContextMenuPolicy(Qt::NoContextMenu);
    commands.buildMenus(menuBar());
    createToolBar();

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName(QStringLiteral("mainSplitter"));
    splitter_->setChildrenCollapsible(false);
    splitter_->setMinimumSize(minimumContentWidth, minimumContentHeight);

    editorPane_ = createEditorPane();
    editorPane_->setMinimumSize(editorMinimumWidth, editorMinimumHeight);
    inspectorPane_ = createInspectorPane();
    inspectorPane_->setMinimumWidth(inspectorMinimumWidth);
    splitter_->addWidget(editorPane_);
    splitter_->addWidget(inspectorPane_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    setCentralWidget(splitter_);
    setTabOrder(editorPane_, inspectorPane_);

    QSize size(1280, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize() * 0.9);
    }
    resize(size.expandedTo(minimumSizeHint()));
    splitter_->setSizes({size.width() - inspectorMinimumWidth, inspectorMinimumWidth});

    // Calibration works on the outputs: the inspector shows them.
    connect(commands.calibrateOutputs(), &QAction::triggered, this, [this] {
        if (auto* inspector = qobject_cast<InspectorView*>(inspectorPane_)) {
            inspector->showOutputs();
        }
    });

    connect(&adapter_, &ModelAdapter::changed, this, &MainWindow::refresh);
    refresh();
}

QWidget* MainWindow::createEditorPane() {
    return new EditorView(adapter_);
}

QWidget* MainWindow::createInspectorPane() {
    auto* pane = new InspectorView(
        adapter_, [this](const Uuid& outputID) { emit outputWindowRequested(outputID); });
    pane->setObjectName(QStringLiteral("inspectorPane"));
    pane->setAccessibleName(tr("Inspector"));
    // A committed field gives the keyboard back to the editor: the arrow
    // keys nudge and Undo acts on the project again.
    // The mask chosen in the inspector is the one the editor shows and edits.
    if (auto* editor = qobject_cast<EditorView*>(editorPane_)) {
        connect(pane, &InspectorView::maskChosen, editor, &EditorView::setMaskTarget);
    }
    connect(pane, &InspectorView::editCommitted, this, [this] {
        if (editorPane_ != nullptr) {
            editorPane_->setFocus(Qt::OtherFocusReason);
        }
    });
    return pane;
}

void MainWindow::createToolBar() {
    toolBar_ = addToolBar(tr("Toolbar"));
    toolBar_->setObjectName(QStringLiteral("mainToolBar"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    const auto add = [this](AppIcon icon, const QString& label, const QString& help) {
        auto* action = new QAction(appIcon(icon), label, this);
        toolBar_->addAction(action);
        QWidget* button = toolBar_->widgetForAction(action);
        button->setAccessibleName(label);
        if (help.isEmpty()) {
            // No hover help: Qt would otherwise repeat the label.
            button->setToolTip(QString());
        } else {
            action->setToolTip(help);
            button->setToolTip(help);
            button->setAccessibleDescription(help);
        }
        return action;
    };
    addSurfaceTool_ = add(AppIcon::addSurface, tr("Add Surface"), tr("Add a new mapping surface"));
    outputTool_ = add(AppIcon::output, tr("Output"), tr("Open the projector output window"));
    toolBar_->addSeparator();
    openTool_ = add(AppIcon::open, tr("Open"), QString());
    saveTool_ = add(AppIcon::save, tr("Save"), QString());

    ProjectModel& model = adapter_.model();
    connect(addSurfaceTool_, &QAction::triggered, this, [&model] { model.addSurface(); });
    connect(outputTool_, &QAction::triggered, this, &MainWindow::outputRequested);
    connect(openTool_, &QAction::triggered, this, &MainWindow::openRequested);
    connect(saveTool_, &QAction::triggered, this, &MainWindow::saveRequested);
}

QString MainWindow::titleFor(const ProjectModel& model) {
    return projectDisplayName(model);
}

void MainWindow::refresh() {
    const ProjectModel& model = adapter_.model();
    // "[*]" marks where Qt shows the modified mark, after the file name as
    // window lists expect ("Show.prismeta.json* — Prismeta"); a literal one
    // in a file name is doubled so Qt keeps it as text.
    QString title = titleFor(model);
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title + QStringLiteral("[*] \u2014 Prismeta"));
    setWindowModified(model.hasUnsavedChanges());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeHandler_ && !closeHandler_()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace prismeta
