// The simctl stand-in must answer like the real tool over the CoreSimulator tree, and the
// program's own listing, add-media and storage code must work against it.

#include "simulator/simulator.h"
#include "support/faketool.h"
#include "support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

#include "plistcompat.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString standinPath = QStringLiteral(LANTHORN_STANDIN_PATH);
const QString samplesDir = QStringLiteral(LANTHORN_SAMPLES_DIR);
const QString runtimePrefix = u"com.apple.CoreSimulator.SimRuntime."_s;
const QString localStorage = u"group.com.apple.FileProvider.LocalStorage"_s;
const QString metadataName = u".com.apple.mobile_container_manager.metadata.plist"_s;
const QString cocoaError = u"An error was encountered processing the command (domain=NSCocoaErrorDomain, "
                           u"code=-1):\nThe operation couldn\u2019t be completed. (Cocoa error -1.)"_s;
const QStringList knownRuntimes = {u"iOS-17-2"_s, u"iOS-17-5"_s, u"iOS-18-1"_s, u"watchOS-10-2"_s};
const QSet<QString> deviceKeys = {u"dataPath"_s, u"dataPathSize"_s, u"logPath"_s, u"udid"_s,
                                  u"isAvailable"_s, u"deviceTypeIdentifier"_s, u"state"_s, u"name"_s};

// Leading bytes of the media formats the tool accepts; it only looks at the head of a file.
const QByteArray jpegBytes = QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01", 13) + QByteArray(64, '\x11');
const QByteArray pngBytes = QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + QByteArray(64, '\x22');
const QByteArray heicBytes = QByteArray("\x00\x00\x00\x18" "ftypheic\x00\x00\x00\x00mif1heic", 24);
const QByteArray movBytes = QByteArray("\x00\x00\x00\x14" "ftypqt  \x00\x00\x02\x00qt  ", 20)
                            + QByteArray("\x00\x00\x00\x08wide", 8);

struct Run
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
    QString errText() const { return QString::fromUtf8(err).trimmed(); }
};

struct PlistDeleter
{
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

PlistPtr parsePlist(const QByteArray &bytes)
{
    return PlistPtr(PlistCompat::parse(bytes.constData(), uint32_t(bytes.size())));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString plistString(plist_t dict, const char *key)
{
    plist_t node = dict ? plist_dict_get_item(dict, key) : nullptr;
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return QString();
    uint64_t length = 0;
    const char *data = plist_get_string_ptr(node, &length);
    return QString::fromUtf8(data, qsizetype(length));
}

std::optional<quint64> plistUInt(plist_t dict, const char *key)
{
    plist_t node = dict ? plist_dict_get_item(dict, key) : nullptr;
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return value;
}

// A binary property list holding one flat dictionary of ASCII strings and small integers, written
// by hand so that a string can carry a NUL byte (libplist cannot make one).
QByteArray binaryDict(const QList<std::pair<QByteArray, QVariant>> &members)
{
    auto asciiObject = [](const QByteArray &bytes) -> QByteArray {
        QByteArray head = bytes.size() < 15 ? QByteArray(1, char(0x50 | bytes.size()))
                                            : QByteArray("\x5F\x10", 2) + char(bytes.size());
        return head + bytes;
    };
    QList<QByteArray> objects;
    QByteArray dict(1, char(0xD0 | members.size()));
    for (qsizetype i = 0; i < members.size(); ++i)
        dict += char(1 + i);
    for (qsizetype i = 0; i < members.size(); ++i)
        dict += char(1 + members.size() + i);
    objects.append(dict);
    for (const auto &member : members)
        objects.append(asciiObject(member.first));
    for (const auto &member : members) {
        if (member.second.typeId() == QMetaType::Int)
            objects.append(QByteArray("\x10", 1) + char(member.second.toInt()));
        else
            objects.append(asciiObject(member.second.toByteArray()));
    }
    QByteArray out = "bplist00";
    QList<int> offsets;
    for (const QByteArray &object : objects) {
        offsets.append(int(out.size()));
        out += object;
    }
    const int table = int(out.size());
    for (int offset : offsets)
        out += char(offset >> 8) + QByteArray(1, char(offset & 0xFF));
    QByteArray trailer(32, '\0');
    trailer[6] = 2; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = char(objects.size());
    trailer[30] = char(table >> 8);
    trailer[31] = char(table & 0xFF);
    return out + trailer;
}

QString demoToolPath()
{
    return QStringLiteral(LANTHORN_DEMO_PATH);
}

Run runDemo(const QString &home)
{
    QProcess process;
    process.start(demoToolPath(), {home, standinPath});
    Run result;
    if (!process.waitForStarted(10'000) || !process.waitForFinished(120'000)) {
        process.kill();
        process.waitForFinished(5'000);
        result.crashed = true;
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (result.crashed)
        result.err.prepend(process.errorString().toUtf8() + '\n');
    return result;
}

bool isUppercaseUuid(const QString &text)
{
    static const QRegularExpression pattern(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
    return pattern.match(text).hasMatch();
}

// One stand-in with its own temporary HOME.
class StandIn
{
public:
    bool isValid() const { return m_home.isValid() && QFileInfo(standinPath).isExecutable(); }
    QString home() const { return m_home.path(); }
    QString devicesRoot() const { return home() + u"/Library/Developer/CoreSimulator/Devices"; }
    QString deviceFolder(const QString &udid) const { return devicesRoot() + u'/' + udid; }
    QString dataPath(const QString &udid) const { return deviceFolder(udid) + u"/data"; }
    QString appGroupRoot(const QString &udid) const { return dataPath(udid) + u"/Containers/Shared/AppGroup"; }
    QString cameraRoll(const QString &udid) const { return dataPath(udid) + u"/Media/DCIM/100APPLE"; }

    Run run(const QStringList &args, bool withSimctl = true) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home());
        process.setProcessEnvironment(env);
        process.start(standinPath, withSimctl ? QStringList{u"simctl"_s} + args : args);
        Run result;
        if (!process.waitForStarted(10'000) || !process.waitForFinished(30'000)) {
            process.kill();
            process.waitForFinished(5'000);
            result.crashed = true;
            return result;
        }
        result.crashed = process.exitStatus() != QProcess::NormalExit;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    QString create(const QString &name, const QString &type, const QString &runtime) const
    {
        const Run r = run({u"create"_s, name, type, runtime});
        return r.exitCode == 0 ? QString::fromUtf8(r.out).trimmed() : QString();
    }

    bool boot(const QString &udid) const { return run({u"boot"_s, udid}).exitCode == 0; }

    QJsonObject listDevices(const QStringList &args = {u"list"_s, u"devices"_s, u"-j"_s}) const
    {
        const Run r = run(args);
        return QJsonDocument::fromJson(r.out).object().value(u"devices").toObject();
    }

    // udid -> device object of the listing.
    QHash<QString, QJsonObject> devicesByUdid() const
    {
        QHash<QString, QJsonObject> result;
        const QJsonObject groups = listDevices();
        for (auto it = groups.begin(); it != groups.end(); ++it) {
            for (const QJsonValue &value : it.value().toArray())
                result.insert(value[u"udid"].toString(), value.toObject());
        }
        return result;
    }

    PlistPtr devicePlist(const QString &udid) const { return parsePlist(readFile(deviceFolder(udid) + u"/device.plist")); }

    // Container folder -> its metadata identifier, for every container with readable metadata.
    QHash<QString, QString> appGroups(const QString &udid) const
    {
        QHash<QString, QString> result;
        const QDir root(appGroupRoot(udid));
        for (const QString &entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const PlistPtr metadata = parsePlist(readFile(root.filePath(entry) + u'/' + metadataName));
            result.insert(entry, plistString(metadata.get(), "MCMMetadataIdentifier"));
        }
        return result;
    }

    QStringList cameraRollNames(const QString &udid) const
    {
        return QDir(cameraRoll(udid)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private:
    QTemporaryDir m_home;
};

QSet<QString> keySet(const QJsonObject &object)
{
    const QStringList keys = object.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

#define REQUIRE_STANDIN(standin)                                                                          \
    do {                                                                                                  \
        if (!(standin).isValid())                                                                         \
            QFAIL(qPrintable(u"no temporary HOME or no stand-in at "_s + standinPath));                  \
    } while (false)

} // namespace

class TestStandIn : public QObject
{
    Q_OBJECT

private slots:
    void deviceLifecycle();
    void createRejectsBadArguments();
    void listKeepsEveryRuntimeAndRealKeys();
    void listMatchesRealSampleKeys();
    void unknownDeviceIsRejected_data();
    void unknownDeviceIsRejected();
    void usageErrors_data();
    void usageErrors();
    void launchCreatesOneLocalStorageContainer();
    void launchNeedsBootedDeviceAndKnownApp();
    void addMediaErrors_data();
    void addMediaErrors();
    void addMediaCopiesIntoCameraRoll();
    void brokenDevicePlistsAreSkipped();
    void nulInsideDevicePlistString();
    void programDecodesStandInListing();
    void programRunsAgainstStandIn();
    void demoHomeIsBuiltOnce();
    void demoRefusesForeignFolderAndResumes();
};

void TestStandIn::deviceLifecycle()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);

    const QString phone = standin.create(u"iPhone 15 Pro"_s, u"com.apple.CoreSimulator.SimDeviceType.iPhone-15-Pro"_s,
                                         runtimePrefix + u"iOS-17-5");
    const QString watch = standin.create(u"Apple Watch Series 9 (45mm)"_s, u"Apple-Watch-Series-9-45mm"_s,
                                         u"watchOS-10-2"_s);
    QVERIFY2(isUppercaseUuid(phone), qPrintable(phone));
    QVERIFY2(isUppercaseUuid(watch), qPrintable(watch));
    QVERIFY(phone != watch);
    QVERIFY(QFileInfo(standin.dataPath(phone)).isDir());

    {
        const PlistPtr plist = standin.devicePlist(phone);
        QVERIFY(plist);
        QVERIFY(readFile(standin.deviceFolder(phone) + u"/device.plist").startsWith("<?xml"));
        QCOMPARE(plistString(plist.get(), "UDID"), phone);
        QCOMPARE(plistString(plist.get(), "name"), u"iPhone 15 Pro"_s);
        QCOMPARE(plistString(plist.get(), "runtime"), runtimePrefix + u"iOS-17-5");
        QCOMPARE(plistString(plist.get(), "deviceType"), u"com.apple.CoreSimulator.SimDeviceType.iPhone-15-Pro"_s);
        QCOMPARE(plistUInt(plist.get(), "state").value_or(999), quint64(1));
    }
    auto devices = standin.devicesByUdid();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[phone][u"state"].toString(), u"Shutdown"_s);
    QCOMPARE(standin.listDevices()[runtimePrefix + u"watchOS-10-2"].toArray().size(), 1);

    // boot / shutdown, including the wrong-state errors
    QCOMPARE(standin.run({u"boot"_s, phone}).exitCode, 0);
    QCOMPARE(plistUInt(standin.devicePlist(phone).get(), "state").value_or(999), quint64(3));
    QCOMPARE(standin.devicesByUdid()[phone][u"state"].toString(), u"Booted"_s);
    QCOMPARE(standin.devicesByUdid()[watch][u"state"].toString(), u"Shutdown"_s);

    Run again = standin.run({u"boot"_s, phone});
    QCOMPARE(again.exitCode, 149);
    QCOMPARE(again.errText(), u"Unable to boot device in current state: Booted"_s);

    Run eraseBooted = standin.run({u"erase"_s, phone});
    QCOMPARE(eraseBooted.exitCode, 149);
    QVERIFY2(eraseBooted.errText().endsWith(u"in current state: Booted"), eraseBooted.err.constData());

    QCOMPARE(standin.run({u"shutdown"_s, phone}).exitCode, 0);
    QCOMPARE(plistUInt(standin.devicePlist(phone).get(), "state").value_or(999), quint64(1));
    Run shutdownAgain = standin.run({u"shutdown"_s, phone});
    QCOMPARE(shutdownAgain.exitCode, 149);
    QCOMPARE(shutdownAgain.errText(), u"Unable to shutdown device in current state: Shutdown"_s);

    // lower-case UDIDs name the same device, as with the real tool
    QCOMPARE(standin.run({u"boot"_s, phone.toLower()}).exitCode, 0);
    QCOMPARE(standin.run({u"shutdown"_s, u"booted"_s}).exitCode, 0);
    QCOMPARE(standin.devicesByUdid()[phone][u"state"].toString(), u"Shutdown"_s);

    // erase wipes data/ but keeps the device
    QVERIFY(writeFile(standin.dataPath(phone) + u"/Documents/note.txt", "keep?"));
    QCOMPARE(standin.run({u"erase"_s, phone}).exitCode, 0);
    QVERIFY(QFileInfo(standin.dataPath(phone)).isDir());
    QVERIFY(QDir(standin.dataPath(phone)).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QCOMPARE(plistString(standin.devicePlist(phone).get(), "name"), u"iPhone 15 Pro"_s);

    // delete removes exactly that device
    QCOMPARE(standin.run({u"delete"_s, phone}).exitCode, 0);
    QVERIFY(!QFileInfo::exists(standin.deviceFolder(phone)));
    devices = standin.devicesByUdid();
    QCOMPARE(devices.keys(), QList<QString>{watch});
    Run deleteAgain = standin.run({u"delete"_s, phone});
    QCOMPARE(deleteAgain.exitCode, 148);
    QCOMPARE(deleteAgain.errText(), u"Invalid device: "_s + phone);
}

void TestStandIn::createRejectsBadArguments()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QList<QStringList> bad = {
        {u"create"_s, u"X"_s, u"iPhone-15"_s, u"iOS-99-0"_s},          // runtime not installed
        {u"create"_s, u"X"_s, u"Toaster-1"_s, u"iOS-17-5"_s},          // unknown device type
        {u"create"_s, u"X"_s, u"iPhone-15"_s, u"watchOS-10-2"_s},      // phone on a watch runtime
        {u"create"_s, u"X"_s},                                         // too few arguments
        {u"create"_s, u""_s, u"iPhone-15"_s, u"iOS-17-5"_s},           // empty name
    };
    for (const QStringList &args : bad) {
        const Run r = standin.run(args);
        QVERIFY2(!r.crashed && r.exitCode != 0, qPrintable(args.join(u' ')));
        QVERIFY2(!r.err.trimmed().isEmpty(), qPrintable(args.join(u' ')));
        QVERIFY(r.out.isEmpty());
    }
    QVERIFY(QDir(standin.devicesRoot()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
}

void TestStandIn::listKeepsEveryRuntimeAndRealKeys()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString udid = standin.create(u"iPhone 15"_s, u"iPhone 15"_s, u"iOS 17.5"_s);
    QVERIFY(!udid.isEmpty());
    QVERIFY(standin.boot(udid));

    const Run r = standin.run({u"list"_s, u"devices"_s, u"available"_s, u"-j"_s});
    QCOMPARE(r.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(r.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    // Pretty-printed like the real tool, slashes escaped.
    QVERIFY(r.out.startsWith("{\n  \"devices\" : {\n"));
    QVERIFY(r.out.contains("\\/Library\\/Developer\\/CoreSimulator\\/Devices\\/"));

    const QJsonObject groups = document.object()[u"devices"].toObject();
    for (const QString &runtime : knownRuntimes) {
        QVERIFY2(groups.contains(runtimePrefix + runtime), qPrintable(runtime));
        QVERIFY(groups[runtimePrefix + runtime].isArray());
    }
    QCOMPARE(groups[runtimePrefix + u"iOS-17-2"].toArray().size(), 0);
    const QJsonArray used = groups[runtimePrefix + u"iOS-17-5"].toArray();
    QCOMPARE(used.size(), 1);
    const QJsonObject device = used[0].toObject();
    for (const QString &key : deviceKeys)
        QVERIFY2(device.contains(key), qPrintable(key));
    QCOMPARE(device[u"udid"].toString(), udid);
    QCOMPARE(device[u"name"].toString(), u"iPhone 15"_s);
    QCOMPARE(device[u"state"].toString(), u"Booted"_s);
    QCOMPARE(device[u"isAvailable"].toBool(), true);
    QCOMPARE(device[u"deviceTypeIdentifier"].toString(), u"com.apple.CoreSimulator.SimDeviceType.iPhone-15"_s);
    QCOMPARE(device[u"dataPath"].toString(), standin.dataPath(udid));
    QVERIFY(device[u"dataPathSize"].isDouble());

    // Every spelling of the same request gives the same document.
    const QJsonObject reordered = standin.listDevices({u"list"_s, u"-j"_s, u"devices"_s});
    QCOMPARE(reordered[runtimePrefix + u"iOS-17-5"].toArray()[0].toObject()[u"udid"].toString(), udid);
    QCOMPARE(keySet(reordered), keySet(groups));

    // A device on a runtime outside the table still lists, under its own key.
    const QString tv = u"0A0B0C0D-0000-4000-8000-000000000001"_s;
    QVERIFY(writeFile(standin.deviceFolder(tv) + u"/device.plist",
                      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                      "<key>UDID</key><string>0A0B0C0D-0000-4000-8000-000000000001</string>"
                      "<key>deviceType</key><string>com.apple.CoreSimulator.SimDeviceType.Apple-TV-4K</string>"
                      "<key>name</key><string>Apple TV</string>"
                      "<key>runtime</key><string>com.apple.CoreSimulator.SimRuntime.tvOS-17-2</string>"
                      "<key>state</key><integer>1</integer></dict></plist>"));
    const QJsonObject withTv = standin.listDevices();
    QCOMPARE(withTv[runtimePrefix + u"tvOS-17-2"].toArray()[0].toObject()[u"name"].toString(), u"Apple TV"_s);
    QVERIFY(withTv.contains(runtimePrefix + u"iOS-17-2"));
}

void TestStandIn::listMatchesRealSampleKeys()
{
    const QString samplePath = samplesDir + u"/simctl-list-devices-Xcode26.4.1-rover.json";
    if (!QFileInfo::exists(samplePath))
        QSKIP("the real simctl samples are not on this machine");
    const QJsonObject sample = QJsonDocument::fromJson(readFile(samplePath)).object()[u"devices"].toObject();
    QVERIFY(!sample.isEmpty());

    // Keys every real device has, keys some have, and each key's JSON type.
    QSet<QString> always, sometimes;
    QHash<QString, QJsonValue::Type> types;
    bool first = true;
    for (const QJsonValue &group : sample) {
        for (const QJsonValue &value : group.toArray()) {
            const QJsonObject object = value.toObject();
            const QSet<QString> keys = keySet(object);
            always = first ? keys : always & keys;
            sometimes |= keys;
            first = false;
            for (auto it = object.begin(); it != object.end(); ++it)
                types.insert(it.key(), it.value().type());
        }
    }
    QCOMPARE(always, deviceKeys);

    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString booted = standin.create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-18-1"_s);
    const QString shutdown = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    QVERIFY(standin.boot(booted));
    const auto devices = standin.devicesByUdid();
    QCOMPARE(devices.size(), 2);
    for (const QString &udid : {booted, shutdown}) {
        const QJsonObject device = devices[udid];
        const QSet<QString> keys = keySet(device);
        QVERIFY2(keys.contains(always), qPrintable(udid));
        QVERIFY2(sometimes.contains(keys), qPrintable(QStringList((keys - sometimes).values()).join(u", ")));
        for (auto it = device.begin(); it != device.end(); ++it)
            QCOMPARE(it.value().type(), types.value(it.key()));
    }
}

void TestStandIn::unknownDeviceIsRejected_data()
{
    QTest::addColumn<QStringList>("args");
    const QString unknown = u"12345678-9ABC-4DEF-8123-456789ABCDEF"_s;
    for (const QString &device : {unknown, u"not-a-udid"_s, u"../../.."_s, u""_s}) {
        const QByteArray tag = device.isEmpty() ? "empty" : device.toUtf8();
        QTest::addRow("boot %s", tag.constData()) << QStringList{u"boot"_s, device};
        QTest::addRow("shutdown %s", tag.constData()) << QStringList{u"shutdown"_s, device};
        QTest::addRow("erase %s", tag.constData()) << QStringList{u"erase"_s, device};
        QTest::addRow("delete %s", tag.constData()) << QStringList{u"delete"_s, device};
        QTest::addRow("launch %s", tag.constData())
            << QStringList{u"launch"_s, device, u"com.apple.DocumentsApp"_s};
        QTest::addRow("addmedia %s", tag.constData()) << QStringList{u"addmedia"_s, device, standinPath};
    }
}

void TestStandIn::unknownDeviceIsRejected()
{
    QFETCH(QStringList, args);
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString existing = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    QVERIFY(standin.boot(existing));

    const Run r = standin.run(args);
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, 148);
    QCOMPARE(r.errText(), QString(u"Invalid device: "_s + args[1]).trimmed());
    QVERIFY(r.out.isEmpty());
    // Nothing was made or removed on the way.
    QCOMPARE(QDir(standin.devicesRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{existing});
    QCOMPARE(standin.devicesByUdid()[existing][u"state"].toString(), u"Booted"_s);
}

void TestStandIn::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withSimctl");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText"); // exact, or empty for "some text"

    QTest::newRow("unknown subcommand") << QStringList{u"nonsense"_s} << true << 1
                                        << u"Unrecognized subcommand: nonsense"_s;
    QTest::newRow("no subcommand") << QStringList{} << true << 64 << QString();
    QTest::newRow("not simctl") << QStringList{u"clang"_s} << false << 1 << QString();
    QTest::newRow("nothing at all") << QStringList{} << false << 1 << QString();
    QTest::newRow("boot without device") << QStringList{u"boot"_s} << true << 64 << QString();
    QTest::newRow("addmedia without files") << QStringList{u"addmedia"_s, u"booted"_s} << true << 64 << QString();
    QTest::newRow("launch without app") << QStringList{u"launch"_s, u"booted"_s} << true << 64 << QString();
    QTest::newRow("list with unknown option") << QStringList{u"list"_s, u"--frobnicate"_s} << true << 64
                                              << QString();
}

void TestStandIn::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(bool, withSimctl);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    StandIn standin;
    REQUIRE_STANDIN(standin);

    const Run r = standin.run(args, withSimctl);
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, exitCode);
    if (stderrText.isEmpty())
        QVERIFY(!r.errText().isEmpty() || r.out.contains("usage: simctl"));
    else
        QCOMPARE(r.errText(), stderrText);
    if (args.value(0) == u"nonsense")
        QVERIFY(r.out.contains("usage: simctl"));
}

void TestStandIn::launchCreatesOneLocalStorageContainer()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString udid = standin.create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
    QVERIFY(standin.boot(udid));
    QVERIFY(!standin.appGroups(udid).values().contains(localStorage));

    const Run first = standin.run({u"launch"_s, udid, u"com.apple.DocumentsApp"_s});
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(QRegularExpression(u"^com\\.apple\\.DocumentsApp: [1-9][0-9]*\\n$"_s)
                 .match(QString::fromUtf8(first.out))
                 .hasMatch(),
             first.out.constData());

    const auto groups = standin.appGroups(udid);
    QCOMPARE(groups.values().count(localStorage), 1);
    // Other groups are there too, so a scanner has to read the metadata to choose.
    QVERIFY(groups.size() >= 2);
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        QVERIFY2(isUppercaseUuid(it.key()), qPrintable(it.key()));
        QVERIFY2(it.value().startsWith(u"group."), qPrintable(it.key()));
    }

    const QString container = groups.key(localStorage);
    const QString folder = standin.appGroupRoot(udid) + u'/' + container;
    const QByteArray metadataBytes = readFile(folder + u'/' + metadataName);
    QVERIFY(metadataBytes.startsWith("bplist00"));
    const PlistPtr metadata = parsePlist(metadataBytes);
    QVERIFY(metadata);
    QCOMPARE(plist_get_node_type(metadata.get()), PLIST_DICT);
    QCOMPARE(plistString(metadata.get(), "MCMMetadataIdentifier"), localStorage);
    QCOMPARE(plistUInt(metadata.get(), "MCMMetadataContentClass").value_or(999), quint64(7));
    QVERIFY(isUppercaseUuid(plistString(metadata.get(), "MCMMetadataUUID")));
    const QDir storage(folder + u"/File Provider Storage");
    QVERIFY(storage.exists());
    QVERIFY(storage.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    // A second launch keeps the container and whatever the user put in it.
    QVERIFY(writeFile(storage.filePath(u"Report.txt"_s), "draft"));
    QCOMPARE(standin.run({u"launch"_s, udid, u"com.apple.DocumentsApp"_s}).exitCode, 0);
    const auto after = standin.appGroups(udid);
    QCOMPARE(after, groups);
    QCOMPARE(readFile(storage.filePath(u"Report.txt"_s)), QByteArray("draft"));
}

void TestStandIn::launchNeedsBootedDeviceAndKnownApp()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString phone = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    const QString watch = standin.create(u"Watch"_s, u"Apple-Watch-Series-9-45mm"_s, u"watchOS-10-2"_s);

    const Run shutdown = standin.run({u"launch"_s, phone, u"com.apple.DocumentsApp"_s});
    QCOMPARE(shutdown.exitCode, 149);
    QCOMPARE(shutdown.errText(), u"Unable to lookup in current state: Shutdown"_s);
    QVERIFY(!QFileInfo::exists(standin.appGroupRoot(phone)));

    QVERIFY(standin.boot(phone));
    QVERIFY(standin.boot(watch));
    for (const auto &[udid, app] : {std::pair{phone, u"com.example.nope"_s},
                                    std::pair{watch, u"com.apple.DocumentsApp"_s}}) {
        const Run r = standin.run({u"launch"_s, udid, app});
        QVERIFY(!r.crashed);
        QVERIFY(r.exitCode != 0);
        QVERIFY2(r.errText().contains(app), r.err.constData());
        QVERIFY(!standin.appGroups(udid).values().contains(localStorage));
    }
}

void TestStandIn::addMediaErrors_data()
{
    QTest::addColumn<QString>("device");  // "booted", "shutdown" or "unknown"
    QTest::addColumn<QStringList>("files"); // names in the test's folder of inputs
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // %1 is the folder of inputs

    QTest::newRow("unknown device") << u"unknown"_s << QStringList{u"a.jpg"_s} << 148
                                    << u"Invalid device: 11111111-2222-4333-8444-555555555555"_s;
    QTest::newRow("shut down") << u"shutdown"_s << QStringList{u"a.jpg"_s} << 149
                               << u"Unable to lookup in current state: Shutdown"_s;
    QTest::newRow("missing file") << u"booted"_s << QStringList{u"gone.jpg"_s} << 2
                                  << u"lstat of %1/gone.jpg failed: No such file or directory"_s;
    QTest::newRow("text named like a photo") << u"booted"_s << QStringList{u"fake.jpg"_s} << 1 << cocoaError;
    QTest::newRow("pdf") << u"booted"_s << QStringList{u"doc.pdf"_s} << 1 << cocoaError;
    QTest::newRow("audio in an mp4 box") << u"booted"_s << QStringList{u"song.m4a"_s} << 1 << cocoaError;
    QTest::newRow("empty file") << u"booted"_s << QStringList{u"empty.png"_s} << 1 << cocoaError;
    QTest::newRow("folder") << u"booted"_s << QStringList{u"folder.jpg"_s} << 1 << cocoaError;
    QTest::newRow("bad file last in batch") << u"booted"_s << QStringList{u"a.jpg"_s, u"b.png"_s, u"fake.jpg"_s}
                                            << 1 << cocoaError;
    QTest::newRow("missing file last in batch") << u"booted"_s << QStringList{u"a.jpg"_s, u"gone.jpg"_s} << 2
                                                << u"lstat of %1/gone.jpg failed: No such file or directory"_s;
}

void TestStandIn::addMediaErrors()
{
    QFETCH(QString, device);
    QFETCH(QStringList, files);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    StandIn standin;
    REQUIRE_STANDIN(standin);
    TempFolder inputs;
    QVERIFY(inputs.isValid());
    QVERIFY(inputs.createFile(u"a.jpg"_s, jpegBytes));
    QVERIFY(inputs.createFile(u"b.png"_s, pngBytes));
    QVERIFY(inputs.createFile(u"fake.jpg"_s, "just some text, not a JPEG\n"));
    QVERIFY(inputs.createFile(u"doc.pdf"_s, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"));
    QVERIFY(inputs.createFile(u"song.m4a"_s, QByteArray("\x00\x00\x00\x1C" "ftypM4A \x00\x00\x00\x00", 16)));
    QVERIFY(inputs.createFile(u"empty.png"_s));
    QVERIFY(inputs.createDir(u"folder.jpg"_s));

    const QString booted = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    const QString off = standin.create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
    QVERIFY(standin.boot(booted));
    const QString target = device == u"booted" ? booted
                           : device == u"shutdown" ? off
                                                   : u"11111111-2222-4333-8444-555555555555"_s;

    QStringList args{u"addmedia"_s, target};
    for (const QString &name : files)
        args.append(inputs.path(name));
    const Run r = standin.run(args);
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.errText(), QString(message).replace(u"%1"_s, inputs.path()));
    // All or nothing: no file of a failed batch reached any camera roll.
    QVERIFY(standin.cameraRollNames(booted).isEmpty());
    QVERIFY(standin.cameraRollNames(off).isEmpty());
}

void TestStandIn::addMediaCopiesIntoCameraRoll()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    TempFolder inputs;
    QVERIFY(inputs.isValid());
    const QList<std::pair<QString, QByteArray>> first = {
        {u"holiday photo.jpeg"_s, jpegBytes},
        {u"it's \"quoted\".png"_s, pngBytes},
        {u"burst.heic"_s, heicBytes},
        {u"clip.mov"_s, movBytes},
        {u"no extension"_s, pngBytes},
    };
    for (const auto &[name, bytes] : first)
        QVERIFY(inputs.createFile(name, bytes));
    const QString udid = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    QVERIFY(standin.boot(udid));

    QStringList args{u"addmedia"_s, udid};
    for (const auto &[name, bytes] : first)
        args.append(inputs.path(name));
    const Run r = standin.run(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    const QStringList expected = {u"IMG_0001.JPEG"_s, u"IMG_0002.PNG"_s, u"IMG_0003.HEIC"_s, u"IMG_0004.MOV"_s,
                                  u"IMG_0005.PNG"_s};
    QCOMPARE(standin.cameraRollNames(udid), expected);
    for (qsizetype i = 0; i < first.size(); ++i)
        QCOMPARE(readFile(standin.cameraRoll(udid) + u'/' + expected[i]), first[i].second);

    // Numbering continues after what is there, also after a gap someone left.
    QVERIFY(QFile::remove(standin.cameraRoll(udid) + u"/IMG_0002.PNG"));
    QVERIFY(inputs.createFile(u"again.JPG"_s, jpegBytes));
    QCOMPARE(standin.run({u"addmedia"_s, udid, inputs.path(u"again.JPG"_s), inputs.path(u"again.JPG"_s)}).exitCode,
             0);
    QCOMPARE(standin.cameraRollNames(udid),
             (QStringList{u"IMG_0001.JPEG"_s, u"IMG_0003.HEIC"_s, u"IMG_0004.MOV"_s, u"IMG_0005.PNG"_s,
                          u"IMG_0006.JPG"_s, u"IMG_0007.JPG"_s}));
    // The sources are untouched.
    QCOMPARE(readFile(inputs.path(u"holiday photo.jpeg"_s)), jpegBytes);
}

void TestStandIn::brokenDevicePlistsAreSkipped()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString good = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    QVERIFY(!good.isEmpty());

    auto xml = [](const QByteArray &udid, const QByteArray &name, const QByteArray &state) -> QByteArray {
        return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>UDID</key><string>" + udid
               + "</string><key>deviceType</key><string>com.apple.CoreSimulator.SimDeviceType.iPhone-15</string>"
                 "<key>name</key><string>"
               + name + "</string><key>runtime</key><string>com.apple.CoreSimulator.SimRuntime.iOS-17-5</string>"
               + state + "</dict></plist>";
    };
    const QList<std::pair<QString, QByteArray>> broken = {
        {u"00000000-0000-4000-8000-000000000001"_s, QByteArray()},
        {u"00000000-0000-4000-8000-000000000002"_s, "this is not a property list"},
        {u"00000000-0000-4000-8000-000000000003"_s, QByteArray("bplist00\xD1\x01\x02\x55", 12)},
        {u"00000000-0000-4000-8000-000000000004"_s,
         xml("00000000-0000-4000-8000-000000000004", "No state", "")},
        {u"00000000-0000-4000-8000-000000000005"_s,
         xml("00000000-0000-4000-8000-000000000005", "String state", "<key>state</key><string>3</string>")},
        {u"00000000-0000-4000-8000-000000000006"_s,
         xml("99999999-0000-4000-8000-000000000006", "Other UDID", "<key>state</key><integer>1</integer>")},
        {u"00000000-0000-4000-8000-000000000007"_s,
         xml("00000000-0000-4000-8000-000000000007", "Bad &#0; name", "<key>state</key><integer>1</integer>")},
        {u"00000000-0000-4000-8000-000000000008"_s, "<plist><array>" + QByteArray(50'000, 'x') + "<array>"},
        {u"00000000-0000-4000-8000-000000000009"_s, QByteArray(2 * 1024 * 1024, '<')},
        {u"00000000-0000-4000-8000-00000000000A"_s,
         xml("00000000-0000-4000-8000-00000000000A", "Odd state", "<key>state</key><integer>77</integer>")},
        {u"00000000-0000-4000-8000-00000000000B"_s, "<?xml version=\"1.0\"?><plist><string>x</string></plist>"},
    };
    for (const auto &[udid, bytes] : broken)
        QVERIFY(writeFile(standin.deviceFolder(udid) + u"/device.plist", bytes));
    QVERIFY(QDir().mkpath(standin.deviceFolder(u"00000000-0000-4000-8000-00000000000C"_s) + u"/device.plist"));
    QVERIFY(QDir().mkpath(standin.devicesRoot() + u"/not a device"));
    QVERIFY(writeFile(standin.devicesRoot() + u"/device_set.plist", "stray"));

    for (const QStringList &args : {QStringList{u"list"_s, u"devices"_s, u"-j"_s},
                                    QStringList{u"list"_s, u"devices"_s, u"available"_s, u"-j"_s},
                                    QStringList{u"list"_s}}) {
        const Run r = standin.run(args);
        QVERIFY2(!r.crashed && r.exitCode == 0, qPrintable(args.join(u' ')));
    }
    QCOMPARE(standin.devicesByUdid().keys(), QList<QString>{good});

    for (const auto &[udid, bytes] : broken) {
        const Run r = standin.run({u"boot"_s, udid});
        QVERIFY(!r.crashed);
        QCOMPARE(r.exitCode, 148);
        QCOMPARE(readFile(standin.deviceFolder(udid) + u"/device.plist"), bytes); // left as found
    }
}

void TestStandIn::nulInsideDevicePlistString()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString udid = u"0D0D0D0D-0000-4000-8000-000000000001"_s;
    const QByteArray name("Nul\0Phone", 9);
    const QByteArray plist = binaryDict({{"UDID", udid.toUtf8()},
                                         {"deviceType", "com.apple.CoreSimulator.SimDeviceType.iPhone-15"},
                                         {"name", name},
                                         {"runtime", "com.apple.CoreSimulator.SimRuntime.iOS-17-5"},
                                         {"state", 3}});
    QVERIFY(parsePlist(plist)); // the fixture itself is a valid property list
    QVERIFY(writeFile(standin.deviceFolder(udid) + u"/device.plist", plist));

    const Run r = standin.run({u"list"_s, u"devices"_s, u"-j"_s});
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, 0);
    const QJsonObject device = standin.devicesByUdid().value(udid);
    // libplist stops such a string at the NUL; what matters is that nothing aborts.
    QVERIFY2(device[u"name"].toString().startsWith(u"Nul"), qPrintable(device[u"name"].toString()));
    QCOMPARE(device[u"state"].toString(), u"Booted"_s);
    QCOMPARE(standin.run({u"shutdown"_s, udid}).exitCode, 0);
    QCOMPARE(standin.devicesByUdid().value(udid)[u"state"].toString(), u"Shutdown"_s);
}

void TestStandIn::programDecodesStandInListing()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    const QString watch = standin.create(u"Apple Watch Series 9 (45mm)"_s, u"Apple-Watch-Series-9-45mm"_s,
                                         u"watchOS-10-2"_s);
    const QString pad = standin.create(u"iPad Air (5th generation)"_s, u"iPad-Air-5th-generation"_s, u"iOS-18-1"_s);
    const QString phone = standin.create(u"iPhone 15"_s, u"iPhone-15"_s, u"iOS-17-5"_s);
    const QString quoted = standin.create(u"Café \"Test\" / Phone"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
    QVERIFY(standin.boot(pad));

    const Run r = standin.run({u"list"_s, u"devices"_s, u"available"_s, u"-j"_s});
    QCOMPARE(r.exitCode, 0);
    const auto decoded = SimulatorListing::decode(r.out);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error()));
    const QList<Simulator> records = SimulatorListing::records(decoded.value());

    const QList<Simulator> expected = {
        {pad, u"iPad Air (5th generation)"_s, u"iOS 18.1"_s, true},
        {quoted, u"Café \"Test\" / Phone"_s, u"iOS 17.5"_s, false},
        {phone, u"iPhone 15"_s, u"iOS 17.5"_s, false},
        {watch, u"Apple Watch Series 9 (45mm)"_s, u"watchOS 10.2"_s, false},
    };
    QCOMPARE(records, expected);
}

void TestStandIn::programRunsAgainstStandIn()
{
    StandIn standin;
    REQUIRE_STANDIN(standin);
    TempFolder inputs;
    QVERIFY(inputs.isValid());
    QVERIFY(inputs.createFile(u"photo.jpg"_s, jpegBytes));
    QVERIFY(inputs.createFile(u"notes.txt"_s, "plain text"));
    const QString phone = standin.create(u"iPhone 15 Pro"_s, u"iPhone-15-Pro"_s, u"iOS-17-5"_s);
    const QString pad = standin.create(u"iPad Air (5th generation)"_s, u"iPad-Air-5th-generation"_s, u"iOS-18-1"_s);
    QVERIFY(standin.boot(phone));
    QVERIFY(standin.boot(pad));

    ScopedToolPath tool(standinPath);
    ScopedEnv home("HOME", QFile::encodeName(standin.home()));

    const auto listed = Simulator::listAvailable();
    QVERIFY2(listed.ok(), qPrintable(listed.error()));
    QCOMPARE(listed.value().size(), 2);
    QVERIFY(listed.value()[0].isBooted && listed.value()[1].isBooted);

    // The Files storage exists only after the Files app ran, and the locator finds it.
    const Simulator phoneRecord{phone, u"iPhone 15 Pro"_s, u"iOS 17.5"_s, true};
    QVERIFY(!phoneRecord.filesStorageURL().has_value());
    QCOMPARE(standin.run({u"launch"_s, phone, u"com.apple.DocumentsApp"_s}).exitCode, 0);
    const auto storage = phoneRecord.filesStorageURL();
    QVERIFY(storage.has_value());
    QCOMPARE(storage->toLocalFile(), standin.appGroupRoot(phone) + u'/' + standin.appGroups(phone).key(localStorage)
                                         + u"/File Provider Storage");
    QVERIFY(QFileInfo(storage->toLocalFile()).isDir());
    QVERIFY(!(Simulator{pad, u"iPad Air (5th generation)"_s, u"iOS 18.1"_s, true}).filesStorageURL().has_value());

    // Add media: the tool's own text reaches the user, and a good batch lands in the camera roll.
    const Status rejected = Simulator::addMedia(phone, {QUrl::fromLocalFile(inputs.path(u"notes.txt"_s))});
    QVERIFY(!rejected.ok());
    QCOMPARE(rejected.error(), cocoaError);
    QVERIFY(standin.cameraRollNames(phone).isEmpty());

    const Status added = Simulator::addMedia(phone, {QUrl::fromLocalFile(inputs.path(u"photo.jpg"_s))});
    QVERIFY2(added.ok(), qPrintable(added.error()));
    QCOMPARE(standin.cameraRollNames(phone), QStringList{u"IMG_0001.JPG"_s});
}

void TestStandIn::demoHomeIsBuiltOnce()
{
    if (!QFileInfo(demoToolPath()).isExecutable())
        QSKIP("lanthorn-demo is not built");
    QTemporaryDir parent;
    QVERIFY(parent.isValid());
    const QString home = parent.filePath(u"demo home"_s);

    const Run first = runDemo(home);
    QVERIFY2(!first.crashed, first.err.constData());
    QVERIFY2(first.exitCode == 0, first.err.constData());
    QVERIFY(QFileInfo::exists(home + u"/.lanthorn-demo-complete"));

    // The devices, as the program sees them through the stand-in.
    ScopedToolPath tool(standinPath);
    ScopedEnv homeEnv("HOME", QFile::encodeName(home));
    const auto listed = Simulator::listAvailable();
    QVERIFY2(listed.ok(), qPrintable(listed.error()));
    QHash<QString, Simulator> byName;
    for (const Simulator &simulator : listed.value())
        byName.insert(simulator.name, simulator);
    QCOMPARE(byName.size(), 4);
    const Simulator pro = byName.value(u"iPhone 15 Pro"_s);
    const Simulator pad = byName.value(u"iPad Air (5th generation)"_s);
    const Simulator phone = byName.value(u"iPhone 15"_s);
    const Simulator watch = byName.value(u"Apple Watch Series 9 (45mm)"_s);
    QCOMPARE(QList<bool>({pro.isBooted, pad.isBooted, phone.isBooted, watch.isBooted}),
             QList<bool>({true, true, false, false}));
    QCOMPARE(QStringList({pro.runtime, pad.runtime, phone.runtime, watch.runtime}),
             QStringList({u"iOS 17.5"_s, u"iOS 18.1"_s, u"iOS 17.5"_s, u"watchOS 10.2"_s}));

    // The booted iPhone has a realistic Files storage; the iPad has none.
    const auto storage = pro.filesStorageURL();
    QVERIFY(storage.has_value());
    const QDir root(storage->toLocalFile());
    for (const QString &name : {u"Projects/Lanthorn/Notes"_s, u"Invoices 2024"_s})
        QVERIFY2(QFileInfo(root.filePath(name)).isDir(), qPrintable(name));
    for (const QString &name : {u"Café menu.txt"_s, u"Überblick.md"_s, u"file2.txt"_s, u"file10.txt"_s,
                                u"File1.txt"_s, u".DS_Store"_s})
        QVERIFY2(QFileInfo(root.filePath(name)).isFile(), qPrintable(name));
    const QFileInfoList files = root.entryInfoList(QDir::Files | QDir::Hidden);
    QVERIFY(std::any_of(files.begin(), files.end(), [](const QFileInfo &info) { return info.size() == 0; }));
    const QStringList pdfs = QDir(root.filePath(u"Invoices 2024"_s)).entryList({u"*.pdf"_s}, QDir::Files);
    QVERIFY(!pdfs.isEmpty());
    QVERIFY(readFile(root.filePath(u"Invoices 2024/"_s + pdfs.first())).startsWith("%PDF-"));
    QVERIFY(!pad.filesStorageURL().has_value());

    // Sample photos are real images, and two of them are already in the iPhone's camera roll.
    const QFileInfoList photos = QDir(home + u"/Sample Photos").entryInfoList(QDir::Files);
    QVERIFY(photos.size() >= 3);
    for (const QFileInfo &photo : photos) {
        const QByteArray head = readFile(photo.filePath()).left(8);
        QVERIFY2(head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG"), qPrintable(photo.fileName()));
    }
    const QString roll = home + u"/Library/Developer/CoreSimulator/Devices/" + pro.udid + u"/data/Media/DCIM/100APPLE";
    QCOMPARE(QDir(roll).entryList(QDir::Files).size(), 2);

    // A second run finds the marker and changes nothing.
    const QDateTime markerTime = QFileInfo(home + u"/.lanthorn-demo-complete").lastModified();
    const Run second = runDemo(home);
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(QFileInfo(home + u"/.lanthorn-demo-complete").lastModified(), markerTime);
    const auto again = Simulator::listAvailable();
    QVERIFY(again.ok());
    QCOMPARE(again.value(), listed.value());
}

void TestStandIn::demoRefusesForeignFolderAndResumes()
{
    if (!QFileInfo(demoToolPath()).isExecutable())
        QSKIP("lanthorn-demo is not built");
    TempFolder foreign;
    QVERIFY(foreign.isValid());
    QVERIFY(foreign.createFile(u"Documents/thesis.txt"_s, "irreplaceable"));

    const Run refused = runDemo(foreign.path());
    QVERIFY(!refused.crashed);
    QVERIFY(refused.exitCode != 0);
    QVERIFY(!refused.errText().isEmpty());
    QCOMPARE(foreign.read(u"Documents/thesis.txt"_s), QByteArray("irreplaceable"));
    QVERIFY(!foreign.exists(u"Library"_s));
    QVERIFY(!foreign.exists(u".lanthorn-demo-complete"_s));

    // A run that stopped half-way left its own marker: the next run starts its parts afresh.
    TempFolder halfDone;
    QVERIFY(halfDone.isValid());
    QVERIFY(halfDone.createFile(u".lanthorn-demo-building"_s));
    QVERIFY(halfDone.createFile(u"Library/Developer/CoreSimulator/Devices/stray/data/x"_s, "x"));
    const Run resumed = runDemo(halfDone.path());
    QVERIFY2(resumed.exitCode == 0, resumed.err.constData());
    QVERIFY(!halfDone.exists(u".lanthorn-demo-building"_s));
    QVERIFY(halfDone.exists(u".lanthorn-demo-complete"_s));
    const QStringList devices =
        QDir(halfDone.path(u"Library/Developer/CoreSimulator/Devices"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(devices.size(), 4);
    QVERIFY(!devices.contains(u"stray"_s));
}

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_standin.moc"
