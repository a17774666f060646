#include "filestore/displayformat.h"
#include "filestore/filetypes.h"
#include "filestore/listing.h"
#include "filestore/namerules.h"
#include "filestore/plaintext.h"
#include "support/tempfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

QStringList namesOf(const QList<FileEntry> &entries)
{
    QStringList names;
    for (const FileEntry &entry : entries)
        names.append(entry.name());
    return names;
}

QString kindOf(const QString &mimeName)
{
    return QMimeDatabase().mimeTypeForName(mimeName).comment();
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT

    using Names = QSet<QString>;

    static Names taken(const std::function<QString(int)> &name, int from, int to)
    {
        Names names;
        for (int n = from; n <= to; ++n)
            names.insert(name(n));
        return names;
    }

private slots:
    void listsVisibleChildrenInNameOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("hidden skipped") << QStringList{u".DS_Store"_s, u".hidden"_s, u"a.txt"_s}
                                        << QStringList{u".git"_s} << QStringList{u"a.txt"_s};
        QTest::newRow("digit runs by value, case ignored")
            << QStringList{u"file10"_s, u"file2"_s, u"File1"_s} << QStringList{}
            << QStringList{u"File1"_s, u"file2"_s, u"file10"_s};
        QTest::newRow("folders among files") << QStringList{u"a.txt"_s, u"c.txt"_s} << QStringList{u"b"_s}
                                             << QStringList{u"a.txt"_s, u"b"_s, u"c.txt"_s};
        QTest::newRow("long numbers")
            << QStringList{u"v100000000000000000000"_s, u"v99999999999999999999"_s, u"v9"_s} << QStringList{}
            << QStringList{u"v9"_s, u"v99999999999999999999"_s, u"v100000000000000000000"_s};
    }

    void listsVisibleChildrenInNameOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, expected);
        TempFolder dir;
        for (const QString &name : files)
            QVERIFY(dir.createFile(name, "x"));
        for (const QString &name : folders)
            QVERIFY(dir.createDir(name));
        QCOMPARE(namesOf(listDirectory(dir.url())), expected);
    }

    void failuresGiveTheEmptyList()
    {
        TempFolder dir;
        QVERIFY(dir.createFile(u"file.txt"_s, "x"));
        for (const QUrl &url :
             {dir.url(u"missing"_s), dir.url(u"file.txt"_s), QUrl(u"https://example.com/f/"_s), QUrl()})
            QVERIFY(listDirectory(url).isEmpty());
    }

    void entryValues()
    {
        TempFolder dir;
        const QDateTime when = QDateTime::fromSecsSinceEpoch(1'700'000'000, QTimeZone::utc());
        QVERIFY(dir.createFile(u"notes.txt"_s, "hello", when));
        QVERIFY(dir.createDir(u"site.bundle"_s));
        QVERIFY(dir.createSymlink(u"site.bundle"_s, u"link to folder"_s));
        QVERIFY(dir.createSymlink(u"gone"_s, u"dangling"_s));

        const QList<FileEntry> entries = listDirectory(dir.path());
        QCOMPARE(namesOf(entries),
                 (QStringList{u"dangling"_s, u"link to folder"_s, u"notes.txt"_s, u"site.bundle"_s}));
        const FileEntry &notes = entries[2];
        QVERIFY(!notes.isDirectory());
        QCOMPARE(notes.sizeBytes(), 5);
        QCOMPARE(notes.modifiedDate(), when);
        QCOMPARE(notes.kind(), kindOf(u"text/plain"_s));
        QVERIFY(entries[1].isDirectory()); // a link is followed
        QVERIFY(!entries[0].isDirectory());
    }

    // Names that leave the format open are named by their first bytes; others, a FIFO and a
    // device never are (a listing must not block on a pipe called "x.db").
    void kindsByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("kind");
        const QByteArray sqlite = QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\1');
        const QByteArray xml =
            "<?xml version=\"1.0\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"x\">\n<plist><dict/></plist>";
        QTest::newRow("binary plist")
            << u"Prefs.plist"_s << QByteArray("bplist00\xd0\x08") << u"Binary property list"_s;
        QTest::newRow("xml plist") << u"Info.PLIST"_s << xml << u"XML property list"_s;
        QTest::newRow("sqlite store") << u"Model.sqlite"_s << sqlite << u"SQLite database"_s;
        QTest::newRow("sqlite as .db") << u"cache.db"_s << sqlite << u"SQLite database"_s;
        QTest::newRow("header only, not sniffed") << u"photo.jpg"_s << sqlite << kindOf(u"image/jpeg"_s);
        QTest::newRow("text in a .db") << u"notes.db"_s << QByteArray("SQLite format 2")
                                       << QString(FileTypes::forFileName(u"notes.db").kind);
    }

    void kindsByContent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, kind);
        TempFolder dir;
        QVERIFY(dir.createFile(name, bytes));
        QVERIFY(::mkfifo(QFile::encodeName(dir.path(u"pipe.db"_s)).constData(), 0600) == 0);
        QVERIFY(dir.createSymlink(u"/dev/zero"_s, u"zero.sqlite"_s));
        const QList<FileEntry> entries = listDirectory(dir.path());
        QCOMPARE(entries.size(), 3);
        QHash<QString, QString> kinds;
        for (const FileEntry &entry : entries)
            kinds.insert(entry.name(), entry.kind());
        QCOMPARE(kinds.value(name), kind);
        QCOMPARE(kinds.value(u"pipe.db"_s), FileTypes::forFileName(u"pipe.db").kind);
        QCOMPARE(kinds.value(u"zero.sqlite"_s), FileTypes::forFileName(u"zero.sqlite").kind);
    }

    // A name written decomposed (as older macOS volumes store "Café") reads back composed on
    // macOS, where the volume finds it by either form; elsewhere it must stay the bytes on disk,
    // or the entry would name no file.
    void decomposedNames()
    {
        TempFolder dir;
        const QString composed = u"Caf\u00e9.txt"_s;
        const QString decomposed = composed.normalized(QString::NormalizationForm_D);
        QVERIFY(composed != decomposed);
        QVERIFY(dir.createFile(decomposed));
        const QList<FileEntry> entries = listDirectory(dir.url());
        QCOMPARE(entries.size(), 1);
#ifdef Q_OS_DARWIN
        QCOMPARE(entries[0].name(), composed);
#else
        QCOMPARE(entries[0].name(), decomposed);
#endif
        QVERIFY(QFileInfo::exists(entries[0].path()));
    }

    void sizeAndDateColumns()
    {
        const FileIcon &icon = FileTypes::genericIcon();
        const FileEntry folder(u"/x/"_s, u"f"_s, true, 0, 4096, u"folder"_s, icon);
        const FileEntry noSize(u"/x/"_s, u"g"_s, false, std::nullopt, std::nullopt, {}, icon);
        const FileEntry empty(u"/x/"_s, u"h"_s, false, 1'704'467'220'000, 0, {}, icon);
        QCOMPARE(DisplayFormat::size(folder, QLocale::c()), u"--"_s);
        QCOMPARE(DisplayFormat::size(noSize, QLocale::c()), u"--"_s);
        QCOMPARE(DisplayFormat::size(empty, QLocale::c()), u"Zero bytes"_s);
        QCOMPARE(DisplayFormat::modifiedDate(noSize, QLocale::c()), u"--"_s);
    }

    void datesInTheUsersLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("text");
        QTest::newRow("C") << u"C"_s << QByteArray("UTC") << u"Jan 5, 2024 at 3:07 PM"_s;
        // Day before month and a 24-hour clock, as these users read dates.
        QTest::newRow("en_GB") << u"en_GB"_s << QByteArray("UTC") << u"5 Jan 2024 at 15:07"_s;
        QTest::newRow("de_DE") << u"de_DE"_s << QByteArray("Asia/Tokyo") << u"6. Jan. 2024 00:07"_s;
    }

    void datesInTheUsersLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, zone);
        QFETCH(QString, text);
        const auto restore = qScopeGuard([old = QLocale()] {
            QLocale::setDefault(old);
            ::tzset();
        });
        const ScopedEnv timeZone("TZ", zone); // restored before the guard runs
        ::tzset();
        QLocale::setDefault(QLocale(locale)); // the views format with the default locale: the user's
        const FileEntry file(u"/x/"_s, u"h"_s, false, 1'704'467'220'000, 0, {}, FileTypes::genericIcon());
        QCOMPARE(DisplayFormat::modifiedDate(file), text);
    }

    // The name of a new folder, or of a duplicate when `name` is set; empty: no name left.
    void firstFreeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Names>("existing");
        QTest::addColumn<QString>("expected");
        const auto untitled = &NameRules::untitledFolderName;

        QTest::newRow("folder: gap") << QString() << (taken(untitled, 1, 10) - Names{u"untitled folder 7"_s})
                                     << u"untitled folder 7"_s;
        QTest::newRow("folder: all 99 taken") << QString() << taken(untitled, 1, 99) << QString();
        QTest::newRow("file") << u"photo.jpg"_s << Names{} << u"photo copy.jpg"_s;
        QTest::newRow("second copy") << u"photo.jpg"_s << Names{u"photo copy.jpg"_s} << u"photo copy 2.jpg"_s;
        QTest::newRow("two-part suffix") << u"archive.tar.gz"_s << Names{} << u"archive.tar copy.gz"_s;
        QTest::newRow("hidden name") << u".profile"_s << Names{} << u".profile copy"_s;
        QTest::newRow("trailing dot") << u"name."_s << Names{} << u"name. copy"_s;
    }

    void firstFreeName()
    {
        QFETCH(QString, name);
        QFETCH(Names, existing);
        QFETCH(QString, expected);
        const auto candidate = [&](int n) {
            return name.isEmpty() ? NameRules::untitledFolderName(n) : NameRules::duplicateName(name, n);
        };
        const auto free =
            NameRules::firstFreeName(candidate, [&](const QString &n) { return existing.contains(n); });
        QCOMPARE(free.value_or(QString()), expected);
    }

    void acceptedNewName_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("accepted"); // empty: the item keeps its name "old"

        QTest::newRow("trimmed") << u"\n\t\u00A0new name \r\n"_s << u"new name"_s;
        QTest::newRow("inner spaces kept") << u"a  b"_s << u"a  b"_s;
        QTest::newRow("slash") << u"a/b"_s << QString();
        QTest::newRow("NUL") << u"a\u0000b"_s << QString();
        QTest::newRow("only spaces") << u"    "_s << QString();
        QTest::newRow("unchanged once trimmed") << u" old "_s << QString();
        QTest::newRow("case change is a change") << u"Old"_s << u"Old"_s;
    }

    void acceptedNewName()
    {
        QFETCH(QString, proposed);
        QFETCH(QString, accepted);
        QCOMPARE(NameRules::acceptedNewName(u"old"_s, proposed).value_or(QString()), accepted);
    }

    // Names from outside as shown: on one line, nothing hidden, nothing reordered; what
    // legitimately shapes a name (accents, joiners inside emoji and scripts, a flag's tags) stays.
    void oneLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // empty: unchanged

        QTest::newRow("ordinary, markup, scripts, accents, spaces")
            << u"Notes 2.txt <b>x</b> &amp; Café 日本 مرحبا e\u0301e\u0308 a\u00A0b\u3000c"_s << QString();
        QTest::newRow("emoji family and heart, Persian non-joiner, flag of England")
            << u"👨\u200D👩\u200D👧 ❤\uFE0F می\u200Cخواهم "
               u"🏴\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"_s
            << QString();
        QTest::newRow("newline spoofing a second line")
            << u"Safari\ncom.apple.mobilesafari"_s << u"Safari\u240Acom.apple.mobilesafari"_s;
        QTest::newRow("C0, DEL and C1") << u"a\u0000\t\r\u001B\u007F\u0085\u009B"_s
                                        << u"a\u2400\u2409\u240D\u241B\u2421<U+0085><U+009B>"_s;
        QTest::newRow("right-to-left override") << u"gpj.\u202Eexe"_s << u"gpj.<U+202E>exe"_s;
        QTest::newRow("isolates, marks, embedding, separators")
            << u"\u2066a\u2067\u2068\u2069\u200E\u200F\u061C\u202A\u2028b\u2029"_s
            << u"<U+2066>a<U+2067><U+2068><U+2069><U+200E><U+200F><U+061C><U+202A><U+2028>b<U+2029>"_s;
        QTest::newRow("joiners hidden inside Latin") << u"Saf\u200Dari\u200C\u200B\uFEFF\u00AD"_s
                                                     << u"Saf<U+200D>ari<U+200C><U+200B><U+FEFF><U+00AD>"_s;
        QTest::newRow("joiner at either end") << u"\u200D😀\u200D"_s << u"<U+200D>😀<U+200D>"_s;
        QTest::newRow("joiner beside a hidden one") << u"é\u200D\u202Eé"_s << u"é<U+200D><U+202E>é"_s;
        QTest::newRow("tags without a flag, blank letter")
            << u"a\U000E0041\u3164"_s << u"a<U+E0041><U+3164>"_s;
        QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) + u'a' << u"\uFFFDa"_s;
    }

    void oneLine()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(PlainText::oneLine(name), shown.isEmpty() ? name : shown);
    }
};

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
