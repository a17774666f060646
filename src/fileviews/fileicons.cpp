#include "fileicons.h"

#include <QApplication>
#include <QHash>
#include <QStyle>

namespace FileIcons {

QIcon icon(const FileIcon &handle)
{
    static QHash<const FileIconKey *, QIcon> cache;
    // Handles live as long as the process, so their address is a stable key.
    const FileIconKey *key = handle.get();
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;

    QIcon result;
    if (key) {
        result = QIcon::fromTheme(key->iconName);
        if (result.isNull())
            result = QIcon::fromTheme(key->genericIconName);
    }
    if (result.isNull()) {
        const bool folder = key && key->mimeName == QLatin1String("inode/directory");
        result = QApplication::style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    cache.insert(key, result);
    return result;
}

} // namespace FileIcons
