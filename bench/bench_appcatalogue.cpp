// The Apps screen on a device with 200 installed apps (half with an icon, one data container
// each, 40 app groups): the catalogue read on its own (the pool thread's work), and the time from
// a new screen to its filled list. Target: 50 ms to the filled list. With 200 and 2,000 apps, the
// cost of the device-list refresh every 3 s while nothing changes: a full read (what each refresh
// cost when the catalogue was read every time) against the load that finds the stamp unchanged.
#include "screens/appsview.h"
#include "simulator/appcatalogue.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>

#include <sys/time.h>

#include "widgetsbenchmain.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int appCount = 200;
constexpr int manyApps = 2000;
const QString udid = u"5A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9"_s;

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray metadata(const QString &identifier)
{
    return "<?xml version=\"1.0\"?><plist "
           "version=\"1.0\"><dict><key>MCMMetadataContentClass</key><integer>2</integer>"
           "<key>MCMMetadataIdentifier</key><string>" +
           identifier.toUtf8() + "</string><key>MCMMetadataInfo</key><dict/></dict></plist>";
}

// Dated an hour back, as a device left alone is: a fresh folder keeps its stamp unsettled.
void backdate(const QString &containers)
{
    timeval times[2] = {};
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - 3600;
    for (const QString &root : {u"Bundle/Application"_s, u"Data/Application"_s, u"Shared/AppGroup"_s}) {
        const QString folder = containers + root;
        ::utimes(QFile::encodeName(folder).constData(), times);
        for (const QString &name : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            ::utimes(QFile::encodeName(folder + u'/' + name).constData(), times);
    }
}

void build(const QString &home, int count)
{
    const QString data =
        home + u"/Library/Developer/CoreSimulator/Devices/"_s + udid + u"/data/Containers/"_s;
    QImage icon(120, 120, QImage::Format_ARGB32);
    icon.fill(Qt::darkCyan);
    for (int i = 0; i < count; ++i) {
        const QString id = u"com.example.app%1"_s.arg(i);
        const QString bundle = data + u"Bundle/Application/B%1/App%1.app"_s.arg(i);
        QByteArray info =
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" +
            id.toUtf8() + "</string><key>CFBundleDisplayName</key><string>App " +
            QByteArray::number(count - i) + "</string>";
        if (i % 2 == 0) {
            info += "<key>CFBundleIcons</key><dict><key>CFBundlePrimaryIcon</key><dict><key>CFBundleIconFiles"
                    "</key><array><string>AppIcon60x60</string></array></dict></dict>";
        }
        write(bundle + u"/Info.plist"_s, info + "</dict></plist>");
        if (i % 2 == 0)
            icon.save(bundle + u"/AppIcon60x60@2x.png"_s);
        write(data + u"Data/Application/D%1/.com.apple.mobile_container_manager.metadata.plist"_s.arg(i),
              metadata(id));
        if (i % 5 == 0)
            write(data + u"Shared/AppGroup/G%1/.com.apple.mobile_container_manager.metadata.plist"_s.arg(i),
                  metadata(u"group.com.example.app%1"_s.arg(i)));
    }
    backdate(data);
}

QString home(int count = appCount)
{
    static std::map<int, QTemporaryDir> homes;
    const auto [it, made] = homes.try_emplace(count, QDir::tempPath() + u"/lanthorn-bench-apps-XXXXXX"_s);
    if (made)
        build(it->second.path(), count);
    return it->second.path();
}

void BM_ReadCatalogue(benchmark::State &state)
{
    const int count = int(state.range(0));
    const QString path = home(count);
    for (auto _ : state) {
        const auto catalogue = AppCatalogue::read(path, udid);
        if (catalogue.apps.size() != count)
            state.SkipWithError("not every app was found");
        benchmark::DoNotOptimize(catalogue);
    }
}
BENCHMARK(BM_ReadCatalogue)->Arg(appCount)->Arg(manyApps)->Unit(benchmark::kMillisecond)->UseRealTime();

// A refresh of a device whose apps did not change: the stamp alone.
void BM_IdleRefresh(benchmark::State &state)
{
    const Simulator device{udid, u"iPhone"_s, u"iOS 17.5"_s, false};
    const QString path = home(int(state.range(0)));
    AppCatalogue::ToolCache cache;
    if (!AppCatalogue::load(path, device, cache))
        state.SkipWithError("the first load read nothing");
    for (auto _ : state) {
        if (AppCatalogue::load(path, device, cache))
            state.SkipWithError("an unchanged device was read again");
    }
}
BENCHMARK(BM_IdleRefresh)->Arg(appCount)->Arg(manyApps)->Unit(benchmark::kMillisecond)->UseRealTime();

// From a new screen for a shut-down device to its list holding every app, icons decoded.
void BM_FilledList(benchmark::State &state)
{
    const Simulator device{udid, u"iPhone"_s, u"iOS 17.5"_s, false};
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        AppsView view(device, {}, home());
        QEventLoop loop;
        QObject::connect(&view, &AppsView::catalogueApplied, &loop, &QEventLoop::quit);
        view.show();
        loop.exec();
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        if (view.appList()->model()->rowCount() < appCount)
            state.SkipWithError("the list is not filled");
    }
}
BENCHMARK(BM_FilledList)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

LANTHORN_WIDGETS_BENCHMARK_MAIN()
