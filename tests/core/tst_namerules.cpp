#include "filestore/namerules.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QSet<QString> untitledFolders(int from, int to)
{
    QSet<QString> names;
    for (int n = from; n <= to; ++n)
        names.insert(NameRules::untitledFolderName(n));
    return names;
}

} // namespace

class TestNameRules : public QObject
{
    Q_OBJECT

private slots:
    void newFolderName_data()
    {
        QTest::addColumn<QSet<QString>>("existing");
        QTest::addColumn<QString>("expected"); // empty: no name left

        QTest::newRow("empty folder") << QSet<QString>{} << u"untitled folder"_s;
        QTest::newRow("first two taken") << untitledFolders(1, 2) << u"untitled folder 3"_s;
        QTest::newRow("only the second taken") << QSet<QString>{u"untitled folder 2"_s} << u"untitled folder"_s;
        QTest::newRow("gap in the middle") << (untitledFolders(1, 10) - QSet<QString>{u"untitled folder 7"_s})
                                           << u"untitled folder 7"_s;
        QTest::newRow("98 taken") << untitledFolders(1, 98) << u"untitled folder 99"_s;
        QTest::newRow("all 99 taken") << untitledFolders(1, 99) << QString();
        QTest::newRow("a number 1 does not count") << (untitledFolders(2, 99) + QSet<QString>{u"untitled folder"_s,
                                                                                               u"untitled folder 1"_s})
                                                   << QString();
    }

    void newFolderName()
    {
        QFETCH(QSet<QString>, existing);
        QFETCH(QString, expected);
        const auto name = NameRules::firstFreeName(&NameRules::untitledFolderName,
                                                   [&](const QString &n) { return existing.contains(n); });
        QCOMPARE(name.value_or(QString()), expected);
    }

    void duplicateName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSet<QString>>("existing");
        QTest::addColumn<QString>("expected");

        QTest::newRow("file") << u"photo.jpg"_s << QSet<QString>{} << u"photo copy.jpg"_s;
        QTest::newRow("second copy") << u"photo.jpg"_s << QSet<QString>{u"photo copy.jpg"_s} << u"photo copy 2.jpg"_s;
        QTest::newRow("two-part suffix") << u"archive.tar.gz"_s << QSet<QString>{} << u"archive.tar copy.gz"_s;
        QTest::newRow("folder") << u"Documents"_s << QSet<QString>{} << u"Documents copy"_s;
        QTest::newRow("folder with a dot") << u"site.bundle"_s << QSet<QString>{} << u"site copy.bundle"_s;
        QTest::newRow("copy of a copy") << u"photo copy.jpg"_s << QSet<QString>{} << u"photo copy copy.jpg"_s;
        QTest::newRow("hidden name") << u".profile"_s << QSet<QString>{} << u".profile copy"_s;
        QTest::newRow("trailing dot") << u"name."_s << QSet<QString>{} << u"name. copy"_s;
        QTest::newRow("spaces kept") << u"my photo.jpeg"_s << QSet<QString>{u"my photo copy.jpeg"_s}
                                     << u"my photo copy 2.jpeg"_s;
        QSet<QString> all;
        for (int n = 1; n <= NameRules::maxCandidates; ++n)
            all.insert(NameRules::duplicateName(u"a.txt", n));
        QTest::newRow("all 99 taken") << u"a.txt"_s << all << QString();
        QVERIFY(all.contains(u"a copy 99.txt"_s));
    }

    void duplicateName()
    {
        QFETCH(QString, name);
        QFETCH(QSet<QString>, existing);
        QFETCH(QString, expected);
        const auto copy = NameRules::firstFreeName([&](int n) { return NameRules::duplicateName(name, n); },
                                                   [&](const QString &n) { return existing.contains(n); });
        QCOMPARE(copy.value_or(QString()), expected);
    }

    void pathExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("stem");
        QTest::newRow("plain") << u"photo.jpg"_s << u"jpg"_s << u"photo"_s;
        QTest::newRow("two dots") << u"archive.tar.gz"_s << u"gz"_s << u"archive.tar"_s;
        QTest::newRow("none") << u"README"_s << QString() << u"README"_s;
        QTest::newRow("hidden") << u".hidden"_s << QString() << u".hidden"_s;
        QTest::newRow("hidden with extension") << u".config.json"_s << u"json"_s << u".config"_s;
        QTest::newRow("trailing dot") << u"name."_s << QString() << u"name."_s;
        QTest::newRow("outside the BMP") << u"\U0001F600.png"_s << u"png"_s << u"\U0001F600"_s;
    }

    void pathExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(QString, stem);
        QCOMPARE(NameRules::pathExtension(name).toString(), extension);
        QCOMPARE(NameRules::deletingPathExtension(name).toString(), stem);
    }

    void acceptedNewName_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("accepted"); // empty: the item keeps its name

        QTest::newRow("trimmed") << u"old"_s << u"  new name  "_s << u"new name"_s;
        QTest::newRow("line breaks and tabs") << u"old"_s << u"\n\tnew\r\n"_s << u"new"_s;
        QTest::newRow("inner spaces kept") << u"old"_s << u"a  b"_s << u"a  b"_s;
        QTest::newRow("no-break space trimmed") << u"old"_s << u"\u00A0new\u00A0"_s << u"new"_s;
        QTest::newRow("slash") << u"old"_s << u"a/b"_s << QString();
        QTest::newRow("only spaces") << u"old"_s << u"    "_s << QString();
        QTest::newRow("empty") << u"old"_s << QString() << QString();
        QTest::newRow("unchanged") << u"old"_s << u"old"_s << QString();
        QTest::newRow("unchanged once trimmed") << u"old"_s << u" old "_s << QString();
        QTest::newRow("NUL") << u"old"_s << u"a\u0000b"_s << QString();
        QTest::newRow("case change is a change") << u"old"_s << u"Old"_s << u"Old"_s;
    }

    void acceptedNewName()
    {
        QFETCH(QString, current);
        QFETCH(QString, proposed);
        QFETCH(QString, accepted);
        QCOMPARE(NameRules::acceptedNewName(current, proposed).value_or(QString()), accepted);
    }
};

QTEST_APPLESS_MAIN(TestNameRules)
#include "tst_namerules.moc"
