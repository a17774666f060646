#include "thumbnailprovider.h"

#include "base/workpools.h"
#include "previewio.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <sys/stat.h>

#include <atomic>

using namespace Qt::StringLiterals;

// What the pool's runs share with the provider: they post results only while it is alive.
struct ThumbnailProvider::Shared
{
    QMutex mutex;
    ThumbnailProvider *provider = nullptr;
    std::atomic<quint64> generation{0};
};

namespace {

// Runs of the pool give way to quick looks, which start at the default priority.
constexpr int thumbnailPriority = -1;

QString flavour(int size)
{
    return size <= 128 ? u"normal"_s : u"large"_s;
}

int flavourPixels(int size)
{
    return size <= 128 ? 128 : 256;
}

QByteArray fileUri(const QUrl &url)
{
    return QUrl::fromLocalFile(url.toLocalFile()).toEncoded();
}

QString hashName(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + u".png"_s;
}

bool makePrivateDir(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path,
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Writes through a temporary file renamed into place, so that a reader never sees half a PNG.
bool writeThumbnail(const QString &path, const QImage &image, const QByteArray &uri, qint64 mtime,
                    qint64 size)
{
    if (!makePrivateDir(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // On the image, not the writer: the writer's texts are split at the first colon.
    QImage marked = image;
    marked.setText(u"Thumb::URI"_s, QString::fromLatin1(uri));
    marked.setText(u"Thumb::MTime"_s, QString::number(mtime));
    if (size >= 0)
        marked.setText(u"Thumb::Size"_s, QString::number(size));
    marked.setText(u"Software"_s, u"Lanthorn"_s);
    QImageWriter writer(&file, "png");
    return writer.write(marked) && file.commit();
}

// A stored thumbnail that belongs to this URI and modification time, read into `image`. Read
// whole (it is small): QImageReader::text() splits keys at their first colon.
bool isCurrent(const QString &path, const QByteArray &uri, qint64 mtime, QImage *image = nullptr)
{
    QImage stored;
    if (!stored.load(path, "png") || stored.text(u"Thumb::URI"_s) != QString::fromLatin1(uri) ||
        stored.text(u"Thumb::MTime"_s) != QString::number(mtime))
        return false;
    if (image)
        *image = std::move(stored);
    return true;
}

} // namespace

ThumbnailProvider::ThumbnailProvider(QObject *parent)
    : QObject(parent), m_shared(std::make_shared<Shared>()), m_cacheRoot(defaultCacheRoot())
{
    m_shared->provider = this;
}

ThumbnailProvider::~ThumbnailProvider()
{
    const QMutexLocker lock(&m_shared->mutex);
    m_shared->provider = nullptr;
}

QString ThumbnailProvider::defaultCacheRoot()
{
#ifdef Q_OS_DARWIN
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/thumbnails"_s;
#else
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + u"/.cache"_s;
    return base + u"/thumbnails"_s;
#endif
}

void ThumbnailProvider::setCacheRoot(const QString &cacheRoot)
{
    m_cacheRoot = cacheRoot;
}

QString ThumbnailProvider::thumbnailPath(const QString &cacheRoot, const QUrl &url, int size)
{
    return cacheRoot + u'/' + flavour(size) + u'/' + hashName(fileUri(url));
}

QImage ThumbnailProvider::thumbnail(const QString &cacheRoot, const QUrl &url, int size)
{
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    // The cache's own files are never thumbnailed.
    if (path.startsWith(cacheRoot + u'/'))
        return {};
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const qint64 mtime = qint64(st.st_mtime);
    const QByteArray uri = fileUri(url);
    const QString stored = thumbnailPath(cacheRoot, url, size);
    const QString failed = cacheRoot + u"/fail/lanthorn/"_s + hashName(uri);
    if (QImage image; isCurrent(stored, uri, mtime, &image))
        return image;
    if (isCurrent(failed, uri, mtime))
        return {};
    QFile file;
    if (!PreviewIO::openRegular(path, file))
        return {};
    const QSize bounds(flavourPixels(size), flavourPixels(size));
    PreviewIO::Picture picture;
    if (PreviewIO::isImage(file)) {
        picture = PreviewIO::readImage(file, bounds);
    } else if (PreviewIO::canRenderPdf() && file.peek(5) == "%PDF-") {
        file.close();
        picture = PreviewIO::renderPdfPage(path, bounds);
    } else {
        return {};
    }
    if (picture.image.isNull()) {
        writeThumbnail(failed, QImage(1, 1, QImage::Format_ARGB32), uri, mtime, -1);
        return {};
    }
    writeThumbnail(stored, picture.image, uri, mtime, qint64(st.st_size));
    return picture.image;
}

void ThumbnailProvider::request(const QUrl &url, int size)
{
    const QString key = QString::number(flavourPixels(size)) + u' ' + url.toString();
    if (!url.isLocalFile() || m_pending.contains(key))
        return;
    m_pending.insert(key);
    const std::shared_ptr<Shared> shared = m_shared;
    const quint64 generation = shared->generation.load();
    const QString root = m_cacheRoot;
    WorkPools::previews()->start(
        [shared, generation, root, url, size, key] {
            QImage image;
            if (shared->generation.load() == generation)
                image = thumbnail(root, url, size);
            const QMutexLocker lock(&shared->mutex);
            if (!shared->provider)
                return;
            QMetaObject::invokeMethod(
                shared->provider,
                [provider = shared->provider, url, key, image,
                 stale = shared->generation.load() != generation] {
                    provider->m_pending.remove(key);
                    if (!image.isNull() && !stale)
                        emit provider->thumbnailReady(url, image);
                },
                Qt::QueuedConnection);
        },
        thumbnailPriority);
}

void ThumbnailProvider::cancelAll()
{
    ++m_shared->generation;
    m_pending.clear();
}
