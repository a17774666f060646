#pragma once

#include "filestore/fileentry.h"

#include <QList>
#include <QSet>
#include <QUrl>
#include <QWidget>

#include <optional>

class QAbstractItemView;
class QLineEdit;

// The one face of a view mode of the Files screen (list, icon grid, columns). State goes in
// through the setters, which do nothing when the value is equal; the commands ask the questions;
// everything the user does comes out as a signal. A view changes no file itself. Subclasses own
// their item views, delegates and models as Qt children. GUI thread only.
class FileView : public QWidget
{
    Q_OBJECT
public:
    explicit FileView(QWidget *parent = nullptr);

    // The listing of the screen's current folder (list and grid; the columns read their own).
    virtual void setEntries(const QList<FileEntry> &entries);
    // The folder the columns start at (none: they show nothing); a new reload token has every
    // open column read again. The list and the grid ignore it.
    virtual void setRoot(const std::optional<QUrl> &root, int reloadToken);
    // A listing asked for with listingsWanted(); `readable` false when the folder can't be read.
    virtual void setListing(const QUrl &folder, const QList<FileEntry> &entries, bool readable);
    virtual void setIconSize(double iconSize);
    // The screen's selection, shown without being reported back (the columns never read it).
    void setSelectedUrls(const QSet<QUrl> &urls);
    // An item to rename in place once it is listed; tried on the next event-loop turn, then
    // renameRequestDone().
    void setRenameRequest(const std::optional<QUrl> &url);

    virtual QSet<QUrl> selectedUrls() const = 0;
    // The item under a point (global coordinates), if any.
    virtual std::optional<QUrl> urlAt(const QPoint &globalPos) const = 0;
    // The item as the view last listed it, if it lists it.
    virtual std::optional<FileEntry> entryOf(const QUrl &url) const = 0;
    // Selects the item alone and opens its name editor, with the stem preselected where the view
    // preselects it.
    void editName(const QUrl &url);
    // The folders the view lists itself (the open columns); empty when it shows the screen's.
    virtual QList<QUrl> shownFolders() const;
    // The item views that take the keys and the context menu.
    virtual QList<QAbstractItemView *> itemViews() const = 0;

signals:
    void activated(const QUrl &url);
    // The user changed the selection.
    void selectionChanged(const QSet<QUrl> &urls);
    // An edit ended with a new name, exactly as typed.
    void renameRequested(const QUrl &url, const QString &name);
    // The folder the user looks at (the columns).
    void currentFolderChanged(const QUrl &folder);
    void shownFoldersChanged();
    // Right click or the menu key at `globalPos`; `item` is empty over empty space.
    void contextMenuRequested(const QPoint &globalPos, const QUrl &item);
    void renameRequestDone();
    // Folders the view needs read (the columns); each comes back through setListing().
    void listingsWanted(const QList<QUrl> &folders);
    // An item view was added after the view was made (a new column).
    void itemViewAdded(QAbstractItemView *view);
    // A listing on show was read anew and differs.
    void entriesChanged();

protected:
    // True while the view itself changes its item views: selection changes are not reported.
    bool isSyncing() const { return m_syncing; }
    class Syncing;
    // Reports the selection unless the change was the view's own.
    void reportSelection();
    // Gives an item view the menu request.
    void watchItemView(QAbstractItemView *view);
    // Whether a rename request can be tried now.
    virtual bool canTryRename(const QUrl &url) const = 0;
    void tryRenameRequest();
    virtual void applySelection(const QSet<QUrl> &urls) = 0;
    // Selects the item and opens its editor; null when it could not (yet).
    virtual QLineEdit *openEditor(const QUrl &url) = 0;
    // Called once the editor is open.
    void editorOpened(QLineEdit *editor, const QUrl &url);
    // Whether the editor starts with the stem selected rather than the whole name.
    virtual bool preselectsStem() const { return true; }

private:
    bool m_syncing = false;
    std::optional<QUrl> m_renameRequest;
    bool m_renameScheduled = false;
};

// Marks a change the view makes itself (see isSyncing()).
class FileView::Syncing
{
public:
    explicit Syncing(FileView *view) : m_view(view), m_was(view->m_syncing) { view->m_syncing = true; }
    ~Syncing() { m_view->m_syncing = m_was; }
    Q_DISABLE_COPY_MOVE(Syncing)

private:
    FileView *m_view;
    bool m_was;
};
