#include "fileoperations_p.h"
#include "jobcontrol.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>

// Walks over a tree of items: listing, copying, removing, and checking that it can be removed.
namespace FileOperationsPrivate {

int childNames(const QByteArray &folder, std::vector<QByteArray> &names, bool *opened)
{
    DIR *dir = ::opendir(folder.constData());
    if (opened)
        *opened = dir != nullptr;
    if (!dir)
        return errno;
    std::unique_ptr<DIR, int (*)(DIR *)> closer(dir, ::closedir);
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(dir);
        if (!item)
            return errno;
        const QByteArray name(item->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
}

int copyTree(const QByteArray &from, const QByteArray &to, JobControl *control)
{
    if (control && control->stopRequested())
        return ECANCELED;
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(from.constData(), target.data(), target.size() - 1);
        if (n < 0)
            return errno;
        target[size_t(n)] = '\0';
        if (::symlink(target.data(), to.constData()) != 0)
            return errno;
        if (control)
            control->addItemDone();
        return 0;
    }
    if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) {
        const int error = S_ISREG(st.st_mode) ? copyRegularFile(from, to, st, control)
                          : ::mkfifo(to.constData(), st.st_mode & 07777) == 0 ? 0
                                                                              : errno;
        if (!error && control)
            control->addItemDone();
        return error;
    }
    if (!S_ISDIR(st.st_mode))
        return ENOTSUP;

    if (::mkdir(to.constData(), 0700) != 0)
        return errno;
    std::vector<QByteArray> names;
    if (const int error = childNames(from, names))
        return error;
    for (const QByteArray &name : names) {
        if (const int error = copyTree(from + '/' + name, to + '/' + name, control))
            return error;
    }
    if (control)
        control->addItemDone();
    copyFolderAttributes(from, to);
    // Permissions last, so that a read-only source folder can still be filled.
    ::chmod(to.constData(), st.st_mode & 07777);
#ifdef Q_OS_DARWIN
    const struct timespec times[2] = {st.st_atimespec, st.st_mtimespec};
#else
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
#endif
    ::utimensat(AT_FDCWD, to.constData(), times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int removeTree(const QByteArray &path, bool ownCopy)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (ownCopy)
        unlockCopy(path);
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.constData()) == 0 ? 0 : errno;
    if (ownCopy && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::chmod(path.constData(), (st.st_mode & 07777) | S_IRWXU);
    std::vector<QByteArray> names;
    bool opened = false;
    int firstError = childNames(path, names, &opened);
    if (!opened)
        return firstError;
    for (const QByteArray &name : names) {
        const int error = removeTree(path + '/' + name, ownCopy);
        if (error && !firstError)
            firstError = error;
    }
    if (::rmdir(path.constData()) != 0 && !firstError)
        firstError = errno;
    return firstError;
}

int checkRemovable(const QByteArray &path, QByteArray &locked)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (isLocked(path, st)) {
        locked = path;
        return EPERM;
    }
    if (!S_ISDIR(st.st_mode))
        return 0;
    if (::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK | X_OK, AT_EACCESS) != 0)
        return errno;
    std::vector<QByteArray> names;
    if (const int error = childNames(path, names))
        return error;
    for (const QByteArray &name : names) {
        if (const int error = checkRemovable(path + '/' + name, locked))
            return error;
    }
    return 0;
}

} // namespace FileOperationsPrivate
