#include "appgroups.h"

#include "plistfile.h"

#include <QDir>
#include <QUuid>

namespace AppGroups {

namespace {

QString newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// The content class the container manager gives app-group containers.
constexpr quint64 appGroupContentClass = 7;

} // namespace

QString rootOf(const QString &deviceDataPath)
{
    return deviceDataPath + u"/Containers/Shared/AppGroup";
}

QString find(const QString &root, const QString &identifier)
{
    const QStringList entries =
        QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString &entry : entries) {
        const QString folder = root + u'/' + entry;
        const PlistPtr metadata = PlistFile::read(folder + u'/' + metadataName);
        if (PlistFile::stringMember(metadata.get(), "MCMMetadataIdentifier") == identifier)
            return folder;
    }
    return QString();
}

QString ensure(const QString &root, const QString &identifier)
{
    if (QString existing = find(root, identifier); !existing.isEmpty())
        return existing;

    const QString folder = root + u'/' + newUuid();
    if (!QDir().mkpath(folder + u"/Library/Caches") || !QDir().mkpath(folder + u"/Library/Preferences"))
        return QString();
    if (identifier == localStorage && !QDir().mkpath(folder + u'/' + filesStorageName))
        return QString();

    PlistPtr dict(plist_new_dict());
    PlistFile::setUInt(dict.get(), "MCMMetadataActiveDPClass", 0);
    PlistFile::setUInt(dict.get(), "MCMMetadataContentClass", appGroupContentClass);
    PlistFile::setString(dict.get(), "MCMMetadataIdentifier", identifier);
    plist_dict_set_item(dict.get(), "MCMMetadataInfo", plist_new_dict());
    PlistFile::setUInt(dict.get(), "MCMMetadataSchemaVersion", 1);
    PlistFile::setString(dict.get(), "MCMMetadataUUID", newUuid());
    PlistFile::setUInt(dict.get(), "MCMMetadataVersion", 6);
    // The metadata goes last: a container without it is ignored and made again next time.
    if (!PlistFile::write(folder + u'/' + metadataName, dict.get(), PlistFile::Format::Binary))
        return QString();
    return folder;
}

} // namespace AppGroups
