#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

struct stat;
class JobControl;

// errno-level pieces of FileOperations shared with the trash.
namespace FileOperationsPrivate {

// 0 or an errno; fails with EEXIST, replacing nothing, when `to` exists.
int renameExclusive(const QByteArray &from, const QByteArray &to);

// The end of a sentence "... because REASON." for an errno.
QString reasonFor(int error);

// Locked (macOS: chflags uchg/schg/uappnd/sappnd; Linux: chattr +i/+a): the item cannot be
// renamed or removed. Links are not followed.
bool isLocked(const QByteArray &path, const struct stat &st);
// Takes the lock flags off a copy of ours (a clone carries them), so it can be renamed into
// place or removed; lockLike() puts the source's back once the copy is in place.
void unlockCopy(const QByteArray &path);
void lockLike(const QByteArray &source, const QByteArray &copy);
// Copies what a clone would keep beyond the bytes: extended attributes (Finder tags among
// them on macOS; the user.* ones on Linux). Best effort: a volume without them gets none.
void copyExtendedAttributes(int from, int to);
void copyFolderAttributes(const QByteArray &from, const QByteArray &to);

// filetree.cpp: the names in a folder, "." and ".." left out, read to the end before anyone
// changes the folder. 0, or the errno of opening (`opened` false) or of reading it (the names read
// so far are kept).
int childNames(const QByteArray &folder, std::vector<QByteArray> &names, bool *opened = nullptr);
// 0 or an errno. Links are copied as links, so a link cannot lead the copy out of the tree or
// round a loop; sockets and devices are refused. Stopped through `control`: ECANCELED.
int copyTree(const QByteArray &from, const QByteArray &to, JobControl *control);
// Deletes a tree. `ownCopy`: the tree is a copy this program made, whose folders may carry a
// read-only source's permissions, so they are opened up first. Anyone else's read-only folder is
// left as it is: it says "keep this".
int removeTree(const QByteArray &path, bool ownCopy = false);
// 0 when every item of the tree can be removed by us, or the errno of the first that cannot:
// a folder we cannot list and empty, or a locked item (EPERM, `locked` set to it).
int checkRemovable(const QByteArray &path, QByteArray &locked);

// Only the plain read-and-write copy, no clone or in-kernel copy (measurements compare them).
void setByteCopyOnly(bool only);

// Copies a regular file to `to`, which must not exist; 0 or an errno. `source` is its lstat.
// With a control, the bytes are counted there and a stop request ends the copy between chunks
// with ECANCELED (the partial file is the caller's to remove).
int copyRegularFile(const QByteArray &from, const QByteArray &to, const struct stat &source,
                    JobControl *control = nullptr);

} // namespace FileOperationsPrivate
