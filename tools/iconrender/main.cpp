// Renders the application's SVG icon to PNG files of the given sizes, or to a macOS .icns file
// (build-time tool). The .icns is written here rather than by Apple's iconutil so that every
// platform builds, and can check, the same file.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdio>

namespace {

QImage render(QSvgRenderer &renderer, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image;
}

void appendBigEndian(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

// An .icns of PNG entries: the four-letter type says the size and scale each one is for.
int writeIcns(QSvgRenderer &renderer, const QString &path)
{
    struct Entry
    {
        const char *type;
        int size;
    };
    static constexpr Entry entries[] = {{"icp4", 16},  {"ic11", 32},  {"icp5", 32},  {"ic12", 64},
                                        {"ic07", 128}, {"ic13", 256}, {"ic08", 256}, {"ic14", 512},
                                        {"ic09", 512}, {"ic10", 1024}};
    QByteArray body;
    for (const Entry &entry : entries) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!render(renderer, entry.size).save(&buffer, "PNG"))
            return 1;
        body.append(entry.type, 4);
        appendBigEndian(body, quint32(png.size() + 8));
        body.append(png);
    }
    QByteArray file("icns");
    appendBigEndian(file, quint32(body.size() + 8));
    file.append(body);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size() || !out.commit()) {
        std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool icns = argc == 4 && qstrcmp(argv[2], "--icns") == 0;
    if (argc < 4) {
        std::fprintf(stderr, "usage: iconrender SVG OUTPUT_PATTERN SIZE...\n"
                             "       iconrender SVG --icns OUTPUT.icns\n"
                             "       OUTPUT_PATTERN holds %%1 for the size, e.g. out/%%1x%%1/lanthorn.png\n");
        return 64;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "iconrender: cannot read %s\n", argv[1]);
        return 1;
    }
    if (icns)
        return writeIcns(renderer, QString::fromLocal8Bit(argv[3]));
    const QString pattern = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size <= 0 || size > 4096) {
            std::fprintf(stderr, "iconrender: bad size %s\n", argv[i]);
            return 64;
        }
        const QImage image = render(renderer, size);
        const QString out = pattern.arg(size);
        if (!image.save(out, "PNG")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
