#pragma once

#include "filestore/fileentry.h"
#include "filestore/filesstate.h"
#include "fileviews/binding.h"
#include "fileviews/fileviewactions.h"

#include <QList>
#include <QSet>
#include <QUrl>

#include <memory>
#include <optional>

class FileListView;
class QWidget;

// Everything the Files screen hands to the view of its current mode, on every change of its
// state. Each mode takes what it needs: the list and the grid the loaded entries, the grid the
// icon size, the column browser the root and the reload token.
struct FilesModeInput
{
    QList<FileEntry> entries; // the loaded list; empty unless loaded
    std::optional<QUrl> rootURL;
    int reloadToken = 0; // the screen's reload count
    double iconSize = 64;
    Binding<QSet<QUrl>> selection;
    Binding<std::optional<QUrl>> renameRequest;
    FileViewActions actions;
};

// One mode's view as the screen sees it: the widget it shows (the view's host) and the hook that
// applies new input. A mode view lives as long as its mode is chosen. GUI thread only.
class FilesModeView
{
public:
    virtual ~FilesModeView() = default;
    virtual QWidget *widget() const = 0;
    virtual void update(const FilesModeInput &input) = 0;
};

// The list mode: FileListView with the loaded entries.
class ListModeView final : public FilesModeView
{
public:
    ListModeView(FilesState::Services services, QWidget *parent);
    ~ListModeView() override;

    QWidget *widget() const override;
    void update(const FilesModeInput &input) override;
    FileListView *listView() const { return m_view.get(); }

private:
    std::unique_ptr<FileListView> m_view;
};

// A list that reads its folder itself, as the column browser does: the current folder (the root
// when there is none), read again when the folder or the reload token changes. It stands in for
// the column browser until that exists.
class FolderListModeView final : public FilesModeView
{
public:
    FolderListModeView(FilesState::Services services, QWidget *parent);
    ~FolderListModeView() override;

    QWidget *widget() const override;
    void update(const FilesModeInput &input) override;

private:
    std::unique_ptr<FileListView> m_view;
    std::optional<QUrl> m_listedFolder;
    int m_listedToken = -1;
    QList<FileEntry> m_entries;
};
