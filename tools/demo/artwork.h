#pragma once

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

// A one-page invoice; false when the PDF could not be written.
bool writeInvoicePdf(const QString &path, const QString &number, const QString &customer);

} // namespace Artwork
