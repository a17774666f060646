#include "displayformat.h"

#include <QDateTime>
#include <QRegularExpression>

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QString trimmedNumber(double value, int decimals, const QLocale &locale)
{
    QString text = locale.toString(value, 'f', decimals);
    const QString point = locale.decimalPoint();
    if (decimals > 0 && text.contains(point)) {
        while (text.endsWith(locale.zeroDigit()))
            text.chop(locale.zeroDigit().size());
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

// The abbreviated date pattern of a locale: its long date without the weekday and with the
// month name abbreviated ("d. MMMM yyyy" becomes "d. MMM yyyy").
QString abbreviatedDatePattern(const QLocale &locale)
{
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(u"\\s*[,،]?\\s*dddd\\s*[,،]?\\s*"_s);
    pattern.replace(weekday, u" "_s);
    pattern.replace(u"MMMM"_s, u"MMM"_s);
    return pattern.trimmed();
}

} // namespace

namespace DisplayFormat {

QString byteCount(qint64 bytes, const QLocale &locale)
{
    if (bytes == 0)
        return u"Zero bytes"_s;
    if (bytes == 1)
        return u"1 byte"_s;
    if (bytes < 1000)
        return locale.toString(bytes) + u" bytes"_s;
    static constexpr std::array<const char16_t *, 6> units{u"kB", u"MB", u"GB", u"TB", u"PB", u"EB"};
    double scaled = double(bytes);
    for (size_t unit = 0; unit < units.size(); ++unit) {
        scaled /= 1000.0;
        const int decimals = unit < 2 ? 1 : 2;
        const double factor = std::pow(10.0, decimals);
        // Rounded first, so that 999,960 bytes reads "1 MB" rather than "1000 kB".
        if (std::round(scaled * factor) / factor < 1000.0 || unit + 1 == units.size())
            return trimmedNumber(scaled, decimals, locale) + u' ' + QString::fromUtf16(units[unit]);
    }
    return {};
}

QString dateTime(qint64 msecsSinceEpoch, const QLocale &locale)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    // The US form is spelled out: newer locale data puts a narrow space before AM/PM.
    if (locale.language() == QLocale::C ||
        (locale.language() == QLocale::English && locale.territory() == QLocale::UnitedStates))
        return locale.toString(local, u"MMM d, yyyy 'at' h:mm AP"_s);
    // Every other locale has its own order and clock: "5 Jan 2024 at 15:07" in Britain.
    const QString separator = locale.language() == QLocale::English ? u" at "_s : u" "_s;
    return locale.toString(local.date(), abbreviatedDatePattern(locale)) + separator +
           locale.toString(local.time(), QLocale::ShortFormat);
}

QString modifiedDate(const FileEntry &entry, const QLocale &locale)
{
    const auto msecs = entry.modifiedMSecs();
    return msecs ? dateTime(*msecs, locale) : QString::fromUtf16(missingValue);
}

QString size(const FileEntry &entry, const QLocale &locale)
{
    const auto bytes = entry.sizeBytes();
    if (entry.isDirectory() || !bytes)
        return QString::fromUtf16(missingValue);
    return byteCount(*bytes, locale);
}

} // namespace DisplayFormat
