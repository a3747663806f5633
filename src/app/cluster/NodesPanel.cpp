#include "app/cluster/NodesPanel.h"

#include "cluster/BrokerConnection.h"
#include "cluster/NodeDirectory.h"

#include <QAction>
#include <QBrush>
#include <QDateTime>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
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

NodesPanel::NodesPanel(QWidget* parent)
    : QWidget(parent), broker_(new QLabel(this)), list_(new QTreeWidget(this)) {
    broker_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    broker_->setAccessibleName(tr("Broker"));
    broker_->setContentsMargins(4, 2, 4, 2);
    broker_->hide(); // until a leader reports one
    list_->setColumnCount(5);
    list_->setHeaderLabels(
        {tr("Node"), tr("Outputs"), tr("Frames/s"), tr("Clock"), tr("Warnings")});
    list_->setRootIsDecorated(false);
    list_->setAccessibleName(tr("Nodes"));
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(broker_);
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

void NodesPanel::showBroker(const BrokerConnection& broker) {
    if (broker.revision() == brokerShown_) {
        return;
    }
    brokerShown_ = broker.revision();
    QString text = tr("Broker %1: ").arg(QString::fromStdString(broker.address()));
    switch (broker.state()) {
    case BrokerConnection::State::connected:
        text += tr("connected");
        break;
    case BrokerConnection::State::connecting:
        text += tr("connecting");
        break;
    case BrokerConnection::State::lost: {
        const QDateTime lost = QDateTime::fromMSecsSinceEpoch(broker.lostAtMicros() / 1000);
        text += tr("lost since %1, reconnecting").arg(lost.toString(QStringLiteral("HH:mm:ss")));
        break;
    }
    }
    if (!broker.reason().empty()) {
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(broker.reason()));
    }
    broker_->setText(text);
    QPalette palette = broker_->palette();
    palette.setColor(QPalette::WindowText, broker.state() == BrokerConnection::State::connected
                                               ? this->palette().color(QPalette::WindowText)
                                               : QColor(0xD0, 0x30, 0x20));
    broker_->setPalette(palette);
    broker_->show();
}

void NodesPanel::show(const NodeDirectory& nodes) {
    if (nodes.revision() == shown_) {
        return;
    }
    shown_ = nodes.revision();
    list_->clear();
    const QBrush warning(QColor(0xD0, 0x30, 0x20));
    const QBrush unknown(palette().color(QPalette::Disabled, QPalette::Text));
    for (const auto& [name, entry] : nodes.nodes()) {
        const NodeStatus& status = entry.status;
        // What an unknown node last said may no longer hold: no figures.
        const bool live = status.online && entry.known;
        const QString clock =
            live && status.clockOffsetMillis
                ? QStringLiteral("%1 ms").arg(*status.clockOffsetMillis, 0, 'f', 2)
                : QString();
        auto* row = new QTreeWidgetItem(
            list_, {QString::fromStdString(name), joined(status.outputs),
                    live ? QString::number(status.framesPerSecond, 'f', 1) : QString(), clock,
                    joined(entry.warnings)});
        if (!entry.warnings.empty()) {
            // The whole story on hover, for a panel too narrow to show the
            // last column: the warnings and the files the node misses.
            QString details = joined(entry.warnings);
            for (const std::string& path : status.missingMedia) {
                details += QLatin1Char('\n') + QString::fromStdString(path);
            }
            for (int column = 0; column < list_->columnCount(); ++column) {
                row->setForeground(column, entry.known ? warning : unknown);
                row->setToolTip(column, details);
            }
        }
    }
}

} // namespace prismeta
