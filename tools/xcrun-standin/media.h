#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct Device;
struct CommandError;

namespace Media {

enum class Kind { None, Jpeg, Png, Gif, Tiff, Heif, WebP, Movie };

// Decides from the leading bytes only; the file name plays no part.
Kind sniff(const QByteArray &head);

// The extension a file of this kind gets when the source has none.
QString defaultExtension(Kind kind);

// Copies every file into the device's camera roll, or none of them.
bool addMedia(const Device &device, const QStringList &paths, CommandError *error);

} // namespace Media
