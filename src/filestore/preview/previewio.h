#pragma once

#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Reading files for previews and thumbnails, shared by PreviewLoader and ThumbnailProvider.
// Blocking; safe on any thread.
namespace PreviewIO {

// Opens `path` for reading only if it is a regular file (after links), without ever blocking on
// a FIFO or touching a device.
bool openRegular(const QString &path, QFile &file);

struct Picture
{
    QImage image;   // scaled to fit the bounds; null when it could not be decoded
    QSize fullSize; // the pixels of the image, or of the page in points
    int pageCount = 0;
    QStringList notes;
};

// No image decodes to more than this many pixels before it is scaled, whatever its format.
constexpr qint64 maxDecodedPixels = 24LL * 1024 * 1024;

// True when an image plugin reads the file (by its content, not its name).
bool isImage(QFile &file);
// The image scaled to fit `bounds`: formats that can decode smaller (JPEG) do so, the others
// are refused past maxDecodedPixels, so that a 30,000 px image or a decompression bomb costs
// a bounded amount of memory.
Picture readImage(QFile &file, QSize bounds);

// PDFs need Qt's PDF module, which is optional.
bool canRenderPdf();
Picture renderPdfPage(const QString &path, QSize bounds);

} // namespace PreviewIO
