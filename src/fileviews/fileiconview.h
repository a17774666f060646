#pragma once

#include "fileview.h"

class FileCollectionItem;
class FileListModel;
class IconGrid;

// The icons mode: the entries of the current folder as a grid of tiles at the icon size the
// screen chooses, with renaming under the icon, double click to open and dragging out as file
// URLs. Owns its grid, delegate and model. GUI thread only.
class FileIconView final : public FileView
{
    Q_OBJECT
public:
    explicit FileIconView(QWidget *parent = nullptr);
    ~FileIconView() override;

    void setEntries(const QList<FileEntry> &entries) override;
    void setIconSize(double iconSize) override;
    QSet<QUrl> selectedUrls() const override;
    std::optional<QUrl> urlAt(const QPoint &globalPos) const override;
    QList<QAbstractItemView *> itemViews() const override;

protected:
    bool canTryRename(const QUrl &url) const override;
    void applySelection(const QSet<QUrl> &urls) override;
    QLineEdit *openEditor(const QUrl &url) override;

private:
    QLineEdit *startEditing(const QModelIndex &index);

    FileListModel *m_model;
    IconGrid *m_grid;
    FileCollectionItem *m_item;
};
