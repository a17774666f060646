#include "trash.h"

#include "fileoperations_p.h"
#include "plaintext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

Status failure(const QString &path, int error)
{
    return Status::failure(u"“%1” couldn’t be moved to the Trash because %2."_s.arg(
        PlainText::oneLine(QFileInfo(path).fileName()), FileOperationsPrivate::reasonFor(error)));
}

// Creates the missing folders of `path` with mode 0700; 0 or an errno.
int makeFolders(const QString &path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const QString parent = QFileInfo(path).path();
    if (parent != path)
        if (const int error = makeFolders(parent))
            return error;
    if (::mkdir(encoded(path).constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

// The device of the path, or of its nearest existing ancestor.
std::optional<dev_t> deviceOf(QString path)
{
    struct stat st;
    while (::stat(encoded(path).constData(), &st) != 0) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return std::nullopt;
        path = parent;
    }
    return st.st_dev;
}

// The mount point above `path`: the highest ancestor on the same device.
QString topDirectory(const QString &path, dev_t device)
{
    QString top = path;
    for (;;) {
        const QString parent = QFileInfo(top).path();
        struct stat st;
        if (parent == top || ::stat(encoded(parent).constData(), &st) != 0 || st.st_dev != device)
            return top;
        top = parent;
    }
}

bool isPrivateFolderOfUser(const QString &path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// $topdir/.Trash/$uid when the administrator made a sticky .Trash, otherwise $topdir/.Trash-$uid.
std::optional<QString> volumeTrash(const QString &top)
{
    const QString uid = QString::number(::getuid());
    struct stat st;
    const QString shared = top + u"/.Trash"_s;
    if (::lstat(encoded(shared).constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QString own = shared + u'/' + uid;
        ::mkdir(encoded(own).constData(), 0700);
        if (isPrivateFolderOfUser(own))
            return own;
    }
    const QString own = top + u"/.Trash-"_s + uid;
    ::mkdir(encoded(own).constData(), 0700);
    if (isPrivateFolderOfUser(own))
        return own;
    return std::nullopt;
}

QString numberedName(const QString &name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return name + u'.' + QString::number(n);
    return name.left(dot) + u'.' + QString::number(n) + name.mid(dot);
}

#ifdef Q_OS_DARWIN
// The Finder's trash, so that "Put Back" works; NSFileManager behind QFile::moveToTrash.
class SystemTrash final : public Trash
{
public:
    Status moveToTrash(const QString &path) override
    {
        QFile file(path);
        if (file.moveToTrash())
            return Status::success({});
        return Status::failure(u"“%1” couldn’t be moved to the Trash because %2."_s.arg(
            PlainText::oneLine(QFileInfo(path).fileName()), file.errorString()));
    }
};
#endif

} // namespace

FreedesktopTrash::FreedesktopTrash(std::function<QDateTime()> now) : m_now(std::move(now))
{
}

QString FreedesktopTrash::homeTrashPath()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        dataHome = QDir::homePath() + u"/.local/share"_s;
    return QDir::cleanPath(dataHome + u"/Trash"_s);
}

Status FreedesktopTrash::moveToTrash(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString name = QFileInfo(absolute).fileName();
    struct stat item;
    if (name.isEmpty() || ::lstat(encoded(absolute).constData(), &item) != 0)
        return failure(path, name.isEmpty() ? EINVAL : errno);

    QString trash = homeTrashPath();
    QString recordedPath = absolute;
    if (deviceOf(trash) != item.st_dev) {
        const QString top = topDirectory(QFileInfo(absolute).path(), item.st_dev);
        const auto volume = volumeTrash(top);
        if (!volume)
            return failure(path, EXDEV);
        trash = *volume;
        recordedPath = QDir(top).relativeFilePath(absolute);
    }
    if (const int error = makeFolders(trash + u"/files"_s))
        return failure(path, error);
    if (const int error = makeFolders(trash + u"/info"_s))
        return failure(path, error);

    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(recordedPath, "/") +
                            "\nDeletionDate=" + m_now().toString(u"yyyy-MM-ddThh:mm:ss"_s).toLatin1() + '\n';
    for (int n = 1; n < 10'000; ++n) {
        const QString trashedName = numberedName(name, n);
        const QByteArray infoPath = encoded(trash + u"/info/"_s + trashedName + u".trashinfo"_s);
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return failure(path, errno);
        const bool written = ::write(fd, info.constData(), size_t(info.size())) == info.size();
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            const int error = errno ? errno : EIO;
            ::unlink(infoPath.constData());
            return failure(path, error);
        }
        const int error = FileOperationsPrivate::renameExclusive(encoded(absolute),
                                                                 encoded(trash + u"/files/"_s + trashedName));
        if (error == 0)
            return Status::success({});
        ::unlink(infoPath.constData());
        if (error != EEXIST)
            return failure(path, error);
    }
    return failure(path, EEXIST);
}

std::shared_ptr<Trash> makeDefaultTrash()
{
#ifdef Q_OS_DARWIN
    return std::make_shared<SystemTrash>();
#else
    return std::make_shared<FreedesktopTrash>();
#endif
}
