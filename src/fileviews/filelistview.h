#pragma once

#include "fileview.h"

#include <optional>

class FileListModel;
class QTreeView;

// The list mode: the entries of the current folder as rows of a four-column table (Name, Date
// Modified, Size, Kind), with renaming in the Name column, double click to open and dragging out
// as file URLs. Owns its table and model. GUI thread only.
class FileListView final : public FileView
{
    Q_OBJECT
public:
    explicit FileListView(QWidget *parent = nullptr);

    QTreeView *table() const { return m_table; }
    FileListModel *model() const { return m_model; }

    // Reloads the rows only when they differ by value.
    void setEntries(const QList<FileEntry> &entries) override;
    QSet<QUrl> selectedUrls() const override;
    std::optional<QUrl> urlAt(const QPoint &globalPos) const override;
    std::optional<FileEntry> entryOf(const QUrl &url) const override;
    QList<QAbstractItemView *> itemViews() const override;

protected:
    bool canTryRename(const QUrl &url) const override;
    void applySelection(const QSet<QUrl> &urls) override;
    QLineEdit *openEditor(const QUrl &url) override;

private:
    void editEnded(int row, const QString &text);

    QTreeView *m_table;
    FileListModel *m_model;
    // Rebuilt only after the table's selection changed, so that comparing it with an unchanged
    // selection from the screen (the same shared set) costs nothing.
    mutable std::optional<QSet<QUrl>> m_selectedUrls;
};
