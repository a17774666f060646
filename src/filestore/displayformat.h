#pragma once

#include "fileentry.h"

#include <QLocale>
#include <QString>

// The texts the views show for an entry's values. Dates are converted to local time here, at
// display, never while listing.
namespace DisplayFormat {

// Shown for a missing date or size, and for the size of a folder.
inline constexpr char16_t missingValue[] = u"--";

// File-style byte count: decimal multiples (1 kB = 1000 bytes), zero spelled out:
// "Zero bytes", "1 byte", "532 bytes", "1.2 kB", "3.4 MB", "1.25 GB".
QString byteCount(qint64 bytes, const QLocale &locale = QLocale());

// Abbreviated date and short time in the locale and the local time zone:
// "Jan 5, 2024 at 3:07 PM" in the US, "5 Jan 2024 at 15:07" in Britain.
QString dateTime(qint64 msecsSinceEpoch, const QLocale &locale = QLocale());

QString modifiedDate(const FileEntry &entry, const QLocale &locale = QLocale());
QString size(const FileEntry &entry, const QLocale &locale = QLocale());

} // namespace DisplayFormat
