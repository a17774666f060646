#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Pictures drawn from code, so the demo needs nothing downloaded.
namespace Artwork {

QImage sunset(QSize size);
QImage harbour(QSize size);
QImage mountainLake(QSize size);
QImage cityLights(QSize size);
QImage gardenFlowers(QSize size);
QImage diagram(QSize size);
QImage appIcon(int side); // transparent background
// An iOS-style app icon: a vertical gradient filling the square, one letter in the middle.
QImage appTile(int side, QColor top, QColor bottom, QChar letter);

// A one-page invoice; false when the PDF could not be written.
bool writeInvoicePdf(const QString &path, const QString &number, const QString &customer);

} // namespace Artwork
