#pragma once

#include "fileentry.h"

#include <QString>
#include <QStringView>

// The kind text and icon handle of an item, looked up by name only (never by content) and
// cached per lower-cased suffix, so that a listing asks the MIME database once per type rather
// than once per entry. Thread-safe; the returned references live as long as the process.
struct FileType
{
    QString kind; // the MIME type's localized description
    FileIcon icon;
};

namespace FileTypes {

const FileType &forFileName(QStringView name);
const FileType &folder();
const FileType &symbolicLink();
// The icon of an item about which nothing is known.
const FileIcon &genericIcon();

} // namespace FileTypes
