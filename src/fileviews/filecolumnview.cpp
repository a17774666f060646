#include "filecolumnview.h"

#include "browsercolumn.h"
#include "columnbrowser.h"
#include "filebrowsercell.h"
#include "filelistmodel.h"
#include "filestore/plaintext.h"
#include "previewpanel.h"

#include <QDir>
#include <QLineEdit>
#include <QVBoxLayout>

FileColumnView::FileColumnView(QWidget *parent)
    : FileView(parent), m_browser(new ColumnBrowser(this)), m_cell(new FileBrowserCell(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    connect(m_cell, &FileBrowserCell::committed, this, &FileColumnView::commit);
}

// Going away is no reason to rename: the editor would otherwise commit as it loses focus.
FileColumnView::~FileColumnView()
{
    for (int i = 0; i < m_browser->count(); ++i)
        column(i)->discardEditing();
}

BrowserColumn *FileColumnView::column(int i) const
{
    return static_cast<BrowserColumn *>(m_browser->column(i));
}

QList<QAbstractItemView *> FileColumnView::itemViews() const
{
    QList<QAbstractItemView *> views;
    for (int i = 0; i < m_browser->count(); ++i)
        views << column(i);
    return views;
}

void FileColumnView::setRoot(const std::optional<QUrl> &root, int reloadToken)
{
    // Without a storage folder the mode shows nothing at all.
    setVisible(root.has_value());
    if (!root)
        return;
    const bool rootChanged =
        m_browser->count() == 0 || FileListModel::pathOf(*root) != column(0)->folderPath();
    m_root = root;
    if (rootChanged) {
        m_reloadToken = reloadToken;
        Syncing syncing(this);
        m_browser->removeColumnsFrom(0);
        openColumn(*root);
        updatePreview();
    } else if (reloadToken != m_reloadToken) {
        m_reloadToken = reloadToken;
        QList<QUrl> folders;
        for (int c = 0; c < m_browser->count(); ++c)
            folders << column(c)->folder();
        read(folders);
    }
}

void FileColumnView::read(const QList<QUrl> &folders)
{
    for (const QUrl &folder : folders)
        ++m_awaited[FileListModel::pathOf(folder)];
    emit listingsWanted(folders);
}

void FileColumnView::setListing(const QUrl &folder, const QList<FileEntry> &entries, bool readable)
{
    const QString path = FileListModel::pathOf(folder);
    const auto awaited = m_awaited.find(path);
    if (awaited == m_awaited.end())
        return; // asked for by another view
    if (--*awaited == 0)
        m_awaited.erase(awaited);
    for (int c = 0; c < m_browser->count(); ++c) {
        if (column(c)->folderPath() == path) {
            relisted(c, entries, readable);
            break;
        }
    }
    tryRenameRequest();
}

// A column's listing arrived: its first, or a new one that keeps the selection; when the folder
// open in the next column is gone, so is the path beyond it.
void FileColumnView::relisted(int c, const QList<FileEntry> &entries, bool readable)
{
    Syncing syncing(this);
    BrowserColumn *view = column(c);
    FileListModel *model = view->fileModel();
    if (view->isLoading()) {
        view->setListing(entries, readable);
        return;
    }
    QSet<QString> selectedPaths;
    for (int row : view->selectedRows())
        selectedPaths.insert(model->entryAt(row).path());
    const QModelIndex current = view->currentIndex();
    const QString currentPath = current.isValid() ? model->entryAt(current.row()).path() : QString();

    view->setListing(entries, readable);
    QItemSelection selection;
    for (int row : model->rowsOfPaths(selectedPaths))
        selection.select(model->index(row, 0), model->index(row, 0));
    if (const int row = model->rowOfPath(currentPath); row >= 0)
        view->selectionModel()->setCurrentIndex(model->index(row, 0), QItemSelectionModel::NoUpdate);
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);

    if (c + 1 < m_browser->count()) {
        const QList<int> rows = view->selectedRows();
        const bool stillOpen = rows.size() == 1 && model->entryAt(rows.first()).isDirectory() &&
                               model->entryAt(rows.first()).path() == column(c + 1)->folderPath();
        if (!stillOpen)
            followSelection(c);
    }
    updatePreview();
    emit entriesChanged();
}

std::optional<FileEntry> FileColumnView::entryOf(const QUrl &url) const
{
    for (int c = 0; c < m_browser->count(); ++c) {
        const FileListModel *model = column(c)->fileModel();
        if (const int row = model->rowOf(url); row >= 0)
            return model->entryAt(row);
    }
    return std::nullopt;
}

bool FileColumnView::canTryRename(const QUrl &) const
{
    // Tried once the columns hold their listings, even when no column lists the item.
    return !isReading();
}

void FileColumnView::applySelection(const QSet<QUrl> &)
{
}

int FileColumnView::columnOf(const QObject *view) const
{
    for (int i = 0; i < m_browser->count(); ++i)
        if (m_browser->column(i) == view)
            return i;
    return -1;
}

int FileColumnView::selectedColumn() const
{
    for (int i = m_browser->count() - 1; i >= 0; --i)
        if (column(i)->selectionModel()->hasSelection())
            return i;
    return -1;
}

// The columns left of the one with the selection show the open path.
void FileColumnView::markPath()
{
    const int selected = selectedColumn();
    for (int c = 0; c < m_browser->count(); ++c)
        column(c)->setShowsPath(c < selected);
}

QSet<QUrl> FileColumnView::selectedUrls() const
{
    QSet<QUrl> urls;
    const int c = selectedColumn();
    if (c < 0)
        return urls;
    const BrowserColumn *view = column(c);
    for (int row : view->selectedRows())
        urls << view->fileModel()->entryAt(row).url();
    return urls;
}

std::optional<QUrl> FileColumnView::urlAt(const QPoint &globalPos) const
{
    for (int i = 0; i < m_browser->count(); ++i) {
        const BrowserColumn *view = column(i);
        const QPoint local = view->viewport()->mapFromGlobal(globalPos);
        if (!view->viewport()->rect().contains(local))
            continue;
        const QModelIndex index = view->indexAt(local);
        if (!index.isValid())
            return std::nullopt;
        return view->fileModel()->entryAt(index.row()).url();
    }
    return std::nullopt;
}

QList<QUrl> FileColumnView::shownFolders() const
{
    QList<QUrl> folders;
    for (int i = 0; !isHidden() && i < m_browser->count(); ++i)
        folders << column(i)->folder();
    return folders;
}

void FileColumnView::openColumn(const QUrl &folder)
{
    auto *view = new BrowserColumn(folder);
    // Screen readers name each column after its folder.
    view->setAccessibleName(folder == m_root ? tr("Files") : PlainText::oneLine(folder.fileName()));
    view->setItemDelegate(m_cell);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, view] {
        markPath();
        selectionDidChange(view);
    });
    connect(view, &QAbstractItemView::clicked, this, [this, view] { columnClicked(view); });
    connect(view, &BrowserColumn::leftDoubleClicked, this, &FileColumnView::doubleClick);
    connect(view, &BrowserColumn::sideways, this, [this, view](int key) { sideways(view, key); });
    watchItemView(view);
    m_browser->addColumn(view);
    m_browser->ensureColumnVisible(m_browser->count() - 1);
    emit itemViewAdded(view);
    emit shownFoldersChanged();
    read({folder});
}

// Closes what lies right of the column and, when it has one folder selected, lists that folder
// in a new column: what the browser itself does on a selection.
void FileColumnView::followSelection(int c)
{
    Syncing syncing(this);
    const int open = m_browser->count();
    m_browser->removeColumnsFrom(c + 1);
    if (m_browser->count() != open)
        emit shownFoldersChanged();
    markPath();
    const BrowserColumn *view = column(c);
    const QList<int> rows = view->selectedRows();
    if (rows.size() == 1 && view->fileModel()->entryAt(rows.first()).isDirectory())
        openColumn(view->fileModel()->entryAt(rows.first()).url());
    updatePreview();
}

PreviewPanel *FileColumnView::preview() const
{
    return m_browser->trailer() ? m_preview : nullptr;
}

// One file selected in the last column: its preview follows it, as the column after it.
void FileColumnView::updatePreview()
{
    const int last = m_browser->count() - 1;
    const BrowserColumn *view = last >= 0 ? column(last) : nullptr;
    const QList<int> rows = view ? view->selectedRows() : QList<int>();
    if (rows.size() != 1 || view->fileModel()->entryAt(rows.first()).isDirectory()) {
        if (m_preview && m_browser->trailer()) {
            m_browser->setTrailer(nullptr);
            m_preview->clear();
        }
        return;
    }
    if (!m_preview) {
        m_preview = new PreviewPanel(this);
        m_preview->hide();
    }
    const FileEntry &entry = view->fileModel()->entryAt(rows.first());
    if (m_preview->isShowing(entry) && m_browser->trailer())
        return;
    m_preview->showFile(entry);
    m_browser->setTrailer(m_preview);
    m_browser->ensureColumnVisible(last);
}

void FileColumnView::selectionDidChange(const QObject *view)
{
    if (isSyncing())
        return;
    const int c = columnOf(view);
    if (c < 0)
        return;
    followSelection(c);

    const QSet<QUrl> urls = selectedUrls();
    emit selectionChanged(urls);

    const int selected = selectedColumn();
    if (selected < 0)
        return;
    const BrowserColumn *selectedView = column(selected);
    const QList<int> rows = selectedView->selectedRows();
    const FileListModel *model = selectedView->fileModel();
    if (urls.size() == 1 && rows.size() == 1 && model->entryAt(rows.first()).isDirectory())
        emit currentFolderChanged(model->entryAt(rows.first()).url());
    else
        emit currentFolderChanged(selectedView->folder());
}

// A click on a folder that is already selected, its contents open to the right, changes no
// selection and so reports nothing; yet it makes that folder the selection again and closes what
// was chosen beyond it, which Return and Delete would otherwise act on.
void FileColumnView::columnClicked(const QObject *view)
{
    const int c = columnOf(view);
    if (c >= 0 && c < selectedColumn())
        selectionDidChange(view);
}

void FileColumnView::doubleClick()
{
    const int c = selectedColumn();
    if (c < 0)
        return;
    const BrowserColumn *view = column(c);
    // Folders are skipped: a single click already lists them.
    QList<QUrl> files;
    for (int row : view->selectedRows())
        if (!view->fileModel()->entryAt(row).isDirectory())
            files << view->fileModel()->entryAt(row).url();
    for (const QUrl &url : std::as_const(files))
        emit activated(url);
}

void FileColumnView::sideways(const QObject *view, int key)
{
    const int c = columnOf(view);
    if (c < 0)
        return;
    if (key == Qt::Key_Right && c + 1 < m_browser->count()) {
        BrowserColumn *next = column(c + 1);
        if (next->fileModel()->rowCount() == 0)
            return;
        next->setFocus();
        if (!next->selectionModel()->hasSelection())
            next->selectionModel()->setCurrentIndex(next->fileModel()->index(0, 0),
                                                    QItemSelectionModel::ClearAndSelect);
    } else if (key == Qt::Key_Left && c > 0) {
        column(c - 1)->setFocus();
        column(c)->selectionModel()->clearSelection();
    }
}

void FileColumnView::commit(const QModelIndex &index, const QString &text)
{
    const auto *model = qobject_cast<const FileListModel *>(index.model());
    if (!model || index.row() >= model->rowCount())
        return;
    const FileEntry &entry = model->entryAt(index.row());
    if (text != entry.name())
        emit renameRequested(entry.url(), text);
}

QLineEdit *FileColumnView::openEditor(const QUrl &url)
{
    const QString path = FileListModel::pathOf(url);
    const QString parentPath = QDir::cleanPath(path + QStringLiteral("/.."));
    for (int c = 0; c < m_browser->count(); ++c) {
        BrowserColumn *view = column(c);
        if (view->folderPath() != parentPath)
            continue;
        const int row = view->fileModel()->rowOfPath(path);
        if (row < 0)
            continue;
        const QModelIndex index = view->fileModel()->index(row, 0);
        {
            Syncing syncing(this);
            view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        }
        followSelection(c);
        m_browser->ensureColumnVisible(c);
        view->scrollTo(index);
        view->edit(index);
        return qobject_cast<QLineEdit *>(view->indexWidget(index));
    }
    return nullptr;
}
