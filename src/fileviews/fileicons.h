#pragma once

#include "filestore/fileentry.h"

#include <QIcon>

// Turns the core's per-type icon handles into icons: one QIcon per handle, made on first use
// from the desktop's icon theme (the type's icon, then its generic icon, then the style's file
// or folder icon). GUI thread only: the theme cache has no lock.
namespace FileIcons {

QIcon icon(const FileIcon &handle);

} // namespace FileIcons
