// The copy of one file, and what travels with an item beyond its bytes: extended attributes and
// the lock flags.
#include "fileoperations_p.h"
#include "jobcontrol.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_DARWIN
#include <copyfile.h>
#include <sys/clonefile.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace FileOperationsPrivate {

namespace {
#ifdef Q_OS_LINUX
// A stop request is seen between chunks: small enough to end within a fraction of a second on a
// slow disk, large enough that the checks cost nothing.
constexpr size_t chunkBytes = size_t(8) << 20;
#endif
std::atomic<bool> byteCopyOnly{false};
} // namespace

void setByteCopyOnly(bool only)
{
    byteCopyOnly.store(only, std::memory_order_relaxed);
}

#ifdef Q_OS_DARWIN
namespace {
// The Finder's Locked (uchg), the administrator's schg, and the append-only flags: each keeps an
// item from being renamed or removed.
constexpr unsigned lockFlags = UF_IMMUTABLE | SF_IMMUTABLE | UF_APPEND | SF_APPEND;
} // namespace
#endif

bool isLocked(const QByteArray &path, const struct stat &st)
{
#if defined(Q_OS_DARWIN)
    Q_UNUSED(path);
    return st.st_flags & lockFlags;
#elif defined(Q_OS_LINUX)
    // The immutable and append-only attributes (chattr +i, +a); only files and folders have them.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    int attributes = 0;
    const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &attributes) == 0;
    ::close(fd);
    return known && (attributes & (FS_IMMUTABLE_FL | FS_APPEND_FL));
#else
    Q_UNUSED(path);
    Q_UNUSED(st);
    return false;
#endif
}

void unlockCopy(const QByteArray &path)
{
#ifdef Q_OS_DARWIN
    // A clone or copyfile() carries the source's flags; a locked temporary could not be renamed
    // into place nor removed.
    struct stat st;
    if (::lstat(path.constData(), &st) == 0 && (st.st_flags & lockFlags))
        ::lchflags(path.constData(), st.st_flags & ~lockFlags);
#else
    Q_UNUSED(path);
#endif
}

void lockLike(const QByteArray &source, const QByteArray &copy)
{
#ifdef Q_OS_DARWIN
    struct stat from, to;
    if (::lstat(source.constData(), &from) == 0 && (from.st_flags & lockFlags) &&
        ::lstat(copy.constData(), &to) == 0)
        ::lchflags(copy.constData(), to.st_flags | (from.st_flags & lockFlags));
#else
    // Only root may set Linux's immutable attribute; a copy is left unlocked.
    Q_UNUSED(source);
    Q_UNUSED(copy);
#endif
}

void copyFolderAttributes(const QByteArray &from, const QByteArray &to)
{
    const int in = ::open(from.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int out = in < 0 ? -1 : ::open(to.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (out >= 0) {
        copyExtendedAttributes(in, out);
        ::close(out);
    }
    if (in >= 0)
        ::close(in);
}

#ifdef Q_OS_DARWIN
namespace {
struct CopyProgress
{
    JobControl *control;
    off_t reported;
};

// copyfile()'s report after each chunk of data: counts the bytes, and quits when asked to stop.
int copyProgress(int what, int stage, copyfile_state_t state, const char *, const char *, void *context)
{
    auto *progress = static_cast<CopyProgress *>(context);
    if (what == COPYFILE_COPY_DATA && stage == COPYFILE_PROGRESS) {
        off_t copied = 0;
        if (::copyfile_state_get(state, COPYFILE_STATE_COPIED, &copied) == 0 && copied > progress->reported) {
            progress->control->addBytesDone(qint64(copied - progress->reported));
            progress->reported = copied;
        }
    }
    return progress->control->stopRequested() ? COPYFILE_QUIT : COPYFILE_CONTINUE;
}
} // namespace
#endif

int copyRegularFile(const QByteArray &from, const QByteArray &to, const struct stat &source,
                    JobControl *control)
{
#ifdef Q_OS_DARWIN
    // On APFS a clone shares the blocks until one side changes, and keeps mode, times, flags and
    // extended attributes (Finder tags). Other volumes (ENOTSUP), other devices (EXDEV) and any
    // other refusal get the platform's own copy, which keeps the same.
    if (!byteCopyOnly.load(std::memory_order_relaxed) &&
        ::clonefile(from.constData(), to.constData(), CLONE_NOFOLLOW) == 0) {
        if (control)
            control->addBytesDone(qint64(source.st_size));
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    if (!control)
        return ::copyfile(from.constData(), to.constData(), nullptr,
                          COPYFILE_ALL | COPYFILE_NOFOLLOW | COPYFILE_EXCL) == 0
                   ? 0
                   : errno;
    CopyProgress progress{control, 0};
    copyfile_state_t state = ::copyfile_state_alloc();
    ::copyfile_state_set(state, COPYFILE_STATE_STATUS_CB, reinterpret_cast<const void *>(&copyProgress));
    ::copyfile_state_set(state, COPYFILE_STATE_STATUS_CTX, &progress);
    const int result =
        ::copyfile(from.constData(), to.constData(), state, COPYFILE_ALL | COPYFILE_NOFOLLOW | COPYFILE_EXCL);
    const int error = result == 0 ? 0 : control->stopRequested() ? ECANCELED : errno;
    ::copyfile_state_free(state);
    return error;
#else
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    bool useReadWrite = true;
#ifdef Q_OS_LINUX
    useReadWrite = byteCopyOnly.load(std::memory_order_relaxed);
    bool copiedAny = false;
    while (!useReadWrite) {
        if (control && control->stopRequested()) {
            error = ECANCELED;
            break;
        }
        const ssize_t n =
            ::copy_file_range(in, nullptr, out, nullptr, control ? chunkBytes : size_t(1) << 30, 0);
        if (n > 0) {
            copiedAny = true;
            if (control)
                control->addBytesDone(n);
            continue;
        }
        if (n == 0) {
            // Some file systems report nothing to copy for files that do hold data.
            useReadWrite = !copiedAny && source.st_size > 0;
            break;
        }
        if (errno == EINTR)
            continue;
        if (!copiedAny && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            useReadWrite = true;
        else
            error = errno;
        break;
    }
#endif
    if (!error && useReadWrite) {
        // Not zeroed, and no larger than the file: copying thousands of small files must not
        // cost a megabyte of memset each.
        const size_t bufferSize = size_t(std::clamp<qint64>(qint64(source.st_size), 4096, 1 << 20));
        const std::unique_ptr<char[]> buffer(new char[bufferSize]);
        for (;;) {
            if (control && control->stopRequested()) {
                error = ECANCELED;
                break;
            }
            const ssize_t n = ::read(in, buffer.get(), bufferSize);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0)
                break;
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(out, buffer.get() + done, size_t(n - done));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0) {
                    error = errno;
                    break;
                }
                done += w;
            }
            if (error)
                break;
            if (control)
                control->addBytesDone(n);
        }
    }
    if (!error) {
        copyExtendedAttributes(in, out);
        ::fchmod(out, source.st_mode & 07777);
        const struct timespec times[2] = {source.st_atim, source.st_mtim};
        ::futimens(out, times);
    }
    if (::close(out) != 0 && !error)
        error = errno;
    ::close(in);
    return error;
#endif
}

void copyExtendedAttributes(int from, int to)
{
#if defined(Q_OS_DARWIN)
    ::fcopyfile(from, to, nullptr, COPYFILE_XATTR);
#elif defined(Q_OS_LINUX)
    // The user's own attributes; the others are the system's (ACLs, security labels) and follow
    // the folder they land in. A volume that takes none (ENOTSUP) gets none.
    std::vector<char> names(4096);
    ssize_t length;
    while ((length = ::flistxattr(from, names.data(), names.size())) < 0 && errno == ERANGE)
        names.resize(names.size() * 4);
    std::vector<char> value;
    for (ssize_t at = 0; at < length; at += ssize_t(std::strlen(names.data() + at)) + 1) {
        const char *name = names.data() + at;
        if (std::strncmp(name, "user.", 5) != 0)
            continue;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(size_t(size) + 1);
        const ssize_t read = ::fgetxattr(from, name, value.data(), value.size());
        if (read >= 0 && ::fsetxattr(to, name, value.data(), size_t(read), 0) != 0 && errno == ENOTSUP)
            return;
    }
#else
    Q_UNUSED(from);
    Q_UNUSED(to);
#endif
}

} // namespace FileOperationsPrivate
