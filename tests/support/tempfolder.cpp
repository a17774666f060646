#include "tempfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

TempFolder::TempFolder() : m_dir(QDir::tempPath() + QStringLiteral("/lanthorn-test-XXXXXX"))
{
}

QString TempFolder::path(const QString &relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
}

bool TempFolder::createFile(const QString &relative, const QByteArray &bytes, const QDateTime &modified)
{
    const QString full = path(relative);
    if (!QDir().mkpath(QFileInfo(full).absolutePath()))
        return false;
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush())
        return false;
    if (modified.isValid() && !file.setFileTime(modified, QFileDevice::FileModificationTime))
        return false;
    return true;
}

bool TempFolder::createDir(const QString &relative)
{
    return QDir().mkpath(path(relative));
}

bool TempFolder::backdate(const QString &relative)
{
    timeval times[2] = {};
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - 3600;
    QStringList paths{path(relative)};
    QDirIterator it(paths.first(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    for (const QString &entry : std::as_const(paths))
        if (!QFileInfo(entry).isSymLink() && ::utimes(QFile::encodeName(entry).constData(), times) != 0)
            return false;
    return true;
}

bool TempFolder::createSymlink(const QString &target, const QString &relative)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()) ==
           0;
}

bool TempFolder::createSocket(const QString &relative)
{
    const QByteArray encoded = QFile::encodeName(path(relative));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(encoded.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

QByteArray TempFolder::read(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TempFolder::exists(const QString &relative) const
{
    struct stat st;
    return ::lstat(QFile::encodeName(path(relative)).constData(), &st) == 0;
}

ScopedEnv::ScopedEnv(const char *name, const QByteArray &value)
    : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
{
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_wasSet)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

bool permissionsAreIgnored()
{
    return ::geteuid() == 0;
}

std::optional<QByteArray> runWithPermissionsApplied(const std::function<QByteArray()> &work)
{
    if (!permissionsAreIgnored())
        return work();
    int fds[2];
    if (::pipe(fds) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::close(fds[0]);
        constexpr uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(2);
        const QByteArray out = work();
        qsizetype written = 0;
        while (written < out.size()) {
            const ssize_t n = ::write(fds[1], out.constData() + written, size_t(out.size() - written));
            if (n <= 0)
                ::_exit(3);
            written += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}
