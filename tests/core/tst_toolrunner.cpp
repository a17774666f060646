// Listing devices and adding media through the tool runner, with developer tools that misbehave:
// floods, hangs, grandchildren holding the pipe, signals. Each run ends (within its limit, where
// it has one) with the outcome the program promises.
#include "simulator/simulator.h"
#include "simulator/toolrunner.h"
#include "support/faketool.h"
#include "support/standin.h"
#include "support/tempfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray oneDevice = R"({"devices":{"com.apple.CoreSimulator.SimRuntime.iOS-17-2":)"
                             R"([{"udid":"U-1","name":"Phone","state":"Booted"}]}})";

QByteArray device(const char *udid, const char *name, const char *state)
{
    return QByteArray("{\"udid\":\"") + udid + "\",\"name\":\"" + name + "\",\"state\":\"" + state + "\"}";
}

QStringList namesAndUdids(const QList<Simulator> &simulators)
{
    QStringList out;
    for (const Simulator &s : simulators)
        out << s.name + QLatin1Char(' ') + s.udid;
    return out;
}

const QString cocoaError = u"An error was encountered processing the command (domain=NSCocoaErrorDomain, "
                           u"code=-1):\nThe operation couldn\u2019t be completed. (Cocoa error -1.)"_s;
const QByteArray jpegBytes =
    QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01", 13) + QByteArray(64, '\x11');
const QByteArray pngBytes = QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + QByteArray(64, '\x22');

ToolRun runDemo(const QString &home)
{
    return runProgram(QStringLiteral(LANTHORN_DEMO_PATH), {home, QStringLiteral(LANTHORN_STANDIN_PATH)});
}

// The container folder of the Files storage, empty when the device has none.
QString localStorageContainer(const QString &udid)
{
    const auto url = Simulator{udid, {}, {}, true}.filesStorageURL();
    return url ? QFileInfo(url->toLocalFile()).path() : QString();
}

} // namespace

class TestToolRunner : public QObject
{
    Q_OBJECT

    FakeTool m_tools;
    QList<pid_t> m_strays; // left behind by the tools, ended in cleanup()

    pid_t recordedPid(const QString &name)
    {
        const pid_t pid = pid_t(m_tools.read(name).trimmed().toInt());
        if (pid > 0)
            m_strays.append(pid);
        return pid;
    }
    // A file of the tools' folder, as a script names it.
    QByteArray scriptPath(const QString &name) const { return QFile::encodeName(m_tools.path(name)); }

    // A tool that starts a child, records both ids in "hang.pids" and waits on the child.
    QString hangingWithAChild(const QByteArray &before = {})
    {
        QFile::remove(m_tools.path(u"hang.pids"_s));
        return m_tools.write(u"hang"_s, before + "\nsleep 60 &\necho $$ $! > '" + scriptPath(u"hang.pids"_s) +
                                            "'\nwait");
    }
    // Both are gone soon after the run ended.
    bool toolAndChildAreGone()
    {
        const QList<QByteArray> pids = m_tools.read(u"hang.pids"_s).trimmed().split(' ');
        for (const QByteArray &pid : pids)
            m_strays.append(pid_t(pid.toInt()));
        return pids.size() == 2 &&
               QTest::qWaitFor(
                   [&] { return processIsGone(pids[0].toInt()) && processIsGone(pids[1].toInt()); }, 5'000);
    }

    // An add-media tool that records its arguments (NUL-separated) and where its standard output
    // goes, writes `errorBytes` to standard error, then runs `ending` (an exit, a signal...).
    QString fakeTool(const QByteArray &errorBytes, const QByteArray &ending)
    {
        if (!m_tools.createFile(u"stderr"_s, errorBytes))
            return {};
        return m_tools.write(u"xcrun"_s,
                             "printf '%s\\0' \"$@\" > '" + scriptPath(u"argv"_s) +
                                 "'\nif [ /dev/fd/1 -ef /dev/null ]; then out=/dev/null; else out=other; fi\n"
                                 "printf '%s' \"$out\" > '" +
                                 scriptPath(u"stdout-target"_s) + "'\ncat '" + scriptPath(u"stderr"_s) +
                                 "' >&2\n" + ending);
    }

    QStringList recordedArguments() const
    {
        QStringList arguments;
        for (const QByteArray &argument : m_tools.read(u"argv"_s).split('\0'))
            arguments.append(QString::fromUtf8(argument).normalized(QString::NormalizationForm_C));
        arguments.removeLast(); // after the last terminator; macOS hands a tool decomposed names
        return arguments;
    }

    std::unique_ptr<StandIn> m_standin;

private slots:
    void initTestCase() { QVERIFY(m_tools.isValid()); }
    void init()
    {
        m_standin = std::make_unique<StandIn>(QStringLiteral(LANTHORN_STANDIN_PATH));
        QVERIFY(m_standin->isValid());
    }
    void cleanup()
    {
        for (pid_t pid : std::as_const(m_strays))
            ::kill(pid, SIGKILL);
        m_strays.clear();
        QFile::remove(m_tools.path(u"argv"_s));
    }

    void listingArgumentsAndExitStatusIgnored()
    {
        ScopedToolPath scoped(fakeTool("some warning\n", "printf '%s' '" + oneDevice + "'\nexit 3"));
        const auto result = Simulator::listAvailable();
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(result.value(), (QList<Simulator>{{u"U-1"_s, u"Phone"_s, u"iOS 17.2"_s, true}}));
        QCOMPARE(recordedArguments(),
                 (QStringList{u"simctl"_s, u"list"_s, u"devices"_s, u"available"_s, u"-j"_s}));
    }

    void listingOutcome_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("succeeds");
        // The exit status is not looked at: a whole document counts, a cut-off one does not.
        QTest::newRow("killed after a whole document")
            << "printf '%s' '" + oneDevice + "'\nkill -KILL $$" << true;
        QTest::newRow("killed half way")
            << "printf '%s' '" + oneDevice.left(40) + "'\nkill -SEGV $$" << false;
        QTest::newRow("nothing written")
            << QByteArray("echo 'xcrun: error: unable to find utility \"simctl\"' >&2\nexit 72") << false;
        // Not UTF-8 inside a string: no record with a mangled name.
        QTest::newRow("invalid UTF-8")
            << "printf '%s' '" + QByteArray(oneDevice).replace("Phone", "Ph\xFF\xFEone") + "'" << false;
        // More than a pipe holds: a child blocked on a full pipe would hang here.
        QTest::newRow("larger than a pipe") << QByteArray("printf '{\"devices\":{},\"pad\":\"'\nhead -c "
                                                          "3000000 /dev/zero | tr '\\0' x\nprintf '\"}'")
                                            << true;
    }

    void listingOutcome()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, succeeds);
        ScopedToolPath scoped(m_tools.write(u"tool"_s, body));
        const auto result = Simulator::listAvailable({}, 20s);
        QCOMPARE(result.ok(), succeeds);
        if (!succeeds)
            QVERIFY2(
                result.error().startsWith(u"The device list from the developer tools could not be read: "_s),
                qPrintable(result.error()));
    }

    void launchFailureExplainsItself()
    {
        const QString missing = m_tools.path(u"does-not-exist"_s);
        ScopedToolPath scoped(missing);
        const auto result = Simulator::listAvailable();
        QVERIFY(!result.ok());
        for (const QString &part : {missing, u"LANTHORN_XCRUN"_s})
            QVERIFY2(result.error().contains(part), qPrintable(result.error()));
    }

    // Also when the document was written before the hang; the tool's children end with it.
    void hungToolIsEndedAtTheLimit()
    {
        ScopedToolPath scoped(hangingWithAChild("printf '%s' '" + oneDevice + "'"));
        QElapsedTimer timer;
        timer.start();
        const auto result = Simulator::listAvailable({}, 1500ms);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains(u"did not answer"_s), qPrintable(result.error()));
        QVERIFY(timer.elapsed() < 20'000);
        QVERIFY(toolAndChildAreGone());
    }

    // Closing the window stops a listing that is still running: its tool ends, nothing applies.
    void stoppedListingEndsItsTool()
    {
        ScopedToolPath scoped(hangingWithAChild());
        StopSource stop;
        auto future =
            QtConcurrent::run([token = stop.token()] { return Simulator::listAvailable(token, 60s); });
        QTRY_VERIFY(m_tools.read(u"hang.pids"_s).endsWith('\n'));
        stop.requestStop();
        const auto result = future.result();
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains(u"stopped"_s), qPrintable(result.error()));
        QVERIFY(toolAndChildAreGone());
    }

    // The background sleep inherits the tool's output and keeps the pipe open after it exited.
    void grandchildHoldingThePipe()
    {
        ScopedToolPath lister(m_tools.write(u"forks"_s, "sleep 30 &\necho $! > '" + scriptPath(u"a.pid"_s) +
                                                            "'\necho '{\"devices\":{}}'\nexit 0"));
        QElapsedTimer timer;
        timer.start();
        const auto result = Simulator::listAvailable({}, 20s);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QVERIFY(recordedPid(u"a.pid"_s) > 0);
        QVERIFY2(timer.elapsed() < 15'000, "a run waited for the grandchild");
    }

    // Exactly the cap is accepted; one byte more fails with a message.
    void outputCap()
    {
        ToolRunner::Options options;
        options.maxBytes = 1024 * 1024;
        for (const int bytes : {1024 * 1024, 1024 * 1024 + 1}) {
            const QByteArray flood = "head -c " + QByteArray::number(bytes) + " /dev/zero";
            const auto result = ToolRunner::run(m_tools.write(u"flood"_s, flood), {}, options);
            QCOMPARE(result.ok(), bytes == options.maxBytes);
            QVERIFY2(result.ok() || result.error().contains(u"more than 1 MiB"_s),
                     qPrintable(result.error()));
        }
    }

    // Just over the listing's default cap: it gives up there, and the tool does not outlive the call.
    void listingFloodEndsTheTool()
    {
        ScopedToolPath scoped(m_tools.write(u"flood"_s, "echo $$ > '" + scriptPath(u"flood.pid"_s) +
                                                            "'\nprintf '{\"devices\":{\"r\":['\n"
                                                            "exec head -c 68157440 /dev/zero"));
        const auto result = Simulator::listAvailable({}, 30s);
        QVERIFY2(result.error().contains(u"more than 64 MiB"_s), qPrintable(result.error()));
        const pid_t pid = recordedPid(u"flood.pid"_s);
        QVERIFY(pid > 0);
        QVERIFY(QTest::qWaitFor([&] { return processIsGone(pid); }, 5'000));
    }

    void addMediaFloodOnStandardError()
    {
        ScopedToolPath scoped(
            m_tools.write(u"errflood"_s, "head -c 4194400 /dev/zero | tr '\\0' 'e' >&2\nexit 1"));
        const Status status = Simulator::addMedia(u"UDID"_s, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
        QVERIFY2(status.error().contains(u"more than 4 MiB"_s), qPrintable(status.error().left(200)));
        QVERIFY(status.error().size() < 200);
    }

    void argumentsAreTheUdidAndEveryPathInOrder()
    {
        ScopedToolPath scoped(fakeTool({}, "exit 0"));

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
        QCOMPARE(m_tools.read(u"stdout-target"_s), QByteArray("/dev/null"));
    }

    // A UDID from the listing that could not name one device folder is refused before the tool runs.
    void udidThatIsNotOneFolderNameIsRefused()
    {
        ScopedToolPath scoped(fakeTool({}, "exit 0"));
        for (const QString &udid : {u"../../../../../outside"_s, u".."_s, u"a/b"_s}) {
            const Status status = Simulator::addMedia(udid, {QUrl::fromLocalFile(u"/tmp/a.png"_s)});
            QVERIFY2(!status.ok() && status.error().contains(u"identifier"_s), qPrintable(status.error()));
            QVERIFY(!m_tools.exists(u"argv"_s));
        }
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
        QVERIFY(!m_tools.exists(u"argv"_s));
#else
        QSKIP("the argument limit is exercised on Linux");
#endif
    }

    // The listing as decoded from the tool's output, whatever runs the tool.
    void decodesAndOrders()
    {
        const QByteArray json =
            "{\"devices\":{"
            "\"iOS 12.1\":[" + // as older tools named it
            device("H", "Old", "Shutdown") +
            "],\"x.xrOS-1-1-2\":[" + device("I", "Vision", "Shutdown") +
            "],"
            "\"com.apple.CoreSimulator.SimRuntime.iOS-9-3\":[" +
            device("A", "iPhone 6", "Shutdown") +
            "],"
            "\"com.apple.CoreSimulator.SimRuntime.iOS-17-0\":[" +
            device("B", "iPhone 15", "Shutdown") + "," + device("C", "iPad", "Booted") + "," +
            device("D", "iPhone 15", "Booting") + "," + device("E", "iPhone 15", "Shutdown") + "," +
            device("F", "apple TV", "Shutdown") + "," + device("G", "Zed", "booted") + "]}}";
        const auto listing = SimulatorListing::decode(json);
        QVERIFY2(listing.ok(), qPrintable(listing.error()));
        const QList<Simulator> result = SimulatorListing::records(listing.value());
        // Booted first; then runtime by code point ("iOS 17.0" < "iOS 9.3"); then name by code
        // point (capitals before small letters); equal keys keep the tool's order (B, D, E).
        QCOMPARE(namesAndUdids(result),
                 QStringList({"iPad C", "Old H", "Zed G", "apple TV F", "iPhone 15 B", "iPhone 15 D",
                              "iPhone 15 E", "iPhone 6 A", "Vision I"}));
        QVERIFY(result.at(0).isBooted);
        QVERIFY(!result.at(2).isBooted); // "booted" in small letters is not booted
        QVERIFY(!result.at(5).isBooted); // nor is a booting device
        const QStringList runtimes{result.at(1).runtime, result.at(7).runtime, result.at(8).runtime};
        QCOMPARE(runtimes, QStringList({"iOS 12.1", "iOS 9.3", "xrOS 1.1.2"}));
    }

    // Real outputs of many tool versions, read where the shared samples are present.
    void realSamplesDecode()
    {
        const QDir samples(QStringLiteral(LANTHORN_SAMPLES_DIR));
        if (!samples.exists())
            QSKIP("the shared samples folder is not present here");
        const QStringList files = samples.entryList({QStringLiteral("simctl-list*.json")}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &name : files) {
            QFile file(samples.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const auto listing = SimulatorListing::decode(file.readAll());
            QVERIFY2(listing.ok(), qPrintable(name + QLatin1String(": ") + listing.error()));
            const auto records = SimulatorListing::records(listing.value());
            QVERIFY2(!records.isEmpty(), qPrintable(name));
            for (const Simulator &s : records) {
                QVERIFY(!s.udid.isEmpty());
                QVERIFY2(!s.runtime.startsWith(QLatin1String("com.")), qPrintable(s.runtime));
            }
            for (qsizetype i = 1; i < records.size(); ++i)
                QVERIFY2(records[i - 1].isBooted || !records[i].isBooted, qPrintable(name));
        }
    }

    // The program's own listing, add-media and storage code against the simctl stand-in, and the
    // demo home it is shown with. First, the stand-in's devices have the keys every real device
    // has (Xcode 26), no key a real device lacks, and each key's JSON type.
    void listingLooksLikeTheRealTool()
    {
        QFile sample(QStringLiteral(LANTHORN_SAMPLES_DIR "/simctl-list-devices-Xcode26.4.1-rover.json"));
        if (!sample.open(QIODevice::ReadOnly))
            QSKIP("the real simctl samples are not on this machine");
        // Key to type over all devices, and the keys that every device has.
        const auto shapes = [](const QByteArray &json) {
            QMap<QString, QJsonValue::Type> types;
            std::optional<QSet<QString>> always;
            for (const auto &runtime : QJsonDocument::fromJson(json)[u"devices"].toObject())
                for (const auto &device : runtime.toArray()) {
                    const QJsonObject object = device.toObject();
                    for (auto it = object.begin(); it != object.end(); ++it)
                        types.insert(it.key(), it.value().type());
                    const QStringList keys = object.keys();
                    always = always ? *always & QSet<QString>(keys.begin(), keys.end())
                                    : QSet<QString>(keys.begin(), keys.end());
                }
            return std::pair(types, always.value_or(QSet<QString>()));
        };
        const auto [realTypes, realAlways] = shapes(sample.readAll());
        const StandIn &s = *m_standin;
        QVERIFY(s.boot(s.create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-18-1"_s)));
        QVERIFY(!s.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s).isEmpty());
        const auto [ourTypes, ourAlways] = shapes(s.simctl({u"list"_s, u"devices"_s, u"-j"_s}).out);
        QVERIFY(!realAlways.isEmpty());
        QVERIFY(ourAlways.contains(realAlways));
        for (auto it = ourTypes.begin(); it != ourTypes.end(); ++it)
            QVERIFY2(realTypes.value(it.key(), QJsonValue::Undefined) == it.value(), qPrintable(it.key()));
    }

    // The program's listing, storage locator and add media against the stand-in.
    void programRunsAgainstStandIn()
    {
        const StandIn &s = *m_standin;
        const QString watch =
            s.create(u"Apple Watch Series 9 (45mm)"_s, u"Apple-Watch-Series-9-45mm"_s, u"watchOS-10-2"_s);
        const QString pad =
            s.create(u"iPad Air (5th generation)"_s, u"iPad-Air-5th-generation"_s, u"iOS-18-1"_s);
        const QString phone = s.create(u"Café \"Test\" / Phone"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
        QVERIFY(s.boot(pad) && s.boot(phone));
        ScopedToolPath tool(s.tool());
        ScopedEnv home("HOME", QFile::encodeName(s.home()));

        const auto listed = Simulator::listAvailable();
        QVERIFY2(listed.ok(), qPrintable(listed.error()));
        QCOMPARE(listed.value(),
                 (QList<Simulator>{{phone, u"Café \"Test\" / Phone"_s, u"iOS 17.5"_s, true},
                                   {pad, u"iPad Air (5th generation)"_s, u"iOS 18.1"_s, true},
                                   {watch, u"Apple Watch Series 9 (45mm)"_s, u"watchOS 10.2"_s, false}}));

        // The Files storage exists once the Files app ran; a second launch keeps it and its content.
        QVERIFY(localStorageContainer(phone).isEmpty());
        QVERIFY(s.simctl({u"launch"_s, watch, u"com.apple.DocumentsApp"_s}).exitCode != 0); // shut down
        QCOMPARE(s.simctl({u"launch"_s, phone, u"com.apple.DocumentsApp"_s}).exitCode, 0);
        const QString container = localStorageContainer(phone);
        QVERIFY(!container.isEmpty());
        TempFolder draft;
        QVERIFY(draft.createFile(u"Report.txt"_s, "draft"));
        QVERIFY(QFile::copy(draft.path(u"Report.txt"_s), container + u"/File Provider Storage/Report.txt"_s));
        QCOMPARE(s.simctl({u"launch"_s, phone, u"com.apple.DocumentsApp"_s}).exitCode, 0);
        QCOMPARE(localStorageContainer(phone), container);
        QVERIFY(QFileInfo::exists(container + u"/File Provider Storage/Report.txt"_s));
        QVERIFY(localStorageContainer(pad).isEmpty());

        // Add media: the tool's own text reaches the user; a good batch lands in order in the camera roll.
        TempFolder inputs;
        QVERIFY(inputs.createFile(u"notes.txt"_s, "plain text") &&
                inputs.createFile(u"photo.jpg"_s, jpegBytes) &&
                inputs.createFile(u"no extension"_s, pngBytes));
        const Status rejected =
            Simulator::addMedia(phone, {QUrl::fromLocalFile(inputs.path(u"notes.txt"_s))});
        QCOMPARE(rejected.ok() ? QString() : rejected.error(), cocoaError);
        QVERIFY(s.cameraRollNames(phone).isEmpty());
        const Status added =
            Simulator::addMedia(phone, {inputs.url(u"photo.jpg"_s), inputs.url(u"no extension"_s)});
        QVERIFY2(added.ok(), qPrintable(added.error()));
        QCOMPARE(s.cameraRollNames(phone), (QStringList{u"IMG_0001.JPG"_s, u"IMG_0002.PNG"_s}));
    }

    // The demo home is built once; a folder that is not its own is never touched.
    void demoHome()
    {
        TempFolder parent;
        const QString home = parent.path(u"demo home"_s);
        const ToolRun first = runDemo(home);
        QVERIFY2(!first.crashed && first.exitCode == 0, first.err.constData());
        ScopedToolPath tool(m_standin->tool());
        ScopedEnv homeEnv("HOME", QFile::encodeName(home));
        const auto listed = Simulator::listAvailable();
        QVERIFY2(listed.ok(), qPrintable(listed.error()));
        QCOMPARE(listed.value().size(), 4);
        const auto storage = listed.value().first().filesStorageURL();
        QVERIFY(storage.has_value());
        QVERIFY(QFileInfo(storage->toLocalFile() + u"/Projects/Lanthorn/Notes"_s).isDir());
        const QDateTime built = QFileInfo(home + u"/.lanthorn-demo-complete"_s).lastModified();
        QCOMPARE(runDemo(home).exitCode, 0);
        QCOMPARE(QFileInfo(home + u"/.lanthorn-demo-complete"_s).lastModified(), built);

        TempFolder foreign;
        QVERIFY(foreign.createFile(u"Documents/thesis.txt"_s, "irreplaceable"));
        const ToolRun refused = runDemo(foreign.path());
        QVERIFY(!refused.crashed && refused.exitCode != 0 && !refused.errText().isEmpty());
        QCOMPARE(foreign.read(u"Documents/thesis.txt"_s), QByteArray("irreplaceable"));
        QVERIFY(!foreign.exists(u"Library"_s));
    }
};

QTEST_GUILESS_MAIN(TestToolRunner)
#include "tst_toolrunner.moc"
