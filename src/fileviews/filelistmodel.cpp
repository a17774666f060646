#include "filelistmodel.h"

#include "fileicons.h"
#include "filestore/displayformat.h"
#include "x11dragdata.h"

#include <QDir>
#include <QMimeData>

FileListModel::FileListModel(QObject *parent, Columns columns)
    : QAbstractTableModel(parent), m_columnCount(columns == Columns::nameOnly ? 1 : ColumnCount)
{
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FileEntry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (index.column()) {
        case NameColumn:
            return entry.name();
        case DateColumn:
            return DisplayFormat::modifiedDate(entry);
        case SizeColumn:
            return DisplayFormat::size(entry);
        default:
            return entry.kind();
        }
    case Qt::EditRole:
        return index.column() == NameColumn ? QVariant(entry.name()) : QVariant();
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(FileIcons::icon(entry)) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == NameColumn ? QVariant(entry.name()) : QVariant();
    case EntryPathRole:
        return entry.path();
    case IsDirectoryRole:
        return entry.isDirectory();
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Name");
    case DateColumn:
        return tr("Date Modified");
    case SizeColumn:
        return tr("Size");
    case KindColumn:
        return tr("Kind");
    default:
        return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == NameColumn)
        result |= Qt::ItemIsEditable;
    return result;
}

Qt::DropActions FileListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

QStringList FileListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *FileListModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    QList<int> rows;
    for (const QModelIndex &index : indexes)
        if (index.isValid() && !rows.contains(index.row()))
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    for (int row : rows)
        urls << m_entries.at(row).url();
    auto *mime = new QMimeData;
    mime->setUrls(urls);
    // The views ask for this data only to start a drag.
    X11DragData::offer(mime);
    return mime;
}

void FileListModel::setEntries(const QList<FileEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

// No index by path: a hash of 100,000 paths would cost more memory than the rows' views, and
// lookups are rare (a rename, a selection set from outside).
int FileListModel::rowOfPath(const QString &path) const
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QStringView parent = QStringView(path).left(slash + 1);
    const QStringView name = QStringView(path).mid(slash + 1);
    for (qsizetype row = 0; row < m_entries.size(); ++row) {
        const FileEntry &entry = m_entries.at(row);
        if (entry.name() == name && entry.parentPath() == parent)
            return int(row);
    }
    return -1;
}

QList<int> FileListModel::rowsOfPaths(const QSet<QString> &paths) const
{
    QList<int> rows;
    if (paths.isEmpty())
        return rows;
    // Names first: comparing them needs no new string per row.
    QSet<QString> names;
    for (const QString &path : paths)
        names.insert(path.mid(path.lastIndexOf(u'/') + 1));
    for (qsizetype row = 0; row < m_entries.size(); ++row) {
        const FileEntry &entry = m_entries.at(row);
        if (names.contains(entry.name()) && paths.contains(entry.path()))
            rows.append(int(row));
    }
    return rows;
}

QString FileListModel::pathOf(const QUrl &url)
{
    return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
}
