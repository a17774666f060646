// The Files screen following changes that others make in the shown folder: 10,000 files created
// in a burst (and the same spread over about three seconds, as a slower script makes them), with
// the number of reloads and the time from the last change until the list shows them all (target:
// at most 5 reloads, within 1 s); and what a watched folder costs while nothing changes (target:
// no CPU time, nothing polls).
#include "filestore/filesstate.h"
#include "filestore/folderwatch.h"
#include "fileviews/filelistmodel.h"
#include "fileviews/filelistview.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "widgetsbenchmain.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Process CPU time, all threads, user and system.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A shown Files state at `folder` watching it, with a list view that follows its entries as the
// screen's does.
struct LiveFolder
{
    explicit LiveFolder(const QString &folder, bool watched)
        : state(
              [url = QUrl::fromLocalFile(folder)] { return std::optional<QUrl>(url); },
              FilesState::Services{nullptr, nullptr, nullptr, watched ? &makeSystemFolderNotifier : nullptr}),
          view()
    {
        QObject::connect(&state, &FilesState::loadStateChanged, &state, [this] {
            view.setEntries(state.loadState().entries());
            shown = Clock::now();
        });
        state.setShown(true);
        state.reload(true);
        settle();
        state.setShownFolders({QUrl::fromLocalFile(folder)});
        settle();
    }

    bool quiet() const
    {
        return !state.isReloading() && (!state.folderWatch() || state.folderWatch()->isQuiet());
    }
    // Runs the event loop until nothing is due (a minute at most).
    void settle(const std::function<bool()> &also = [] { return true; })
    {
        const auto deadline = Clock::now() + std::chrono::minutes(1);
        while (!(quiet() && also()) && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    FilesState state;
    FileListView view;
    Clock::time_point shown;
};

// Makes `count` empty files in `folder` on another thread, spread over `spread`; the time of the
// last one goes into `last`.
std::thread makeFiles(const QString &folder, int count, std::chrono::milliseconds spread,
                      std::atomic<Clock::rep> *first, std::atomic<Clock::rep> *last, std::atomic<bool> *done)
{
    return std::thread(
        [base = QByteArray(QFile::encodeName(folder) + '/'), count, spread, first, last, done] {
            const auto start = Clock::now();
            first->store(start.time_since_epoch().count());
            for (int i = 0; i < count; ++i) {
                const QByteArray path = base + "IMG_" + QByteArray::number(i) + ".JPG";
                const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd >= 0)
                    ::close(fd);
                if (spread.count() > 0 && i % 100 == 99)
                    std::this_thread::sleep_until(start + spread * (i + 1) / count);
            }
            last->store(Clock::now().time_since_epoch().count());
            done->store(true);
        });
}

// Files created by another program while the folder is shown. The time reported is from the
// last file made to the list showing all of them; `reloads` counts the reloads of the state,
// `reads` the checks that changes led to, `burst_ms` how long making the files took.
void BM_FilesCreatedInTheShownFolder(benchmark::State &state)
{
    const int count = int(state.range(0));
    const std::chrono::milliseconds spread(state.range(1));
    double reloads = 0;
    double checks = 0;
    double burst = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        LiveFolder live(dir.path(), true);
        const int before = live.state.reloadCount();
        int reads = 0;
        QObject::connect(live.state.folderWatch(), &FolderWatch::changed, &live.state, [&] { ++reads; });
        std::atomic<Clock::rep> first{0};
        std::atomic<Clock::rep> last{0};
        std::atomic<bool> done{false};
        std::thread maker = makeFiles(dir.path(), count, spread, &first, &last, &done);
        live.settle([&] { return done.load() && live.view.model()->rowCount() == count; });
        maker.join();
        if (live.view.model()->rowCount() != count) {
            state.SkipWithError("the list never showed every file");
            break;
        }
        const Clock::time_point firstChange{Clock::duration(first.load())};
        const Clock::time_point lastChange{Clock::duration(last.load())};
        state.SetIterationTime(std::chrono::duration<double>(live.shown - lastChange).count());
        burst += std::chrono::duration<double, std::milli>(lastChange - firstChange).count();
        reloads += live.state.reloadCount() - before;
        checks += reads;
    }
    state.counters["reloads"] = benchmark::Counter(reloads, benchmark::Counter::kAvgIterations);
    state.counters["reads"] = benchmark::Counter(checks, benchmark::Counter::kAvgIterations);
    state.counters["burst_ms"] = benchmark::Counter(burst, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FilesCreatedInTheShownFolder)
    ->ArgNames({"files", "spread_ms"})
    ->Args({10'000, 0})
    ->Args({10'000, 3'000})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One second of nothing happening with a folder of 10,000 files on screen, watched or not: the
// process's CPU time in that second.
void BM_IdleShownFolder(benchmark::State &state)
{
    const bool watched = state.range(0) != 0;
    QTemporaryDir dir;
    for (int i = 0; i < 10'000; ++i) {
        QFile file(dir.filePath(QStringLiteral("file %1.txt").arg(i)));
        (void)file.open(QIODevice::WriteOnly);
    }
    LiveFolder live(dir.path(), watched);
    double cpu = 0;
    for (auto _ : state) {
        const double start = cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        cpu += cpuSeconds() - start;
    }
    state.counters["cpu_ms_per_s"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
    state.counters["watched_folders"] =
        double(live.state.folderWatch() ? live.state.folderWatch()->watchedFolders().size() : 0);
}
BENCHMARK(BM_IdleShownFolder)
    ->ArgName("watched")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

LANTHORN_WIDGETS_BENCHMARK_MAIN()
