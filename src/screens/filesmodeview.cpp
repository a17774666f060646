#include "filesmodeview.h"

#include "filestore/listing.h"
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

FolderListModeView::FolderListModeView(FilesState::Services services, QWidget *parent)
    : m_view(std::make_unique<FileListView>(std::move(services), parent))
{
}

FolderListModeView::~FolderListModeView() = default;

QWidget *FolderListModeView::widget() const
{
    return m_view->host();
}

void FolderListModeView::update(const FilesModeInput &input)
{
    const std::optional<QUrl> current = invokeAction(input.actions.currentDirectory);
    const std::optional<QUrl> folder = current ? current : input.rootURL;
    if (folder != m_listedFolder || input.reloadToken != m_listedToken) {
        m_entries = folder ? listDirectory(*folder) : QList<FileEntry>();
        m_listedFolder = folder;
        m_listedToken = input.reloadToken;
    }
    m_view->update(listDescription(input, m_entries));
}
