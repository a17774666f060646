#pragma once

#include "filestore/fileentry.h"
#include "filestore/preview/previewcontent.h"

#include <QWidget>

class CodeTextView;
class PlistOutlineModel;
class PreviewLoader;
class QLabel;
class QLineEdit;
class QListWidget;
class QSortFilterProxyModel;
class QStackedWidget;
class QStandardItemModel;
class QTableView;
class QTreeView;

// Quick look at one file: its picture, text (with line numbers), property list (an outline
// searchable by key), database (tables and the first rows of the chosen one) or, for anything
// else, its icon, kind, size and dates, with a line on what could not be shown. Reading runs in
// the panel's PreviewLoader, off the GUI thread; the newest showFile() wins. Put it in a dialog,
// a dock or a column view's last column. Every text from the file is shown as plain text.
class PreviewPanel final : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewPanel(QWidget *parent = nullptr);

    void showFile(const QString &path);
    void showFile(const QUrl &url);
    void showFile(const FileEntry &entry);
    void clear();
    QString currentPath() const { return m_path; }
    // This very version of the entry (same size and date) is on show or on its way.
    bool isShowing(const FileEntry &entry) const { return m_entry && *m_entry == entry; }

    // Shows a preview made elsewhere; what showFile() ends in.
    void setContent(const PreviewContent &content);
    const PreviewContent &content() const { return m_content; }
    PreviewLoader *loader() const { return m_loader; }

signals:
    // A stage of the current file is on screen (complete: its last).
    void contentShown(bool complete);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showInfo();
    void showImage();
    void showDatabase();
    void showRows(const QString &table, const SqliteReader::Rows &rows);
    void chooseTable(int row);
    void updateImage();

    PreviewLoader *m_loader;
    QString m_path;
    std::optional<FileEntry> m_entry; // what the listing said of it, when shown from one
    bool m_rereadRows = false;        // the file changed: the chosen table's rows too
    PreviewContent m_content;

    QLabel *m_icon;
    QLabel *m_title;
    QLabel *m_details;
    QLabel *m_notes;
    QStackedWidget *m_pages;
    QWidget *m_emptyPage;
    QLabel *m_image;
    CodeTextView *m_text;
    QWidget *m_plistPage;
    QLineEdit *m_search;
    QTreeView *m_tree;
    PlistOutlineModel *m_outline;
    QSortFilterProxyModel *m_filter;
    QWidget *m_databasePage;
    QListWidget *m_tables;
    QLabel *m_columns;
    QTableView *m_rowsView;
    QStandardItemModel *m_rows;
};
