#pragma once

#include "binding.h"
#include "filestore/fileentry.h"
#include "filestore/filesstate.h"
#include "fileviewactions.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <memory>
#include <optional>

class FileListModel;
class FileViewHost;
class QModelIndex;
class QPoint;
class QTreeView;

// The list mode of the Files screen: the entries of the current folder as rows of a four-column
// table (Name, Date Modified, Size, Kind), kept in step with the screen's selection, with
// renaming in the Name column, double click to open, dragging out as file URLs, and the shared
// menu and keys of a FileViewHost. One object per shown list; it owns its coordinator (with the
// model) and its host (with the table) for its whole life. GUI thread only.
class FileListView final : public QObject
{
    Q_OBJECT
public:
    // What the screen hands over on every update.
    struct Description
    {
        QList<FileEntry> entries;
        Binding<QSet<QUrl>> selection;
        Binding<std::optional<QUrl>> renameRequest;
        FileViewActions actions;
    };

    // Applies descriptions to the table and answers the table's requests.
    class Coordinator;

    explicit FileListView(FilesState::Services services, QWidget *parent = nullptr);
    ~FileListView() override;
    Q_DISABLE_COPY_MOVE(FileListView)

    // The widget the screen shows.
    FileViewHost *host() const { return m_host; }
    QTreeView *table() const;
    FileListModel *model() const;
    Coordinator *coordinator() const { return m_coordinator.get(); }

    // Actions, description, entries (reloaded only when they differ by value), selection (re-applied
    // only when it differs), then the rename request (started on the next event-loop turn once an
    // entry has its path).
    void update(const Description &description);

private:
    std::unique_ptr<Coordinator> m_coordinator;
    QPointer<FileViewHost> m_host;
};

class FileListView::Coordinator final : public QObject
{
public:
    explicit Coordinator(QTreeView *table);
    ~Coordinator() override;

    const Description &description() const { return m_description; }
    void setDescription(const Description &description) { m_description = description; }
    const QList<FileEntry> &entries() const;
    QTreeView *table() const;
    FileListModel *model() const { return m_model; }
    // True while the view itself changes the table; selection changes are not reported then.
    bool isSyncing() const { return m_isSyncing; }

    // The URLs of the selected rows.
    QSet<QUrl> selectedURLs() const;
    // The item under a point of the table (global coordinates), if any.
    std::optional<QUrl> clickedURL(const QPoint &globalPos) const;
    // Selects the item's row alone (reported like a user's selection) and edits its name with
    // the stem preselected.
    void beginRename(const QUrl &url);

    void applyEntries(const QList<FileEntry> &entries);
    void applySelection(const QSet<QUrl> &selection);
    void applyRenameRequest(const std::optional<QUrl> &request);

    // The table's requests.
    void selectionDidChange();
    void doubleClick(const QModelIndex &index);
    void textDidEndEditing(int row, const QString &text);

private:
    class Syncing;

    Description m_description;
    QPointer<QTreeView> m_table;
    FileListModel *m_model;
    bool m_isSyncing = false;
    // Rebuilt only after the table's selection changed, so that comparing it with an unchanged
    // bound selection (the same shared set) costs nothing.
    mutable std::optional<QSet<QUrl>> m_selectedURLs;
    std::optional<QUrl> m_scheduledRename;
};
