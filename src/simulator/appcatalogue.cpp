#include "appcatalogue.h"

#include "simulator.h"
#include "storagelocator.h"
#include "toolrunner.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include "openstepparser.h"
#include "plistcompat.h"

#include <algorithm>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString metadataFileName = u".com.apple.mobile_container_manager.metadata.plist"_s;
// More icon names than this in one Info.plist are not looked at.
constexpr int maxIconNames = 16;
// Changes closer together than this may carry one modification time (coarse clocks, HFS+).
constexpr qint64 unsettledNs = 2'000'000'000;

const QString bundleRoot = u"/Containers/Bundle/Application"_s;
const QString dataRoot = u"/Containers/Data/Application"_s;
const QString groupRoot = u"/Containers/Shared/AppGroup"_s;

qint64 modifiedNs(const struct stat &st)
{
#ifdef Q_OS_DARWIN
    return qint64(st.st_mtimespec.tv_sec) * 1'000'000'000 + st.st_mtimespec.tv_nsec;
#else
    return qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
#endif
}

// Adds the folder's own time, then its entries' names and times (links not followed), to
// `hash`, in the directory's order: that stays as it is while the folder does not change. Plain
// POSIX calls: this runs at every refresh over thousands of entries.
void addFolder(QCryptographicHash &hash, const QString &folder, qint64 nowNs, bool &unsettled)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        hash.addData(QByteArrayView("none"));
        return;
    }
    struct stat st;
    auto addTime = [&] {
        const qint64 ns = modifiedNs(st);
        unsettled = unsettled || ns > nowNs - unsettledNs;
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&ns), sizeof ns));
    };
    if (::fstat(::dirfd(dir), &st) == 0)
        addTime();
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != ".." &&
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            hash.addData(name);
            hash.addData(QByteArrayView("", 1)); // the name's end
            addTime();
        }
    }
    ::closedir(dir);
}

struct PlistDeleter
{
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<QString> stringMember(plist_t dict, const char *key)
{
    const auto bytes = PlistCompat::stringMember(dict, key);
    return bytes ? std::optional(QString::fromUtf8(bytes->data(), qsizetype(bytes->size()))) : std::nullopt;
}

plist_t dictMember(plist_t dict, const char *key)
{
    plist_t item = dict ? plist_dict_get_item(dict, key) : nullptr;
    return item && plist_get_node_type(item) == PLIST_DICT ? item : nullptr;
}

PlistPtr parseBounded(const QByteArray &bytes)
{
    if (!StorageLocator::plistShapeIsSafe(bytes))
        return nullptr;
    PlistPtr root(PlistCompat::parse(bytes.constData(), uint32_t(bytes.size())));
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return nullptr;
    return root;
}

// Folders directly inside `folder`, links left out; none when `folder` leads out of the device.
QStringList containerFolders(const QString &folder, const QString &deviceCanonical)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(deviceCanonical + u'/'))
        return {};
    QStringList out;
    QDirIterator it(folder, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext())
        out.append(it.next());
    return out;
}

std::optional<QString> containerIdentifier(const QString &container, QDateTime *modified)
{
    const QString path = container + u'/' + metadataFileName;
    const auto bytes = StorageLocator::readSmallRegularFile(path, StorageLocator::maxMetadataBytes, false);
    if (!bytes)
        return std::nullopt;
    const auto identifier = StorageLocator::metadataIdentifier(*bytes);
    if (!identifier || identifier->isEmpty())
        return std::nullopt;
    if (modified)
        *modified = QFileInfo(path).lastModified();
    return QString::fromUtf8(*identifier);
}

bool isIconFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink() && info.size() <= AppCatalogue::maxIconBytes;
}

// The icon files CFBundleIcons names, as they lie in the bundle, largest first.
QStringList iconFiles(plist_t info, const QString &bundle)
{
    QStringList names;
    for (const char *iconsKey : {"CFBundleIcons", "CFBundleIcons~ipad"}) {
        plist_t primary = dictMember(dictMember(info, iconsKey), "CFBundlePrimaryIcon");
        plist_t files = primary ? plist_dict_get_item(primary, "CFBundleIconFiles") : nullptr;
        if (!files || plist_get_node_type(files) != PLIST_ARRAY)
            continue;
        const uint32_t count = std::min<uint32_t>(plist_array_get_size(files), maxIconNames);
        for (uint32_t i = 0; i < count; ++i) {
            plist_t item = plist_array_get_item(files, i);
            const auto text = PlistCompat::stringBytes(item);
            const QString name = text ? QString::fromUtf8(text->data(), qsizetype(text->size())) : QString();
            // A name from the file never leads out of the bundle.
            if (isSafePathComponent(name) && !names.contains(name))
                names.append(name);
        }
    }
    // Later names are the larger sizes (AppIcon20x20, AppIcon29x29, AppIcon60x60).
    std::reverse(names.begin(), names.end());
    QStringList out;
    for (const QString &name : std::as_const(names)) {
        const QString base = name.endsWith(u".png"_s) ? name.chopped(4) : name;
        for (const QString &suffix :
             {u"@3x.png"_s, u"@2x.png"_s, u"@2x~ipad.png"_s, u".png"_s, u"~ipad.png"_s}) {
            const QString path = bundle + u'/' + base + suffix;
            if (!out.contains(path) && isIconFile(path))
                out.append(path);
        }
    }
    return out;
}

struct Found
{
    AppCatalogue::App app;
    QDateTime modified;
    QString container;
};

std::optional<Found> readBundle(const QString &container)
{
    QDirIterator it(container, {u"*.app"_s},
                    QDir::Dirs | QDir::NoSymLinks | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString bundle = it.next();
        const QString infoPath = bundle + u"/Info.plist"_s;
        const auto bytes =
            StorageLocator::readSmallRegularFile(infoPath, AppCatalogue::maxInfoPlistBytes, false);
        if (!bytes)
            continue;
        const PlistPtr info = parseBounded(*bytes);
        const auto identifier = stringMember(info.get(), "CFBundleIdentifier");
        if (!identifier || identifier->trimmed().isEmpty())
            continue;
        Found found;
        found.app.bundleIdentifier = *identifier;
        found.app.bundlePath = bundle;
        for (const char *key : {"CFBundleDisplayName", "CFBundleName"}) {
            if (const auto name = stringMember(info.get(), key); name && !name->trimmed().isEmpty()) {
                found.app.displayName = name->trimmed();
                break;
            }
        }
        if (found.app.displayName.isEmpty())
            found.app.displayName = QFileInfo(bundle).completeBaseName();
        found.app.iconFiles = iconFiles(info.get(), bundle);
        found.modified = QFileInfo(infoPath).lastModified();
        found.container = container;
        return found;
    }
    return std::nullopt;
}

// Of two folders claiming one identifier: the newer, then the first by name, so the choice does
// not depend on the directory's order.
template <typename T> bool preferred(const T &candidate, const T &current)
{
    if (candidate.modified != current.modified)
        return candidate.modified > current.modified;
    return candidate.container < current.container;
}

struct ClaimedFolder
{
    QString container;
    QDateTime modified;
};

QString folderName(const QString &path)
{
    return QFileInfo(path).fileName();
}

struct Disk
{
    QList<AppCatalogue::App> apps;
    QHash<QString, QList<ClaimedFolder>> dataContainers;
    QList<AppCatalogue::Group> groups;

    // Changes whenever an app, a container or a group comes or goes.
    QString signature() const
    {
        QStringList parts;
        for (const AppCatalogue::App &app : apps)
            parts << app.bundleIdentifier + u'\n' + app.bundlePath;
        for (auto it = dataContainers.cbegin(); it != dataContainers.cend(); ++it) {
            for (const ClaimedFolder &claim : *it)
                parts << it.key() + u'\n' + claim.container;
        }
        for (const AppCatalogue::Group &group : groups)
            parts << group.identifier + u'\n' + group.path;
        parts.sort();
        return parts.join(u'\0');
    }
};

Disk readDisk(const QString &homePath, const QString &udid)
{
    Disk disk;
    if (!isSafePathComponent(udid))
        return disk;
    const QString data = AppCatalogue::deviceDataFolder(homePath, udid);
    const QString deviceCanonical = QFileInfo(QFileInfo(data).absolutePath()).canonicalFilePath();
    if (deviceCanonical.isEmpty())
        return disk;

    QHash<QString, Found> bundles;
    for (const QString &container : containerFolders(data + bundleRoot, deviceCanonical)) {
        auto found = readBundle(container);
        if (!found)
            continue;
        auto existing = bundles.find(found->app.bundleIdentifier);
        if (existing == bundles.end() || preferred(*found, *existing))
            bundles.insert(found->app.bundleIdentifier, *found);
    }
    for (const Found &found : std::as_const(bundles))
        disk.apps.append(found.app);

    for (const QString &container : containerFolders(data + dataRoot, deviceCanonical)) {
        QDateTime modified;
        if (const auto identifier = containerIdentifier(container, &modified);
            identifier && bundles.contains(*identifier))
            disk.dataContainers[*identifier].append({container, modified});
    }

    QHash<QString, ClaimedFolder> groups;
    for (const QString &container : containerFolders(data + groupRoot, deviceCanonical)) {
        QDateTime modified;
        const auto identifier = containerIdentifier(container, &modified);
        if (!identifier)
            continue;
        const ClaimedFolder candidate{container, modified};
        auto existing = groups.find(*identifier);
        if (existing == groups.end() || preferred(candidate, *existing))
            groups.insert(*identifier, candidate);
    }
    for (auto it = groups.cbegin(); it != groups.cend(); ++it)
        disk.groups.append({it.key(), it->container});
    return disk;
}

bool byIdentifier(const AppCatalogue::Group &a, const AppCatalogue::Group &b)
{
    return a.identifier < b.identifier;
}

AppCatalogue::Catalogue tie(Disk disk, const AppCatalogue::ToolReports &reports)
{
    AppCatalogue::Catalogue catalogue;
    QSet<QString> tied;
    for (AppCatalogue::App &app : disk.apps) {
        const auto report = reports.constFind(app.bundleIdentifier);
        const QList<ClaimedFolder> claims = disk.dataContainers.value(app.bundleIdentifier);
        const ClaimedFolder *chosen = nullptr;
        for (const ClaimedFolder &claim : claims) {
            // What the tool names wins; otherwise the newer container.
            if (report != reports.cend() && folderName(claim.container) == report->dataContainerName) {
                chosen = &claim;
                break;
            }
            if (!chosen || preferred(claim, *chosen))
                chosen = &claim;
        }
        if (chosen)
            app.dataContainer = chosen->container;
        if (report != reports.cend()) {
            for (const AppCatalogue::Group &group : std::as_const(disk.groups)) {
                if (report->groups.contains(group.identifier)) {
                    app.groups.append(group);
                    tied.insert(group.identifier);
                }
            }
            std::sort(app.groups.begin(), app.groups.end(), byIdentifier);
        }
        catalogue.apps.append(std::move(app));
    }
    std::sort(catalogue.apps.begin(), catalogue.apps.end(),
              [](const AppCatalogue::App &a, const AppCatalogue::App &b) {
                  if (const int c = a.displayName.compare(b.displayName, Qt::CaseInsensitive))
                      return c < 0;
                  if (const int c = a.displayName.compare(b.displayName))
                      return c < 0;
                  return a.bundleIdentifier < b.bundleIdentifier;
              });
    for (const AppCatalogue::Group &group : std::as_const(disk.groups)) {
        if (!tied.contains(group.identifier))
            catalogue.sharedGroups.append(group);
    }
    std::sort(catalogue.sharedGroups.begin(), catalogue.sharedGroups.end(), byIdentifier);
    return catalogue;
}

} // namespace

using AppCatalogueDetail::member;
using AppCatalogueDetail::OpenStepParser;

namespace AppCatalogue {

QString deviceDataFolder(const QString &homePath, const QString &udid)
{
    return QDir(homePath).filePath(u"Library/Developer/CoreSimulator/Devices/"_s + udid + u"/data"_s);
}

Catalogue read(const QString &homePath, const QString &udid, const ToolReports &reports)
{
    return tie(readDisk(homePath, udid), reports);
}

std::optional<ToolReports> parseListApps(const QByteArray &output)
{
    if (output.size() > maxListAppsBytes)
        return std::nullopt;
    const auto root = OpenStepParser(output).parseDocument();
    if (!root || root->kind != OpenStepParser::Node::Kind::Dict)
        return std::nullopt;
    ToolReports reports;
    for (const auto &[bundleIdentifier, app] : root->members) {
        if (app.kind != OpenStepParser::Node::Kind::Dict)
            continue;
        ToolReport report;
        if (const auto *data = member(app, u"DataContainer"_s);
            data && data->kind == OpenStepParser::Node::Kind::String) {
            const QString name = QUrl(data->text).adjusted(QUrl::StripTrailingSlash).fileName();
            if (isSafePathComponent(name))
                report.dataContainerName = name;
        }
        if (const auto *groups = member(app, u"GroupContainers"_s);
            groups && groups->kind == OpenStepParser::Node::Kind::Dict) {
            for (const auto &[identifier, url] : groups->members)
                report.groups.append(identifier);
        }
        reports.insert(bundleIdentifier, report);
    }
    return reports;
}

Result<ToolReports> listApps(const QString &udid, StopToken stop)
{
    if (!isSafePathComponent(udid))
        return Result<ToolReports>::failure(u"Invalid device: "_s + udid);
    ToolRunner::Options options;
    options.capture = ToolRunner::Capture::StandardOutput;
    options.discardOtherOutput = true;
    options.timeout = std::chrono::milliseconds(30'000);
    options.maxBytes = maxListAppsBytes;
    options.stop = std::move(stop);
    const auto run = ToolRunner::run({u"simctl"_s, u"listapps"_s, udid}, options);
    if (!run)
        return Result<ToolReports>::failure(run.error());
    if (run.value().exitCode != 0 || run.value().crashed)
        return Result<ToolReports>::failure(u"simctl listapps failed"_s);
    auto reports = parseListApps(run.value().captured);
    if (!reports)
        return Result<ToolReports>::failure(u"simctl listapps printed no list"_s);
    return Result<ToolReports>::success(std::move(*reports));
}

QByteArray diskStamp(const QString &homePath, const QString &udid)
{
    if (!isSafePathComponent(udid))
        return {};
    const QString data = deviceDataFolder(homePath, udid);
    const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
    bool unsettled = false;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString &root : {bundleRoot, dataRoot, groupRoot}) {
        hash.addData(QFileInfo(data + root).canonicalFilePath().toUtf8().append('\0'));
        addFolder(hash, data + root, nowNs, unsettled);
    }
    if (unsettled)
        hash.addData(QByteArray::number(nowNs));
    return hash.result();
}

std::optional<Catalogue> load(const QString &homePath, const Simulator &simulator, ToolCache &cache,
                              const StopToken &stop, const std::function<void(const Catalogue &)> &beforeTool)
{
    // The stamp before the read: a change meanwhile shows in the next one.
    const QByteArray stamp =
        (simulator.udid + (simulator.isBooted ? u" booted "_s : u" shutdown "_s)).toUtf8() +
        diskStamp(homePath, simulator.udid);
    if (stamp == cache.stamp)
        return std::nullopt;
    Disk disk = readDisk(homePath, simulator.udid);
    // Only a booted device answers; any failure leaves every group shared. The answer holds until
    // the disk changes, so an unchanged device costs no tool run.
    const bool ask = simulator.isBooted && !disk.apps.isEmpty() && !disk.groups.isEmpty();
    const QString signature = ask ? simulator.udid + u'\0' + disk.signature() : QString();
    if (signature != cache.signature) {
        ToolReports reports;
        if (ask) {
            // The disk is known at once; the tool may take long to refine it, or never answer.
            if (beforeTool)
                beforeTool(tie(disk, cache.reports));
            auto listed = listApps(simulator.udid, stop);
            if (stop.stopRequested())
                return std::nullopt;
            if (listed)
                reports = std::move(listed).value();
        }
        cache.signature = signature;
        cache.reports = std::move(reports);
    }
    cache.stamp = stamp;
    return tie(std::move(disk), cache.reports);
}

} // namespace AppCatalogue
