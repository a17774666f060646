#include "fileoperations.h"
#include "fileoperations_p.h"
#include "jobcontrol.h"
#include "plaintext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;
using FileOperationsPrivate::checkRemovable;
using FileOperationsPrivate::childNames;
using FileOperationsPrivate::copyTree;
using FileOperationsPrivate::removeTree;

namespace {

// As messages show it.
QString nameOf(const QString &path)
{
    return PlainText::oneLine(QFileInfo(path).fileName());
}

QString reasonFor(int error)
{
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return u"an item with the same name already exists"_s;
    case ENOENT:
        return u"it doesn’t exist"_s;
    case EACCES:
    case EPERM:
        return u"you don’t have permission to access it"_s;
    case ENOSPC:
    case EDQUOT:
        return u"there isn’t enough space on the disk"_s;
    case ENAMETOOLONG:
        return u"the name is too long"_s;
    case EROFS:
        return u"the volume is read-only"_s;
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

Status failure(const QString &path, const QString &participle, int error)
{
    return Status::failure(
        u"“%1” couldn’t be %2 because %3."_s.arg(nameOf(path), participle, reasonFor(error)));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// ENOENT for a folder that is missing (the folder on screen was deleted meanwhile) names that
// folder rather than blaming the item. `itemExists`: whether the item itself is there.
Status placeFailure(const QString &item, const QString &destination, const QString &participle, int error,
                    bool itemExists)
{
    const QString folder = QFileInfo(destination).path();
    if (error == ENOENT && itemExists && !FileOperations::exists(folder))
        return Status::failure(u"“%1” couldn’t be %2 because the folder “%3” doesn’t exist."_s.arg(
            nameOf(item), participle, nameOf(folder)));
    return failure(item, participle, error);
}

bool lstatPath(const QByteArray &path, struct stat &st)
{
    return ::lstat(path.constData(), &st) == 0;
}

// A name that the listing skips (it starts with "."), short enough for any item's folder.
QString temporarySibling(const QString &path)
{
    const QString folder = QFileInfo(path).path();
    QString name;
    do {
        name = folder + u"/.lanthorn-"_s + QString::number(QRandomGenerator::global()->generate64(), 36);
    } while (FileOperations::exists(name));
    return name;
}

#ifdef Q_OS_LINUX
constexpr unsigned renameNoReplaceFlag = RENAME_NOREPLACE;
constexpr unsigned renameExchangeFlag = RENAME_EXCHANGE;
#endif

// 0 or an errno. Fails with EEXIST, replacing nothing, when `to` exists.
int renameExclusive(const QByteArray &from, const QByteArray &to)
{
#if defined(Q_OS_LINUX)
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), renameNoReplaceFlag) == 0)
        return 0;
#elif defined(Q_OS_DARWIN)
    if (::renamex_np(from.constData(), to.constData(), RENAME_EXCL) == 0)
        return 0;
#endif
#if defined(Q_OS_LINUX) || defined(Q_OS_DARWIN)
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
#endif
    // The file system cannot rename exclusively: a hard link is exclusive for files, and a
    // check just before the rename is the best left for folders.
    struct stat st;
    if (!lstatPath(from, st))
        return errno;
    if (!S_ISDIR(st.st_mode)) {
        if (::link(from.constData(), to.constData()) == 0)
            return ::unlink(from.constData()) == 0 ? 0 : errno;
        if (errno == EEXIST)
            return EEXIST;
    }
    if (lstatPath(to, st))
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// Removes a temporary copy of ours. Empty, or a sentence for the message when some of it stays:
// a hidden item the user was not told about would never be cleaned up.
QString discardTemporary(const QByteArray &temporary)
{
    struct stat st;
    if (removeTree(temporary, true) == 0 || !lstatPath(temporary, st))
        return {};
    return u" Part of the copy was left in the hidden folder “%1”."_s.arg(
        PlainText::oneLine(QFile::decodeName(temporary)));
}

Status withNote(const Status &status, const QString &note)
{
    return note.isEmpty() || status ? status : Status::failure(status.error() + note);
}

// Swaps two items in one step, where the volume can (RENAME_EXCHANGE on Linux, RENAME_SWAP on
// APFS); false leaves both as they were, for the two-rename way.
bool exchange(const QByteArray &a, const QByteArray &b)
{
#if defined(Q_OS_LINUX)
    return ::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), renameExchangeFlag) == 0;
#elif defined(Q_OS_DARWIN)
    return ::renamex_np(a.constData(), b.constData(), RENAME_SWAP) == 0;
#else
    return false;
#endif
}

// Undoes a swap: the old item at `old` goes back to `existing`, and the new item that stood
// there moves aside. Gives where the new item went, or none when the old item could not be put
// back (the new one then stays in place).
std::optional<QByteArray> putBack(const QByteArray &old, const QByteArray &existing)
{
    if (exchange(old, existing))
        return old;
    const QByteArray aside = encoded(temporarySibling(QFile::decodeName(existing)));
    if (::rename(existing.constData(), aside.constData()) != 0)
        return std::nullopt;
    if (::rename(old.constData(), existing.constData()) != 0) {
        ::rename(aside.constData(), existing.constData());
        return std::nullopt;
    }
    return aside;
}

// Puts the copy at `replacement` in the place of `existing` and removes what was there. When the
// old item cannot all be removed, it is put back and the copy discarded; only when even that
// fails does it stay, under a hidden name that the message gives.
Status swapIntoPlace(const QByteArray &replacement, const QByteArray &existing, const QString &from)
{
    const QString to = QFile::decodeName(existing);
    const auto copyFailure = [&](int error) {
        return withNote(placeFailure(from, to, u"copied"_s, error, FileOperations::exists(from)),
                        discardTemporary(replacement));
    };
    struct stat oldSt, newSt;
    if (!lstatPath(existing, oldSt) || !lstatPath(replacement, newSt))
        return copyFailure(errno);
    if (!S_ISDIR(oldSt.st_mode) && !S_ISDIR(newSt.st_mode)) {
        if (::rename(replacement.constData(), existing.constData()) != 0)
            return copyFailure(errno);
        return Status::success({});
    }
    QByteArray old; // where the old item is once the copy stands in its place
    if (exchange(replacement, existing))
        old = replacement;
    if (old.isEmpty()) {
        const QByteArray backup = encoded(temporarySibling(to));
        if (::rename(existing.constData(), backup.constData()) != 0)
            return copyFailure(errno);
        if (::rename(replacement.constData(), existing.constData()) != 0) {
            const int error = errno;
            ::rename(backup.constData(), existing.constData());
            return copyFailure(error);
        }
        old = backup;
    }
    const int removal = removeTree(old);
    if (removal == 0)
        return Status::success({});
    if (const auto copy = putBack(old, existing))
        return withNote(failure(to, u"replaced"_s, removal), discardTemporary(*copy));
    return Status::failure(u"“%1” was replaced, but some of its old contents couldn’t be removed because %2. "
                           u"They were left in the hidden folder “%3”."_s.arg(
                               nameOf(to), reasonFor(removal), PlainText::oneLine(QFile::decodeName(old))));
}

// Copies into a hidden temporary beside `to`; none and a cleaned-up folder on failure, with
// `note` saying what could not be cleaned up.
std::optional<QByteArray> copyToTemporary(const QString &from, const QString &to, int &error, QString &note,
                                          JobControl *control)
{
    const QByteArray temporary = encoded(temporarySibling(to));
    error = copyTree(encoded(from), temporary, control);
    // Stopped after the last chunk: the copy is complete, but nothing may change any more.
    if (!error && control && control->stopRequested())
        error = ECANCELED;
    if (error) {
        note = discardTemporary(temporary);
        return std::nullopt;
    }
    FileOperationsPrivate::unlockCopy(temporary);
    return temporary;
}

// On a volume that ignores letter case (and Unicode normalization), the name in `path`'s folder
// of the item that `path` finds under another spelling; empty when the folder holds the exact
// name or nothing is found. Inode numbers cannot tell (FUSE gives each spelling its own), so the
// one name that matches ignoring case, of the same kind and size, is taken; whatever renames
// on it still never replaces anything.
QByteArray otherSpelling(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = path.left(slash), name = path.mid(slash + 1);
    std::vector<QByteArray> names;
    struct stat item, st;
    if (slash <= 0 || !lstatPath(path, item) || childNames(folder, names) != 0 ||
        std::find(names.begin(), names.end(), name) != names.end())
        return {};
    const QString wanted = QFile::decodeName(name).normalized(QString::NormalizationForm_C);
    QByteArray found;
    for (const QByteArray &entry : names) {
        if (QFile::decodeName(entry)
                .normalized(QString::NormalizationForm_C)
                .compare(wanted, Qt::CaseInsensitive))
            continue;
        if (!found.isEmpty() || !lstatPath(folder + '/' + entry, st) ||
            (st.st_mode & S_IFMT) != (item.st_mode & S_IFMT) || st.st_size != item.st_size)
            return {};
        found = entry;
    }
    return found;
}

// Gives the item found at `path` under another spelling the exact one, by way of a hidden name:
// a volume that ignores case may take a direct rename for a rename onto itself, and do nothing.
int respell(const QByteArray &path)
{
    const QByteArray spelled = otherSpelling(path);
    if (spelled.isEmpty())
        return EEXIST;
    const QByteArray current = path.left(path.lastIndexOf('/') + 1) + spelled;
    const QByteArray aside = encoded(temporarySibling(QFile::decodeName(path)));
    if (::rename(current.constData(), aside.constData()) != 0)
        return errno;
    if (const int error = renameExclusive(aside, path)) {
        ::rename(aside.constData(), current.constData());
        return error;
    }
    return 0;
}

Status lockedFailure(const QByteArray &target, const QByteArray &locked)
{
    const QString name = nameOf(QFile::decodeName(target));
    if (locked == target)
        return Status::failure(u"“%1” couldn’t be replaced because it’s locked."_s.arg(name));
    return Status::failure(u"“%1” couldn’t be replaced because “%2” in it is locked."_s.arg(
        name, PlainText::oneLine(QFile::decodeName(locked.mid(target.size() + 1)))));
}

} // namespace

namespace FileOperationsPrivate {

int renameExclusive(const QByteArray &from, const QByteArray &to)
{
    return ::renameExclusive(from, to);
}

QString reasonFor(int error)
{
    return ::reasonFor(error);
}

} // namespace FileOperationsPrivate

namespace FileOperations {

bool exists(const QString &path)
{
    struct stat st;
    return lstatPath(encoded(path), st);
}

std::optional<bool> isDirectory(const QString &path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0)
        return std::nullopt;
    return S_ISDIR(st.st_mode);
}

Status createFolder(const QString &path)
{
    if (::mkdir(encoded(path).constData(), 0777) != 0) {
        const int error = errno;
        return placeFailure(path, path, u"created"_s, error, true);
    }
    return Status::success({});
}

Status createFolderIn(int folderFd, const QString &path)
{
    if (::mkdirat(folderFd, encoded(nameOf(path)).constData(), 0777) != 0) {
        const int error = errno;
        return placeFailure(path, path, u"created"_s, error, true);
    }
    return Status::success({});
}

Status moveNoReplace(const QString &from, const QString &to)
{
    int error = renameExclusive(encoded(from), encoded(to));
    // Only the letter case changes, on a volume that ignores it: `to` finds the item itself.
    if (error == EEXIST && QFileInfo(from).path() == QFileInfo(to).path() &&
        otherSpelling(encoded(to)) == encoded(nameOf(from)))
        error = respell(encoded(to));
    if (error) {
        return Status::failure(
            u"“%1” couldn’t be renamed “%2” because %3."_s.arg(nameOf(from), nameOf(to), reasonFor(error)));
    }
    return Status::success({});
}

void measure(const QString &path, JobControl &control)
{
    struct stat st;
    const QByteArray bytes = encoded(path);
    if (control.stopRequested() || !lstatPath(bytes, st))
        return;
    control.addToTotal(1, S_ISREG(st.st_mode) ? qint64(st.st_size) : 0);
    std::vector<QByteArray> names;
    if (S_ISDIR(st.st_mode) && childNames(bytes, names) == 0) {
        for (const QByteArray &name : names)
            measure(QFile::decodeName(bytes + '/' + name), control);
    }
}

bool wasCancelled(const Status &status, const JobControl *control)
{
    return !status && control && control->stopRequested();
}

Status copyItem(const QString &from, const QString &to, JobControl *control)
{
    if (exists(to))
        return failure(from, u"copied"_s, EEXIST);
    int error = 0;
    QString note;
    const auto temporary = copyToTemporary(from, to, error, note, control);
    if (!temporary)
        return withNote(placeFailure(from, to, u"copied"_s, error, exists(from)), note);
    if ((error = renameExclusive(*temporary, encoded(to)))) {
        note = discardTemporary(*temporary);
        return withNote(placeFailure(from, to, u"copied"_s, error, exists(from)), note);
    }
    FileOperationsPrivate::lockLike(encoded(from), encoded(to));
    return Status::success({});
}

Status copyReplacing(const QString &from, const QString &to, JobControl *control)
{
    const QByteArray target = encoded(to);
    // Found out before anything is deleted: a replacement that stopped halfway would have lost
    // part of the old folder and still not hold the new one.
    QByteArray locked;
    if (const int error = exists(to) ? checkRemovable(target, locked) : 0)
        return locked.isEmpty() ? failure(to, u"replaced"_s, error) : lockedFailure(target, locked);
    int error = 0;
    QString note;
    const auto temporary = copyToTemporary(from, to, error, note, control);
    if (!temporary)
        return withNote(placeFailure(from, to, u"copied"_s, error, exists(from)), note);
    error = renameExclusive(*temporary, target);
    if (error == EEXIST) {
        Status swapped = swapIntoPlace(*temporary, target, from);
        if (!swapped)
            return swapped;
        // An item that differed only in case kept its spelling through the swap: the copy's wins.
        respell(target);
    } else if (error) {
        note = discardTemporary(*temporary);
        return withNote(placeFailure(from, to, u"copied"_s, error, exists(from)), note);
    }
    FileOperationsPrivate::lockLike(encoded(from), target);
    return Status::success({});
}

Status removeItem(const QString &path)
{
    if (const int error = removeTree(encoded(path)))
        return failure(path, u"removed"_s, error);
    return Status::success({});
}

bool isSameOrInside(const QString &path, const QString &folder)
{
    const QString canonicalPath = QFileInfo(path).canonicalFilePath();
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (canonicalPath.isEmpty() || canonicalFolder.isEmpty())
        return false;
    return canonicalPath == canonicalFolder ||
           canonicalPath.startsWith(canonicalFolder.endsWith(u'/') ? canonicalFolder
                                                                   : canonicalFolder + u'/');
}

bool liesWithinItem(const QString &path, const QString &item)
{
    // FUSE gives each spelling its own inode number: the item is asked by the name on disk.
    QByteArray itemBytes = encoded(item);
    if (const QByteArray spelled = otherSpelling(itemBytes); !spelled.isEmpty())
        itemBytes = itemBytes.left(itemBytes.lastIndexOf('/') + 1) + spelled;
    struct stat target, st;
    if (!lstatPath(itemBytes, target) || !lstatPath(encoded(path), st))
        return false;
    const auto isTarget = [&](const struct stat &other) {
        return other.st_dev == target.st_dev && other.st_ino == target.st_ino;
    };
    const auto folderOf = [](const QString &p) {
        return QFileInfo(QFileInfo(p).absolutePath()).canonicalFilePath();
    };
    const QString folder = folderOf(path);
    if (!S_ISDIR(target.st_mode)) {
        // A file holds nothing; it is the item when it is the same file in the same folder (a
        // hard link elsewhere is a name that stays).
        struct stat a, b;
        return isTarget(st) && ::stat(encoded(folder).constData(), &a) == 0 &&
               ::stat(encoded(folderOf(item)).constData(), &b) == 0 && a.st_dev == b.st_dev &&
               a.st_ino == b.st_ino;
    }
    if (isTarget(st))
        return true;
    // Up the path's real folders: any of them may be the item under another spelling.
    for (QString ancestor = folder; !ancestor.isEmpty(); ancestor = QFileInfo(ancestor).path()) {
        struct stat ancestorSt;
        if (::stat(encoded(ancestor).constData(), &ancestorSt) == 0 && isTarget(ancestorSt))
            return true;
        if (ancestor == u"/"_s)
            break;
    }
    return false;
}

} // namespace FileOperations
