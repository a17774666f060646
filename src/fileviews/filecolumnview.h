#pragma once

#include "binding.h"
#include "filestore/fileentry.h"
#include "filestore/filesstate.h"
#include "fileviewactions.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class FileViewHost;

// The columns mode of the Files screen: a column browser rooted at the storage folder, where
// selecting one folder lists it in the next column. It reads folders itself, each at most once
// until the screen hands over a new reload token, reports the selection and the folder the
// user looks at, opens files on double click, renames in place, and carries the shared menu
// and keys of a FileViewHost on every column. One object per shown browser, owning its columns
// and host. GUI thread only; folders are read synchronously.
class FileColumnView final : public QObject
{
    Q_OBJECT
public:
    // What the screen hands over on every update.
    struct Description
    {
        QUrl rootURL;
        int reloadToken = 0;
        Binding<QSet<QUrl>> selection; // written here, never read
        Binding<std::optional<QUrl>> renameRequest;
        FileViewActions actions;
    };

    // How a folder is read; listDirectory unless replaced.
    using DirectoryLister = std::function<QList<FileEntry>(const QUrl &folder)>;

    static constexpr int DefaultColumnWidth = 220;

    // Applies descriptions to the browser, caches the folder listings and answers the columns.
    class Coordinator;

    explicit FileColumnView(FilesState::Services services, QWidget *parent = nullptr);
    ~FileColumnView() override;
    Q_DISABLE_COPY_MOVE(FileColumnView)

    // The widget the screen shows.
    FileViewHost *host() const;
    void update(const Description &description);
    void setDirectoryLister(DirectoryLister lister);
    // The folders listed in the open columns, left to right.
    QList<QUrl> openFolders() const;

signals:
    // A column opened or closed.
    void openFoldersChanged();

private:
    std::unique_ptr<Coordinator> m_coordinator;
};
