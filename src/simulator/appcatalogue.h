#pragma once

#include "base/result.h"
#include "base/stoptoken.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct Simulator;

// The apps installed on a device and their containers, read from the device's data folder
// (HOME/Library/Developer/CoreSimulator/Devices/UDID/data), which exists whether or not the
// device runs. Pure functions over the disk and the tool; safe on any thread, nothing cached.
namespace AppCatalogue {

// Info.plist files beyond this are skipped unread; real ones are a few kilobytes.
inline constexpr qint64 maxInfoPlistBytes = 256 * 1024;
// Icon files beyond this are not offered; an app icon is a few kilobytes.
inline constexpr qint64 maxIconBytes = 1024 * 1024;
// `simctl listapps` prints about a kilobyte per app.
inline constexpr qint64 maxListAppsBytes = 16 * 1024 * 1024;

// An app-group container: the group identifier and the container folder.
struct Group
{
    QString identifier;
    QString path;
    friend bool operator==(const Group &, const Group &) = default;
};

struct App
{
    QString bundleIdentifier;
    // CFBundleDisplayName, else CFBundleName, else the bundle's folder name without ".app".
    QString displayName;
    QString bundlePath;
    // Existing icon files inside the bundle, largest first; empty gives a generic icon.
    QStringList iconFiles;
    // The data container folder, or empty when the device holds none for the app.
    QString dataContainer;
    // By identifier.
    QList<Group> groups;
    friend bool operator==(const App &, const App &) = default;
};

struct Catalogue
{
    // By display name (case-insensitive), then bundle identifier.
    QList<App> apps;
    // The app-group containers not tied to any listed app, by identifier.
    QList<Group> sharedGroups;
    friend bool operator==(const Catalogue &, const Catalogue &) = default;
};

// What `simctl listapps` says of one app: its data container's folder name and its group
// identifiers. Only names, never paths: the folders are found on disk.
struct ToolReport
{
    QString dataContainerName;
    QStringList groups;
    friend bool operator==(const ToolReport &, const ToolReport &) = default;
};
using ToolReports = QHash<QString, ToolReport>; // by bundle identifier

QString deviceDataFolder(const QString &homePath, const QString &udid);

// Reads the device's apps and containers. Groups are tied to an app only through `reports`;
// without one they are all shared. A UDID that is not a safe path component gives nothing.
Catalogue read(const QString &homePath, const QString &udid, const ToolReports &reports = {});

// Decodes `simctl listapps` output (an old-style property list); none when it is not one
// within the size and nesting bounds. Apps without a bundle identifier key are left out.
std::optional<ToolReports> parseListApps(const QByteArray &output);

// Runs `simctl listapps UDID`; fails when the tool fails (a shut-down device) or prints no list.
Result<ToolReports> listApps(const QString &udid, StopToken stop = {});

// A cheap fingerprint of the apps on the device's disk: where the bundle, data and group
// container folders lead, the names in them and when each last changed. It changes when an app,
// a data container or a group container comes, goes or is reinstalled (an install replaces the
// bundle inside its container), at the cost of three folder listings rather than a read of every
// app. Entries changed within the last moments make it unlike any other, as a change in the same
// clock tick would not show.
QByteArray diskStamp(const QString &homePath, const QString &udid);

// What the last load saw: the disk's stamp, and the tool's answer with the state of the disk it
// was given for.
struct ToolCache
{
    QByteArray stamp;
    QString signature;
    ToolReports reports;
};

// The catalogue of the device: the disk, tied by the tool's report when the device is booted.
// None when the disk's stamp is the cached one (nothing to read) or the run was stopped. The tool
// runs again only when the disk differs from the cached answer's; before it runs, `beforeTool`
// gets the disk's catalogue with the cached answer, to be shown meanwhile. Blocks; never call it
// on the GUI thread.
std::optional<Catalogue> load(const QString &homePath, const Simulator &simulator, ToolCache &cache,
                              const StopToken &stop = {},
                              const std::function<void(const Catalogue &)> &beforeTool = {});

} // namespace AppCatalogue
