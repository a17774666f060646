#pragma once

#include "simulator/result.h"

#include <QList>
#include <QString>
#include <QUrl>

// The desktop services the Files operations use, each behind a small interface so that tests can
// record what was asked. The workspace and the pasteboard need the GUI and are implemented in the
// widgets layer (DesktopWorkspace, SystemPasteboard); the trash is in the core (FreedesktopTrash).

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
