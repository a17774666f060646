#include "simulator/simulator.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

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

} // namespace

class TestSimulatorListing : public QObject
{
    Q_OBJECT

private slots:
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
};

QTEST_APPLESS_MAIN(TestSimulatorListing)
#include "tst_simulatorlisting.moc"
