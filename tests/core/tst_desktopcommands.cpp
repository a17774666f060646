#include "filestore/desktopcommands.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestDesktopCommands : public QObject
{
    Q_OBJECT

private slots:
    void terminals_data()
    {
        QTest::addColumn<QString>("terminalVariable");
        QTest::addColumn<QStringList>("installed"); // names found on PATH, in /opt/bin
        QTest::addColumn<QList<ProcessLaunch>>("expected");
        const QString folder = u"/data/My Files"_s;

        QTest::newRow("order of the fallbacks")
            << QString() << QStringList{u"xterm"_s, u"konsole"_s, u"gnome-terminal"_s}
            << QList<ProcessLaunch>{
                   {u"/opt/bin/gnome-terminal"_s, {u"--working-directory=/data/My Files"_s}, folder},
                   {u"/opt/bin/konsole"_s, {u"--workdir"_s, folder}, folder},
                   {u"/opt/bin/xterm"_s, {}, folder}};
        QTest::newRow("$TERMINAL first, with its arguments")
            << u"kitty --single-instance"_s << QStringList{u"kitty"_s, u"xfce4-terminal"_s}
            << QList<ProcessLaunch>{
                   {u"/opt/bin/kitty"_s, {u"--single-instance"_s, u"--directory"_s, folder}, folder},
                   {u"/opt/bin/xfce4-terminal"_s, {u"--working-directory=/data/My Files"_s}, folder}};
        QTest::newRow("$TERMINAL missing") << u"nosuchterm"_s << QStringList{u"xterm"_s}
                                           << QList<ProcessLaunch>{{u"/opt/bin/xterm"_s, {}, folder}};
    }

    void terminals()
    {
#ifdef Q_OS_DARWIN
        QSKIP("macOS opens Terminal.app");
#endif
        QFETCH(QString, terminalVariable);
        QFETCH(QStringList, installed);
        QFETCH(QList<ProcessLaunch>, expected);
        const auto finder = [&](const QString &name) {
            return installed.contains(name) ? u"/opt/bin/"_s + name : QString();
        };
        QCOMPARE(DesktopCommands::terminalLaunches(u"/data/My Files"_s, terminalVariable, finder), expected);
    }

    void revealAsksTheFileManager()
    {
#ifdef Q_OS_DARWIN
        QSKIP("macOS uses open -R");
#endif
        const ProcessLaunch launch = DesktopCommands::revealLaunch(
            {QUrl::fromLocalFile(u"/data/a, b.txt"_s), QUrl::fromLocalFile(u"/data/ü 100%"_s)});
        // A comma in a name must not split the array of URLs.
        QCOMPARE(launch.arguments.at(launch.arguments.size() - 2),
                 u"array:string:file:///data/a%2C%20b.txt,file:///data/%C3%BC%20100%25"_s);
    }
};

QTEST_APPLESS_MAIN(TestDesktopCommands)
#include "tst_desktopcommands.moc"
