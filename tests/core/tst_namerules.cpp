#include "filestore/namerules.h"
#include "filestore/plaintext.h"

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

QTEST_APPLESS_MAIN(TestNameRules)
#include "tst_namerules.moc"
