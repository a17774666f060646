#pragma once

#include "filestore/fileentry.h"

#include <QIcon>

// Turns the core's per-type icon handles into icons: one QIcon per handle, made on first use.
// On Linux from the desktop's icon theme (the type's icon, then its generic icon, then the
// style's file or folder icon); on macOS from the Finder's icons (QFileIconProvider), asked for
// the first entry of each type. GUI thread only: the theme cache has no lock.
namespace FileIcons {

QIcon icon(const FileEntry &entry);

} // namespace FileIcons
