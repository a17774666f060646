#pragma once

#include "fileentry.h"

#include <QList>
#include <QString>
#include <QUrl>

// Reading a folder into entries. Blocking, never failing, safe on any thread; nothing cached
// beyond the per-type kind and icon.

// The visible immediate children of the folder, sorted by NameCollation with equal names in
// enumeration order. Hidden items are skipped; any failure gives the empty list.
QList<FileEntry> listDirectory(const QUrl &folder);
QList<FileEntry> listDirectory(const QString &folderPath);

// A folder's listing, or why it could not be read.
struct FolderListing
{
    QList<FileEntry> entries;
    int error = 0; // an errno; 0 when read
};

// Lists the folder open as `dirFd`, which it takes over and closes, naming the entries below
// `folderPath`. Distinguishes a folder that cannot be read from an empty one.
FolderListing listOpenFolder(int dirFd, const QString &folderPath);

// One entry for the item at the URL. An item whose values cannot be read still gives an entry:
// not a folder, no date, no size, no kind, the generic icon.
FileEntry makeFileEntry(const QUrl &url);
