#pragma once

#include "base/result.h"

#include <QString>

#include <optional>

class JobControl;

// Synchronous file-system operations for the Files commands, on paths. They never follow a
// symbolic link out of the tree they work on, never replace an item unless asked to, and never
// leave a partly written item under its final name. A failure's message is a sentence for the
// user that names the item.
namespace FileOperations {

// Anything at the path, a dangling link included.
bool exists(const QString &path);

// Whether the path is a folder now (links followed); none when it cannot be asked.
std::optional<bool> isDirectory(const QString &path);

// A new empty folder; fails when anything exists at the path or the parent is missing.
Status createFolder(const QString &path);
// The same inside the open folder `folderFd`, which `path` names.
Status createFolderIn(int folderFd, const QString &path);

// Renames in place; fails without replacing anything when `to` exists.
Status moveNoReplace(const QString &from, const QString &to);

// Counts the items of a tree (the item itself, and everything in a folder, links not followed)
// and the bytes of its files into the control's total.
void measure(const QString &path, JobControl &control);

// Whether a failed copy or replace was stopped through its control (nothing of it is left).
bool wasCancelled(const Status &status, const JobControl *control);

// Copies a file, a link (as a link) or a whole folder tree to `to`, which must not exist. The
// copy is made under a hidden temporary name beside `to` and renamed into place when complete.
// With a control, the copy counts its items and bytes there and, asked to stop, ends within a
// chunk: the temporary is removed and `to` is left as it was.
Status copyItem(const QString &from, const QString &to, JobControl *control = nullptr);

// Like copyItem, but an item at `to` is replaced once the copy is complete; on failure it is
// left as it was. A folder that could not be removed completely (a read-only folder inside it)
// is not replaced. Stopped through `control`, the old item stays as it was.
Status copyReplacing(const QString &from, const QString &to, JobControl *control = nullptr);

// Deletes a file, a link (not its target) or a folder with everything in it.
Status removeItem(const QString &path);

// Whether `path` is `folder` itself or lies inside it, links resolved.
bool isSameOrInside(const QString &path, const QString &folder);

// Whether the item at `path` is `item` itself or lies inside it, so that deleting `item` would
// delete it too. Folders are compared by identity, so another spelling of the same folder
// (through a link, in other letter case) still counts; the last component of either path is not
// followed, as deleting a link deletes only the link.
bool liesWithinItem(const QString &path, const QString &item);

} // namespace FileOperations
