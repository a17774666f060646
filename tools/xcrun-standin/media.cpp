#include "media.h"

#include "devicestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace Media {

namespace {

const QString cocoaError = u"An error was encountered processing the command (domain=NSCocoaErrorDomain, "
                           u"code=-1):\nThe operation couldn\u2019t be completed. (Cocoa error -1.)"_s;

bool isMovieBrand(const QByteArray &brand)
{
    static const QList<QByteArray> brands = {
        "qt  ", "isom", "iso2", "iso4", "iso5", "iso6", "mp41", "mp42", "M4V ",
        "M4VH", "M4VP", "avc1", "3gp4", "3gp5", "3gp6", "3g2a", "MSNV", "dash",
    };
    return brands.contains(brand);
}

bool isStillBrand(const QByteArray &brand)
{
    static const QList<QByteArray> still = {"heic", "heix", "heim", "heis", "hevc",
                                            "hevx", "mif1", "msf1", "avif"};
    return still.contains(brand);
}

} // namespace

Kind sniff(const QByteArray &head)
{
    if (head.startsWith("\xFF\xD8\xFF"))
        return Kind::Jpeg;
    if (head.startsWith("\x89PNG\r\n\x1A\n"))
        return Kind::Png;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return Kind::Gif;
    if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4)))
        return Kind::Tiff;
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return Kind::WebP;
    if (head.size() >= 12 && head.mid(4, 4) == "ftyp") {
        const QByteArray brand = head.mid(8, 4);
        if (isStillBrand(brand))
            return Kind::Heif;
        if (isMovieBrand(brand))
            return Kind::Movie;
        return Kind::None;
    }
    // QuickTime files older than the ftyp box start with one of these atoms.
    if (head.size() >= 8) {
        const QByteArray atom = head.mid(4, 4);
        if (atom == "moov" || atom == "mdat" || atom == "wide")
            return Kind::Movie;
    }
    return Kind::None;
}

QString defaultExtension(Kind kind)
{
    switch (kind) {
    case Kind::Jpeg:
        return u"JPG"_s;
    case Kind::Png:
        return u"PNG"_s;
    case Kind::Gif:
        return u"GIF"_s;
    case Kind::Tiff:
        return u"TIFF"_s;
    case Kind::Heif:
        return u"HEIC"_s;
    case Kind::WebP:
        return u"WEBP"_s;
    case Kind::Movie:
        return u"MOV"_s;
    case Kind::None:
        break;
    }
    return QString();
}

namespace {

struct Source
{
    QString path;
    QString extension;
};

int highestNumber(const QString &folder)
{
    static const QRegularExpression pattern(u"^IMG_(\\d{4,9})\\.[^.]+$"_s,
                                            QRegularExpression::CaseInsensitiveOption);
    int highest = 0;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        const auto match = pattern.match(name);
        if (match.hasMatch())
            highest = std::max(highest, match.captured(1).toInt());
    }
    return highest;
}

} // namespace

bool addMedia(const Device &device, const QStringList &paths, CommandError *error)
{
    // Check the whole batch before copying anything.
    QList<Source> sources;
    for (const QString &path : paths) {
        struct stat info;
        const QByteArray encoded = QFile::encodeName(path);
        if (encoded.isEmpty() || ::lstat(encoded.constData(), &info) != 0) {
            const int code = encoded.isEmpty() ? ENOENT : errno;
            *error = {u"lstat of "_s + path + u" failed: "_s + QString::fromLocal8Bit(std::strerror(code)),
                      2};
            return false;
        }
        QFile file(path);
        Kind kind = Kind::None;
        if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly))
            kind = sniff(file.read(32));
        if (kind == Kind::None) {
            *error = {cocoaError, 1};
            return false;
        }
        QString extension = QFileInfo(path).suffix().toUpper();
        if (extension.isEmpty())
            extension = defaultExtension(kind);
        sources.append({path, extension});
    }

    const QString roll = device.dataPath() + u"/Media/DCIM/100APPLE";
    if (!QDir().mkpath(roll)) {
        *error = {cocoaError, 1};
        return false;
    }
    int number = highestNumber(roll);
    QStringList copied;
    for (const Source &source : sources) {
        bool done = false;
        // Another run may be adding at the same time: never overwrite, take the next number.
        for (int attempt = 0; attempt < 1000 && !done; ++attempt) {
            ++number;
            const QString target =
                roll + u"/IMG_"_s + QString::number(number).rightJustified(4, u'0') + u'.' + source.extension;
            if (QFileInfo::exists(target))
                continue;
            if (QFile::copy(source.path, target)) {
                copied.append(target);
                done = true;
            } else if (!QFileInfo::exists(target)) {
                break;
            }
        }
        if (!done) {
            for (const QString &path : copied)
                QFile::remove(path);
            *error = {cocoaError, 1};
            return false;
        }
    }
    return true;
}

} // namespace Media
