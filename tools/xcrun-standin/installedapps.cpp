#include "installedapps.h"

#include "appgroups.h"
#include "plistfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <map>
#include <vector>

using namespace Qt::StringLiterals;

namespace InstalledApps {

namespace {

// The content classes the container manager gives app bundles and app data containers.
constexpr quint64 bundleContentClass = 1;
constexpr quint64 dataContentClass = 2;

struct Installed
{
    QString bundleId;
    QString bundlePath; // NAME.app
    PlistPtr info;
    QStringList groups;
};

QString newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString bundleRoot(const Device &device)
{
    return device.dataPath() + u"/Containers/Bundle/Application";
}

QString dataRoot(const Device &device)
{
    return device.dataPath() + u"/Containers/Data/Application";
}

CommandError processingError(const QString &domain, int code, const QString &text)
{
    return {u"An error was encountered processing the command (domain="_s + domain + u", code=" +
                QString::number(code) + u"):\n" + text,
            code};
}

// The application groups the bundle's simulator entitlements name.
QStringList entitledGroups(const QString &bundlePath)
{
    const PlistPtr entitlements = PlistFile::read(bundlePath + u"/archived-expanded-entitlements.xcent");
    plist_t groups = entitlements && plist_get_node_type(entitlements.get()) == PLIST_DICT
                         ? plist_dict_get_item(entitlements.get(), "com.apple.security.application-groups")
                         : nullptr;
    QStringList out;
    if (!groups || plist_get_node_type(groups) != PLIST_ARRAY)
        return out;
    for (uint32_t i = 0; i < plist_array_get_size(groups); ++i) {
        plist_t item = plist_array_get_item(groups, i);
        const auto text = PlistCompat::stringBytes(item);
        const QString group = text ? QString::fromUtf8(text->data(), qsizetype(text->size())) : QString();
        if (!group.isEmpty() && !group.contains(u'/') && !out.contains(group))
            out.append(group);
    }
    return out;
}

std::vector<Installed> installedApps(const Device &device)
{
    std::vector<Installed> apps;
    QDirIterator containers(bundleRoot(device), QDir::Dirs | QDir::NoDotAndDotDot);
    while (containers.hasNext()) {
        QDirIterator bundles(containers.next(), {u"*.app"_s}, QDir::Dirs | QDir::NoDotAndDotDot);
        while (bundles.hasNext()) {
            Installed app;
            app.bundlePath = bundles.next();
            app.info = PlistFile::read(app.bundlePath + u"/Info.plist");
            app.bundleId = PlistFile::stringMember(app.info.get(), "CFBundleIdentifier").value_or(QString());
            if (app.bundleId.isEmpty())
                continue;
            app.groups = entitledGroups(app.bundlePath);
            apps.push_back(std::move(app));
        }
    }
    return apps;
}

// The container folder under `root` whose metadata names `identifier`, or empty.
QString containerOf(const QString &root, const QString &identifier)
{
    const QStringList entries = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        const PlistPtr metadata = PlistFile::read(root + u'/' + entry + u'/' + AppGroups::metadataName);
        if (PlistFile::stringMember(metadata.get(), "MCMMetadataIdentifier") == identifier)
            return root + u'/' + entry;
    }
    return QString();
}

bool writeMetadata(const QString &folder, const QString &identifier, quint64 contentClass)
{
    PlistPtr dict(plist_new_dict());
    PlistFile::setUInt(dict.get(), "MCMMetadataActiveDPClass", 0);
    PlistFile::setUInt(dict.get(), "MCMMetadataContentClass", contentClass);
    PlistFile::setString(dict.get(), "MCMMetadataIdentifier", identifier);
    plist_dict_set_item(dict.get(), "MCMMetadataInfo", plist_new_dict());
    PlistFile::setUInt(dict.get(), "MCMMetadataSchemaVersion", 1);
    PlistFile::setString(dict.get(), "MCMMetadataUUID", newUuid());
    PlistFile::setUInt(dict.get(), "MCMMetadataVersion", 6);
    return PlistFile::write(folder + u'/' + AppGroups::metadataName, dict.get(), PlistFile::Format::Binary);
}

bool copyTree(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + u'/' + it.fileName();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink()) {
            if (!QFile::link(info.symLinkTarget(), target))
                return false;
        } else if (info.isDir()) {
            if (!copyTree(source, target))
                return false;
        } else if (!QFile::copy(source, target)) {
            return false;
        }
    }
    return true;
}

// NeXT quoting: bare only for letters, digits and underscores.
QString quoted(const QString &text)
{
    bool bare = !text.isEmpty();
    for (const QChar c : text)
        bare = bare && ((c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'_');
    if (bare)
        return text;
    QString out = u"\""_s;
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c == u'\n')
            out += u"\\n"_s;
        else
            out += c;
    }
    return out + u'"';
}

QString folderUrl(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + u'/';
}

QString appEntry(const Installed &app, const Device &device)
{
    std::map<QString, QString> members;
    members[u"ApplicationType"_s] = u"User"_s;
    members[u"Bundle"_s] = quoted(folderUrl(app.bundlePath));
    members[u"Path"_s] = quoted(app.bundlePath);
    for (const char *key : {"CFBundleDisplayName", "CFBundleExecutable", "CFBundleIdentifier", "CFBundleName",
                            "CFBundleVersion"}) {
        if (const auto value = PlistFile::stringMember(app.info.get(), key))
            members[QString::fromLatin1(key)] = quoted(*value);
    }
    if (const QString data = containerOf(dataRoot(device), app.bundleId); !data.isEmpty())
        members[u"DataContainer"_s] = quoted(folderUrl(data));
    QString groups = u"        {\n"_s;
    for (const QString &group : app.groups) {
        const QString folder = AppGroups::find(AppGroups::rootOf(device.dataPath()), group);
        if (!folder.isEmpty())
            groups += u"\t\t\t"_s + quoted(group) + u" = " + quoted(folderUrl(folder)) + u";\n";
    }
    members[u"GroupContainers"_s] = groups + u"\t\t}"_s;
    members[u"SBAppTags"_s] = u"        (\n\t\t)"_s;

    QString out = u"\t"_s + quoted(app.bundleId) + u" =     {\n";
    for (const auto &[key, value] : members)
        out += u"\t\t"_s + key + u" = " + value + u";\n";
    return out + u"\t};\n"_s;
}

} // namespace

bool install(const Device &device, const QString &bundlePath, CommandError *error)
{
    const QFileInfo source(bundlePath);
    if (!source.isDir()) {
        *error = processingError(u"NSPOSIXErrorDomain"_s, 2,
                                 u"Failed to install the requested application\n"
                                 u"An application bundle was not found at the provided path.\n"
                                 u"Provide a valid path to the desired application bundle."_s);
        return false;
    }
    const PlistPtr info = PlistFile::read(bundlePath + u"/Info.plist");
    const QString bundleId = PlistFile::stringMember(info.get(), "CFBundleIdentifier").value_or(QString());
    if (bundleId.isEmpty()) {
        *error = processingError(u"IXErrorDomain"_s, 13,
                                 u"Failed to install the requested application\n"
                                 u"Failed to get bundle ID from "_s +
                                     bundlePath);
        return false;
    }
    const QString name = QDir::cleanPath(source.absoluteFilePath()).section(u'/', -1);
    auto failed = [&](const QString &what) {
        *error = processingError(u"NSCocoaErrorDomain"_s, 4,
                                 u"Failed to install the requested application\n"_s + what);
        return false;
    };

    // A new installation of the same app replaces the bundle and keeps the data.
    for (const Installed &old : installedApps(device)) {
        if (old.bundleId == bundleId && !QDir(QFileInfo(old.bundlePath).absolutePath()).removeRecursively())
            return failed(u"Cannot remove the installed bundle."_s);
    }
    const QString container = bundleRoot(device) + u'/' + newUuid();
    if (!copyTree(source.absoluteFilePath(), container + u'/' + name) ||
        !writeMetadata(container, bundleId, bundleContentClass))
        return failed(u"Cannot copy the bundle."_s);

    if (containerOf(dataRoot(device), bundleId).isEmpty()) {
        const QString data = dataRoot(device) + u'/' + newUuid();
        for (const QString &sub : {u"Documents"_s, u"Library/Caches"_s, u"Library/Preferences"_s, u"tmp"_s}) {
            if (!QDir().mkpath(data + u'/' + sub))
                return failed(u"Cannot create the data container."_s);
        }
        // The metadata goes last: a container without it is not the app's.
        if (!writeMetadata(data, bundleId, dataContentClass))
            return failed(u"Cannot create the data container."_s);
    }
    for (const QString &group : entitledGroups(container + u'/' + name)) {
        if (AppGroups::ensure(AppGroups::rootOf(device.dataPath()), group).isEmpty())
            return failed(u"Cannot create the app group container "_s + group);
    }
    return true;
}

QByteArray listApps(const Device &device)
{
    std::vector<Installed> apps = installedApps(device);
    std::sort(apps.begin(), apps.end(),
              [](const Installed &a, const Installed &b) { return a.bundleId < b.bundleId; });
    QString out = u"{\n"_s;
    for (const Installed &app : std::as_const(apps))
        out += appEntry(app, device);
    return (out + u"}\n"_s).toUtf8();
}

bool containerPath(const Device &device, const QString &bundleId, const QString &container, QByteArray *out,
                   CommandError *error)
{
    const std::vector<Installed> apps = installedApps(device);
    const auto app =
        std::find_if(apps.begin(), apps.end(), [&](const Installed &a) { return a.bundleId == bundleId; });
    auto notFound = [&] {
        *error = processingError(u"NSPOSIXErrorDomain"_s, 2, u"No such file or directory"_s);
        return false;
    };
    if (app == apps.end())
        return notFound();
    QString path;
    if (container == u"app") {
        path = app->bundlePath;
    } else if (container == u"data") {
        path = containerOf(dataRoot(device), bundleId);
    } else if (container == u"groups") {
        QString lines;
        for (const QString &group : app->groups) {
            const QString folder = AppGroups::find(AppGroups::rootOf(device.dataPath()), group);
            if (!folder.isEmpty())
                lines += group + u'\t' + folder + u'\n';
        }
        *out = lines.toUtf8();
        return true;
    } else if (app->groups.contains(container)) {
        path = AppGroups::find(AppGroups::rootOf(device.dataPath()), container);
    }
    if (path.isEmpty())
        return notFound();
    *out = (path + u'\n').toUtf8();
    return true;
}

} // namespace InstalledApps
