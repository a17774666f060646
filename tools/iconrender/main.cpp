// Renders the application's SVG icon to PNG files of the given sizes (build-time tool).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: iconrender SVG OUTPUT_PATTERN SIZE...\n"
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
    const QString pattern = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size <= 0 || size > 4096) {
            std::fprintf(stderr, "iconrender: bad size %s\n", argv[i]);
            return 64;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString out = pattern.arg(size);
        if (!image.save(out, "PNG")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
