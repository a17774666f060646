#include "filelistmodel.h"

#include "fileicons.h"
#include "filestore/displayformat.h"

#include <QMimeData>

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
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
        return index.column() == NameColumn ? QVariant(FileIcons::icon(entry.icon())) : QVariant();
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
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
        | Qt::ItemNeverHasChildren;
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
    return mime;
}

void FileListModel::setEntries(const QList<FileEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    m_rowByPath.clear();
    m_rowByPath.reserve(m_entries.size());
    // Iterate backwards so that the first row wins for a path listed twice.
    for (int row = int(m_entries.size()) - 1; row >= 0; --row)
        m_rowByPath.insert(m_entries.at(row).path(), row);
    endResetModel();
}

int FileListModel::rowOfPath(const QString &path) const
{
    return m_rowByPath.value(path, -1);
}
