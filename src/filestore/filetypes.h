#pragma once

#include "fileentry.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The kind text and icon handle of an item, looked up by name and cached per lower-cased
// suffix, so that a listing asks the MIME database once per type rather than once per entry.
// Only names that say little about the format (sniffWorthy) also have their first bytes read.
// Thread-safe; the returned references live as long as the process.
namespace FileTypes {

// What a file's first bytes say it is.
enum class Content { Unknown, BinaryPropertyList, XmlPropertyList, SQLiteDatabase };

// How many first bytes sniffFile reads.
constexpr qsizetype sniffBytes = 256;

// True for the names whose suffix leaves the format open (".plist", ".db", ".sqlite", ".store",
// ...): only those are sniffed, so that a listing of 100,000 photos opens none of them.
bool sniffWorthy(QStringView name);
Content sniffContent(QByteArrayView head);
// Reads at most sniffBytes of the regular file `name` inside the open folder `dirFd` (AT_FDCWD
// for a path), following links; a FIFO or a device is never read and gives Unknown.
Content sniffFile(int dirFd, const char *name);
// The kind and icon of sniffed content; `byName` for Unknown.
const FileType &forContent(Content content, const FileType &byName);

const FileType &forFileName(QStringView name);
const FileType &folder();
const FileType &symbolicLink();
// The icon of an item about which nothing is known.
const FileIcon &genericIcon();
// An item whose values could not be read: no kind, the generic icon.
const FileType &unknown();
// The one FileType with this kind and icon.
const FileType &intern(const QString &kind, const FileIcon &icon);

} // namespace FileTypes
