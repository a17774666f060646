#include "fileicons.h"

#include <QApplication>
#include <QHash>
#include <QStyle>
#ifdef Q_OS_DARWIN
#include <QFileIconProvider>
#include <QFileInfo>
#endif

namespace FileIcons {

QIcon icon(const FileEntry &entry)
{
    static QHash<const FileIconKey *, QIcon> cache;
    // Handles live as long as the process, so their address is a stable key.
    const FileIconKey *key = entry.icon().get();
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;

    QIcon result;
#ifdef Q_OS_DARWIN
    // A folder's own custom icon must not become every folder's.
    const QFileIconProvider provider;
    result = entry.isDirectory() ? provider.icon(QAbstractFileIconProvider::Folder)
                                 : provider.icon(QFileInfo(entry.path()));
#else
    if (key) {
        result = QIcon::fromTheme(key->iconName);
        if (result.isNull())
            result = QIcon::fromTheme(key->genericIconName);
    }
#endif
    if (result.isNull()) {
        const bool folder = key && key->mimeName == QLatin1String("inode/directory");
        result = QApplication::style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    cache.insert(key, result);
    return result;
}

} // namespace FileIcons
