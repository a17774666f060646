#include "tempfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

TempFolder::TempFolder() : m_dir(QDir::tempPath() + QStringLiteral("/lanthorn-test-XXXXXX")) {}

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
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    if (modified.isValid() && !file.setFileTime(modified, QFileDevice::FileModificationTime))
        return false;
    return true;
}

bool TempFolder::createDir(const QString &relative)
{
    return QDir().mkpath(path(relative));
}

bool TempFolder::createSymlink(const QString &target, const QString &relative)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()) == 0;
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
