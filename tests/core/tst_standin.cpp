// The program's own listing, add-media and storage code against the simctl stand-in, and the demo
// home it is shown with.
#include "simulator/simulator.h"
#include "support/faketool.h"
#include "support/standin.h"
#include "support/tempfolder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString localStorage = u"group.com.apple.FileProvider.LocalStorage"_s;
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

    // The stand-in's devices have the keys every real device has (Xcode 26), no key a real device
    // lacks, and each key's JSON type.
    void listingLooksLikeTheRealTool()
    {
        QFile sample(QStringLiteral(LANTHORN_SAMPLES_DIR "/simctl-list-devices-Xcode26.4.1-rover.json"));
        if (!sample.open(QIODevice::ReadOnly))
            QSKIP("the real simctl samples are not on this machine");
        // Key to type over all devices, and the keys that every device has.
        const auto shapes = [](const QByteArray &json) {
            QMap<QString, QJsonValue::Type> types;
            std::optional<QSet<QString>> always;
            for (const QJsonValue &runtime : QJsonDocument::fromJson(json)[u"devices"].toObject())
                for (const QJsonValue &device : runtime.toArray()) {
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

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_standin.moc"
