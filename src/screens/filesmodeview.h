#pragma once

#include "filestore/fileentry.h"
#include "filestore/filesstate.h"
#include "fileviews/binding.h"
#include "fileviews/fileviewactions.h"

#include <QList>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class FileColumnView;
class FileIconView;
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
    // The folders the view reads itself (the browser's columns); empty for a view that shows
    // the screen's loaded folder.
    virtual QList<QUrl> listedFolders() const { return {}; }
    // Called when listedFolders() changes.
    std::function<void()> listedFoldersChanged;
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

// The icons mode: FileIconView with the loaded entries at the chosen icon size.
class IconModeView final : public FilesModeView
{
public:
    IconModeView(FilesState::Services services, QWidget *parent);
    ~IconModeView() override;

    QWidget *widget() const override;
    void update(const FilesModeInput &input) override;
    FileIconView *iconView() const { return m_view.get(); }

private:
    std::unique_ptr<FileIconView> m_view;
};

// The columns mode: FileColumnView, which reads its folders itself; nothing is shown until the
// storage folder is known.
class ColumnModeView final : public FilesModeView
{
public:
    ColumnModeView(FilesState::Services services, QWidget *parent);
    ~ColumnModeView() override;

    QWidget *widget() const override;
    void update(const FilesModeInput &input) override;
    QList<QUrl> listedFolders() const override;
    FileColumnView *columnView() const { return m_view.get(); }

private:
    std::unique_ptr<FileColumnView> m_view;
};
