#include "contentview.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanthorn"));
    QApplication::setOrganizationName(QStringLiteral("Lanthorn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lanthorn"));

    ContentView window;
    window.show();
    return app.exec();
}
