#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QUrl>

// Path pieces the Files screen's state and the file jobs both work with.
namespace FilePaths {

inline QString localPath(const QUrl &url)
{
    return QDir::cleanPath(url.toLocalFile());
}

inline QString childPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? QString(folder + name) : QString(folder + u'/' + name);
}

inline QString parentPath(const QString &path)
{
    return QFileInfo(path).path();
}

inline QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace FilePaths
