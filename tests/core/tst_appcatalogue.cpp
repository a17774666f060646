#include "simulator/appcatalogue.h"
#include "simulator/simulator.h"
#include "support/faketool.h"
#include "support/tempfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using AppCatalogue::Catalogue;

namespace {

const QString udid = u"5A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9"_s;
const QString metadataName = u".com.apple.mobile_container_manager.metadata.plist"_s;

QByteArray xmlDict(const QList<std::pair<QByteArray, QByteArray>> &strings, const QByteArray &extra = {})
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto &[key, value] : strings)
        out += "<key>" + key + "</key><string>" + value + "</string>";
    return out + extra + "</dict></plist>";
}

QByteArray metadata(const QByteArray &identifier, qsizetype padTo = 0)
{
    QByteArray doc = xmlDict({{"MCMMetadataIdentifier", identifier}});
    if (doc.size() < padTo)
        doc.insert(doc.indexOf("<dict>"), QByteArray(padTo - doc.size(), ' '));
    return doc;
}

// A device tree described by rows: "bundle CONTAINER NAME.app KEY=VALUE;...", "data|bigdata (over the
// bound)|group CONTAINER IDENTIFIER", "bare CONTAINER" (no metadata), "old CONTAINER" (metadata a day
// old), "link CONTAINER" (bundle linked out), "linkout PATH IDENTIFIER" (PATH below data/ linked to an
// outside container), "file PATH", "remove PATH".
class Device
{
public:
    explicit Device(TempFolder &home) : m_home(home) {}

    QString data(const QString &relative = {}) const
    {
        return u"Library/Developer/CoreSimulator/Devices/"_s + udid + u"/data" +
               (relative.isEmpty() ? QString() : u'/' + relative);
    }

    bool build(const QStringList &rows)
    {
        for (const QString &row : rows) {
            const QStringList f = row.split(u' ');
            const QString kind = f.value(0);
            bool ok = true;
            if (kind == u"bundle") {
                QList<std::pair<QByteArray, QByteArray>> info;
                for (const QString &pair : f.value(3).split(u';', Qt::SkipEmptyParts))
                    info.append({pair.section(u'=', 0, 0).toUtf8(),
                                 pair.section(u'=', 1).replace(u'_', u' ').toUtf8()});
                ok = m_home.createFile(bundle(f[1]) + u'/' + f[2] + u"/Info.plist", xmlDict(info));
            } else if (kind == u"data" || kind == u"bigdata") {
                ok = m_home.createFile(dataContainer(f[1]) + u'/' + metadataName,
                                       metadata(f[2].toUtf8(), kind == u"bigdata" ? 65 * 1024 : 0));
            } else if (kind == u"bare") {
                ok = m_home.createDir(dataContainer(f[1]) + u"/Documents");
            } else if (kind == u"group") {
                ok = m_home.createFile(data(u"Containers/Shared/AppGroup/"_s + f[1]) + u'/' + metadataName,
                                       metadata(f[2].toUtf8()));
            } else if (kind == u"old") {
                QFile file(m_home.path(dataContainer(f[1]) + u'/' + metadataName));
                ok = file.open(QIODevice::ReadWrite) &&
                     file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                      QFileDevice::FileModificationTime);
            } else if (kind == u"link") {
                ok = m_home.createFile(u"elsewhere/Evil.app/Info.plist"_s,
                                       xmlDict({{"CFBundleIdentifier", "com.example.evil"}})) &&
                     m_home.createDir(data(u"Containers/Bundle/Application"_s)) &&
                     m_home.createSymlink(m_home.path(u"elsewhere"_s), bundle(f[1]));
            } else if (kind == u"linkout") {
                const QString outside = u"outside/"_s + f[1];
                ok = m_home.createFile(outside + u'/' + metadataName, metadata(f[2].toUtf8())) &&
                     m_home.createDir(QFileInfo(data(f[1])).path()) &&
                     m_home.createSymlink(m_home.path(outside), data(f[1]));
            } else if (kind == u"file") {
                ok = m_home.createFile(data(f[1]));
            } else if (kind == u"remove") {
                ok = QDir(m_home.path(data(f[1]))).removeRecursively();
            } else {
                ok = false;
            }
            if (!ok)
                return false;
        }
        return true;
    }

    QString bundle(const QString &container) const
    {
        return data(u"Containers/Bundle/Application/"_s + container);
    }
    QString dataContainer(const QString &container) const
    {
        return data(u"Containers/Data/Application/"_s + container);
    }

private:
    TempFolder &m_home;
};

// "name|identifier|data container folder name|groups" per app, and the shared groups.
QStringList describe(const Catalogue &catalogue)
{
    QStringList out;
    for (const AppCatalogue::App &app : catalogue.apps) {
        QStringList groups;
        for (const AppCatalogue::Group &group : app.groups)
            groups << group.identifier;
        out << app.displayName + u'|' + app.bundleIdentifier + u'|' +
                   QFileInfo(app.dataContainer).fileName() + u'|' + groups.join(u',');
    }
    for (const AppCatalogue::Group &group : catalogue.sharedGroups)
        out << u"shared "_s + group.identifier;
    return out;
}

} // namespace

class TestAppCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void readsTheDevice_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("reportedDataContainer"); // for com.example.a; empty: no report
        QTest::addColumn<QStringList>("expected");
        const QString app = u"bundle B1 A.app CFBundleIdentifier=com.example.a"_s;
        QTest::newRow("no app") << QStringList{u"group G1 group.com.apple.notes"_s} << QString()
                                << QStringList{u"shared group.com.apple.notes"_s};
        QTest::newRow("names and order")
            << QStringList{u"bundle B1 Zed.app CFBundleIdentifier=com.example.z;CFBundleDisplayName=zebra"_s,
                           u"bundle B2 Alpha.app CFBundleIdentifier=com.example.a;CFBundleName=Alpha_Beta"_s,
                           u"bundle B3 Quiet.app CFBundleIdentifier=com.example.q;CFBundleDisplayName=_"_s,
                           u"bundle B4 Nameless.app CFBundleName=NoIdentifier"_s}
            << QString()
            << QStringList{u"Alpha Beta|com.example.a||"_s, u"Quiet|com.example.q||"_s,
                           u"zebra|com.example.z||"_s};
        QTest::newRow("data container without metadata")
            << QStringList{app, u"bare D1"_s} << QString() << QStringList{u"A|com.example.a||"_s};
        QTest::newRow("metadata over the bounds") << QStringList{app, u"bigdata D1 com.example.a"_s}
                                                  << QString() << QStringList{u"A|com.example.a||"_s};
        QTest::newRow("two containers claim one app: the newer")
            << QStringList{app, u"data D1 com.example.a"_s, u"data D2 com.example.a"_s, u"old D2"_s}
            << QString() << QStringList{u"A|com.example.a|D1|"_s};
        QTest::newRow("groups only by the tool")
            << QStringList{app, u"group G1 group.com.example.a"_s, u"group G2 group.com.example.other"_s}
            << u"none"_s
            << QStringList{u"A|com.example.a||group.com.example.a"_s, u"shared group.com.example.other"_s};
        QTest::newRow("groups without a report are shared")
            << QStringList{app, u"group G1 group.com.example.a"_s} << QString()
            << QStringList{u"A|com.example.a||"_s, u"shared group.com.example.a"_s};
        QTest::newRow("bundle linked out of the device")
            << QStringList{u"link B1"_s, u"bundle B2 A.app CFBundleIdentifier=com.example.a"_s} << QString()
            << QStringList{u"A|com.example.a||"_s};
    }

    void readsTheDevice()
    {
        QFETCH(QStringList, tree);
        QFETCH(QString, reportedDataContainer);
        QFETCH(QStringList, expected);
        TempFolder home;
        Device device(home);
        QVERIFY(device.build(tree));
        AppCatalogue::ToolReports reports;
        if (!reportedDataContainer.isEmpty())
            reports.insert(u"com.example.a"_s, {reportedDataContainer, {u"group.com.example.a"_s}});
        QCOMPARE(describe(AppCatalogue::read(home.path(), udid, reports)), expected);
    }

    // A UDID that is not one folder name gives nothing, even where its path holds apps.
    void unsafeUdidGivesNoApps()
    {
        TempFolder home;
        QVERIFY(home.createFile(
            u"Library/Developer/CoreSimulator/data/Containers/Bundle/Application/B/A.app/Info.plist"_s,
            xmlDict({{"CFBundleIdentifier", "com.example.a"}})));
        for (const QString &unsafe : {u"../Devices/.."_s, u".."_s})
            QCOMPARE(AppCatalogue::read(home.path(), unsafe).apps.size(), 0);
    }

    // The disk is read again only when its stamp says something changed, and the tool runs again
    // only when the apps or their containers did: an idle device costs neither.
    void loadsOnlyWhatChanged_data()
    {
        QTest::addColumn<QStringList>("change"); // rows as above, after the first load
        QTest::addColumn<bool>("booted");        // at the second load; booted at the first
        QTest::addColumn<bool>("readsAgain");
        QTest::addColumn<int>("toolRuns"); // in all

        QTest::newRow("nothing") << QStringList() << true << false << 1;
        QTest::newRow("the app writes a document")
            << QStringList{u"file Containers/Data/Application/D1/Documents/note.txt"_s} << true << false << 1;
        QTest::newRow("app installed")
            << QStringList{u"bundle B2 B.app CFBundleIdentifier=com.example.b"_s} << true << true << 2;
        QTest::newRow("bundle replaced in its container")
            << QStringList{u"remove Containers/Bundle/Application/B1/A.app"_s,
                           u"bundle B1 A.app CFBundleIdentifier=com.example.a;CFBundleName=New"_s}
            << true << true << 1;
        QTest::newRow("data container made") << QStringList{u"data D2 com.example.a"_s} << true << true << 2;
        QTest::newRow("group container made") << QStringList{u"group G2 group.b"_s} << true << true << 2;
        QTest::newRow("app removed") << QStringList{u"remove Containers/Bundle/Application/B1"_s} << true
                                     << true << 1;
        QTest::newRow("device shut down") << QStringList() << false << true << 1;
    }

    void loadsOnlyWhatChanged()
    {
        QFETCH(QStringList, change);
        QFETCH(bool, booted);
        QFETCH(bool, readsAgain);
        QFETCH(int, toolRuns);
        TempFolder home;
        Device device(home);
        QVERIFY(device.build({u"bundle B1 A.app CFBundleIdentifier=com.example.a"_s,
                              u"data D1 com.example.a"_s, u"bare D1"_s, u"group G1 group.a"_s}));
        QVERIFY(home.backdate(device.data()));
        FakeTool tools;
        const ScopedToolPath xcrun(tools.write(
            u"xcrun"_s,
            "echo >> '" + QFile::encodeName(tools.path(u"runs"_s)) +
                "'\necho '{ \"com.example.a\" = { GroupContainers = { \"group.a\" = x; }; }; }'"));
        Simulator simulator{udid, u"Phone"_s, u"iOS 17.5"_s, true};
        AppCatalogue::ToolCache cache;
        const auto first = AppCatalogue::load(home.path(), simulator, cache);
        QVERIFY(first && first->apps.size() == 1);
        QCOMPARE(first->apps[0].groups.size(), 1);

        QVERIFY(device.build(change));
        simulator.isBooted = booted;
        const auto second = AppCatalogue::load(home.path(), simulator, cache);
        QCOMPARE(second.has_value(), readsAgain);
        if (second)
            QCOMPARE(*second, AppCatalogue::read(home.path(), udid, cache.reports));
        QFile runs(tools.path(u"runs"_s));
        QCOMPARE(runs.open(QIODevice::ReadOnly) ? runs.readAll().size() : 0, toolRuns);
    }

    // Malformed output is in the fuzz corpus.
    void parsesListApps()
    {
        const auto reports = AppCatalogue::parseListApps(
            "{\n\t\"com.example.a\" =     {\n\t\tApplicationType = User;\n"
            "\t\tDataContainer = \"file:///h/data/Containers/Data/Application/D1/\";\n"
            "\t\tGroupContainers =         {\n\t\t\t\"group.a\" = \"file:///x/\";\n"
            "\t\t\t\"TEAM.b\" = \"file:///y/\";\n\t\t};\n\t\tSBAppTags =         (\n\t\t);\n\t};\n}\n");
        QVERIFY(reports && reports->size() == 1);
        QCOMPARE(reports->value(u"com.example.a"_s).dataContainerName, u"D1"_s);
        QCOMPARE(reports->value(u"com.example.a"_s).groups, (QStringList{u"group.a"_s, u"TEAM.b"_s}));
    }

    void listAppsPathsStayInTheDevice_data()
    {
        QTest::addColumn<QByteArray>("dataContainer"); // the tool's URL for com.example.a
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected");
        const QString app = u"bundle B1 A.app CFBundleIdentifier=com.example.a"_s;
        QTest::newRow("a path out of the device")
            << QByteArray("file:///etc/") << QStringList{app, u"data D1 com.example.a"_s}
            << QStringList{u"A|com.example.a|D1|"_s};
        QTest::newRow("a path up the tree")
            << QByteArray("file:///../") << QStringList{app, u"data D1 com.example.a"_s}
            << QStringList{u"A|com.example.a|D1|"_s};
        QTest::newRow("containers linked out of the device")
            << QByteArray("file:///x/Containers/Data/Application/D2/")
            << QStringList{app, u"linkout Containers/Data/Application/D2 com.example.a"_s,
                           u"linkout Containers/Shared/AppGroup/G2 group.evil"_s}
            << QStringList{u"A|com.example.a||"_s};
    }

    // What `simctl listapps` says is only a name to look for; every folder used lies inside the
    // device, whatever the tool prints or the device holds.
    void listAppsPathsStayInTheDevice()
    {
        QFETCH(QByteArray, dataContainer);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, expected);
        TempFolder home;
        Device device(home);
        QVERIFY(device.build(tree));
        const auto reports =
            AppCatalogue::parseListApps("{ \"com.example.a\" = { DataContainer = \"" + dataContainer +
                                        "\"; GroupContainers = { \"group.evil\" = \"file:///etc/\"; }; }; }");
        QVERIFY(reports);
        const Catalogue catalogue = AppCatalogue::read(home.path(), udid, *reports);
        QCOMPARE(describe(catalogue), expected);
        const QString inside = home.path(device.data()) + u'/';
        for (const AppCatalogue::App &app : catalogue.apps) {
            QVERIFY(app.dataContainer.isEmpty() || app.dataContainer.startsWith(inside));
            for (const AppCatalogue::Group &group : app.groups)
                QVERIFY(group.path.startsWith(inside));
        }
    }

    // The tool's real output, team-prefixed groups and all.
    void parsesRealListApps()
    {
        QFile sample(QStringLiteral(LANTHORN_SAMPLES_DIR "/simctl-listapps-Xcode16.3-AppleDevTools.txt"));
        if (!sample.open(QIODevice::ReadOnly))
            QSKIP("the listapps sample is not present");
        const auto reports = AppCatalogue::parseListApps(sample.readAll());
        QVERIFY(reports);
        QCOMPARE(reports->size(), 2);
        const AppCatalogue::ToolReport bridge = reports->value(u"com.apple.Bridge"_s);
        QCOMPARE(bridge.dataContainerName, u"8D15394A-12B2-41C0-9444-4F5E2DF46370"_s);
        QVERIFY(bridge.groups.contains(u"243LU875E5.groups.com.apple.podcasts"_s));
    }
};

QTEST_GUILESS_MAIN(TestAppCatalogue)
#include "tst_appcatalogue.moc"
