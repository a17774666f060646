#include "fileiconview.h"

#include "filecollectionitem.h"
#include "filelistmodel.h"
#include "filestore/preview/thumbnailprovider.h"
#include "icongrid.h"

#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

FileIconView::FileIconView(QWidget *parent)
    : FileView(parent), m_model(new FileListModel(this)), m_grid(new IconGrid(this)),
      m_item(new FileCollectionItem(m_grid)), m_thumbnails(new ThumbnailProvider(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
    m_grid->setModel(m_model);
    m_grid->setAccessibleName(tr("Files"));
    m_grid->setItemDelegate(m_item);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setDragEnabled(true);
    m_grid->setDragDropMode(QAbstractItemView::DragOnly);
    m_grid->setDefaultDropAction(Qt::CopyAction);
    m_grid->setItemSize(FileCollectionItem::geometry(64).itemSize);
    watchItemView(m_grid);
    m_item->setThumbnails([this](const QModelIndex &index) { return thumbnail(index); });
    connect(m_thumbnails, &ThumbnailProvider::thumbnailReady, this, &FileIconView::thumbnailReady);

    connect(m_grid, &IconGrid::itemDoubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit activated(m_model->entryAt(index.row()).url());
    });
    connect(m_item, &FileCollectionItem::renamed, this,
            [this](const QModelIndex &index, const QString &name) {
                if (index.isValid())
                    emit renameRequested(m_model->entryAt(index.row()).url(), name);
            });
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileIconView::reportSelection);
}

// Going away is no reason to rename: the editor would otherwise commit as it loses focus.
FileIconView::~FileIconView()
{
    m_grid->discardEditing();
}

QList<QAbstractItemView *> FileIconView::itemViews() const
{
    return {m_grid};
}

void FileIconView::setEntries(const QList<FileEntry> &entries)
{
    if (entries != m_model->entries()) {
        Syncing syncing(this);
        // Another folder drops what the last one asked for; a new listing of the same one asks
        // again (the cache answers for unchanged files) and keeps its pictures meanwhile.
        const auto folderOf = [](const QList<FileEntry> &list) {
            return list.isEmpty() ? QString() : list.first().parentPath();
        };
        if (folderOf(entries) != folderOf(m_model->entries())) {
            m_thumbnails->cancelAll();
            m_thumbs.clear();
        }
        m_asked.clear();
        m_model->setEntries(entries);
        m_item->clearCommittedNames();
        m_grid->viewport()->update();
        emit entriesChanged();
    }
    tryRenameRequest();
}

std::optional<FileEntry> FileIconView::entryOf(const QUrl &url) const
{
    const int row = m_model->rowOf(url);
    return row >= 0 ? std::optional(m_model->entryAt(row)) : std::nullopt;
}

void FileIconView::setIconSize(double iconSize)
{
    const FileCollectionItem::Geometry geometry = FileCollectionItem::geometry(iconSize);
    if (geometry.itemSize == m_grid->itemSize())
        return;
    Syncing syncing(this);
    m_item->setIconSize(iconSize);
    m_iconSize = geometry.icon.width();
    m_asked.clear(); // a larger size may want the large thumbnails
    m_grid->setItemSize(geometry.itemSize);
    m_grid->viewport()->update();
}

// Images only, and only once painted: the provider makes them off the GUI thread.
QPixmap FileIconView::thumbnail(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= m_model->rowCount())
        return {};
    const FileEntry &entry = m_model->entryAt(index.row());
    if (entry.isDirectory() || !entry.icon() || !entry.icon()->mimeName.startsWith(QLatin1String("image/")))
        return {};
    const QString path = entry.path();
    if (!m_asked.contains(path)) {
        m_asked.insert(path);
        m_thumbnails->request(entry.url(), int(m_iconSize * m_grid->devicePixelRatioF()));
    }
    return m_thumbs.value(path);
}

void FileIconView::thumbnailReady(const QUrl &url, const QImage &image)
{
    const int row = m_model->rowOf(url);
    if (row < 0 || image.isNull())
        return;
    m_thumbs.insert(m_model->entryAt(row).path(), QPixmap::fromImage(image));
    m_grid->update(m_model->index(row, 0));
}

QSet<QUrl> FileIconView::selectedUrls() const
{
    QSet<QUrl> urls;
    const QModelIndexList indexes = m_grid->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : indexes)
        if (index.column() == 0)
            urls << m_model->entryAt(index.row()).url();
    return urls;
}

std::optional<QUrl> FileIconView::urlAt(const QPoint &globalPos) const
{
    const QModelIndex index = m_grid->indexAt(m_grid->viewport()->mapFromGlobal(globalPos));
    if (!index.isValid())
        return std::nullopt;
    return m_model->entryAt(index.row()).url();
}

void FileIconView::applySelection(const QSet<QUrl> &urls)
{
    QSet<QString> paths;
    for (const QUrl &url : urls)
        paths.insert(FileListModel::pathOf(url));
    const QList<int> rows = m_model->rowsOfPaths(paths);

    QItemSelection selection;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        selection.select(m_model->index(rows.at(i), 0), m_model->index(rows.at(j), 0));
        i = j + 1;
    }
    QItemSelectionModel *model = m_grid->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty() && !model->isSelected(model->currentIndex()))
        model->setCurrentIndex(m_model->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

bool FileIconView::canTryRename(const QUrl &url) const
{
    return m_model->rowOfPath(FileListModel::pathOf(url)) >= 0;
}

QLineEdit *FileIconView::openEditor(const QUrl &url)
{
    const int row = m_model->rowOfPath(FileListModel::pathOf(url));
    if (row < 0)
        return nullptr;
    const QModelIndex index = m_model->index(row, 0);
    m_grid->finishEditing();
    {
        Syncing syncing(this);
        m_grid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    m_grid->scrollTo(index, QAbstractItemView::EnsureVisible);
    if (QLineEdit *editor = startEditing(index))
        return editor;
    // A grid not laid out yet opens its editor on the next turn.
    QTimer::singleShot(0, this, [this, index = QPersistentModelIndex(index), url] {
        if (index.isValid())
            if (QLineEdit *editor = startEditing(index))
                editorOpened(editor, url);
    });
    return nullptr;
}

QLineEdit *FileIconView::startEditing(const QModelIndex &index)
{
    if (!m_grid->beginEditing(index))
        return nullptr;
    return qobject_cast<QLineEdit *>(m_grid->indexWidget(index));
}
