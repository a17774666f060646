#pragma once

#include <QList>
#include <QString>

// The runtimes and device types this stand-in pretends to have installed.
namespace Catalog {

inline const QString runtimePrefix = QStringLiteral("com.apple.CoreSimulator.SimRuntime.");
inline const QString deviceTypePrefix = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.");

struct Runtime
{
    QString identifier; // com.apple.CoreSimulator.SimRuntime.iOS-17-5
    QString platform;   // iOS
    QString version;    // 17.5
    QString buildVersion;
    QString name() const { return platform + u' ' + version; }
};

struct DeviceType
{
    QString identifier;
    QString name;
    QString platform; // the runtime platform it runs
};

const QList<Runtime> &runtimes();
const QList<DeviceType> &deviceTypes();

// Accepts the identifier, the part after the prefix, or the name ("iOS 17.5", "iOS17.5").
const Runtime *findRuntime(const QString &text);
// Accepts the identifier, the part after the prefix, or the name ("iPhone 15").
const DeviceType *findDeviceType(const QString &text);

// "com.apple.CoreSimulator.SimRuntime.iOS-17-2" -> "iOS 17.2", also for runtimes not in the table.
QString runtimeDisplayName(const QString &identifier);

} // namespace Catalog
