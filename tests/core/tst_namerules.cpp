#include "filestore/namerules.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

class TestNameRules : public QObject
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
    // The name of a new folder, or of a duplicate when `name` is set; empty: no name left.
    void firstFreeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Names>("existing");
        QTest::addColumn<QString>("expected");
        const auto untitled = &NameRules::untitledFolderName;
        const auto copyOfA = [](int n) { return NameRules::duplicateName(u"a.txt", n); };

        QTest::newRow("folder: gap") << QString() << (taken(untitled, 1, 10) - Names{u"untitled folder 7"_s})
                                     << u"untitled folder 7"_s;
        QTest::newRow("folder: only the second taken")
            << QString() << Names{u"untitled folder 2"_s} << u"untitled folder"_s;
        QTest::newRow("folder: all 99 taken") << QString() << taken(untitled, 1, 99) << QString();
        QTest::newRow("file") << u"photo.jpg"_s << Names{} << u"photo copy.jpg"_s;
        QTest::newRow("second copy") << u"photo.jpg"_s << Names{u"photo copy.jpg"_s} << u"photo copy 2.jpg"_s;
        QTest::newRow("two-part suffix") << u"archive.tar.gz"_s << Names{} << u"archive.tar copy.gz"_s;
        QTest::newRow("hidden name") << u".profile"_s << Names{} << u".profile copy"_s;
        QTest::newRow("trailing dot") << u"name."_s << Names{} << u"name. copy"_s;
        QTest::newRow("copy: all 99 taken")
            << u"a.txt"_s << taken(copyOfA, 1, NameRules::maxCandidates) << QString();
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
};

QTEST_APPLESS_MAIN(TestNameRules)
#include "tst_namerules.moc"
