#pragma once

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>

// Image thumbnails (and a PDF's first page where Qt's PDF module exists), made in
// WorkPools::previews() behind quick looks, and kept on disk. On Linux they follow the
// freedesktop thumbnail specification, so the desktop's file managers share them:
// $XDG_CACHE_HOME/thumbnails/{normal,large}/<md5 of the file URI>.png with Thumb::URI and
// Thumb::MTime, written atomically, owner-only; a file that cannot be read is remembered under
// fail/. On macOS they go to the user's cache folder in the same layout.
class ThumbnailProvider final : public QObject
{
    Q_OBJECT
public:
    explicit ThumbnailProvider(QObject *parent = nullptr);
    ~ThumbnailProvider() override;

    // Asks for the thumbnail of a local file that fits `size` pixels (128 and less: "normal";
    // larger: "large", 256). thumbnailReady() follows when there is one; nothing when the file
    // is no image or cannot be read. A request already under way is not repeated.
    void request(const QUrl &url, int size);
    // Drops the requests not yet started (the folder shown changed).
    void cancelAll();

    // The cache's root, ".../thumbnails"; `cacheRoot` overrides it (tests).
    static QString defaultCacheRoot();
    void setCacheRoot(const QString &cacheRoot);
    // Where the thumbnail of `url` is kept for `size`.
    static QString thumbnailPath(const QString &cacheRoot, const QUrl &url, int size);

    // Blocking: the thumbnail from the cache when it is current, else made and stored.
    static QImage thumbnail(const QString &cacheRoot, const QUrl &url, int size);

signals:
    void thumbnailReady(const QUrl &url, const QImage &image);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    QString m_cacheRoot;
    QSet<QString> m_pending; // "size url" of the requests under way
};
