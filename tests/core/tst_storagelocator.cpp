#include "simulator/simulator.h"
#include "simulator/storagelocator.h"
#include "support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <dirent.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString udid = u"5A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9"_s;
const QString metadataName = u".com.apple.mobile_container_manager.metadata.plist"_s;
const QByteArray localStorage = "group.com.apple.FileProvider.LocalStorage";

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(LANTHORN_TEST_DATA "/appgroup/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A binary property list from raw objects: each object's marker bytes followed by its references
// as two-byte object numbers.
struct BinaryObject
{
    QByteArray head;        // marker (and inline data for scalars)
    QList<quint16> refs{};  // references to other objects, written after the head
};

QByteArray binaryPlist(const QList<BinaryObject> &objects)
{
    QByteArray out = "bplist00";
    QList<quint32> offsets;
    for (const BinaryObject &object : objects) {
        offsets.append(quint32(out.size()));
        out += object.head;
        for (quint16 ref : object.refs) {
            out += char(ref >> 8);
            out += char(ref & 0xFF);
        }
    }
    const quint64 table = quint64(out.size());
    for (quint32 offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += char((offset >> shift) & 0xFF);
    }
    QByteArray trailer(32, '\0');
    trailer[6] = 4; // offset size
    trailer[7] = 2; // reference size
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = char((quint64(objects.size()) >> (8 * (7 - i))) & 0xFF);
        trailer[24 + i] = char((table >> (8 * (7 - i))) & 0xFF);
    }
    return out + trailer;
}

QByteArray asciiObject(const QByteArray &text)
{
    Q_ASSERT(text.size() < 15);
    return char(0x50 | text.size()) + text;
}

QByteArray longAsciiObject(const QByteArray &text)
{
    return QByteArray("\x5F\x10", 2) + char(text.size()) + text;
}

// { "MCMMetadataIdentifier": value }
QByteArray dictionaryWithIdentifier(const QByteArray &value)
{
    return binaryPlist({{QByteArray(1, char(0xD1)), {1, 2}},
                        {longAsciiObject("MCMMetadataIdentifier")},
                        {longAsciiObject(value)}});
}

// The matching identifier beside a nest of arrays that fills the size limit: only the nesting
// guard keeps such a file from matching (or from exhausting a small stack).
QByteArray deepXml(qsizetype budget)
{
    const QByteArray head = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>MCMMetadataIdentifier</key>"
                            "<string>" + localStorage + "</string><key>x</key>";
    const QByteArray tail = "</dict></plist>";
    const qsizetype levels = (budget - head.size() - tail.size()) / 15;
    return head + QByteArray("<array>").repeated(levels) + QByteArray("</array>").repeated(levels) + tail;
}

QList<BinaryObject> identifierDictionaryWith(quint16 extraValue)
{
    return {{QByteArray(1, char(0xD2)), {1, 2, 3, extraValue}},
            {longAsciiObject("MCMMetadataIdentifier")},
            {asciiObject("x")},
            {longAsciiObject(localStorage)}};
}

QByteArray deepBinary(int levels)
{
    QList<BinaryObject> objects = identifierDictionaryWith(4);
    for (int i = 0; i + 1 < levels; ++i)
        objects.append({QByteArray(1, char(0xA1)), {quint16(objects.size() + 1)}});
    objects.append({QByteArray(1, char(0xA0))});
    return binaryPlist(objects);
}

// Each array holds its successor twice: a few hundred bytes that expand to 2^levels nodes.
QByteArray doublingBinary(int levels)
{
    QList<BinaryObject> objects = identifierDictionaryWith(4);
    for (int i = 0; i + 1 < levels; ++i) {
        const quint16 next = quint16(objects.size() + 1);
        objects.append({QByteArray(1, char(0xA2)), {next, next}});
    }
    objects.append({asciiObject("x")});
    return binaryPlist(objects);
}

QStringList readdirOrder(const QString &folder)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (dirent *entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != u"."_s && name != u".."_s)
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace

class TestStorageLocator : public QObject
{
    Q_OBJECT

    QString groups(const TempFolder &home) const { return StorageLocator::appGroupFolder(home.path(), udid); }

    bool addContainer(TempFolder &home, const QString &group, const QByteArray &metadata)
    {
        return home.createFile(groups(home).mid(home.path().size() + 1) + u'/' + group + u'/' + metadataName,
                               metadata);
    }

private slots:
    void identifierOfMetadata_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("matches");

        const QByteArray xml = fixture(u"localstorage-xml.plist"_s);
        const QByteArray binary = fixture(u"localstorage-binary.plist"_s);
        QVERIFY(!xml.isEmpty() && !binary.isEmpty());

        QTest::newRow("xml") << xml << true;
        QTest::newRow("binary") << binary << true;
        QTest::newRow("other group") << fixture(u"othergroup-binary.plist"_s) << false;
        QTest::newRow("other case") << fixture(u"othercase-xml.plist"_s) << false;
        QTest::newRow("extra text") << fixture(u"extratext-xml.plist"_s) << false;
        QTest::newRow("identifier not a string") << fixture(u"identifier-number-binary.plist"_s) << false;
        QTest::newRow("root is an array") << fixture(u"root-array-xml.plist"_s) << false;
        QTest::newRow("empty dictionary") << fixture(u"empty-dict-binary.plist"_s) << false;
        QTest::newRow("hand-made binary") << dictionaryWithIdentifier(localStorage) << true;
        QTest::newRow("embedded NUL") << dictionaryWithIdentifier(localStorage + '\0' + "x") << false;
        QTest::newRow("NUL-cut prefix") << dictionaryWithIdentifier(localStorage.left(20) + '\0' + localStorage.mid(20))
                                        << false;
        QTest::newRow("embedded NUL, UTF-16")
            << binaryPlist({{QByteArray(1, char(0xD1)), {1, 2}},
                            {longAsciiObject("MCMMetadataIdentifier")},
                            {QByteArray("\x62\x00\x67\x00\x00", 5)}})
            << false;
        QByteArray xmlWithNul = xml;
        xmlWithNul.insert(xmlWithNul.indexOf("LocalStorage") + 12, QByteArray("\0x", 2));
        QTest::newRow("embedded NUL, xml") << xmlWithNul << false;
        QTest::newRow("truncated xml") << xml.left(xml.size() / 2) << false;
        QTest::newRow("truncated binary") << binary.left(binary.size() - 10) << false;
        QTest::newRow("binary trailer only") << binary.right(32) << false;
        QTest::newRow("garbage") << QByteArray("\x00\x01\xff not a list at all \x7f", 23) << false;
        QTest::newRow("empty") << QByteArray() << false;
        // libplist 2.3+ would read these through plist_from_memory; no container metadata is either.
        QTest::newRow("json") << QByteArray(R"({"MCMMetadataIdentifier":")" + localStorage + R"("})")
                              << false;
        QTest::newRow("openstep") << QByteArray(R"({MCMMetadataIdentifier = ")" + localStorage + R"(";})")
                                  << false;
        QTest::newRow("reference cycle")
            << binaryPlist({{QByteArray(1, char(0xA1)), {1}}, {QByteArray(1, char(0xA1)), {0}}}) << false;
        QTest::newRow("reference out of range") << binaryPlist({{QByteArray(1, char(0xA1)), {9}}}) << false;
        QTest::newRow("deep xml") << deepXml(StorageLocator::maxMetadataBytes) << false;
        QTest::newRow("deep binary") << deepBinary(9'000) << false;
        QTest::newRow("exploding binary") << doublingBinary(40) << false;
        QTest::newRow("over the size limit")
            << xml.left(xml.indexOf("</plist>")) + QByteArray(StorageLocator::maxMetadataBytes, ' ') + "</plist>"
            << false;
    }

    // Runs on a pool thread, as the Files screen's reload does.
    void identifierOfMetadata()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, matches);
        const auto identifier = QtConcurrent::run([bytes] { return StorageLocator::metadataIdentifier(bytes); }).result();
        QCOMPARE(identifier == localStorage, matches);
    }

    void modestNestingStillMatches()
    {
        QCOMPARE(StorageLocator::metadataIdentifier(deepBinary(20)), localStorage);
        QCOMPARE(StorageLocator::metadataIdentifier(doublingBinary(10)), localStorage);
        QCOMPARE(StorageLocator::metadataIdentifier(deepXml(2000)), localStorage);
    }

    void firstMatchInListingOrderWins()
    {
        TempFolder home;
        QVERIFY2(home.isValid(), qPrintable(home.errorString()));
        const QStringList names{u"C1"_s, u"A2"_s, u"B3"_s, u"D4"_s, u"E5"_s, u"F6"_s};
        for (const QString &name : names) {
            const bool match = name == u"A2"_s || name == u"E5"_s || name == u"F6"_s;
            QVERIFY(addContainer(home, name,
                                 fixture(match ? u"localstorage-binary.plist"_s : u"othergroup-binary.plist"_s)));
        }
        const QStringList order = readdirOrder(groups(home));
        QCOMPARE(order.size(), names.size());
        const auto first = std::find_if(order.begin(), order.end(), [](const QString &n) {
            return n == u"A2"_s || n == u"E5"_s || n == u"F6"_s;
        });
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid),
                 groups(home) + u'/' + *first + u"/File Provider Storage"_s);
    }

    void strayItemsAreSkipped()
    {
        TempFolder home;
        QVERIFY(home.isValid());
        const QString base = groups(home).mid(home.path().size() + 1);
        QVERIFY(home.createFile(base + u"/stray.txt"_s, "not a container"));
        QVERIFY(home.createDir(base + u"/Empty"_s));
        QVERIFY(home.createDir(base + u"/FolderAsMetadata/"_s + metadataName));
        QVERIFY(home.createDir(base + u"/Fifo"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(groups(home) + u"/Fifo/"_s + metadataName).constData(), 0600), 0);
        QVERIFY(home.createSymlink(u"/nonexistent"_s, base + u"/Dangling"_s));
        QVERIFY(addContainer(home, u"Garbage"_s, "\x01\x02 garbage"));
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid), std::nullopt);

        QVERIFY(addContainer(home, u"Match"_s, fixture(u"localstorage-xml.plist"_s)));
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid),
                 groups(home) + u"/Match/File Provider Storage"_s);
    }

    void missingTreesGiveNone_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::newRow("no data tree") << QString();
        QTest::newRow("empty app-group folder") << u"dir"_s;
        QTest::newRow("app-group path is a file") << u"file"_s;
    }

    void missingTreesGiveNone()
    {
        QFETCH(QString, layout);
        TempFolder home;
        QVERIFY(home.isValid());
        const QString base = groups(home).mid(home.path().size() + 1);
        if (layout == u"dir"_s)
            QVERIFY(home.createDir(base));
        if (layout == u"file"_s)
            QVERIFY(home.createFile(base, "x"));
        QCOMPARE(StorageLocator::findFilesStorage(home.path(), udid), std::nullopt);
    }

    // The UDID comes from the tool's output. One that is not a single folder name would lead the
    // scan out of the device folders, and the Files screen after it; the containers are placed
    // where such a path would reach.
    void udidThatIsNotOneFolderName_data()
    {
        QTest::addColumn<QString>("deviceUdid");
        QTest::addColumn<QString>("reached"); // the device folder the path would reach, below Devices
        QTest::addColumn<bool>("found");
        QTest::newRow("climbs out of the home")
            << u"../../../../../outside"_s << u"../../../../../outside"_s << false;
        QTest::newRow("parent") << u".."_s << u".."_s << false;
        QTest::newRow("dot") << u"."_s << u"."_s << false;
        QTest::newRow("empty") << QString() << u"."_s << false;
        QTest::newRow("two levels") << u"a/b"_s << u"a/b"_s << false;
        QTest::newRow("backslash") << u"a\\b"_s << u"a\\b"_s << false;
        QTest::newRow("real UDID") << udid << udid << true;
        QTest::newRow("other single name") << u"my phone (2)"_s << u"my phone (2)"_s << true;
    }

    void udidThatIsNotOneFolderName()
    {
        QFETCH(QString, deviceUdid);
        QFETCH(QString, reached);
        QFETCH(bool, found);
        TempFolder base;
        QVERIFY(base.isValid());
        const QString home = base.path(u"home"_s);
        QVERIFY(base.createDir(u"home/Library/Developer/CoreSimulator/Devices"_s));
        const QString groupFolder = u"home/Library/Developer/CoreSimulator/Devices/"_s + reached +
                                    u"/data/Containers/Shared/AppGroup/G/"_s;
        QVERIFY(base.createFile(QDir::cleanPath(groupFolder + metadataName),
                                fixture(u"localstorage-xml.plist"_s)));
        const auto storage = StorageLocator::findFilesStorage(home, deviceUdid);
        QCOMPARE(storage.has_value(), found);
        if (found)
            QCOMPARE(*storage,
                     StorageLocator::appGroupFolder(home, deviceUdid) + u"/G/File Provider Storage"_s);
    }

    // The storage folder itself is not checked: the screen lists whatever is there.
    void matchWithoutStorageFolderStillGivesTheURL()
    {
        TempFolder home;
        QVERIFY(home.isValid());
        QVERIFY(addContainer(home, u"G"_s, fixture(u"localstorage-xml.plist"_s)));
        ScopedEnv env("HOME", QFile::encodeName(home.path()));
        const Simulator simulator{udid, u"iPhone 15"_s, u"iOS 17.2"_s, false};
        const auto url = simulator.filesStorageURL();
        QVERIFY(url.has_value());
        QVERIFY(url->isLocalFile());
        QCOMPARE(url->toLocalFile(), groups(home) + u"/G/File Provider Storage"_s);
        QVERIFY(!QFile::exists(url->toLocalFile()));

        const Simulator other{u"00000000-0000-0000-0000-000000000000"_s, {}, {}, false};
        QCOMPARE(other.filesStorageURL(), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestStorageLocator)
#include "tst_storagelocator.moc"
