#pragma once

#include <QByteArray>
#include <QString>

#include "plistcompat.h"

#include <memory>
#include <optional>

// Owning handle of a libplist node tree.
struct PlistDeleter
{
    void operator()(void *node) const
    {
        if (node)
            plist_free(static_cast<plist_t>(node));
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

namespace PlistFile {

enum class Format { Xml, Binary };

// Files on disk are never trusted: anything larger than this is not parsed.
constexpr qint64 maxBytes = 1024 * 1024;

// The parsed file, or null when it is missing, too large or not a property list.
PlistPtr read(const QString &path);
PlistPtr parse(const QByteArray &bytes);

// Writes atomically (temporary file, then rename).
bool write(const QString &path, plist_t root, Format format);

// Member of a dictionary with the expected type, else nullopt. Strings go through the
// length-aware accessor because libplist 2.2 aborts on strings with embedded NULs otherwise.
std::optional<QString> stringMember(plist_t dict, const char *key);
std::optional<quint64> uintMember(plist_t dict, const char *key);

void setString(plist_t dict, const char *key, const QString &value);
void setUInt(plist_t dict, const char *key, quint64 value);

} // namespace PlistFile
