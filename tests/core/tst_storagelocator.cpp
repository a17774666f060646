#include "simulator/simulator.h"
#include "simulator/storagelocator.h"
#include "support/simulatordevice.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString udid = u"5A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9"_s;

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(LANTHORN_TEST_DATA "/appgroup/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestStorageLocator : public QObject
{
    Q_OBJECT

    QString groups(const TempFolder &home) const { return StorageLocator::appGroupFolder(home.path(), udid); }

    bool addContainer(TempFolder &home, const QString &group, const QByteArray &metadata)
    {
        return home.createFile(groups(home).mid(home.path().size() + 1) + u'/' + group + u'/' + metadataFile,
                               metadata);
    }

private slots:
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

QTEST_APPLESS_MAIN(TestStorageLocator)
#include "tst_storagelocator.moc"
