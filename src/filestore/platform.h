#pragma once

#include "base/result.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

// The desktop services the Files operations use, each behind a small interface so that tests can
// record what was asked. The workspace and the pasteboard need the GUI and are implemented in the
// widgets layer (DesktopWorkspace, SystemPasteboard); the trash (FreedesktopTrash) and the folder
// notifications (makeSystemFolderNotifier) are in the core.

// Opening and showing items in the desktop's applications. Fire and forget: no call waits for
// the application or reports its failure. GUI thread only.
class Workspace
{
public:
    virtual ~Workspace() = default;
    // A file with its default application, a folder in the file manager.
    virtual void open(const QUrl &url) = 0;
    // The file manager with these items selected.
    virtual void reveal(const QList<QUrl> &urls) = 0;
    // A terminal window whose working folder is `folder`.
    virtual void openInTerminal(const QUrl &folder) = 0;
};

// The system clipboard's file URLs and plain text. GUI thread only.
class Pasteboard
{
public:
    virtual ~Pasteboard() = default;
    // Replaces the contents with these file URLs, in order.
    virtual void writeFileURLs(const QList<QUrl> &urls) = 0;
    // Replaces the contents with one plain text.
    virtual void writeText(const QString &text) = 0;
    // The file URLs on the clipboard, in order; empty when there are none.
    virtual QList<QUrl> readFileURLs() const = 0;
    virtual bool canReadFileURLs() const = 0;
};

// The user's trash. Safe on any thread.
class Trash
{
public:
    virtual ~Trash() = default;
    virtual Status moveToTrash(const QString &path) = 0;
};

// The platform's notifications of changes inside folders: an item created, deleted, renamed or
// changed in one of them. GUI thread only.
class FolderNotifier
{
public:
    virtual ~FolderNotifier() = default;
    // False when the platform refuses (a limit reached, a file system without notifications).
    virtual bool add(const QString &folder) = 0;
    virtual void remove(const QString &folder) = 0;
    // A folder that was deleted or moved away is no longer watched.
    virtual bool isWatching(const QString &folder) const = 0;
    // Called with the folder for every change reported.
    std::function<void(const QString &folder)> changed;
};
