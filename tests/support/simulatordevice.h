#pragma once

#include "tempfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// The file in each of a simulator's containers that names what the container is for.
inline const QString metadataFile = QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");

// An XML property list of string values, as an app's Info.plist is.
inline QByteArray stringPlist(const QList<std::pair<QByteArray, QString>> &strings)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto &[key, value] : strings)
        out += "<key>" + key + "</key><string>" + value.toHtmlEscaped().toUtf8() + "</string>";
    return out + "</dict></plist>";
}

// A container's metadata naming `identifier`, padded with spaces to `padTo` bytes.
inline QByteArray containerMetadata(const QString &identifier, qsizetype padTo = 0)
{
    QByteArray doc = stringPlist({{"MCMMetadataIdentifier", identifier}});
    if (doc.size() < padTo)
        doc.insert(doc.indexOf("<dict>"), QByteArray(padTo - doc.size(), ' '));
    return doc;
}

// A simulator device's data tree in a home folder, built from rows: "bundle CONTAINER NAME.app
// KEY=VALUE;...", "data|bigdata (over the bound)|group CONTAINER IDENTIFIER", "bare CONTAINER" (no metadata),
// "old CONTAINER" (metadata a day old), "link CONTAINER" (bundle linked out), "linkout PATH IDENTIFIER" (PATH
// below data/ linked to an outside container), "file PATH", "remove PATH" (PATH: the rest of the row).
class SimulatorDevice
{
public:
    SimulatorDevice(TempFolder &home, const QString &udid) : m_home(home), m_udid(udid) {}

    QString data(const QString &relative = {}) const
    {
        return QStringLiteral("Library/Developer/CoreSimulator/Devices/") + m_udid + u"/data" +
               (relative.isEmpty() ? QString() : u'/' + relative);
    }

    bool build(const QStringList &rows)
    {
        for (const QString &row : rows) {
            const QStringList f = row.split(u' ');
            const QString kind = f.value(0);
            bool ok = true;
            if (kind == u"bundle") {
                QList<std::pair<QByteArray, QString>> info;
                for (const QString &pair : f.value(3).split(u';', Qt::SkipEmptyParts))
                    info.append(
                        {pair.section(u'=', 0, 0).toUtf8(), pair.section(u'=', 1).replace(u'_', u' ')});
                ok = m_home.createFile(bundle(f[1]) + u'/' + f[2] + u"/Info.plist", stringPlist(info));
            } else if (kind == u"data" || kind == u"bigdata") {
                ok = m_home.createFile(dataContainer(f[1]) + u'/' + metadataFile,
                                       containerMetadata(f[2], kind == u"bigdata" ? 65 * 1024 : 0));
            } else if (kind == u"bare") {
                ok = m_home.createDir(dataContainer(f[1]) + u"/Documents");
            } else if (kind == u"group") {
                ok = m_home.createFile(data(QStringLiteral("Containers/Shared/AppGroup/") + f[1]) + u'/' +
                                           metadataFile,
                                       containerMetadata(f[2]));
            } else if (kind == u"old") {
                QFile file(m_home.path(dataContainer(f[1]) + u'/' + metadataFile));
                ok = file.open(QIODevice::ReadWrite) &&
                     file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                      QFileDevice::FileModificationTime);
            } else if (kind == u"link") {
                ok = m_home.createFile(
                         QStringLiteral("elsewhere/Evil.app/Info.plist"),
                         stringPlist({{"CFBundleIdentifier", QStringLiteral("com.example.evil")}})) &&
                     m_home.createDir(data(QStringLiteral("Containers/Bundle/Application"))) &&
                     m_home.createSymlink(m_home.path(QStringLiteral("elsewhere")), bundle(f[1]));
            } else if (kind == u"linkout") {
                const QString outside = QStringLiteral("outside/") + f[1];
                ok = m_home.createFile(outside + u'/' + metadataFile, containerMetadata(f[2])) &&
                     m_home.createDir(QFileInfo(data(f[1])).path()) &&
                     m_home.createSymlink(m_home.path(outside), data(f[1]));
            } else if (kind == u"file") {
                ok = m_home.createFile(data(row.section(u' ', 1)));
            } else if (kind == u"remove") {
                ok = QDir(m_home.path(data(row.section(u' ', 1)))).removeRecursively();
            } else {
                ok = false;
            }
            if (!ok)
                return false;
        }
        return true;
    }

    QString bundle(const QString &container) const
    {
        return data(QStringLiteral("Containers/Bundle/Application/") + container);
    }
    QString dataContainer(const QString &container) const
    {
        return data(QStringLiteral("Containers/Data/Application/") + container);
    }

private:
    TempFolder &m_home;
    QString m_udid;
};
