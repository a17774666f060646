#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Finding a device's Files-app storage folder in the simulator data tree. Pure functions over
// the disk; safe on any thread, nothing cached. Simulator::filesStorageURL() is the entry point.
namespace StorageLocator {

// Metadata files larger than this are skipped unread: real ones are a few hundred bytes.
inline constexpr qint64 maxMetadataBytes = 64 * 1024;
// The group identifier of the Files app's local storage container.
inline constexpr char localStorageGroup[] = "group.com.apple.FileProvider.LocalStorage";

// The bytes of a regular file of at most `maxBytes`, or none (missing, another kind of file, too
// large, unreadable; a link too unless `followLinks`). A FIFO in its place does not block.
std::optional<QByteArray> readSmallRegularFile(const QString &path, qint64 maxBytes = maxMetadataBytes,
                                               bool followLinks = true);

// Whether an XML or binary property list is shallow and small enough once expanded for libplist
// to parse it within a small stack and little memory. False for empty bytes.
bool plistShapeIsSafe(const QByteArray &bytes);

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
