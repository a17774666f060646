#pragma once

#include "devicestore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Apps installed on a device, kept where CoreSimulator keeps them:
// DATA/Containers/Bundle/Application/<UUID>/NAME.app, its data container under
// DATA/Containers/Data/Application/<UUID>/ and its groups under DATA/Containers/Shared/AppGroup.
// A bundle's app groups are read from the entitlements Xcode leaves in simulator builds
// (archived-expanded-entitlements.xcent).
namespace InstalledApps {

// `simctl install`: copies the bundle (replacing an installed one of the same identifier, whose
// data stays), makes the data container and the groups. Prints nothing.
bool install(const Device &device, const QString &bundlePath, CommandError *error);

// `simctl listapps`: an old-style property list keyed by bundle identifier.
QByteArray listApps(const Device &device);

// `simctl get_app_container`: "app", "data", "groups" or a group identifier.
bool containerPath(const Device &device, const QString &bundleId, const QString &container, QByteArray *out,
                   CommandError *error);

} // namespace InstalledApps
