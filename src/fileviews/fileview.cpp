#include "fileview.h"

#include "selectbasename.h"

#include <QAbstractItemView>
#include <QTimer>

FileView::FileView(QWidget *parent) : QWidget(parent)
{
}

void FileView::setEntries(const QList<FileEntry> &)
{
}

void FileView::setRoot(const std::optional<QUrl> &, int)
{
}

void FileView::setListing(const QUrl &, const QList<FileEntry> &, bool)
{
}

void FileView::setIconSize(double)
{
}

QList<QUrl> FileView::shownFolders() const
{
    return {};
}

void FileView::setSelectedUrls(const QSet<QUrl> &urls)
{
    if (selectedUrls() == urls)
        return;
    Syncing syncing(this);
    applySelection(urls);
}

void FileView::reportSelection()
{
    if (!m_syncing)
        emit selectionChanged(selectedUrls());
}

void FileView::setRenameRequest(const std::optional<QUrl> &url)
{
    m_renameRequest = url;
    tryRenameRequest();
}

// Started after the update that set it, when the view holds the new rows and the screen is done
// re-applying; several updates before that start it once.
void FileView::tryRenameRequest()
{
    if (!m_renameRequest || m_renameScheduled || !canTryRename(*m_renameRequest))
        return;
    m_renameScheduled = true;
    QTimer::singleShot(0, this, [this, url = *m_renameRequest] {
        m_renameScheduled = false;
        m_renameRequest.reset();
        editName(url);
        emit renameRequestDone();
    });
}

void FileView::editName(const QUrl &url)
{
    if (QLineEdit *editor = openEditor(url))
        editorOpened(editor, url);
}

void FileView::editorOpened(QLineEdit *editor, const QUrl &url)
{
    // The view selected the whole text as it opened the editor.
    if (preselectsStem())
        selectBaseName(editor, url);
}

void FileView::watchItemView(QAbstractItemView *view)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &pos) {
        // Item views report the position in their viewport.
        const QPoint global = view->viewport()->mapToGlobal(pos);
        emit contextMenuRequested(global, urlAt(global).value_or(QUrl()));
    });
}
