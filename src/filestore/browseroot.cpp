#include "browseroot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Folders on the way are only passed through: where the platform can, they are opened without
// asking to read them, so that an unreadable root still counts as there (and says so).
#if defined(O_PATH)
constexpr int passFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int passFlags = O_SEARCH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int passFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

QString realPathOf(const QString &path)
{
    char *real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return {};
    QString decoded = QFile::decodeName(real);
    std::free(real);
    return decoded;
}

bool isInside(const QString &path, const QString &folder)
{
    return path == folder || folder == u"/"_s || path.startsWith(folder + u'/');
}

// `path` relative to `folder`, which holds it; "." for the folder itself.
QString relativeTo(const QString &path, const QString &folder)
{
    if (path == folder)
        return u"."_s;
    return path.mid(folder == u"/"_s ? 1 : folder.size() + 1);
}

} // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<BrowseRoot> BrowseRoot::resolve(const QString &root, const QString &boundary)
{
    BrowseRoot resolved;
    resolved.m_path = QDir::cleanPath(root);
    resolved.m_realPath = realPathOf(resolved.m_path);
    if (root.isEmpty() || resolved.m_realPath.isEmpty())
        return std::nullopt;
    if (boundary.isEmpty()) {
        resolved.m_boundary = resolved.m_realPath;
    } else {
        // The device folder itself must be a folder, not a link: one to "/" would make the
        // whole disk "inside the device".
        const QString cleanBoundary = QDir::cleanPath(boundary);
        struct stat st;
        if (::lstat(QFile::encodeName(cleanBoundary).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
        const QString parent = realPathOf(QFileInfo(cleanBoundary).path());
        if (parent.isEmpty())
            return std::nullopt;
        const QString name = QFileInfo(cleanBoundary).fileName();
        resolved.m_boundary = name.isEmpty() ? parent : QDir::cleanPath(parent + u'/' + name);
    }
    if (!isInside(resolved.m_realPath, resolved.m_boundary))
        return std::nullopt;
    if (!resolved.open())
        return std::nullopt;
    return resolved;
}

// Walks down the real path from "/" one folder at a time, following no link: what it opens is
// the folder at that path, inside the device folder, whatever is renamed or replaced meanwhile.
UniqueFd BrowseRoot::openRealFolder(const QString &realPath) const
{
    if (!isInside(realPath, m_boundary)) {
        errno = EXDEV;
        return {};
    }
    UniqueFd fd(::open("/", passFlags));
    for (const QString &name : realPath.split(u'/', Qt::SkipEmptyParts)) {
        if (!fd)
            return {};
        fd = UniqueFd(::openat(fd.get(), QFile::encodeName(name).constData(), passFlags));
    }
    return fd;
}

UniqueFd BrowseRoot::open() const
{
    return openRealFolder(m_realPath);
}

FolderListing BrowseRoot::list(int rootFd, const QString &folder) const
{
    const QString clean = QDir::cleanPath(folder);
    if (!isInside(clean, m_path))
        return {{}, EXDEV};
    const int fd = ::openat(rootFd, QFile::encodeName(relativeTo(clean, m_path)).constData(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {{}, errno};
    return listOpenFolder(fd, clean);
}

UniqueFd BrowseRoot::openForWriting(const QString &folder) const
{
    const QString real = realPathOf(QDir::cleanPath(folder));
    if (real.isEmpty())
        return {};
    return openRealFolder(real);
}
