#include "previewio.h"

#include <QImageReader>

#ifdef LANTHORN_HAVE_QTPDF
#include <QPdfDocument>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace PreviewIO {

bool openRegular(const QString &path, QFile &file)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool isImage(QFile &file)
{
    file.seek(0);
    const bool image = !QImageReader::imageFormat(&file).isEmpty();
    file.seek(0);
    return image;
}

Picture readImage(QFile &file, QSize bounds)
{
    Picture picture;
    file.seek(0);
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // Qt's allocation limit (QImageReader::allocationLimit(), process-wide) still stops a
    // plugin that misreports the size; it is left as it is, since other readers share it.
    QSize size = reader.size();
    picture.fullSize = size;
    if (size.isValid() && (size.width() > bounds.width() || size.height() > bounds.height())) {
        const QSize scaled = size.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (reader.supportsOption(QImageIOHandler::ScaledSize))
            reader.setScaledSize(scaled);
        else if (qint64(size.width()) * size.height() > maxDecodedPixels) {
            picture.notes
                << u"The image is too large to show (%1 × %2 pixels)."_s.arg(size.width()).arg(size.height());
            return picture;
        }
    }
    if (!reader.read(&picture.image)) {
        picture.notes << u"The image could not be decoded: %1."_s.arg(reader.errorString());
        return picture;
    }
    if (!picture.fullSize.isValid())
        picture.fullSize = picture.image.size();
    if (picture.image.width() > bounds.width() || picture.image.height() > bounds.height())
        picture.image = picture.image.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

bool canRenderPdf()
{
#ifdef LANTHORN_HAVE_QTPDF
    return true;
#else
    return false;
#endif
}

Picture renderPdfPage([[maybe_unused]] const QString &path, [[maybe_unused]] QSize bounds)
{
    Picture picture;
#ifdef LANTHORN_HAVE_QTPDF
    QPdfDocument document(nullptr);
    if (document.load(path) != QPdfDocument::Error::None || document.pageCount() < 1) {
        picture.notes << u"The PDF could not be read."_s;
        return picture;
    }
    picture.pageCount = document.pageCount();
    const QSizeF points = document.pagePointSize(0);
    picture.fullSize = points.toSize();
    const QSize pixels = points.toSize().scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    picture.image = document.render(0, pixels);
#else
    picture.notes << u"PDFs cannot be shown: this build has no PDF support."_s;
#endif
    return picture;
}

} // namespace PreviewIO
