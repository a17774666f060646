#include "filelistmodel.h"

#include "fileicons.h"
#include "filestore/displayformat.h"
#include "filestore/plaintext.h"
#include "x11dragdata.h"

#include <QDir>
#include <QHash>
#include <QMimeData>

#include <algorithm>

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
            return PlainText::oneLine(entry.name()); // the editor gets the real name (EditRole)
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
        return index.column() == NameColumn ? QVariant(PlainText::toolTip(PlainText::oneLine(entry.name())))
                                            : QVariant();
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

namespace {

bool samePath(const FileEntry &a, const FileEntry &b)
{
    return a.name() == b.name() && a.parentPath() == b.parentPath();
}

} // namespace

// Rows a view holds on to (an open name editor, the current item, the selection's ends) stay the
// same rows when their item is still listed, so that a reload leaves an editor open; the rows
// between them change only where they differ. With no such row the model is reset.
void FileListModel::setEntries(const QList<FileEntry> &entries)
{
    // Pairs of (old row, new row), increasing in both.
    QList<std::pair<int, int>> anchors;
    const QModelIndexList held = persistentIndexList();
    if (!held.isEmpty() && !m_entries.isEmpty() && !entries.isEmpty()) {
        QList<int> rows;
        for (const QModelIndex &index : held)
            if (index.isValid())
                rows << index.row();
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        QHash<QString, int> newRows;
        newRows.reserve(entries.size());
        for (qsizetype row = 0; row < entries.size(); ++row)
            newRows.insert(entries.at(row).path(), int(row));
        int lastNew = -1;
        for (int row : std::as_const(rows)) {
            const auto found = newRows.constFind(m_entries.at(row).path());
            if (found != newRows.constEnd() && *found > lastNew) {
                anchors.append({row, *found});
                lastNew = *found;
            }
        }
    }
    if (anchors.isEmpty()) {
        beginResetModel();
        m_entries = entries;
        endResetModel();
        return;
    }
    anchors.prepend({-1, -1});
    anchors.append({int(m_entries.size()), int(entries.size())});
    // From the last gap to the first, so that the rows before a gap keep their numbers.
    for (qsizetype k = anchors.size() - 1; k >= 1; --k) {
        const auto [oldEnd, newEnd] = anchors.at(k);
        if (k < anchors.size() - 1)
            updateRows(oldEnd, entries.mid(newEnd, 1));
        replaceRows(anchors.at(k - 1).first + 1, oldEnd,
                    entries.mid(anchors.at(k - 1).second + 1, newEnd - anchors.at(k - 1).second - 1));
    }
}

// Replaces the rows from `first` up to (not including) `end` with `replacement`: the same items at
// either end are updated in place, the rest removed and inserted.
void FileListModel::replaceRows(int first, int end, const QList<FileEntry> &replacement)
{
    const int oldCount = end - first;
    const int newCount = int(replacement.size());
    int head = 0;
    while (head < oldCount && head < newCount && samePath(m_entries.at(first + head), replacement.at(head)))
        ++head;
    int tail = 0;
    while (tail < oldCount - head && tail < newCount - head &&
           samePath(m_entries.at(end - 1 - tail), replacement.at(newCount - 1 - tail)))
        ++tail;
    updateRows(end - tail, replacement.mid(newCount - tail));
    const int removed = oldCount - head - tail;
    const int inserted = newCount - head - tail;
    const int at = first + head;
    if (removed > 0) {
        beginRemoveRows({}, at, at + removed - 1);
        m_entries.remove(at, removed);
        endRemoveRows();
    }
    if (inserted > 0) {
        beginInsertRows({}, at, at + inserted - 1);
        m_entries = m_entries.mid(0, at) + replacement.mid(head, inserted) + m_entries.mid(at);
        endInsertRows();
    }
    updateRows(first, replacement.mid(0, head));
}

// Puts new values into the rows from `first` on, reporting each run of changed rows once.
void FileListModel::updateRows(int first, const QList<FileEntry> &values)
{
    for (int i = 0; i < values.size();) {
        if (m_entries.at(first + i) == values.at(i)) {
            ++i;
            continue;
        }
        const int start = i;
        while (i < values.size() && !(m_entries.at(first + i) == values.at(i))) {
            m_entries[first + i] = values.at(i);
            ++i;
        }
        emit dataChanged(index(first + start, 0), index(first + i - 1, m_columnCount - 1));
    }
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
