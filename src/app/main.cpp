#include "contentview.h"
#include "screens/symbols.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lanthorn"));
    QApplication::setApplicationVersion(QStringLiteral(LANTHORN_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Lanthorn"));
    // macOS keeps the settings under the reversed domain, org.lanthorn.Lanthorn: the bundle
    // identifier. Elsewhere the organization name still names the folder.
    QApplication::setOrganizationDomain(QStringLiteral("lanthorn.org"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lanthorn"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lanthorn.Lanthorn"));
    Symbols::setUpIconTheme();
    // The installed theme icon when there is one, else the copy built into the program.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("lanthorn"), QIcon(QStringLiteral(":/icons/lanthorn.svg"))));

    ContentView window;
    window.show();
    return app.exec();
}
