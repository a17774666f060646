// Decoding and sorting the device list, and one whole listing through the stand-in tool.
#include "simulator/simulator.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QByteArray makeListing(int devices)
{
    const char *runtimes[] = {"iOS-17-2", "iOS-17-5", "iOS-18-1", "watchOS-10-2", "tvOS-17-2"};
    QByteArray json = "{\n  \"devices\" : {\n";
    for (int r = 0; r < 5; ++r) {
        json += QByteArray("    \"com.apple.CoreSimulator.SimRuntime.") + runtimes[r] + "\" : [\n";
        for (int i = r; i < devices; i += 5) {
            json += "      {\n        \"dataPath\" : "
                    "\"\\/Users\\/dev\\/Library\\/Developer\\/CoreSimulator\\/Devices\\/"
                    "00000000-0000-0000-0000-" +
                    QByteArray::number(100000000000 + i) +
                    "\\/data\",\n        \"dataPathSize\" : 18337792,\n" +
                    "        \"udid\" : \"00000000-0000-0000-0000-" + QByteArray::number(100000000000 + i) +
                    "\",\n        \"isAvailable\" : true,\n        \"deviceTypeIdentifier\" : "
                    "\"com.apple.CoreSimulator.SimDeviceType.iPhone-15\",\n        \"state\" : \"" +
                    (i % 17 == 0 ? "Booted" : "Shutdown") + "\",\n        \"name\" : \"iPhone " +
                    QByteArray::number(i * 7919 % 1000) + "\"\n      }" + (i + 5 < devices ? "," : "") + "\n";
        }
        json += QByteArray("    ]") + (r < 4 ? "," : "") + "\n";
    }
    json += "  }\n}\n";
    return json;
}

void BM_DecodeAndSort(benchmark::State &state)
{
    const QByteArray json = makeListing(int(state.range(0)));
    for (auto _ : state) {
        auto listing = SimulatorListing::decode(json);
        auto records = SimulatorListing::records(listing.value());
        benchmark::DoNotOptimize(records);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["bytes"] = double(json.size());
}
BENCHMARK(BM_DecodeAndSort)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_WholeListingThroughStandIn(benchmark::State &state)
{
    QTemporaryDir home;
    const QString tool = QStringLiteral(LANTHORN_STANDIN_PATH);
    auto simctl = [&](const QStringList &args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        p.setProcessEnvironment(env);
        p.start(tool, QStringList{QStringLiteral("simctl")} + args);
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    for (int i = 0; i < 4; ++i) {
        const QString udid = simctl({QStringLiteral("create"), QStringLiteral("Phone %1").arg(i),
                                     QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-15"),
                                     QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-17-5")});
        if (i == 0)
            simctl({QStringLiteral("boot"), udid});
    }
    qputenv("HOME", home.path().toUtf8());
    qputenv("LANTHORN_XCRUN", tool.toUtf8());
    for (auto _ : state) {
        auto result = Simulator::listAvailable();
        if (!result.ok() || result.value().size() != 4) {
            state.SkipWithError("the stand-in listing failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_WholeListingThroughStandIn)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
