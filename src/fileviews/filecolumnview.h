#pragma once

#include "fileview.h"

#include <QHash>

class BrowserColumn;
class ColumnBrowser;
class FileBrowserCell;
class PreviewPanel;

// The columns mode: a column browser rooted at the storage folder, where selecting one folder
// lists it in the next column. It asks for its folders with listingsWanted() and shows each
// column's listing when it arrives (a new reload token asks for every open column again). It
// reports the selection and the folder the user looks at, opens files on double click and
// renames in place; the screen's selection is never applied to it. GUI thread only.
class FileColumnView final : public FileView
{
    Q_OBJECT
public:
    explicit FileColumnView(QWidget *parent = nullptr);
    ~FileColumnView() override;

    void setRoot(const std::optional<QUrl> &root, int reloadToken) override;
    void setListing(const QUrl &folder, const QList<FileEntry> &entries, bool readable) override;
    QSet<QUrl> selectedUrls() const override;
    std::optional<QUrl> urlAt(const QPoint &globalPos) const override;
    std::optional<FileEntry> entryOf(const QUrl &url) const override;
    // The folders listed in the open columns, left to right; none while hidden.
    QList<QUrl> shownFolders() const override;
    QList<QAbstractItemView *> itemViews() const override;
    // Whether a listing asked for has not arrived yet.
    bool isReading() const { return !m_awaited.isEmpty(); }
    // The preview after the last column while one file is selected there; null otherwise.
    PreviewPanel *preview() const;

protected:
    bool canTryRename(const QUrl &url) const override;
    void applySelection(const QSet<QUrl> &urls) override;
    QLineEdit *openEditor(const QUrl &url) override;
    bool preselectsStem() const override { return false; }

private:
    BrowserColumn *column(int i) const;
    int columnOf(const QObject *view) const;
    int selectedColumn() const;
    void read(const QList<QUrl> &folders);
    void openColumn(const QUrl &folder);
    void followSelection(int column);
    void markPath();
    void updatePreview();
    void relisted(int column, const QList<FileEntry> &entries, bool readable);
    void selectionDidChange(const QObject *view);
    void columnClicked(const QObject *view);
    void doubleClick();
    void sideways(const QObject *view, int key);
    void commit(const QModelIndex &index, const QString &text);

    ColumnBrowser *m_browser;
    FileBrowserCell *m_cell;
    PreviewPanel *m_preview = nullptr;
    std::optional<QUrl> m_root;
    int m_reloadToken = 0;
    QHash<QString, int> m_awaited; // folder path → listings asked for and not arrived
};
