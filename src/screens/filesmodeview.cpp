#include "filesmodeview.h"

#include "fileviews/filecolumnview.h"
#include "fileviews/fileiconview.h"
#include "fileviews/filelistview.h"
#include "fileviews/fileviewhost.h"

namespace {

FileListView::Description listDescription(const FilesModeInput &input, QList<FileEntry> entries)
{
    return {std::move(entries), input.selection, input.renameRequest, input.actions};
}

} // namespace

ListModeView::ListModeView(FilesState::Services services, QWidget *parent)
    : m_view(std::make_unique<FileListView>(std::move(services), parent))
{
}

ListModeView::~ListModeView() = default;

QWidget *ListModeView::widget() const
{
    return m_view->host();
}

void ListModeView::update(const FilesModeInput &input)
{
    m_view->update(listDescription(input, input.entries));
}

IconModeView::IconModeView(FilesState::Services services, QWidget *parent)
    : m_view(std::make_unique<FileIconView>(std::move(services), parent))
{
}

IconModeView::~IconModeView() = default;

QWidget *IconModeView::widget() const
{
    return m_view->host();
}

void IconModeView::update(const FilesModeInput &input)
{
    m_view->update({input.entries, input.iconSize, input.selection, input.renameRequest, input.actions});
}

ColumnModeView::ColumnModeView(FilesState::Services services, QWidget *parent)
    : m_view(std::make_unique<FileColumnView>(std::move(services), parent))
{
    QObject::connect(m_view.get(), &FileColumnView::openFoldersChanged, m_view.get(), [this] {
        if (listedFoldersChanged)
            listedFoldersChanged();
    });
}

ColumnModeView::~ColumnModeView() = default;

QWidget *ColumnModeView::widget() const
{
    return m_view->host();
}

QList<QUrl> ColumnModeView::listedFolders() const
{
    return m_view->host()->isHidden() ? QList<QUrl>() : m_view->openFolders();
}

void ColumnModeView::update(const FilesModeInput &input)
{
    // Without a storage folder the mode shows nothing at all.
    m_view->host()->setVisible(input.rootURL.has_value());
    if (!input.rootURL)
        return;
    m_view->update({*input.rootURL, input.reloadToken, input.selection, input.renameRequest, input.actions});
}
