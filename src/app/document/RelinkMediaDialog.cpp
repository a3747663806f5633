#include "app/document/RelinkMediaDialog.h"

#include "app/document/DocumentDialogs.h"
#include "app/document/FileDialogs.h"
#include "app/document/PathText.h"
#include "core/MediaSearch.h"
#include "core/RelinkSession.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace prismeta {

namespace {

constexpr int pollIntervalMs = 30;

QString fileName(const std::string& storedPath) {
    const std::vector<std::string> parts = storedPathComponents(storedPath);
    return pathText(parts.empty() ? storedPath : parts.back(), 255);
}

// One line of text, whatever a name holds.
QString oneLine(const std::string& text) {
    QString line = pathText(text, 255);
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

QString usedBy(const RelinkSession::Item& item) {
    QStringList users;
    if (item.reference) {
        users << QObject::tr("Reference image");
    }
    for (const std::string& name : item.blendMapOutputs) {
        users << QObject::tr("Blend map of %1").arg(oneLine(name));
    }
    for (const std::string& name : item.surfaceNames) {
        users << oneLine(name);
    }
    const std::size_t unnamed = item.surfaceCount - item.surfaceNames.size();
    if (unnamed > 0) {
        users << QObject::tr("%1 more").arg(unnamed);
    }
    return users.join(QStringLiteral(", "));
}

QString summary(const RelinkSession& session) {
    const auto& items = session.items();
    const int missing = static_cast<int>(items.size());
    int found = 0;
    for (const auto& item : items) {
        found += item.found ? 1 : 0;
    }
    if (missing == 0) {
        return QObject::tr("Every media file is where the project says.");
    }
    QString text =
        missing == 1       ? (found == 1 ? QObject::tr("1 media file is missing and was found.")
                                         : QObject::tr("1 media file is missing and was not found."))
        : found == missing ? QObject::tr("%1 media files are missing and were found.").arg(missing)
        : found == 0 ? QObject::tr("%1 media files are missing and none was found.").arg(missing)
                     : QObject::tr("%1 media files are missing: %2 found, %3 not.")
                           .arg(missing)
                           .arg(found)
                           .arg(missing - found);
    if (found < missing) {
        text += QLatin1Char(' ') +
                QObject::tr("Search Folder… looks through a folder and every folder in it.");
    }
    return text;
}

} // namespace

RelinkMediaDialog::RelinkMediaDialog(RelinkSession& session, FolderChooser chooseFolder,
                                     QWidget* parent)
    : QDialog(parent), session_(session), chooseFolder_(std::move(chooseFolder)) {
    setObjectName(QStringLiteral("relinkMediaDialog"));
    setWindowTitle(tr("Relink Missing Media"));

    status_ = new QLabel(this);
    status_->setWordWrap(true);

    list_ = new QTreeWidget(this);
    list_->setColumnCount(3);
    list_->setHeaderLabels({tr("File"), tr("Used By"), tr("Found At")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setTextElideMode(Qt::ElideMiddle);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(fileColumn, 200);
    list_->setColumnWidth(usedByColumn, 170);
    list_->setAccessibleName(tr("Missing media files"));
    connect(list_, &QTreeWidget::itemChanged, this, &RelinkMediaDialog::itemChanged);

    undoNote_ = new QLabel(tr("Undo does not bring back the reference image’s old path."), this);
    undoNote_->setWordWrap(true);
    undoNote_->setEnabled(false); // secondary text
    undoNote_->hide();

    // "Search Folder…" stands apart, at the left; the box orders the others
    // as the platform does.
    search_ = new QPushButton(tr("Search Folder…"), this);
    search_->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Cancel);
    relink_ = buttons->addButton(tr("Relink"), QDialogButtonBox::AcceptRole);
    relink_->setDefault(true);
    connect(search_, &QPushButton::clicked, this, &RelinkMediaDialog::searchFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(search_);
    buttonRow->addStretch(1);
    buttonRow->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(list_, 1);
    layout->addWidget(undoNote_);
    layout->addLayout(buttonRow);
    resize(760, 380);

    pollTimer_.setInterval(pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &RelinkMediaDialog::poll);
    pollTimer_.start();
    rebuild();
    poll();
}

void RelinkMediaDialog::poll() {
    if (session_.poll()) {
        rebuild();
    }
    if (!session_.busy()) {
        pollTimer_.stop();
    }
    refreshState();
}

void RelinkMediaDialog::searchFolder() {
    if (session_.busy() || !chooseFolder_) {
        return;
    }
    const std::optional<std::filesystem::path> folder = chooseFolder_();
    if (!folder || !session_.searchFolder(*folder)) {
        return;
    }
    pollTimer_.start();
    refreshState();
}

void RelinkMediaDialog::rebuild() {
    rebuilding_ = true;
    list_->clear();
    const auto& items = session_.items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const RelinkSession::Item& entry = items[i];
        auto* item = new QTreeWidgetItem(list_);
        item->setText(fileColumn, fileName(entry.path));
        item->setToolTip(fileColumn, pathText(entry.path));
        item->setText(usedByColumn, usedBy(entry));
        item->setToolTip(usedByColumn, item->text(usedByColumn));
        Qt::ItemFlags flags = Qt::ItemIsEnabled;
        if (entry.found) {
            QString where = qStringFromPath(*entry.found);
            if (entry.ties > 0) {
                where += QLatin1Char(' ') + (entry.ties == 1
                                                 ? tr("(and 1 other match)")
                                                 : tr("(and %1 other matches)").arg(entry.ties));
            }
            item->setText(foundColumn, where);
            item->setToolTip(foundColumn, qStringFromPath(*entry.found));
            flags |= Qt::ItemIsUserCheckable;
            item->setCheckState(fileColumn, entry.accepted ? Qt::Checked : Qt::Unchecked);
        } else {
            // An empty box the user cannot tick keeps the names in line.
            item->setCheckState(fileColumn, Qt::Unchecked);
            item->setText(foundColumn, tr("Not found"));
            item->setForeground(foundColumn, palette().brush(QPalette::Disabled, QPalette::Text));
        }
        item->setFlags(flags);
        item->setData(fileColumn, Qt::UserRole, static_cast<qulonglong>(i));
    }
    rebuilding_ = false;
}

void RelinkMediaDialog::refreshState() {
    const bool busy = session_.busy();
    if (!session_.checked()) {
        status_->setText(tr("Checking the project’s media files…"));
    } else if (busy && session_.searchedFolder()) {
        status_->setText(
            tr("Searching “%1”…")
                .arg(QDir::toNativeSeparators(qStringFromPath(*session_.searchedFolder()))));
    } else {
        status_->setText(summary(session_));
    }
    bool referenceChecked = false;
    for (const auto& item : session_.items()) {
        referenceChecked = referenceChecked || (item.reference && item.accepted);
    }
    undoNote_->setVisible(referenceChecked);
    search_->setEnabled(!busy && session_.checked() && !session_.items().empty());
    relink_->setEnabled(!busy && session_.acceptedCount() > 0);
}

void RelinkMediaDialog::itemChanged(QTreeWidgetItem* item, int column) {
    if (rebuilding_ || column != fileColumn) {
        return;
    }
    const auto index = static_cast<std::size_t>(item->data(fileColumn, Qt::UserRole).toULongLong());
    session_.setAccepted(index, item->checkState(fileColumn) == Qt::Checked);
    refreshState();
}

bool WidgetDocumentDialogs::reviewMissingMedia(RelinkSession& session) {
    const auto chooseFolder = [this, &session]() -> std::optional<std::filesystem::path> {
        FileDialogRequest request;
        request.mode = FileDialogRequest::Mode::chooseFolder;
        request.title = QObject::tr("Search Folder");
        request.acceptLabel = QObject::tr("Search");
        request.purpose = QStringLiteral("media");
        // The project's folder first: moved media are most often below it.
        request.folder = session.projectFolder() ? qStringFromPath(*session.projectFolder())
                                                 : startFolder(request.purpose, std::nullopt);
        const std::optional<QString> chosen = runFileDialog(parent_, request);
        if (!chosen) {
            return std::nullopt;
        }
        return pathFromQString(*chosen);
    };
    RelinkMediaDialog dialog(session, chooseFolder, parent_);
    return dialog.exec() == QDialog::Accepted && session.acceptedCount() > 0;
}

} // namespace prismeta
