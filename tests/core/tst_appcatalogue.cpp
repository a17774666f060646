#include "simulator/appcatalogue.h"
#include "simulator/simulator.h"
#include "simulator/storagelocator.h"
#include "support/faketool.h"
#include "support/simulatordevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using AppCatalogue::Catalogue;

namespace {

const QString udid = u"5A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9"_s;

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

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(LANTHORN_TEST_DATA "/appgroup/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestAppCatalogue : public QObject
{
    Q_OBJECT

    QString groups(const TempFolder &home) const { return StorageLocator::appGroupFolder(home.path(), udid); }

    bool addContainer(TempFolder &home, const QString &group, const QByteArray &metadata)
    {
        return home.createFile(groups(home).mid(home.path().size() + 1) + u'/' + group + u'/' + metadataFile,
                               metadata);
    }

private slots:
    // What `simctl listapps` says is only a name to look for; every folder used lies inside the
    // device, whatever the tool prints or the device holds.
    void readsTheDevice_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QByteArray>("dataContainer"); // the tool's URL for com.example.a; empty: no report
        QTest::addColumn<QStringList>("expected");
        const QString app = u"bundle B1 A.app CFBundleIdentifier=com.example.a"_s;
        QTest::newRow("no app") << QStringList{u"group G1 group.com.apple.notes"_s} << QByteArray()
                                << QStringList{u"shared group.com.apple.notes"_s};
        QTest::newRow("names and order")
            << QStringList{u"bundle B1 Zed.app CFBundleIdentifier=com.example.z;CFBundleDisplayName=zebra"_s,
                           u"bundle B2 Alpha.app CFBundleIdentifier=com.example.a;CFBundleName=Alpha_Beta"_s,
                           u"bundle B3 Quiet.app CFBundleIdentifier=com.example.q;CFBundleDisplayName=_"_s,
                           u"bundle B4 Nameless.app CFBundleName=NoIdentifier"_s}
            << QByteArray()
            << QStringList{u"Alpha Beta|com.example.a||"_s, u"Quiet|com.example.q||"_s,
                           u"zebra|com.example.z||"_s};
        QTest::newRow("data container without metadata")
            << QStringList{app, u"bare D1"_s} << QByteArray() << QStringList{u"A|com.example.a||"_s};
        QTest::newRow("metadata over the bounds") << QStringList{app, u"bigdata D1 com.example.a"_s}
                                                  << QByteArray() << QStringList{u"A|com.example.a||"_s};
        QTest::newRow("two containers claim one app: the newer")
            << QStringList{app, u"data D1 com.example.a"_s, u"data D2 com.example.a"_s, u"old D2"_s}
            << QByteArray() << QStringList{u"A|com.example.a|D1|"_s};
        QTest::newRow("groups only by the tool")
            << QStringList{app, u"group G1 group.com.example.a"_s, u"group G2 group.com.example.other"_s}
            << QByteArray("file:///x/none/")
            << QStringList{u"A|com.example.a||group.com.example.a"_s, u"shared group.com.example.other"_s};
        QTest::newRow("groups without a report are shared")
            << QStringList{app, u"group G1 group.com.example.a"_s} << QByteArray()
            << QStringList{u"A|com.example.a||"_s, u"shared group.com.example.a"_s};
        QTest::newRow("bundle linked out of the device")
            << QStringList{u"link B1"_s, u"bundle B2 A.app CFBundleIdentifier=com.example.a"_s}
            << QByteArray() << QStringList{u"A|com.example.a||"_s};
        QTest::newRow("the tool names a path out of the device")
            << QStringList{app, u"data D1 com.example.a"_s} << QByteArray("file:///etc/")
            << QStringList{u"A|com.example.a|D1|"_s};
        QTest::newRow("the tool names a path up the tree")
            << QStringList{app, u"data D1 com.example.a"_s} << QByteArray("file:///../")
            << QStringList{u"A|com.example.a|D1|"_s};
        QTest::newRow("containers linked out of the device")
            << QStringList{app, u"linkout Containers/Data/Application/D2 com.example.a"_s,
                           u"linkout Containers/Shared/AppGroup/G2 group.evil"_s}
            << QByteArray("file:///x/Containers/Data/Application/D2/") << QStringList{u"A|com.example.a||"_s};
    }

    void readsTheDevice()
    {
        QFETCH(QStringList, tree);
        QFETCH(QByteArray, dataContainer);
        QFETCH(QStringList, expected);
        TempFolder home;
        SimulatorDevice device(home, udid);
        QVERIFY(device.build(tree));
        const auto reports = AppCatalogue::parseListApps(
            dataContainer.isEmpty()
                ? QByteArray("{ }")
                : "{ \"com.example.a\" = { DataContainer = \"" + dataContainer +
                      "\"; GroupContainers = { \"group.com.example.a\" = x; \"group.evil\" = "
                      "\"file:///etc/\"; }; }; }");
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

    // A UDID that is not one folder name gives nothing, even where its path holds apps.
    void unsafeUdidGivesNoApps()
    {
        TempFolder home;
        QVERIFY(home.createFile(
            u"Library/Developer/CoreSimulator/data/Containers/Bundle/Application/B/A.app/Info.plist"_s,
            stringPlist({{"CFBundleIdentifier", u"com.example.a"_s}})));
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
        SimulatorDevice device(home, udid);
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
        QCOMPARE(int(tools.read(u"runs"_s).size()), toolRuns);
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

    // The Files storage among the device's group containers.
    void firstMatchInListingOrderWins()
    {
        TempFolder home;
        // Names starting with "M" match.
        for (const QString &name : {u"C1"_s, u"M2"_s, u"B3"_s, u"M4"_s, u"M5"_s})
            QVERIFY(addContainer(home, name,
                                 fixture(name.startsWith(u'M') ? u"localstorage-binary.plist"_s
                                                               : u"othergroup-binary.plist"_s)));
        const QStringList order =
            QDir(groups(home)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        const auto first =
            std::find_if(order.begin(), order.end(), [](const QString &n) { return n.startsWith(u'M'); });
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid),
                 groups(home) + u'/' + *first + u"/File Provider Storage"_s);
    }

    void strayItemsAreSkipped()
    {
        TempFolder home;
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid), std::nullopt); // no data tree
        const QString base = groups(home).mid(home.path().size() + 1);
        QVERIFY(home.createFile(base + u"/stray.txt"_s, "not a container"));
        QVERIFY(home.createDir(base + u"/Empty"_s));
        QVERIFY(home.createDir(base + u"/FolderAsMetadata/"_s + metadataFile));
        QVERIFY(home.createDir(base + u"/Fifo"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(groups(home) + u"/Fifo/"_s + metadataFile).constData(), 0600), 0);
        QVERIFY(home.createSymlink(u"/nonexistent"_s, base + u"/Dangling"_s));
        QVERIFY(addContainer(home, u"Garbage"_s, "\x01\x02 garbage"));
        // A container that is a link leading out of the device, to a storage of its own.
        QVERIFY(home.createFile(u"elsewhere/"_s + metadataFile, fixture(u"localstorage-xml.plist"_s)));
        QVERIFY(home.createSymlink(home.path(u"elsewhere"_s), base + u"/LinkedOut"_s));
        QVERIFY(addContainer(home, u"Longer"_s,
                             containerMetadata(u"group.com.apple.FileProvider.LocalStorage.Other"_s)));
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid), std::nullopt);

        QVERIFY(addContainer(home, u"Match"_s, fixture(u"localstorage-xml.plist"_s)));
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid),
                 groups(home) + u"/Match/File Provider Storage"_s);
    }

    // The UDID comes from the tool's output. One that is not a single folder name would lead the
    // scan out of the device folders, and the Files screen after it; the containers are placed
    // where such a path would reach.
    void udidThatIsNotOneFolderName_data()
    {
        QTest::addColumn<QString>("deviceUdid");
        QTest::addColumn<bool>("found");
        QTest::newRow("climbs out of the home") << u"../../../../../outside"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("two levels") << u"a/b"_s << false;
        QTest::newRow("backslash") << u"a\\b"_s << false;
        QTest::newRow("real UDID") << udid << true;
        QTest::newRow("other single name") << u"my phone (2)"_s << true;
    }

    void udidThatIsNotOneFolderName()
    {
        QFETCH(QString, deviceUdid);
        QFETCH(bool, found);
        TempFolder base;
        const QString home = base.path(u"home"_s);
        QVERIFY(base.createDir(u"home/Library/Developer/CoreSimulator/Devices"_s));
        const QString reached = deviceUdid.isEmpty() ? u"."_s : deviceUdid; // where the path would lead
        const QString groupFolder = u"home/Library/Developer/CoreSimulator/Devices/"_s + reached +
                                    u"/data/Containers/Shared/AppGroup/G/"_s;
        QVERIFY(base.createFile(QDir::cleanPath(groupFolder + metadataFile),
                                fixture(u"localstorage-xml.plist"_s)));
        const auto storage = StorageLocator::findFilesStorage(home, deviceUdid);
        QCOMPARE(storage.has_value(), found);
        if (found)
            QCOMPARE(*storage,
                     StorageLocator::appGroupFolder(home, deviceUdid) + u"/G/File Provider Storage"_s);
    }

    // The storage folder itself is not checked here: the screen waits until it is a folder.
    void matchWithoutStorageFolderStillGivesTheURL()
    {
        TempFolder home;
        QVERIFY(addContainer(home, u"G"_s, fixture(u"localstorage-xml.plist"_s)));
        ScopedEnv env("HOME", QFile::encodeName(home.path()));
        const Simulator simulator{udid, u"iPhone 15"_s, u"iOS 17.2"_s, false};
        const auto url = simulator.filesStorageURL();
        QVERIFY(url.has_value());
        QCOMPARE(url->toLocalFile(), groups(home) + u"/G/File Provider Storage"_s);
        QVERIFY(!QFile::exists(url->toLocalFile()));
    }
};

QTEST_GUILESS_MAIN(TestAppCatalogue)
#include "tst_appcatalogue.moc"
