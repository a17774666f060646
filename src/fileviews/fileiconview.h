#pragma once

#include "fileview.h"

#include <QHash>
#include <QPixmap>

class FileCollectionItem;
class FileListModel;
class IconGrid;
class ThumbnailProvider;

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
    std::optional<FileEntry> entryOf(const QUrl &url) const override;
    QList<QAbstractItemView *> itemViews() const override;
    ThumbnailProvider *thumbnails() const { return m_thumbnails; }

protected:
    bool canTryRename(const QUrl &url) const override;
    void applySelection(const QSet<QUrl> &urls) override;
    QLineEdit *openEditor(const QUrl &url) override;

private:
    QLineEdit *startEditing(const QModelIndex &index);
    QPixmap thumbnail(const QModelIndex &index);
    void thumbnailReady(const QUrl &url, const QImage &image);

    FileListModel *m_model;
    IconGrid *m_grid;
    FileCollectionItem *m_item;
    ThumbnailProvider *m_thumbnails;
    int m_iconSize = 64;
    QHash<QString, QPixmap> m_thumbs; // path → thumbnail of the folder shown
    QSet<QString> m_asked;            // paths asked for since the listing changed
};
