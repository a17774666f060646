#include "simulator/simulator.h"
#include "support/faketool.h"

#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestAddMedia : public QObject
{
    Q_OBJECT

    FakeTool m_tools;

    QString argvPath() const { return m_tools.path(u"argv"_s); }
    QString stderrPath() const { return m_tools.path(u"stderr"_s); }
    QString stdoutTargetPath() const { return m_tools.path(u"stdout-target"_s); }

    // A tool that records its arguments (NUL-separated) and where its standard output goes,
    // writes `errorBytes` to standard error, then runs `ending` (an exit, a signal...).
    QString fakeTool(const QByteArray &errorBytes, const QByteArray &ending)
    {
        if (!writeFile(stderrPath(), errorBytes))
            return {};
        return m_tools.write(u"xcrun"_s,
                             "printf '%s\\0' \"$@\" > '" + QFile::encodeName(argvPath()) +
                                 "'\nif [ /dev/fd/1 -ef /dev/null ]; then out=/dev/null; else out=other; fi\n"
                                 "printf '%s' \"$out\" > '" +
                                 QFile::encodeName(stdoutTargetPath()) + "'\ncat '" +
                                 QFile::encodeName(stderrPath()) + "' >&2\n" + ending);
    }

    QStringList recordedArguments() const
    {
        const QByteArray bytes = readFile(argvPath());
        QStringList arguments;
        for (const QByteArray &argument : bytes.split('\0'))
            arguments.append(QString::fromUtf8(argument));
        if (!arguments.isEmpty() && arguments.constLast().isEmpty())
            arguments.removeLast(); // after the last terminator
        return arguments;
    }

private slots:
    void initTestCase() { QVERIFY(m_tools.isValid()); }

    void init() { QFile::remove(argvPath()); }

    void cleanup() { qunsetenv("LANTHORN_XCRUN"); }

    void argumentsAreTheUdidAndEveryPathInOrder()
    {
        const QString tool = fakeTool({}, "exit 0");
        QVERIFY(!tool.isEmpty());
        ScopedToolPath scoped(tool);

        const QString quoted = u"/tmp/holiday \"best\" shot's copy.JPG"_s;
        const QString nonAscii = u"/tmp/Fotos/Ölberg – ünter 東京.heic"_s;
        const QList<QUrl> files{QUrl::fromLocalFile(quoted), QUrl(u"file:///tmp/with%20escape%2523.mov"_s),
                                QUrl::fromLocalFile(nonAscii), QUrl::fromLocalFile(quoted)};
        const Status status = Simulator::addMedia(u"0B9A0C4C-1E2F-4A5B-8C7D-9E0F1A2B3C4D"_s, files);
        QVERIFY2(status.ok(), qPrintable(status.error()));
        QCOMPARE(recordedArguments(),
                 (QStringList{u"simctl"_s, u"addmedia"_s, u"0B9A0C4C-1E2F-4A5B-8C7D-9E0F1A2B3C4D"_s, quoted,
                              u"/tmp/with escape%23.mov"_s, nonAscii, quoted}));
    }

    void failureMessage_data()
    {
        QTest::addColumn<QByteArray>("errorBytes");
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<QString>("message");

        // The bytes' decoding and trimming are checked by the fuzz corpus; here, how the run ends.
        QTest::newRow("trailing newline")
            << QByteArray("Unable to lookup in current state: Shutdown\n") << QByteArray("exit 149")
            << u"Unable to lookup in current state: Shutdown"_s;
        QTest::newRow("nothing written")
            << QByteArray() << QByteArray("exit 2") << u"simctl addmedia failed"_s;
        QTest::newRow("ended by a signal")
            << QByteArray("about to crash\n") << QByteArray("kill -KILL $$") << u"about to crash"_s;
        QTest::newRow("signal, nothing written")
            << QByteArray() << QByteArray("kill -SEGV $$") << u"simctl addmedia failed"_s;
        // Text with exit status zero is a success; a flood on standard output is not read.
        QTest::newRow("text and status zero") << QByteArray("Warning: something odd happened\n")
                                              << QByteArray("head -c 1000000 /dev/zero\nexit 0") << QString();
    }

    void failureMessage()
    {
        QFETCH(QByteArray, errorBytes);
        QFETCH(QByteArray, ending);
        QFETCH(QString, message);
        ScopedToolPath scoped(fakeTool(errorBytes, ending));
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QCOMPARE(status.ok() ? QString() : status.error(), message);
        QCOMPARE(readFile(stdoutTargetPath()), QByteArray("/dev/null"));
    }

    void missingExecutableGivesTheLaunchMessage()
    {
        const QString missing = m_tools.path(u"no-such-xcrun"_s);
        ScopedToolPath scoped(missing);
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QVERIFY2(status.error().contains(missing), qPrintable(status.error()));
        QVERIFY2(status.error().contains(u"No such file or directory"_s), qPrintable(status.error()));
        QVERIFY(!QFile::exists(argvPath()));
    }

    // A UDID from the listing that could not name one device folder is refused before the tool
    // runs.
    void udidThatIsNotOneFolderNameIsRefused_data()
    {
        QTest::addColumn<QString>("udid");
        QTest::newRow("climbs out") << u"../../../../../outside"_s;
        QTest::newRow("parent") << u".."_s;
        QTest::newRow("dot") << u"."_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("slash") << u"a/b"_s;
        QTest::newRow("backslash") << u"a\\b"_s;
        QTest::newRow("NUL") << u"a\0b"_s;
    }

    void udidThatIsNotOneFolderNameIsRefused()
    {
        QFETCH(QString, udid);
        ScopedToolPath scoped(fakeTool({}, "exit 0"));
        const Status status = Simulator::addMedia(udid, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QVERIFY2(status.error().contains(u"identifier"_s), qPrintable(status.error()));
        QVERIFY(!QFile::exists(argvPath()));
    }

    // More files than one command line holds: a plain message, not the advice to install Xcode.
    void batchTooLongForOneCommand()
    {
#ifdef Q_OS_LINUX
        ScopedToolPath scoped(fakeTool({}, "exit 0"));
        const long limit = ::sysconf(_SC_ARG_MAX);
        QVERIFY(limit > 0);
        const QString longFolder = u"/tmp/"_s + QString(200, u'p') + u'/';
        QList<QUrl> files;
        for (long bytes = 0; bytes <= 2 * limit; bytes += 220)
            files.append(QUrl::fromLocalFile(longFolder + QString::number(files.size()) + u".jpg"_s));
        const Status status = Simulator::addMedia(u"UDID"_s, files);
        QCOMPARE(status.error(), u"Too many files to add at once. Add fewer files at a time."_s);
        QVERIFY(!QFile::exists(argvPath()));
#else
        QSKIP("the argument limit is exercised on Linux");
#endif
    }
};

QTEST_GUILESS_MAIN(TestAddMedia)
#include "tst_addmedia.moc"
