#include "simulator/simulator.h"
#include "simulator/toolrunner.h"
#include "support/faketool.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

using namespace std::chrono_literals;

class TestToolRunner : public QObject
{
    Q_OBJECT

    FakeTool m_tools;

private slots:
    void initTestCase() { QVERIFY(m_tools.isValid()); }

    void defaultExecutableIsXcrun()
    {
        const QByteArray old = qgetenv("LANTHORN_XCRUN");
        qunsetenv("LANTHORN_XCRUN");
        QCOMPARE(ToolRunner::executablePath(), "/usr/bin/xcrun");
        {
            ScopedToolPath scoped("/opt/tools/xcrun-standin");
            QCOMPARE(ToolRunner::executablePath(), "/opt/tools/xcrun-standin");
        }
        QCOMPARE(ToolRunner::executablePath(), "/usr/bin/xcrun");
        if (!old.isEmpty())
            qputenv("LANTHORN_XCRUN", old);
    }

    void listingPassesExactlyFiveArgumentsAndIgnoresExitStatus()
    {
        const QString record = m_tools.path("args.txt");
        const QString tool = m_tools.write(
            "lister", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record.toUtf8()
                          + "'\necho '{\"devices\":{\"r.iOS-17-2\":[{\"udid\":\"U\",\"name\":\"N\",\"state\":\"Booted\"}]}}'"
                            "\necho 'some warning' >&2\nexit 3");
        ScopedToolPath scoped(tool);
        const auto result = Simulator::listAvailable();
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(result.value().size(), 1);
        QCOMPARE(result.value().first(), (Simulator{"U", "N", "iOS 17.2", true}));
        QFile args(record);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(args.readAll(), QByteArray("simctl\nlist\ndevices\navailable\n-j\n"));
    }

    void outputLargerThanAPipeBuffer()
    {
        // About 3 MiB of devices: a child blocked on a full pipe would hang here.
        const QString tool = m_tools.write(
            "big", "printf '{\"devices\":{\"r.iOS-1-0\":['\n"
                   "i=0; while [ $i -lt 30000 ]; do printf '{\"udid\":\"%08d\",\"name\":\"Device with a long name %08d\",\"state\":\"Shutdown\",\"x\":\"%060d\"},' $i $i 0; i=$((i+1)); done\n"
                   "printf '{\"udid\":\"last\",\"name\":\"Last\",\"state\":\"Booted\"}]}}'");
        ScopedToolPath scoped(tool);
        const auto result = Simulator::listAvailable();
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(result.value().size(), 30001);
        QCOMPARE(result.value().first().udid, "last");
    }

    void launchFailures()
    {
        {
            ScopedToolPath scoped(m_tools.path("does-not-exist"));
            const auto result = Simulator::listAvailable();
            QVERIFY(!result.ok());
            QVERIFY2(result.error().contains(m_tools.path("does-not-exist")), qPrintable(result.error()));
            // A first run without Xcode explains itself.
            QVERIFY(result.error().contains("No such file or directory"));
            QVERIFY(result.error().contains("Apple's developer tools"));
            QVERIFY(result.error().contains("LANTHORN_XCRUN"));
        }
        {
            QFile plain(m_tools.path("not-executable"));
            QVERIFY(plain.open(QIODevice::WriteOnly));
            plain.write("echo hi\n");
            plain.close();
            ScopedToolPath scoped(plain.fileName());
            const auto result = Simulator::listAvailable();
            QVERIFY(!result.ok());
            QVERIFY(!result.error().isEmpty());
        }
    }

    void toolThatWritesNothingFailsToDecode()
    {
        ScopedToolPath scoped(m_tools.write("silent", "echo 'xcrun: error: unable to find utility \"simctl\"' >&2\nexit 72"));
        const auto result = Simulator::listAvailable();
        QVERIFY(!result.ok());
        QVERIFY(result.error().contains("could not be read"));
    }

    void hungToolIsEndedAtTheLimit()
    {
        ScopedToolPath scoped(m_tools.write("hang", "exec sleep 60"));
        QElapsedTimer timer;
        timer.start();
        const auto result = Simulator::listAvailable({}, 300ms);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains("did not answer"), qPrintable(result.error()));
        QVERIFY(timer.elapsed() < 20'000);
    }

    void grandchildHoldingThePipeDoesNotStopTheListing()
    {
        // The background sleep inherits standard output and keeps the pipe open after the
        // child has exited.
        ScopedToolPath scoped(m_tools.write("forks", "sleep 30 &\necho '{\"devices\":{}}'\nexit 0"));
        QElapsedTimer timer;
        timer.start();
        const auto result = Simulator::listAvailable({}, 20s);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QVERIFY(result.value().isEmpty());
        QVERIFY2(timer.elapsed() < 15'000, "the listing waited for the grandchild");
    }

    void outputIsCapped()
    {
        const QString tool = m_tools.write("flood", "head -c 3000000 /dev/zero");
        ToolRunner::Options options;
        options.maxBytes = 1024 * 1024;
        const auto result = ToolRunner::run(tool, {}, options);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains("more than 1 MiB"), qPrintable(result.error()));
    }

    void signalsAndStops()
    {
        const QString killed = m_tools.write("killed", "echo partial\nkill -9 $$");
        const auto crashed = ToolRunner::run(killed, {}, {});
        QVERIFY(crashed.ok());
        QVERIFY(crashed.value().crashed);
        QVERIFY(crashed.value().exitCode != 0);

        const QString sleeper = m_tools.write("sleeper", "exec sleep 60");
        StopSource stop;
        ToolRunner::Options options;
        options.stop = stop.token();
        QElapsedTimer timer;
        timer.start();
        auto future = QtConcurrent::run([&] { return ToolRunner::run(sleeper, {}, options); });
        QTest::qWait(100);
        stop.requestStop();
        const auto result = future.result();
        QVERIFY(!result.ok());
        QVERIFY(timer.elapsed() < 10'000);
    }

    void capturesStandardErrorWhenAsked()
    {
        const QString tool = m_tools.write("stderr", "echo out\necho 'err line' >&2\nexit 1");
        ToolRunner::Options options;
        options.capture = ToolRunner::Capture::StandardError;
        options.discardOtherOutput = true;
        const auto result = ToolRunner::run(tool, {}, options);
        QVERIFY(result.ok());
        QCOMPARE(result.value().captured, QByteArray("err line\n"));
        QCOMPARE(result.value().exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(TestToolRunner)
#include "tst_toolrunner.moc"
