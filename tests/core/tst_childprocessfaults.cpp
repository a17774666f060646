// Developer tools that misbehave: floods, hangs, grandchildren holding the pipe, signals and
// undecodable text. Each run must end (within its limit, where it has one) with the outcome the
// program promises.
#include "simulator/simulator.h"
#include "support/faketool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/types.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool processIsGone(pid_t pid)
{
    // A zombie still answers kill(0); its state in /proc says it is dead.
    if (::kill(pid, 0) != 0)
        return true;
#ifdef Q_OS_LINUX
    const QByteArray status = readFile(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = status.lastIndexOf(')');
    return close > 0 && close + 2 < status.size() && (status[close + 2] == 'Z' || status[close + 2] == 'X');
#else
    // No /proc on macOS: ps reports the state.
    QProcess ps;
    ps.start(u"/bin/ps"_s, {u"-o"_s, u"stat="_s, u"-p"_s, QString::number(pid)});
    if (!ps.waitForFinished(10'000))
        return false;
    const QByteArray state = ps.readAllStandardOutput().trimmed();
    return state.isEmpty() || state.startsWith('Z');
#endif
}

const QByteArray oneDevice = R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-17-2":)"
                             R"([{"udid":"U-1","name":"Phone","state":"Booted"}]}})";

} // namespace

class TestChildProcessFaults : public QObject
{
    Q_OBJECT

    FakeTool m_tools;
    QList<pid_t> m_strays; // grandchildren the tools left behind, ended in cleanup()

    // Records the pid the fake tool writes to `name`, so the test can check it and end it.
    pid_t recordedPid(const QString &name)
    {
        const pid_t pid = pid_t(readFile(m_tools.path(name)).trimmed().toInt());
        if (pid > 0)
            m_strays.append(pid);
        return pid;
    }

    QByteArray pidFile(const QString &name) const { return QFile::encodeName(m_tools.path(name)); }

private slots:
    void initTestCase() { QVERIFY(m_tools.isValid()); }

    void cleanup()
    {
        for (pid_t pid : std::as_const(m_strays))
            ::kill(pid, SIGKILL);
        m_strays.clear();
    }

    // 100 MiB of output: the listing gives up at its cap with a message instead of holding it all,
    // and the tool does not outlive the call.
    void listingOfAFlood()
    {
        const QString tool = m_tools.write(u"flood"_s, "echo $$ > '" + pidFile(u"flood.pid"_s) +
                                                          "'\nprintf '{\"devices\":{\"r\":['\n"
                                                          "exec head -c 104857600 /dev/zero");
        ScopedToolPath scoped(tool);
        QElapsedTimer timer;
        timer.start();
        const auto result = Simulator::listAvailable({}, 30s);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains(u"more than 64 MiB"_s), qPrintable(result.error()));
        QVERIFY2(timer.elapsed() < 30'000, "the cap was not applied before the time limit");
        const pid_t pid = recordedPid(u"flood.pid"_s);
        QVERIFY(pid > 0);
        QVERIFY(QTest::qWaitFor([&] { return processIsGone(pid); }, 5'000));
    }

    void listingOfAToolEndedByASignal_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("succeeds");
        // The exit status is not looked at: a whole document counts, a cut-off one does not.
        QTest::newRow("after a whole document") << "printf '%s' '" + oneDevice + "'\nkill -KILL $$" << true;
        QTest::newRow("half way") << "printf '%s' '" + oneDevice.left(40) + "'\nkill -SEGV $$" << false;
        QTest::newRow("before writing") << QByteArray("kill -TERM $$") << false;
    }

    void listingOfAToolEndedByASignal()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, succeeds);
        ScopedToolPath scoped(m_tools.write(u"signalled"_s, body));
        const auto result = Simulator::listAvailable({}, 20s);
        QCOMPARE(result.ok(), succeeds);
        if (succeeds) {
            QCOMPARE(result.value(), (QList<Simulator>{{u"U-1"_s, u"Phone"_s, u"iOS 17.2"_s, true}}));
        } else {
            QVERIFY2(result.error().startsWith(u"The device list from the developer tools could not be read: "_s),
                     qPrintable(result.error()));
        }
    }

    // Bytes that are not UTF-8 inside a JSON string make the whole document unreadable, as a
    // strict decoder would have it; no record with a mangled name appears.
    void listingWithInvalidUtf8()
    {
        QByteArray document = oneDevice;
        document.replace("Phone", "Ph\xFF\xFEone");
        QFile canned(m_tools.path(u"invalid.json"_s));
        QVERIFY(canned.open(QIODevice::WriteOnly));
        canned.write(document);
        canned.close();
        ScopedToolPath scoped(m_tools.write(u"invalid"_s, "cat '" + QFile::encodeName(canned.fileName()) + "'"));
        const auto result = Simulator::listAvailable({}, 20s);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().startsWith(u"The device list from the developer tools could not be read: "_s),
                 qPrintable(result.error()));
    }

    // A tool that wrote its document but then never exits is still ended at the limit.
    void listingOfAToolThatWritesThenHangs()
    {
        ScopedToolPath scoped(m_tools.write(u"lingers"_s, "printf '%s' '" + oneDevice + "'\nexec sleep 60"));
        QElapsedTimer timer;
        timer.start();
        const auto result = Simulator::listAvailable({}, 500ms);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains(u"did not answer"_s), qPrintable(result.error()));
        QVERIFY(timer.elapsed() < 10'000);
    }

    // The grandchild inherits standard error and holds the pipe open long after the tool failed.
    void addMediaWithAGrandchildHoldingThePipe()
    {
        ScopedToolPath scoped(m_tools.write(u"forks"_s, "sleep 60 &\necho $! > '" + pidFile(u"forks.pid"_s) +
                                                            "'\necho 'Unable to lookup in current state: Shutdown' >&2\n"
                                                            "exit 149"));
        QElapsedTimer timer;
        timer.start();
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QCOMPARE(status.error(), u"Unable to lookup in current state: Shutdown"_s);
        QVERIFY2(timer.elapsed() < 20'000, "addMedia waited for the grandchild");
        QVERIFY(recordedPid(u"forks.pid"_s) > 0);
    }

    // 100 MiB on standard error is no message: the run stops at the cap and says so.
    void addMediaOfAFloodOnStandardError()
    {
        ScopedToolPath scoped(m_tools.write(u"errflood"_s, "head -c 104857600 /dev/zero | tr '\\0' 'e' >&2\nexit 1"));
        QElapsedTimer timer;
        timer.start();
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QVERIFY2(status.error().contains(u"more than 4 MiB"_s), qPrintable(status.error()));
        QVERIFY(status.error().size() < 200);
        QVERIFY(timer.elapsed() < 30'000);
    }

    // The platform decodes with one U+FFFD per maximal invalid subpart and keeps U+FEFF;
    // QString::fromUtf8 does neither.
    void addMediaMessageOfUndecodableText_data()
    {
        QTest::addColumn<QByteArray>("errorBytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("sequence cut by the next character")
            << QByteArray("path /tmp/\xE2\x80 end\n") << u"path /tmp/\uFFFD end"_s;
        QTest::newRow("sequence cut by the end") << QByteArray("No such file: /tmp/\xF0\x9F\x98")
                                                 << u"No such file: /tmp/\uFFFD"_s;
        QTest::newRow("surrogates") << QByteArray("a\xED\xA0\x80z") << u"a\uFFFD\uFFFD\uFFFDz"_s;
        QTest::newRow("overlong") << QByteArray("a\xC0\x80\xE0\x80\x80z") << u"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDz"_s;
        QTest::newRow("beyond U+10FFFF") << QByteArray("a\xF4\x90\x80\x80z") << u"a\uFFFD\uFFFD\uFFFD\uFFFDz"_s;
        QTest::newRow("leading byte order mark kept")
            << QByteArray("\xEF\xBB\xBFInvalid device: X\n") << u"\uFEFFInvalid device: X"_s;
        QTest::newRow("valid four-byte character") << QByteArray("\xF0\x9F\x98\x80 failed\n") << u"\U0001F600 failed"_s;
        QTest::newRow("replacement then spaces trimmed")
            << QByteArray("\xC2\xA0\xFF\xC2\xA0") << u"\uFFFD"_s;
    }

    void addMediaMessageOfUndecodableText()
    {
        QFETCH(QByteArray, errorBytes);
        QFETCH(QString, message);
        QFile canned(m_tools.path(u"stderr.bin"_s));
        QVERIFY(canned.open(QIODevice::WriteOnly | QIODevice::Truncate));
        canned.write(errorBytes);
        canned.close();
        // Ended by a signal after writing: a non-zero status like any other.
        ScopedToolPath scoped(
            m_tools.write(u"undecodable"_s, "cat '" + QFile::encodeName(canned.fileName()) + "' >&2\nkill -KILL $$"));
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY(!status.ok());
        QCOMPARE(status.error(), message);
    }
};

QTEST_GUILESS_MAIN(TestChildProcessFaults)
#include "tst_childprocessfaults.moc"
