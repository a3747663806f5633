#include "app/cluster/NodesPanel.h"

#include "cluster/NodeDirectory.h"

#include <QAction>
#include <QBrush>
#include <QDockWidget>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace prismeta {

namespace {

QString joined(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list << QString::fromStdString(text);
    }
    return list.join(QStringLiteral(", "));
}

} // namespace

NodesPanel::NodesPanel(QWidget* parent) : QWidget(parent), list_(new QTreeWidget(this)) {
    list_->setColumnCount(5);
    list_->setHeaderLabels(
        {tr("Node"), tr("Outputs"), tr("Frames/s"), tr("Clock"), tr("Warnings")});
    list_->setRootIsDecorated(false);
    list_->setAccessibleName(tr("Nodes"));
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
}

NodesPanel* NodesPanel::addDockTo(QMainWindow& window) {
    auto* dock = new QDockWidget(tr("Nodes"), &window);
    dock->setObjectName(QStringLiteral("nodes"));
    auto* panel = new NodesPanel(dock);
    dock->setWidget(panel);
    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
    QAction* toggle = dock->toggleViewAction();
    toggle->setShortcutContext(Qt::ApplicationShortcut);
    for (QAction* menu : window.menuBar()->actions()) {
        if (menu->menu() != nullptr && menu->text() == QMainWindow::tr("&Window")) {
            menu->menu()->addAction(toggle);
        }
    }
    return panel;
}

void NodesPanel::show(const NodeDirectory& nodes) {
    if (nodes.revision() == shown_) {
        return;
    }
    shown_ = nodes.revision();
    list_->clear();
    const QBrush warning(QColor(0xD0, 0x30, 0x20));
    for (const auto& [name, entry] : nodes.nodes()) {
        const NodeStatus& status = entry.status;
        const QString clock =
            status.clockOffsetMillis
                ? QStringLiteral("%1 ms").arg(*status.clockOffsetMillis, 0, 'f', 2)
                : QString();
        auto* row = new QTreeWidgetItem(
            list_, {QString::fromStdString(name), joined(status.outputs),
                    status.online ? QString::number(status.framesPerSecond, 'f', 1) : QString(),
                    clock, joined(entry.warnings)});
        if (!entry.warnings.empty()) {
            // The whole story on hover, for a panel too narrow to show the
            // last column: the warnings and the files the node misses.
            QString details = joined(entry.warnings);
            for (const std::string& path : status.missingMedia) {
                details += QLatin1Char('\n') + QString::fromStdString(path);
            }
            for (int column = 0; column < list_->columnCount(); ++column) {
                row->setForeground(column, warning);
                row->setToolTip(column, details);
            }
        }
    }
}

} // namespace prismeta
