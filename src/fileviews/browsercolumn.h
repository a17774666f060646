#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QUrl>

#include "filestore/fileentry.h"

class FileListModel;
class QLabel;

// One column of the column browser: the entries of one folder, 16-point icons, names shortened
// in their middle. Until its listing arrives it says it is loading; a folder that can't be read
// says so instead of looking empty. Owns its model. GUI thread only.
class BrowserColumn final : public QListView
{
    Q_OBJECT
public:
    BrowserColumn(const QUrl &folder, QWidget *parent = nullptr);

    const QUrl &folder() const { return m_folder; }
    const QString &folderPath() const { return m_folderPath; }
    FileListModel *fileModel() const { return m_model; }
    bool isLoading() const { return m_loading; }
    // Whether the column lists a folder on the open path rather than the selection itself; its
    // selected folder then shows in grey.
    bool showsPath() const { return m_showsPath; }
    void setShowsPath(bool showsPath);
    // The listing has arrived: its rows, or that the folder can't be read.
    void setListing(const QList<FileEntry> &entries, bool readable);

    using QListView::edit;
    // Closes an open name editor without a commit.
    void discardEditing();
    QList<int> selectedRows() const;

signals:
    // A double click with the left button.
    void leftDoubleClicked();
    // Plain Left or Right.
    void sideways(int key);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    const QUrl m_folder;
    const QString m_folderPath;
    FileListModel *const m_model;
    QLabel *m_note;
    bool m_loading = true;
    bool m_showsPath = false;
    Qt::MouseButton m_doubleClickButton = Qt::NoButton;
    QPersistentModelIndex m_editing;
};
