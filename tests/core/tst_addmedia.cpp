#include "simulator/simulator.h"
#include "support/faketool.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A 1×1 PNG: enough for the stand-in, which judges media by their leading bytes.
QByteArray tinyPng()
{
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVO"
        "RK5CYII=");
}

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

    // Runs the stand-in directly, for setting up devices.
    static QByteArray standin(const QStringList &arguments, int *exitCode = nullptr)
    {
        QProcess process;
        process.start(QStringLiteral(LANTHORN_STANDIN_PATH), arguments);
        if (!process.waitForFinished(30000))
            return {};
        if (exitCode)
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return process.readAllStandardOutput().trimmed();
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

    void emptyFileListStillRunsTheTool()
    {
        ScopedToolPath scoped(fakeTool("usage: simctl addmedia <device> <path>\n", "exit 64"));
        const Status status = Simulator::addMedia(u"UDID-1"_s, {});
        QCOMPARE(recordedArguments(), (QStringList{u"simctl"_s, u"addmedia"_s, u"UDID-1"_s}));
        QVERIFY(!status.ok());
        QCOMPARE(status.error(), u"usage: simctl addmedia <device> <path>"_s);
    }

    void failureMessage_data()
    {
        QTest::addColumn<QByteArray>("errorBytes");
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<QString>("message");

        QTest::newRow("trailing newline")
            << QByteArray("Unable to lookup in current state: Shutdown\n") << QByteArray("exit 149")
            << u"Unable to lookup in current state: Shutdown"_s;
        QTest::newRow("inner newline kept")
            << QByteArray(
                   "An error was encountered processing the command (domain=NSCocoaErrorDomain, code=-1):\n"
                   "The operation couldn\xE2\x80\x99t be completed. (Cocoa error -1.)\n")
            << QByteArray("exit 1")
            << u"An error was encountered processing the command (domain=NSCocoaErrorDomain, code=-1):\n"
               u"The operation couldn\u2019t be completed. (Cocoa error -1.)"_s;
        QTest::newRow("only newlines")
            << QByteArray("\n\n\r\n") << QByteArray("exit 1") << u"simctl addmedia failed"_s;
        QTest::newRow("nothing written")
            << QByteArray() << QByteArray("exit 2") << u"simctl addmedia failed"_s;
        // Tab, VT, FF, NEL, NBSP, ideographic space, line and paragraph separators, thin space.
        QTest::newRow("every kind of white space")
            << QByteArray(" \t\x0B\x0C\xC2\x85\xC2\xA0\xE3\x80\x80\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\x89\r\n")
            << QByteArray("exit 1") << u"simctl addmedia failed"_s;
        // Zero-width space, BOM and an ASCII control are outside the set and stay.
        QTest::newRow("near misses are kept")
            << QByteArray("\xE2\x80\x8B\xEF\xBB\xBFInvalid device: X\x1C\xE2\x80\xA9\n")
            << QByteArray("exit 148") << u"\u200B\uFEFFInvalid device: X\u001C"_s;
        QTest::newRow("invalid UTF-8") << QByteArray("lstat of /tmp/caf\xE9.png failed\n")
                                       << QByteArray("exit 2") << u"lstat of /tmp/caf\uFFFD.png failed"_s;
        QTest::newRow("ended by a signal")
            << QByteArray("about to crash\n") << QByteArray("kill -KILL $$") << u"about to crash"_s;
        QTest::newRow("signal, nothing written")
            << QByteArray() << QByteArray("kill -SEGV $$") << u"simctl addmedia failed"_s;
    }

    void failureMessage()
    {
        QFETCH(QByteArray, errorBytes);
        QFETCH(QByteArray, ending);
        QFETCH(QString, message);
        ScopedToolPath scoped(fakeTool(errorBytes, ending));
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QCOMPARE(status.error(), message);
    }

    void textWithExitStatusZeroIsSuccess()
    {
        ScopedToolPath scoped(fakeTool("Warning: something odd happened\n", "exit 0"));
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY2(status.ok(), qPrintable(status.error()));
    }

    void largeStandardOutputIsDiscarded()
    {
        // 16 MiB on standard output: a pipe nobody reads would block the tool for good.
        ScopedToolPath scoped(fakeTool("done\n", "head -c 16777216 /dev/zero\nexit 5"));
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QCOMPARE(status.error(), u"done"_s);
        QCOMPARE(readFile(stdoutTargetPath()).trimmed(), QByteArray("/dev/null"));
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

    void standinAddsMediaAndReportsItsFailures()
    {
        QVERIFY(QFile::exists(QStringLiteral(LANTHORN_STANDIN_PATH)));
        QTemporaryDir home;
        QVERIFY2(home.isValid(), qPrintable(home.errorString()));
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", oldHome); });
        ScopedToolPath scoped(QStringLiteral(LANTHORN_STANDIN_PATH));

        int exitCode = -1;
        const QString booted = QString::fromUtf8(
            standin({u"simctl"_s, u"create"_s, u"Media Phone"_s, u"iPhone-15"_s, u"iOS-17-2"_s}, &exitCode));
        QCOMPARE(exitCode, 0);
        QVERIFY(!booted.isEmpty());
        standin({u"simctl"_s, u"boot"_s, booted}, &exitCode);
        QCOMPARE(exitCode, 0);
        const QString shutdown = QString::fromUtf8(
            standin({u"simctl"_s, u"create"_s, u"Idle Phone"_s, u"iPhone-15"_s, u"iOS-17-2"_s}, &exitCode));
        QCOMPARE(exitCode, 0);

        QTemporaryDir media;
        QVERIFY(media.isValid());
        const QString photo = media.filePath(u"tiny photo é.png"_s);
        QVERIFY(writeFile(photo, tinyPng()));
        const QString notMedia = media.filePath(u"notes.txt"_s);
        QVERIFY(writeFile(notMedia, "just text\n"));

        const Status added = Simulator::addMedia(booted, {QUrl::fromLocalFile(photo)});
        QVERIFY2(added.ok(), qPrintable(added.error()));
        int copies = 0;
        for (QDirIterator it(home.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            copies += readFile(it.next()) == tinyPng() ? 1 : 0;
        QCOMPARE(copies, 1);

        const Status notBooted = Simulator::addMedia(shutdown, {QUrl::fromLocalFile(photo)});
        QCOMPARE(notBooted.error(), u"Unable to lookup in current state: Shutdown"_s);

        const Status unknown =
            Simulator::addMedia(u"00000000-0000-0000-0000-000000000000"_s, {QUrl::fromLocalFile(photo)});
        QVERIFY(!unknown.ok());
        QVERIFY2(unknown.error().startsWith(u"Invalid device: "_s), qPrintable(unknown.error()));

        const QString missing = media.filePath(u"gone.png"_s);
        const Status missingFile = Simulator::addMedia(booted, {QUrl::fromLocalFile(missing)});
        QVERIFY(!missingFile.ok());
        QVERIFY2(missingFile.error().contains(missing), qPrintable(missingFile.error()));

        const Status wrongKind = Simulator::addMedia(booted, {QUrl::fromLocalFile(notMedia)});
        QVERIFY(!wrongKind.ok());
        QVERIFY2(wrongKind.error().contains(u'\n'), qPrintable(wrongKind.error()));
        QVERIFY(!wrongKind.error().endsWith(u'\n'));
    }
};

QTEST_GUILESS_MAIN(TestAddMedia)
#include "tst_addmedia.moc"
