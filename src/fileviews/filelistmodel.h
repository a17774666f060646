#pragma once

#include "filestore/fileentry.h"

#include <QAbstractTableModel>
#include <QSet>

// The entries of one folder as a flat table (name, date, size, kind), shared by the list and the
// icon grid. Rows are matched to URLs by file-system path. Dragging rows out offers their file
// URLs with the copy action. The model keeps nothing per row beyond the (shared) entry list, so
// path lookups scan the rows.
class FileListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, DateColumn, SizeColumn, KindColumn, ColumnCount };
    enum Role { EntryPathRole = Qt::UserRole + 1, IsDirectoryRole };

    // The columns a model has: all four, or the Name column alone for a view that shows names
    // only, so that a selected row is exactly its one selected cell (as screen readers ask).
    enum class Columns { all, nameOnly };

    explicit FileListModel(QObject *parent = nullptr, Columns columns = Columns::all);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

    const QList<FileEntry> &entries() const { return m_entries; }
    // Replaces all rows; rows that views hold (an editor, the current item, the selection) are
    // kept as rows when their item is still listed, the others change only where they differ.
    void setEntries(const QList<FileEntry> &entries);
    const FileEntry &entryAt(int row) const { return m_entries.at(row); }
    // The first row whose path equals the URL's, or -1.
    int rowOfPath(const QString &path) const;
    int rowOf(const QUrl &url) const { return rowOfPath(url.toLocalFile()); }
    // Every row whose path is one of `paths`, in row order; one pass over the rows.
    // The rows whose entry has one of the paths, in row order, in one pass.
    QList<int> rowsOfPaths(const QSet<QString> &paths) const;
    // The clean file-system path of a file URL; empty for any other URL.
    static QString pathOf(const QUrl &url);

private:
    void replaceRows(int first, int end, const QList<FileEntry> &replacement);
    void updateRows(int first, const QList<FileEntry> &values);

    QList<FileEntry> m_entries;
    int m_columnCount;
};
