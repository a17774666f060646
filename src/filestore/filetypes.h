#pragma once

#include "fileentry.h"

#include <QString>
#include <QStringView>

// The kind text and icon handle of an item, looked up by name only (never by content) and
// cached per lower-cased suffix, so that a listing asks the MIME database once per type rather
// than once per entry. Thread-safe; the returned references live as long as the process.
namespace FileTypes {

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
