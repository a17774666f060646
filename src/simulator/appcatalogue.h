#pragma once

#include "result.h"
#include "simulator/stoptoken.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

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

// The tool's last answer and the state of the disk it was given for.
struct ToolCache
{
    QString signature;
    ToolReports reports;
};

// The catalogue of the device: the disk, tied by the tool's report when the device is booted.
// The tool runs again only when the disk differs from the cached answer's. Blocks; never call
// it on the GUI thread.
Catalogue load(const QString &homePath, const Simulator &simulator, ToolCache &cache, StopToken stop = {});

} // namespace AppCatalogue
