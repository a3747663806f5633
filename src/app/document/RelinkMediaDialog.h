#pragma once

#include <QDialog>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace prismeta {

class RelinkSession;

// The dialog of "Relink Missing Media…": one row per missing file with its
// name, what uses it and where it was found, checked when it is to be
// relinked; "Search Folder…" looks through a folder the user picks (and
// every folder below it) for the files; "Relink" accepts. The session's
// checks and searches run on its own thread: the dialog polls it on a timer
// and says what is going on meanwhile, so it never blocks.
//
// Interface thread only. Borrows the session, which must outlive it.
class RelinkMediaDialog : public QDialog {
    Q_OBJECT

public:
    using FolderChooser = std::function<std::optional<std::filesystem::path>()>;

    RelinkMediaDialog(RelinkSession& session, FolderChooser chooseFolder,
                      QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }
    QLabel* status() const { return status_; }
    QLabel* undoNote() const { return undoNote_; }
    QPushButton* searchButton() const { return search_; }
    QPushButton* relinkButton() const { return relink_; }

    // Columns of the list.
    enum Column { fileColumn, usedByColumn, foundColumn };

    // Takes in what the session found (also done on the timer).
    void poll();

private:
    void searchFolder();
    void rebuild();
    void refreshState();
    void itemChanged(QTreeWidgetItem* item, int column);

    RelinkSession& session_;
    FolderChooser chooseFolder_;
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLabel* undoNote_ = nullptr;
    QPushButton* search_ = nullptr;
    QPushButton* relink_ = nullptr;
    QTimer pollTimer_;
    bool rebuilding_ = false;
};

} // namespace prismeta
