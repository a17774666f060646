#include "listing.h"

#include "filetypes.h"
#include "namecollation.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

qint64 modifiedMSecs(const struct stat &st)
{
#ifdef Q_OS_DARWIN
    const struct timespec &t = st.st_mtimespec;
#else
    const struct timespec &t = st.st_mtim;
#endif
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

bool isHidden(const char *name, [[maybe_unused]] const struct stat *st)
{
    if (name[0] == '.')
        return true;
#ifdef Q_OS_DARWIN
    return st && (st->st_flags & UF_HIDDEN);
#else
    return false;
#endif
}

// The entry for `name` inside the open folder `dirFd`. Symbolic links are followed; a link
// whose target is missing is described by the link itself.
FileEntry entryAt(int dirFd, const char *name, const QString &parentPath, const QString &decodedName,
                  const struct stat *known)
{
    struct stat st;
    bool ok = known != nullptr;
    if (ok)
        st = *known;
    else
        ok = ::fstatat(dirFd, name, &st, 0) == 0;
    const FileType *type = nullptr;
    if (!ok && ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        ok = true;
        type = &FileTypes::symbolicLink();
    }
    if (!ok)
        return FileEntry(parentPath, decodedName, false, std::nullopt, std::nullopt, FileTypes::unknown());
    const bool isDirectory = S_ISDIR(st.st_mode);
    if (!type)
        type = isDirectory ? &FileTypes::folder() : &FileTypes::forFileName(decodedName);
    if (S_ISREG(st.st_mode) && FileTypes::sniffWorthy(decodedName))
        type = &FileTypes::forContent(FileTypes::sniffFile(dirFd, name), *type);
    return FileEntry(parentPath, decodedName, isDirectory, modifiedMSecs(st), qint64(st.st_size), *type);
}

// macOS volumes may hand names back decomposed (NFD); QFile::decodeName composes them, as the
// names the user types are, and the volume finds the item by either form. Elsewhere names are
// the bytes on disk, and UTF-8 to Qt: fromUtf8 skips the converter set-up.
QString decodedName(const char *name)
{
#ifdef Q_OS_DARWIN
    return QFile::decodeName(name);
#else
    return QString::fromUtf8(name);
#endif
}

QString withTrailingSlash(const QString &path)
{
    QString cleaned = QDir::cleanPath(path);
    if (!cleaned.endsWith(u'/'))
        cleaned += u'/';
    return cleaned;
}

// Puts the entries in name order by following the cycles of the sorted permutation, so that no
// second list of entries is allocated.
void sortInPlace(QList<FileEntry> &entries)
{
    const auto order = NameCollation::sortedOrder(
        entries.size(), [&entries](qsizetype i) { return QStringView(entries[i].name()); });
    std::vector<bool> placed(order.size(), false);
    FileEntry *data = entries.data();
    for (size_t start = 0; start < order.size(); ++start) {
        if (placed[start])
            continue;
        FileEntry held = std::move(data[start]);
        size_t at = start;
        for (;;) {
            placed[at] = true;
            const size_t from = size_t(order[at]);
            if (from == start) {
                data[at] = std::move(held);
                break;
            }
            data[at] = std::move(data[from]);
            at = from;
        }
    }
}

} // namespace

QList<FileEntry> listDirectory(const QUrl &folder)
{
    if (!folder.isLocalFile())
        return {};
    return listDirectory(folder.toLocalFile());
}

QList<FileEntry> listDirectory(const QString &folderPath)
{
    if (folderPath.isEmpty())
        return {};
    const int dirFd = ::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return {};
    return listOpenFolder(dirFd, folderPath).entries;
}

FolderListing listOpenFolder(int dirFd, const QString &folderPath)
{
    FolderListing listing;
    DIR *dir = dirFd < 0 ? nullptr : ::fdopendir(dirFd);
    if (!dir) {
        listing.error = dirFd < 0 ? EBADF : errno;
        if (dirFd >= 0)
            ::close(dirFd);
        return listing;
    }
    const QString parentPath = withTrailingSlash(folderPath);
    QList<FileEntry> &entries = listing.entries;
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(dir);
        if (!item) {
            listing.error = errno;
            break;
        }
        if (item->d_name[0] == '.')
            continue;
        struct stat st;
        const bool statOk = ::fstatat(dirFd, item->d_name, &st, 0) == 0;
        if (statOk && isHidden(item->d_name, &st))
            continue;
        entries.append(
            entryAt(dirFd, item->d_name, parentPath, decodedName(item->d_name), statOk ? &st : nullptr));
    }
    ::closedir(dir);
    if (listing.error) {
        entries.clear();
        return listing;
    }
    sortInPlace(entries);
    return listing;
}

FileEntry makeFileEntry(const QUrl &url)
{
    const QString path = QDir::cleanPath(url.toLocalFile());
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parentPath = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    const QByteArray encoded = QFile::encodeName(path);
    return entryAt(AT_FDCWD, encoded.constData(), parentPath, name, nullptr);
}
