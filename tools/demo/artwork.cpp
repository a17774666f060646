#include "artwork.h"

#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace Artwork {

namespace {

QImage canvas(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(Qt::transparent);
    return image;
}

void sky(QPainter &p, QSize size, const QList<std::pair<qreal, QColor>> &stops)
{
    QLinearGradient gradient(0, 0, 0, size.height());
    for (const auto &[at, color] : stops)
        gradient.setColorAt(at, color);
    p.fillRect(QRect(QPoint(0, 0), size), gradient);
}

QPainterPath ridge(QSize size, qreal base, qreal amplitude, quint32 seed)
{
    QRandomGenerator random(seed);
    QPainterPath path(QPointF(0, size.height()));
    const int steps = 24;
    for (int i = 0; i <= steps; ++i) {
        const qreal x = size.width() * i / qreal(steps);
        const qreal y = base - amplitude * (0.3 + 0.7 * random.generateDouble()) * std::sin(i * 0.7 + seed);
        path.lineTo(x, y);
    }
    path.lineTo(size.width(), size.height());
    path.closeSubpath();
    return path;
}

} // namespace

QImage sunset(QSize size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, size,
        {{0.0, QColor(0x2b, 0x1a, 0x4f)},
         {0.45, QColor(0xe8, 0x6a, 0x3c)},
         {0.62, QColor(0xff, 0xc8, 0x6b)}});
    const QPointF sun(size.width() * 0.62, size.height() * 0.6);
    QRadialGradient glow(sun, size.height() * 0.35);
    glow.setColorAt(0, QColor(255, 240, 200, 220));
    glow.setColorAt(1, QColor(255, 200, 120, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(sun, size.height() * 0.35, size.height() * 0.35);
    p.setBrush(QColor(0xff, 0xf1, 0xc9));
    p.drawEllipse(sun, size.height() * 0.08, size.height() * 0.08);
    QLinearGradient sea(0, size.height() * 0.62, 0, size.height());
    sea.setColorAt(0, QColor(0x3d, 0x2c, 0x5e));
    sea.setColorAt(1, QColor(0x10, 0x12, 0x2e));
    p.fillRect(QRectF(0, size.height() * 0.62, size.width(), size.height()), sea);
    p.setPen(QPen(QColor(255, 210, 150, 150), 3));
    for (int i = 0; i < 14; ++i) {
        const qreal y = size.height() * (0.65 + i * 0.024);
        const qreal half = size.width() * (0.12 - i * 0.006);
        p.drawLine(QPointF(sun.x() - half, y), QPointF(sun.x() + half, y));
    }
    return image;
}

QImage harbour(QSize size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, size, {{0.0, QColor(0x6d, 0xb3, 0xf2)}, {0.55, QColor(0xd6, 0xec, 0xff)}});
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x6e, 0x9a));
    p.drawRect(QRectF(0, size.height() * 0.55, size.width(), size.height()));
    const QList<QColor> hulls = {QColor(0xd9, 0x48, 0x3b), QColor(0xf2, 0xf2, 0xf2),
                                 QColor(0xf4, 0xb8, 0x3f)};
    for (int i = 0; i < 3; ++i) {
        const qreal x = size.width() * (0.15 + i * 0.28);
        const qreal y = size.height() * (0.62 + i * 0.06);
        const qreal w = size.width() * 0.18;
        QPainterPath hull;
        hull.moveTo(x, y);
        hull.lineTo(x + w, y);
        hull.lineTo(x + w * 0.85, y + w * 0.18);
        hull.lineTo(x + w * 0.12, y + w * 0.18);
        hull.closeSubpath();
        p.setBrush(hulls[i]);
        p.drawPath(hull);
        QPainterPath sail;
        sail.moveTo(x + w * 0.5, y - w * 0.9);
        sail.lineTo(x + w * 0.5, y - w * 0.05);
        sail.lineTo(x + w * 0.1, y - w * 0.05);
        sail.closeSubpath();
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawPath(sail);
        p.setPen(QPen(QColor(0x3b, 0x2f, 0x2f), 3));
        p.drawLine(QPointF(x + w * 0.5, y - w), QPointF(x + w * 0.5, y));
        p.setPen(Qt::NoPen);
    }
    return image;
}

QImage mountainLake(QSize size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, size, {{0.0, QColor(0x8e, 0xc5, 0xfc)}, {0.5, QColor(0xe0, 0xf0, 0xff)}});
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7a, 0x86, 0x9a));
    p.drawPath(ridge(size, size.height() * 0.45, size.height() * 0.22, 7));
    p.setBrush(QColor(0x3e, 0x5c, 0x4a));
    p.drawPath(ridge(size, size.height() * 0.58, size.height() * 0.1, 3));
    QLinearGradient lake(0, size.height() * 0.66, 0, size.height());
    lake.setColorAt(0, QColor(0x4f, 0x8f, 0xb8));
    lake.setColorAt(1, QColor(0x1d, 0x3d, 0x5a));
    p.fillRect(QRectF(0, size.height() * 0.66, size.width(), size.height()), lake);
    return image;
}

QImage cityLights(QSize size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, size, {{0.0, QColor(0x05, 0x07, 0x1a)}, {1.0, QColor(0x27, 0x1f, 0x4d)}});
    QRandomGenerator random(42);
    p.setPen(Qt::NoPen);
    qreal x = 0;
    while (x < size.width()) {
        const qreal w = size.width() * (0.05 + 0.06 * random.generateDouble());
        const qreal h = size.height() * (0.25 + 0.5 * random.generateDouble());
        p.setBrush(QColor(0x14, 0x16, 0x2b));
        p.drawRect(QRectF(x, size.height() - h, w - 4, h));
        for (qreal wy = size.height() - h + 10; wy < size.height() - 10; wy += 18) {
            for (qreal wx = x + 6; wx < x + w - 12; wx += 14) {
                if (random.bounded(3) == 0) {
                    p.setBrush(QColor(0xff, 0xd8, 0x7a, 200 + random.bounded(55)));
                    p.drawRect(QRectF(wx, wy, 7, 9));
                }
            }
        }
        x += w;
    }
    return image;
}

QImage gardenFlowers(QSize size)
{
    QImage image = canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, size, {{0.0, QColor(0x9b, 0xd7, 0x70)}, {1.0, QColor(0x2f, 0x6b, 0x2a)}});
    QRandomGenerator random(11);
    const QList<QColor> petals = {QColor(0xf0, 0x5d, 0x8a), QColor(0xff, 0xd1, 0x3b),
                                  QColor(0xb0, 0x7c, 0xf2), QColor(0xff, 0xff, 0xff)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        const QPointF centre(random.bounded(size.width()), random.bounded(size.height()));
        const qreal r = 12 + random.bounded(26);
        p.setBrush(petals[i % petals.size()]);
        for (int k = 0; k < 6; ++k) {
            const qreal a = k * std::numbers::pi / 3;
            p.drawEllipse(centre + QPointF(std::cos(a) * r, std::sin(a) * r), r * 0.6, r * 0.6);
        }
        p.setBrush(QColor(0xf7, 0xa8, 0x1b));
        p.drawEllipse(centre, r * 0.45, r * 0.45);
    }
    return image;
}

QImage diagram(QSize size)
{
    QImage image = canvas(size);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(size.height() / 16);
    p.setFont(font);
    const QStringList labels = {u"Sidebar"_s, u"Detail"_s, u"Files"_s, u"Photos"_s};
    const QList<QColor> colours = {QColor(0x4a, 0x90, 0xe2), QColor(0x50, 0xb8, 0x7a),
                                   QColor(0xf5, 0xa6, 0x23), QColor(0xd0, 0x4f, 0x6d)};
    QList<QRectF> boxes;
    const qreal w = size.width() * 0.28, h = size.height() * 0.2;
    boxes << QRectF(size.width() * 0.06, size.height() * 0.4, w, h)
          << QRectF(size.width() * 0.4, size.height() * 0.4, w, h)
          << QRectF(size.width() * 0.7, size.height() * 0.12, w * 0.85, h)
          << QRectF(size.width() * 0.7, size.height() * 0.68, w * 0.85, h);
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 3));
    p.drawLine(boxes[0].center() + QPointF(w / 2, 0), boxes[1].center() - QPointF(w / 2, 0));
    p.drawLine(boxes[1].center(), boxes[2].center());
    p.drawLine(boxes[1].center(), boxes[3].center());
    for (int i = 0; i < boxes.size(); ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(colours[i]);
        p.drawRoundedRect(boxes[i], 14, 14);
        p.setPen(Qt::white);
        p.drawText(boxes[i], Qt::AlignCenter, labels[i]);
    }
    return image;
}

QImage appTile(int side, QColor top, QColor bottom, QChar letter)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, side);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter.fillRect(image.rect(), fill);
    QFont font;
    font.setPixelSize(side * 6 / 10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QString(letter));
    return image;
}

QImage appIcon(int side)
{
    QImage image = canvas(QSize(side, side), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(side * 0.3, side * 0.25, side * 0.4, side * 0.55);
    QRadialGradient light(body.center(), side * 0.3);
    light.setColorAt(0, QColor(0xff, 0xe6, 0x9e));
    light.setColorAt(1, QColor(0xf0, 0x9a, 0x2a));
    p.setPen(QPen(QColor(0x3a, 0x2a, 0x1a), side * 0.03));
    p.setBrush(light);
    p.drawRoundedRect(body, side * 0.06, side * 0.06);
    p.setBrush(QColor(0x3a, 0x2a, 0x1a));
    p.drawRect(QRectF(side * 0.26, side * 0.2, side * 0.48, side * 0.06));
    p.drawRect(QRectF(side * 0.26, side * 0.79, side * 0.48, side * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(side * 0.4, side * 0.08, side * 0.2, side * 0.2), 0, 180 * 16);
    return image;
}

bool writeInvoicePdf(const QString &path, const QString &number, const QString &customer)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    writer.setTitle(u"Invoice "_s + number);
    writer.setCreator(u"Lanthorn demo"_s);
    QPainter p;
    if (!p.begin(&writer))
        return false;
    QFont title(u"DejaVu Sans"_s, 22, QFont::Bold);
    QFont body(u"DejaVu Sans"_s, 11);
    p.setFont(title);
    p.drawText(QPointF(50, 80), u"Invoice "_s + number);
    p.setFont(body);
    p.drawText(QPointF(50, 115), u"Bill to: "_s + customer);
    p.drawText(QPointF(50, 132), u"Date: 2024-03-28    Due: 2024-04-27"_s);
    const QList<std::tuple<QString, int, double>> lines = {
        {u"Simulator test plan review"_s, 3, 120.0},
        {u"Photo import workflow"_s, 5, 95.0},
        {u"Files storage migration"_s, 2, 140.0},
    };
    qreal y = 180;
    p.drawLine(QPointF(50, y - 14), QPointF(545, y - 14));
    double total = 0;
    for (const auto &[item, hours, rate] : lines) {
        p.drawText(QPointF(50, y), item);
        p.drawText(QPointF(360, y), QString::number(hours) + u" h");
        p.drawText(QPointF(450, y), QString::asprintf("%.2f EUR", hours * rate));
        total += hours * rate;
        y += 22;
    }
    p.drawLine(QPointF(50, y - 10), QPointF(545, y - 10));
    p.setFont(QFont(u"DejaVu Sans"_s, 12, QFont::Bold));
    p.drawText(QPointF(360, y + 12), u"Total"_s);
    p.drawText(QPointF(450, y + 12), QString::asprintf("%.2f EUR", total));
    return p.end();
}

} // namespace Artwork
