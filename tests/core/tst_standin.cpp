// The simctl stand-in must answer like the real tool over the CoreSimulator tree, and the
// program's own listing, add-media and storage code must work against it.
#include "simulator/simulator.h"
#include "support/faketool.h"
#include "support/standin.h"
#include "support/tempfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString localStorage = u"group.com.apple.FileProvider.LocalStorage"_s;
const QString cocoaError = u"An error was encountered processing the command (domain=NSCocoaErrorDomain, "
                           u"code=-1):\nThe operation couldn\u2019t be completed. (Cocoa error -1.)"_s;
const QByteArray jpegBytes =
    QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01", 13) + QByteArray(64, '\x11');
const QByteArray pngBytes = QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + QByteArray(64, '\x22');
const QByteArray movBytes = QByteArray("\x00\x00\x00\x14"
                                       "ftypqt  \x00\x00\x02\x00qt  ",
                                       20) +
                            QByteArray("\x00\x00\x00\x08wide", 8);

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

class TestStandIn : public QObject
{
    Q_OBJECT

    std::unique_ptr<StandIn> m_standin;

private slots:
    void init()
    {
        m_standin = std::make_unique<StandIn>(QStringLiteral(LANTHORN_STANDIN_PATH));
        QVERIFY(m_standin->isValid());
    }

    void deviceLifecycle()
    {
        const StandIn &s = *m_standin;
        const QString phone = s.create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
        const QString watch = s.create(u"Watch"_s, u"Apple-Watch-Series-9-45mm"_s, u"watchOS-10-2"_s);
        QVERIFY(!phone.isEmpty() && !watch.isEmpty() && phone != watch);
        QVERIFY(s.create(u"X"_s, u"iPhone-15"_s, u"watchOS-10-2"_s).isEmpty()); // phone on a watch runtime
        QCOMPARE(s.devicesByUdid().size(), 2);
        QCOMPARE(s.devicesByUdid()[phone][u"state"].toString(), u"Shutdown"_s);

        QVERIFY(s.boot(phone));
        QCOMPARE(s.devicesByUdid()[phone][u"state"].toString(), u"Booted"_s);
        QCOMPARE(s.devicesByUdid()[watch][u"state"].toString(), u"Shutdown"_s);
        QVERIFY(!s.boot(phone));
        QVERIFY(s.simctl({u"erase"_s, phone}).exitCode != 0); // not while booted
        QCOMPARE(s.simctl({u"shutdown"_s, u"booted"_s}).exitCode, 0);
        QCOMPARE(s.devicesByUdid()[phone][u"state"].toString(), u"Shutdown"_s);

        TempFolder note;
        QVERIFY(note.createFile(u"Documents/note.txt"_s, "x"));
        QVERIFY(QDir().rename(note.path(u"Documents"_s), s.dataPath(phone) + u"/Documents"_s));
        QCOMPARE(s.simctl({u"erase"_s, phone}).exitCode, 0);
        QVERIFY(QDir(s.dataPath(phone)).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

        // A device that does not exist, or a UDID that is a path, changes nothing.
        for (const QString &udid : {u"12345678-9ABC-4DEF-8123-456789ABCDEF"_s, u"../../.."_s, u""_s}) {
            for (const QString &command : {u"boot"_s, u"delete"_s, u"erase"_s}) {
                const ToolRun run = s.simctl({command, udid});
                QVERIFY2(!run.crashed && run.exitCode != 0 && !run.errText().isEmpty(),
                         qPrintable(command + udid));
            }
        }
        QCOMPARE(QDir(s.devicesRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);

        QCOMPARE(s.simctl({u"delete"_s, phone}).exitCode, 0);
        QCOMPARE(s.devicesByUdid().keys(), QList<QString>{watch});
    }

    // Broken device folders are skipped by the listing and left as found.
    void brokenDevicePlistsAreSkipped()
    {
        const StandIn &s = *m_standin;
        const QString good = s.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
        const QList<std::pair<QString, QByteArray>> broken = {
            {u"00000000-0000-4000-8000-000000000001"_s, QByteArray()},
            {u"00000000-0000-4000-8000-000000000002"_s, "this is not a property list"},
            {u"00000000-0000-4000-8000-000000000003"_s, QByteArray("bplist00\xD1\x01\x02\x55", 12)},
            {u"00000000-0000-4000-8000-000000000004"_s, QByteArray(2 * 1024 * 1024, '<')},
        };
        TempFolder root;
        for (const auto &[udid, bytes] : broken) {
            QVERIFY(root.createFile(udid + u"/device.plist"_s, bytes));
            QVERIFY(QDir().rename(root.path(udid), s.devicesRoot() + u'/' + udid));
        }
        QCOMPARE(s.devicesByUdid().keys(), QList<QString>{good});
        for (const auto &[udid, bytes] : broken) {
            QCOMPARE(s.simctl({u"boot"_s, udid}).exitCode, 148);
            QFile plist(s.devicesRoot() + u'/' + udid + u"/device.plist"_s);
            QVERIFY(plist.open(QIODevice::ReadOnly));
            QCOMPARE(plist.readAll(), bytes);
        }
    }

    void addMediaErrors_data()
    {
        QTest::addColumn<bool>("booted");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("message"); // %1 is the folder of inputs
        QTest::newRow("shut down") << false << QStringList{u"a.jpg"_s}
                                   << u"Unable to lookup in current state: Shutdown"_s;
        QTest::newRow("missing file last") << true << QStringList{u"a.jpg"_s, u"gone.jpg"_s}
                                           << u"lstat of %1/gone.jpg failed: No such file or directory"_s;
        QTest::newRow("text named like a photo, last")
            << true << QStringList{u"a.jpg"_s, u"fake.jpg"_s} << cocoaError;
        QTest::newRow("folder") << true << QStringList{u"folder.jpg"_s} << cocoaError;
    }

    // A failed batch is all or nothing.
    void addMediaErrors()
    {
        QFETCH(bool, booted);
        QFETCH(QStringList, files);
        QFETCH(QString, message);
        TempFolder inputs;
        QVERIFY(inputs.createFile(u"a.jpg"_s, jpegBytes) && inputs.createFile(u"fake.jpg"_s, "just text\n"));
        QVERIFY(inputs.createDir(u"folder.jpg"_s));
        const QString udid = m_standin->create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
        QVERIFY(!booted || m_standin->boot(udid));
        QStringList args{u"addmedia"_s, udid};
        for (const QString &name : files)
            args.append(inputs.path(name));
        const ToolRun run = m_standin->simctl(args);
        QVERIFY(!run.crashed && run.exitCode != 0);
        QCOMPARE(run.errText(), QString(message).replace(u"%1"_s, inputs.path()));
        QVERIFY(m_standin->cameraRollNames(udid).isEmpty());
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
        QVERIFY(QDir(s.dataPath(phone) + u"/Containers/Shared/AppGroup"_s).count() >= 4); // other groups too
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
                inputs.createFile(u"no extension"_s, pngBytes) && inputs.createFile(u"clip.mov"_s, movBytes));
        const Status rejected =
            Simulator::addMedia(phone, {QUrl::fromLocalFile(inputs.path(u"notes.txt"_s))});
        QCOMPARE(rejected.ok() ? QString() : rejected.error(), cocoaError);
        QVERIFY(s.cameraRollNames(phone).isEmpty());
        const Status added = Simulator::addMedia(
            phone, {inputs.url(u"photo.jpg"_s), inputs.url(u"no extension"_s), inputs.url(u"clip.mov"_s)});
        QVERIFY2(added.ok(), qPrintable(added.error()));
        QCOMPARE(s.cameraRollNames(phone),
                 (QStringList{u"IMG_0001.JPG"_s, u"IMG_0002.PNG"_s, u"IMG_0003.MOV"_s}));
    }

    // The demo home is built once; a folder that is not its own is never touched; a run that
    // stopped half-way is started afresh.
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

        TempFolder halfDone;
        QVERIFY(halfDone.createFile(u".lanthorn-demo-building"_s));
        QVERIFY(halfDone.createFile(u"Library/Developer/CoreSimulator/Devices/stray/data/x"_s, "x"));
        QCOMPARE(runDemo(halfDone.path()).exitCode, 0);
        QVERIFY(!halfDone.exists(u".lanthorn-demo-building"_s));
        QVERIFY(!halfDone.exists(u"Library/Developer/CoreSimulator/Devices/stray"_s));
    }
};

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_standin.moc"
