#include "fileviews/systempasteboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSystemPasteboard : public QObject
{
    Q_OBJECT

private slots:
    void writesWhatOtherProgramsRead()
    {
        SystemPasteboard pasteboard;
        const QList<QUrl> urls{QUrl::fromLocalFile(u"/data/b.txt"_s),
                               QUrl::fromLocalFile(u"/data/a, ü.txt"_s)};
        pasteboard.writeFileURLs(urls);
        QCOMPARE(pasteboard.readFileURLs(), urls);
        QVERIFY(pasteboard.canReadFileURLs());

        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(data->urls(), urls);
#ifdef Q_OS_DARWIN
        // The pasteboard gets file URLs and text only, no other desktop's formats.
        QVERIFY(!data->hasFormat(u"x-special/gnome-copied-files"_s));
        QVERIFY(!data->hasFormat(u"application/x-kde-cutselection"_s));
#else
        QCOMPARE(data->data(u"x-special/gnome-copied-files"_s),
                 "copy\nfile:///data/b.txt\nfile:///data/a,%20%C3%BC.txt");
        QCOMPARE(data->data(u"application/x-kde-cutselection"_s), "0");
#endif
        QCOMPARE(data->text(), u"/data/b.txt\n/data/a, ü.txt"_s);

        // Text replaces the files.
        pasteboard.writeText(u"/data/folder"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"/data/folder"_s);
        QVERIFY(!pasteboard.canReadFileURLs());
    }

    void readsWhatOtherProgramsWrite_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QUrl>>("expected");
        QTest::newRow("GNOME copy") << u"x-special/gnome-copied-files"_s
                                    << QByteArray("copy\nfile:///a/one.txt\nfile:///a/t%20wo.txt\n")
                                    << QList<QUrl>{QUrl::fromLocalFile(u"/a/one.txt"_s),
                                                   QUrl::fromLocalFile(u"/a/t wo.txt"_s)};
        QTest::newRow("uri-list, remote dropped")
            << u"text/uri-list"_s << QByteArray("https://example.com/x\r\nfile:///a/one.txt\r\n")
            << QList<QUrl>{QUrl::fromLocalFile(u"/a/one.txt"_s)};
        QTest::newRow("plain text only") << u"text/plain"_s << QByteArray("/a/one.txt") << QList<QUrl>{};
    }

    void readsWhatOtherProgramsWrite()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QUrl>, expected);
        auto *data = new QMimeData;
        data->setData(format, bytes);
        QGuiApplication::clipboard()->setMimeData(data);
        SystemPasteboard pasteboard;
        QCOMPARE(pasteboard.readFileURLs(), expected);
        QCOMPARE(pasteboard.canReadFileURLs(), !expected.isEmpty());
    }
};

QTEST_MAIN(TestSystemPasteboard)
#include "tst_systempasteboard.moc"
