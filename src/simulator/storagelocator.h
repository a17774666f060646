#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Finding a device's Files-app storage folder in the simulator data tree. Pure functions over
// the disk; safe on any thread, nothing cached. Simulator::filesStorageURL() is the entry point.
namespace StorageLocator {

// Metadata files larger than this are skipped unread: real ones are a few hundred bytes.
inline constexpr qint64 maxMetadataBytes = 64 * 1024;

// Path of the device's app-group containers below `homePath`.
QString appGroupFolder(const QString &homePath, const QString &udid);

// Path of the storage folder of the first matching container, or none; none also for a UDID
// that is not a safe path component.
std::optional<QString> findFilesStorage(const QString &homePath, const QString &udid);

// The "MCMMetadataIdentifier" string of a metadata file (XML or binary property list), or
// none when the bytes are not such a list, the member is missing or not a string, or the
// list is nested too deeply or expands too far to be parsed safely.
std::optional<QByteArray> metadataIdentifier(const QByteArray &bytes);

} // namespace StorageLocator
