#include "filestore/preview/plistoutline.h"
#include "filestore/preview/previewloader.h"
#include "filestore/preview/thumbnailprovider.h"
#include "fileviews/plistoutlinemodel.h"
#include "fileviews/previewpanel.h"
#include "support/tempfolder.h"

#include "plistcompat.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

using namespace Qt::StringLiterals;
using Type = PlistOutline::Type;

namespace {

// A binary property list from encoded objects (marker and payload each).
QByteArray bplist(const QList<QByteArray> &objects, int refSize = 1, int offsetSize = 4)
{
    QByteArray out = "bplist00";
    QList<quint32> offsets;
    for (const QByteArray &object : objects) {
        offsets << quint32(out.size());
        out += object;
    }
    const quint64 table = quint64(out.size());
    for (quint32 offset : offsets) {
        for (int i = offsetSize - 1; i >= 0; --i)
            out += char(offset >> (8 * i));
    }
    QByteArray trailer(32, '\0');
    trailer[6] = char(offsetSize);
    trailer[7] = char(refSize);
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = char(quint64(objects.size()) >> (56 - 8 * i));
        trailer[24 + i] = char(table >> (56 - 8 * i));
    }
    return out + trailer;
}

QByteArray ref(quint32 index, int size)
{
    QByteArray out;
    for (int i = size - 1; i >= 0; --i)
        out += char(index >> (8 * i));
    return out;
}

// "key type value" for every node in order, two spaces per level.
QStringList rows(const PlistOutline &outline)
{
    QStringList out;
    for (const PlistOutline::Node &node : outline.nodes()) {
        int depth = 0;
        for (int p = node.parent; p >= 0; p = outline.nodes()[p].parent)
            ++depth;
        out << QString(depth * 2, u' ') + node.key + u' ' + PlistOutline::typeName(node.type) + u' ' +
                   PlistOutline::valueText(node, QLocale::c());
    }
    return out;
}

QByteArray written(plist_t root, bool binary)
{
    char *bytes = nullptr;
    uint32_t length = 0;
    binary ? plist_to_bin(root, &bytes, &length) : plist_to_xml(root, &bytes, &length);
    QByteArray out(bytes, length);
    PlistCompat::freeBuffer(bytes, binary);
    return out;
}

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Bytes and modification time of every file in the folder.
QMap<QString, QPair<QByteArray, qint64>> folderState(const QString &path)
{
    QMap<QString, QPair<QByteArray, qint64>> state;
    QDirIterator it(path, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        const QString file = it.next();
        struct stat st;
        ::stat(QFile::encodeName(file).constData(), &st);
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        state.insert(it.fileName(), {QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1),
                                     qint64(st.st_mtime) * 1'000'000'000 +
#ifdef Q_OS_DARWIN
                                         st.st_mtimespec.tv_nsec
#else
                                         st.st_mtim.tv_nsec
#endif
                                    });
    }
    return state;
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    // The XML and binary forms of one list give the same outline, awkward types included.
    void outlineOfBothForms()
    {
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, "big", plist_new_uint(4'294'967'296'000ULL));
        plist_dict_set_item(root, "real", plist_new_real(0.1));
        plist_dict_set_item(root, "date", plist_new_date(0, 0));
        plist_dict_set_item(root, "data", plist_new_data("\x00\x01\xfe\xff", 4));
        plist_dict_set_item(root, "text", plist_new_string("caf\xc3\xa9 \xf0\x9f\x8d\x9e <b>x</b>"));
        plist_dict_set_item(root, "empty", plist_new_array());
        plist_t nested = plist_new_array();
        plist_array_append_item(nested, plist_new_bool(1));
        plist_array_append_item(nested, plist_new_dict());
        plist_dict_set_item(root, "nested", nested);
        const QByteArray binary = written(root, true), xml = written(root, false);
        plist_free(root);

        const PlistOutline fromBinary = PlistOutline::fromBytes(binary);
        const PlistOutline fromXml = PlistOutline::fromBytes(xml);
        QVERIFY(fromBinary.isBinary());
        QVERIFY2(fromXml.error().isEmpty(), qPrintable(fromXml.error()));
        QStringList expected = rows(fromXml);
        QCOMPARE(rows(fromBinary), expected);
        QVERIFY(fromXml.notes().isEmpty());
        expected.sort();
        const QString dateRow =
            u"  date Date "_s +
            QLocale::c().toString(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).toLocalTime(),
                                  QLocale::LongFormat);
        for (const QString &row :
             {u" Dictionary 7 items"_s, u"  big Number 4294967296000"_s, u"  real Real 0.10000000000000001"_s,
              dateRow, u"  data Data 4 bytes: 00 01 fe ff"_s, u"  text String café 🍞 <b>x</b>"_s,
              u"  empty Array 0 items"_s, u"  nested Array 2 items"_s, u"     Boolean Yes"_s,
              u"     Dictionary 0 items"_s})
            QVERIFY2(expected.contains(row), qPrintable(row));
    }

    // Hand-made lists: binary ones libplist never writes or would recurse on; XML that nests,
    // expands or strays.
    void bounds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("maxNodes");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QStringList>("expected"); // the first rows

        QTest::newRow("UID, utf-16, short real, 16-byte integer")
            << bplist({"\xa4\x01\x02\x03\x04", "\x80\x07", QByteArray("\x63\x00\x68\xd8\x3c\xdf\x5e", 7),
                       QByteArray("\x22\x3f\xc0\x00\x00", 5),
                       QByteArray("\x14", 1) + QByteArray(8, '\0') + QByteArray(7, '\0') + '\x05'})
            << 100 << QString()
            << QStringList{u" Array 4 items"_s, u"   UID 7"_s, u"   String h🍞"_s, u"   Real 1.5"_s,
                           u"   Number 5"_s};
        QTest::newRow("three-byte offsets, as past 64 KiB")
            << bplist({"\xa1\x01", "\x09"}, 1, 3) << 100 << QString()
            << QStringList{u" Array 1 item"_s, u"   Boolean Yes"_s};
        QTest::newRow("a dictionary that holds itself")
            << bplist({QByteArray("\xd1\x01\x00", 3), "\x51k"}) << 100 << u"refers back to itself"_s
            << QStringList{u" Dictionary 1 item"_s,
                           u"  k Omitted A reference to an enclosing item (cycle)"_s};
        QTest::newRow("references past the end")
            << bplist({"\xa2\x01\x09", "\x09"}) << 100 << u"damaged"_s
            << QStringList{u" Array 2 items"_s, u"   Boolean Yes"_s,
                           u"   Omitted Damaged: a reference past the last object"_s};
        QTest::newRow("a length past the end")
            << bplist({"\xa1\x01", "\x5f\x10\xff"}) << 100 << u"damaged"_s
            << QStringList{u" Array 1 item"_s, u"   Omitted Damaged item"_s};
        // 100 references to one array of 100 references to one array...: 10^10 nodes.
        QList<QByteArray> fan;
        for (int level = 0; level < 5; ++level)
            fan << QByteArray("\xaf\x10\x64") + QByteArray(100, char(level + 1));
        fan << QByteArray(1, '\0');
        QTest::newRow("fan-out") << bplist(fan) << 5000 << u"Only the first 5000 items"_s
                                 << QStringList{u" Array 100 items"_s, u"   Array 100 items"_s};
        // 100,000 arrays, each holding the next.
        QList<QByteArray> deep;
        for (quint32 i = 0; i < 100'000; ++i)
            deep << QByteArray("\xa1") + ref(i + 1, 4);
        deep << QByteArray(1, '\0');
        QTest::newRow("100,000 deep, binary") << bplist(deep, 4) << 100'000 << u"deeper than 128 levels"_s
                                              << QStringList{u" Array 1 item"_s, u"   Array 1 item"_s};
        QTest::newRow("truncated trailer") << QByteArray("bplist00\xd0") << 100 << QString() << QStringList{};
        QTest::newRow("100,000 deep, XML")
            << "<plist>" + QByteArray("<array>").repeated(100'000) << 100'000 << u"deeper than 128"_s
            << QStringList{u" Array 1 item"_s, u"   Array 1 item"_s};
        QTest::newRow("entity expansion")
            << QByteArray(
                   "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\">"
                   "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c "
                   "\"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                   "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e "
                   "\"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                   "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]><plist><array><string>&f;&f;&f;</string>"
                   "</array></plist>")
            << 100'000 << u"damaged"_s << QStringList{u" Array 1 item"_s};
        QTest::newRow("keys without values, stray elements")
            << QByteArray("<plist><dict><key>a</key><key>b</key><integer> 7 </integer><foo><dict/></foo>"
                          "<string>no key</string></dict><string>second top</string></plist>")
            << 100'000 << u"not part of a property list"_s
            << QStringList{u" Dictionary 2 items"_s, u"  b Number 7"_s, u"  (no key) String no key"_s};
    }

    void bounds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, maxNodes);
        QFETCH(QString, note);
        QFETCH(QStringList, expected);
        PlistOutline::Limits limits;
        limits.maxNodes = maxNodes;
        const PlistOutline outline = PlistOutline::fromBytes(bytes, limits);
        QCOMPARE(outline.isValid(), !expected.isEmpty());
        QVERIFY(outline.nodes().size() <= maxNodes);
        QCOMPARE(rows(outline).mid(0, expected.size()), expected);
        QCOMPARE(outline.notes().join(u' ').contains(note), true);
        QCOMPARE(outline.notes().isEmpty(), note.isEmpty());
    }

    // The database, its -wal and -shm keep their bytes and times and gain no companion while
    // the app's own connection has a write under way, in either journal mode.
    void databaseIsOnlyRead_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::addColumn<bool>("crashed"); // the app is gone and left its log without -shm
        QTest::newRow("write-ahead log") << true << false;
        QTest::newRow("rollback journal") << false << false;
        QTest::newRow("log left by a crash") << true << true;
    }

    void databaseIsOnlyRead()
    {
        QFETCH(bool, wal);
        QFETCH(bool, crashed);
        TempFolder dir;
        const QByteArray path = QFile::encodeName(dir.path(u"Model.sqlite"_s));
        sqlite3 *app = nullptr;
        QCOMPARE(sqlite3_open(path.constData(), &app), SQLITE_OK);
        const auto closeApp = qScopeGuard([app] { sqlite3_close(app); });
        QVERIFY(exec(app, wal ? "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                              : "PRAGMA journal_mode=DELETE;"));
        QVERIFY(exec(app, "CREATE TABLE ZITEM (Z_PK INTEGER PRIMARY KEY, ZNAME TEXT, ZDATA BLOB);"
                          "INSERT INTO ZITEM (ZNAME, ZDATA) VALUES ('first', x'00ff'), ('second', NULL);"));
        // A write under way: begun, not committed.
        QVERIFY(exec(app, "BEGIN IMMEDIATE; INSERT INTO ZITEM (ZNAME) VALUES ('uncommitted');"));
        QString folder = dir.path();
        if (crashed) {
            QVERIFY(dir.createDir(u"crashed"_s));
            for (const QString &file : {u"Model.sqlite"_s, u"Model.sqlite-wal"_s})
                QVERIFY(QFile::copy(dir.path(file), dir.path(u"crashed/"_s + file)));
            folder = dir.path(u"crashed"_s);
        }
        for (int round = 0; round < (crashed ? 1 : 2); ++round) {
            const auto before = folderState(folder);
            QCOMPARE(before.contains(u"Model.sqlite-wal"_s), wal);
            const PreviewContent c = PreviewLoader::load(folder + u"/Model.sqlite"_s, {});
            const SqliteReader::Rows rows =
                PreviewLoader::loadRows(folder + u"/Model.sqlite"_s, u"ZITEM"_s, {});
            QCOMPARE(folderState(folder), before);
            QCOMPARE(c.kind, PreviewContent::Kind::Database);
            QCOMPARE(c.tables.size(), 1);
            QCOMPARE(c.tables[0].rowCount, 2 + round);
            QCOMPARE(rows.rows.size(), 2 + round);
            QCOMPARE(rows.rows[0], (QStringList{u"1"_s, u"first"_s, u"2 bytes: 00 ff"_s}));
            // The app commits and writes on; the next look sees it and still changes nothing.
            QVERIFY(exec(app, "COMMIT; BEGIN IMMEDIATE; INSERT INTO ZITEM (ZNAME) VALUES ('more');"));
        }
    }

    // Each hostile input ends in bounded time as the kind it is, saying what it left out.
    void hostileFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("10 GB sparse log")
            << u"huge.log"_s << int(PreviewContent::Kind::Text) << u"Only the first 256"_s;
        QTest::newRow("30,000 px image")
            << u"wide.gif"_s << int(PreviewContent::Kind::Image) << u"too large to show"_s;
        QTest::newRow("no line breaks")
            << u"line.txt"_s << int(PreviewContent::Kind::Text) << u"Lines longer"_s;
        QTest::newRow("invalid UTF-8") << u"bad.txt"_s << int(PreviewContent::Kind::Text) << QString();
        QTest::newRow("corrupt database")
            << u"corrupt.db"_s << int(PreviewContent::Kind::Generic) << u"database"_s;
        QTest::newRow("half-written database")
            << u"half.sqlite"_s << int(PreviewContent::Kind::Generic) << u"database"_s;
        QTest::newRow("endless view")
            << u"view.sqlite"_s << int(PreviewContent::Kind::Database) << u"too long"_s;
        QTest::newRow("named pipe") << u"pipe.plist"_s << int(PreviewContent::Kind::Generic)
                                    << u"Only regular files"_s;
        QTest::newRow("link to /dev/zero")
            << u"zero.txt"_s << int(PreviewContent::Kind::Generic) << u"Only regular files"_s;
        QTest::newRow("deep plist") << u"deep.plist"_s << int(PreviewContent::Kind::PropertyList)
                                    << u"deeper than"_s;
    }

    void hostileFiles()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, said);
        TempFolder dir;
        const QString path = dir.path(name);
        const QByteArray encoded = QFile::encodeName(path);
        if (name == u"huge.log"_s) {
            QVERIFY(dir.createFile(name, QByteArray("log line\n").repeated(1000)));
            QVERIFY(::truncate(encoded.constData(), 10LL << 30) == 0);
        } else if (name == u"wide.gif"_s) {
            // A GIF's screen of 30,000 × 30,000 pixels: 3.6 GB to decode.
            QVERIFY(
                dir.createFile(name, QByteArray("GIF89a\x30\x75\x30\x75\x00\x00\x00", 13) +
                                         QByteArray(",\0\0\0\0\x30\x75\x30\x75\0\x02\x02\x44\x01\0;", 16)));
        } else if (name == u"line.txt"_s) {
            QVERIFY(dir.createFile(name, QByteArray(1'000'000, 'x')));
        } else if (name == u"bad.txt"_s) {
            QVERIFY(dir.createFile(name, "ok \xff\xfe end\n\xe2\x82"));
        } else if (name == u"corrupt.db"_s) {
            QVERIFY(dir.createFile(name, QByteArray("SQLite format 3\0", 16) + QByteArray(8192, '\x7f')));
        } else if (name.endsWith(u".sqlite"_s)) {
            sqlite3 *db = nullptr;
            sqlite3_open(encoded.constData(), &db);
            exec(db, "CREATE TABLE t (x); INSERT INTO t VALUES (randomblob(100000));"
                     "CREATE VIEW v AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c) "
                     "SELECT n FROM c;");
            sqlite3_close(db);
            if (name == u"half.sqlite"_s) {
                const QByteArray all = dir.read(name);
                QVERIFY(dir.createFile(name, all.left(all.size() / 2) + QByteArray(100, '\xff')));
                QVERIFY(dir.createFile(name, all.left(1024)));
            }
        } else if (name == u"pipe.plist"_s) {
            QVERIFY(::mkfifo(encoded.constData(), 0600) == 0);
        } else if (name == u"zero.txt"_s) {
            QVERIFY(dir.createSymlink(u"/dev/zero"_s, name));
        } else if (name == u"deep.plist"_s) {
            QVERIFY(dir.createFile(name, "<plist>" + QByteArray("<dict><key>k</key>").repeated(100'000)));
        }
        PreviewLoader::Limits limits;
        limits.statementMillis = 200;
        QElapsedTimer timer;
        timer.start();
        const PreviewContent c = PreviewLoader::load(path, limits);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(int(c.kind), kind);
        QVERIFY(c.complete);
        const QString told = (QStringList{c.error} + c.notes).join(u' ');
        QVERIFY2(told.contains(said), qPrintable(told));
        QVERIFY(c.text.size() <= limits.maxTextBytes + 2);
        QVERIFY(c.image.width() <= limits.imageBounds.width());
        if (name == u"bad.txt"_s)
            QCOMPARE(c.text, u"ok \ufffd\ufffd end\n"_s);
    }

    // The panel shows what the loader gives, each kind on its page, and finds keys.
    void panelShowsThePreview()
    {
        TempFolder dir;
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, "<b>theme</b>", plist_new_string("dark"));
        plist_t inner = plist_new_dict();
        plist_dict_set_item(inner, "volume", plist_new_real(0.5));
        plist_dict_set_item(root, "audio", inner);
        QVERIFY(dir.createFile(u"prefs.plist"_s, written(root, true)));
        plist_free(root);
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(dir.path(u"store.db"_s)).constData(), &db);
        exec(db, "CREATE TABLE a (x); CREATE TABLE b (y, z); INSERT INTO a VALUES (1); INSERT INTO b VALUES "
                 "('p', 'q');");
        sqlite3_close(db);
        QVERIFY(dir.createFile(u"notes.txt"_s, "one\ntwo\n"));

        PreviewPanel panel;
        panel.resize(600, 400);
        panel.show();
        QSignalSpy shown(&panel, &PreviewPanel::contentShown);
        auto look = [&](const QString &name) {
            shown.clear();
            panel.showFile(dir.url(name));
            return QTest::qWaitFor([&] { return !shown.isEmpty() && shown.last().at(0).toBool(); }, 5000);
        };
        QVERIFY(look(u"prefs.plist"_s));
        auto *tree = panel.findChild<QTreeView *>();
        QVERIFY(tree->isVisible());
        QCOMPARE(tree->model()->rowCount(tree->model()->index(0, 0)), 2);
        panel.findChild<QLineEdit *>()->setText(u"VOLUME"_s);
        const QModelIndex audio = tree->model()->index(0, 0, tree->model()->index(0, 0));
        QCOMPARE(tree->model()->rowCount(tree->model()->index(0, 0)), 1);
        QCOMPARE(audio.data().toString(), u"audio"_s);
        QCOMPARE(tree->model()->index(0, 2, audio).data().toString(), u"0.5"_s);

        QVERIFY(look(u"store.db"_s));
        auto *tables = panel.findChild<QListWidget *>();
        auto *rowsView = panel.findChild<QTableView *>();
        QVERIFY(rowsView->isVisible());
        QCOMPARE(tables->count(), 2);
        QCOMPARE(tables->item(1)->text(), u"b — 1 row"_s);
        tables->setFocus();
        QTest::keyClick(tables, Qt::Key_Down);
        QVERIFY(QTest::qWaitFor([&] { return rowsView->model()->columnCount() == 2; }, 5000));
        QCOMPARE(rowsView->model()->index(0, 1).data().toString(), u"q"_s);

        QVERIFY(look(u"notes.txt"_s));
        QVERIFY(!tree->isVisible() && !rowsView->isVisible());
        QCOMPARE(panel.content().text, u"one\ntwo\n"_s);
        // A newer look wins over one still being read.
        panel.showFile(dir.url(u"prefs.plist"_s));
        panel.showFile(dir.url(u"notes.txt"_s));
        QTest::qWait(200);
        QCOMPARE(panel.content().kind, PreviewContent::Kind::Text);
    }

    // Thumbnails land where the desktop's file managers look, marked with URI and time, and a
    // changed file gets a new one.
    void thumbnailsFollowTheDesktopCache()
    {
        TempFolder dir;
        QImage image(600, 300, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(dir.path(u"a b#.png"_s)));
        QVERIFY(dir.createFile(u"notes.txt"_s, "x"));
        const QString cache = dir.path(u"cache/thumbnails"_s);
        ThumbnailProvider provider;
        provider.setCacheRoot(cache);
        QSignalSpy ready(&provider, &ThumbnailProvider::thumbnailReady);
        provider.request(dir.url(u"notes.txt"_s), 128);
        provider.request(dir.url(u"a b#.png"_s), 128);
        provider.request(dir.url(u"a b#.png"_s), 128);
        QVERIFY(ready.wait(5000));
        QTest::qWait(100);
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready[0][1].value<QImage>().size(), QSize(128, 64));
        const QByteArray uri = "file://" + QFile::encodeName(dir.path(u"a b#.png"_s)).toPercentEncoding("/");
        const QString stored =
            cache + u"/normal/"_s +
            QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + u".png"_s;
        QCOMPARE(ThumbnailProvider::thumbnailPath(cache, dir.url(u"a b#.png"_s), 100), stored);
        const QImage thumb(stored);
        QCOMPARE(thumb.text(u"Thumb::URI"_s).toLatin1(), uri);
        QCOMPARE(thumb.text(u"Thumb::MTime"_s),
                 QString::number(QFileInfo(dir.path(u"a b#.png"_s)).lastModified().toSecsSinceEpoch()));
        QCOMPARE(int(QFileInfo(stored).permissions() & 0x0077), 0); // neither group nor others
        QVERIFY(QDir(cache + u"/normal"_s).entryList(QDir::Files | QDir::Hidden).size() == 1);
        // A changed file: the stored one no longer matches and is made again.
        image.fill(Qt::blue);
        QVERIFY(image.save(dir.path(u"a b#.png"_s)));
        struct timespec times[2] = {{0, UTIME_OMIT}, {2'000'000'000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(dir.path(u"a b#.png"_s)).constData(), times, 0) == 0);
        const QImage again = ThumbnailProvider::thumbnail(cache, dir.url(u"a b#.png"_s), 128);
        QCOMPARE(again.pixelColor(5, 5), QColor(Qt::blue));
        // A file that is no image is left to its icon, and one that fails is remembered.
        QVERIFY(ThumbnailProvider::thumbnail(cache, dir.url(u"notes.txt"_s), 128).isNull());
        QVERIFY(dir.createFile(u"broken.png"_s, "\x89PNG\r\n\x1a\n broken"));
        QVERIFY(ThumbnailProvider::thumbnail(cache, dir.url(u"broken.png"_s), 256).isNull());
        QCOMPARE(QDir(cache + u"/fail/lanthorn"_s).entryList(QDir::Files).size(), 1);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
