#pragma once

#include <QString>

// The app-group containers of a simulator device:
// DEVICE/data/Containers/Shared/AppGroup/<UUID>/.com.apple.mobile_container_manager.metadata.plist
namespace AppGroups {

inline const QString localStorage = QStringLiteral("group.com.apple.FileProvider.LocalStorage");
inline const QString metadataName = QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");
inline const QString filesStorageName = QStringLiteral("File Provider Storage");

QString rootOf(const QString &deviceDataPath);

// The container folder whose metadata names this group, or empty.
QString find(const QString &root, const QString &identifier);

// The existing container, or a new one with binary metadata; empty on failure.
QString ensure(const QString &root, const QString &identifier);

} // namespace AppGroups
