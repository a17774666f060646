// File jobs: copy in a 2 GB file and a tree of 5,000 small files through the Files screen's
// state, with the plain byte copy and with the platform's fast path (copy_file_range on Linux,
// clones on APFS), each against `cp` in the same run (targets: 95 % of cp's rate for the big
// file, 80 % for the small files); the worst lateness of a GUI-thread timer while the big copy
// runs (target: at most 50 ms); and the time from Cancel to the job's end with nothing left
// behind (target: at most 200 ms). One iteration each: the data is large. LANTHORN_BENCH_DIR
// picks where the data goes (default: the system's temporary folder); it needs about 7 GB.
#include "filestore/filejobqueue.h"
#include "filestore/fileoperations_p.h"
#include "filestore/filesstate.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

#include <unistd.h>

namespace {

constexpr qint64 bigBytes = qint64(2) << 30;
constexpr int smallFiles = 5000;

QTemporaryDir &workFolder()
{
    static QTemporaryDir dir(qEnvironmentVariable("LANTHORN_BENCH_DIR", QDir::tempPath()) +
                             QStringLiteral("/lanthorn-bench-XXXXXX"));
    return dir;
}

QString work(const QString &relative)
{
    return workFolder().filePath(relative);
}

// The sources, made once: a 2 GB file of varied bytes (nothing sparse or compressible) and 5,000
// files of 4 kB in 50 folders.
void makeSources()
{
    static bool made = false;
    if (made)
        return;
    made = true;
    QDir().mkpath(work(QStringLiteral("src/tree")));
    QFile big(work(QStringLiteral("src/Movie.mov")));
    big.open(QIODevice::WriteOnly);
    QByteArray block(8 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < bigBytes; written += block.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        big.write(block);
    }
    big.close();
    const QByteArray small(4096, 's');
    for (int i = 0; i < smallFiles; ++i) {
        const QString folder = work(QStringLiteral("src/tree/%1").arg(i / 100));
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/file-%1.txt").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(small);
    }
}

// Every copy starts with nothing dirty waiting to be written: otherwise the one that runs after
// another pays for the other's writeback, and the comparison measures the order, not the copy.
void clearTarget()
{
    QDir(work(QStringLiteral("dst"))).removeRecursively();
    QDir().mkpath(work(QStringLiteral("dst")));
    ::sync();
}

double cpSeconds(const QString &source)
{
    clearTarget();
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), source, work(QStringLiteral("dst"))});
    return double(timer.nsecsElapsed()) / 1e9;
}

struct JobRun
{
    double seconds = 0;
    double worstStallMSecs = 0;
    double cancelToEndMSecs = 0;
    int leftBehind = 0; // items in the target after a cancelled job
};

// Copies `source` into the target folder as a paste does; with `cancelAtFraction`, presses
// Cancel once that part of the bytes is copied (a fixed delay would miss a fast disk's copy).
JobRun copyIn(const QString &source, double cancelAtFraction = -1)
{
    clearTarget();
    const QUrl target = QUrl::fromLocalFile(work(QStringLiteral("dst")));
    FilesState state([target] { return std::optional<QUrl>(target); }, FilesState::Services{});
    QEventLoop loop;
    QObject::connect(&state, &FilesState::reloadApplied, &loop, &QEventLoop::quit);
    state.reload(true);
    loop.exec();

    JobRun run;
    constexpr int tickMSecs = 5;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(tickMSecs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        run.worstStallMSecs =
            std::max(run.worstStallMSecs, double(sinceTick.nsecsElapsed()) / 1e6 - tickMSecs);
        sinceTick.start();
    });
    QElapsedTimer timer, sinceCancel;
    FileJobQueue *queue = FileJobQueue::shared();
    QObject::connect(queue, &FileJobQueue::becameIdle, &loop, &QEventLoop::quit);
    QTimer watchProgress;
    watchProgress.setTimerType(Qt::PreciseTimer);
    watchProgress.setInterval(1);
    QObject::connect(&watchProgress, &QTimer::timeout, [&] {
        const QList<FileJobQueue::Job> jobs = queue->jobs();
        if (jobs.isEmpty() || jobs.first().bytesTotal <= 0 ||
            double(jobs.first().bytesDone) < cancelAtFraction * double(jobs.first().bytesTotal))
            return;
        watchProgress.stop();
        sinceCancel.start();
        queue->cancelAll();
    });
    if (cancelAtFraction >= 0)
        watchProgress.start();
    timer.start();
    sinceTick.start();
    tick.start();
    state.copyItemsIn({QUrl::fromLocalFile(source)});
    loop.exec();
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    if (sinceCancel.isValid())
        run.cancelToEndMSecs = double(sinceCancel.nsecsElapsed()) / 1e6;
    QObject::disconnect(queue, nullptr, &loop, nullptr);
    run.leftBehind = int(QDir(work(QStringLiteral("dst")))
                             .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                             .size());
    return run;
}

void copyAgainstCp(benchmark::State &state, const QString &source, bool byteCopy, qint64 bytes)
{
    makeSources();
    FileOperationsPrivate::setByteCopyOnly(byteCopy);
    for (auto _ : state) {
        // The best of a few runs each, alternating: the machine may be shared.
        double cp = 1e9;
        JobRun run{1e9};
        for (int i = 0; i < (bytes > qint64(1) << 30 ? 2 : 3); ++i) {
            cp = std::min(cp, cpSeconds(source));
            const JobRun next = copyIn(source);
            if (next.seconds < run.seconds)
                run = next;
        }
        state.SetIterationTime(run.seconds);
        state.counters["cp_s"] = cp;
        state.counters["job_s"] = run.seconds;
        state.counters["pct_of_cp"] = 100.0 * cp / run.seconds;
        state.counters["MB_per_s"] = double(bytes) / 1e6 / run.seconds;
        state.counters["gui_stall_ms"] = run.worstStallMSecs;
        if (bytes > qint64(1) << 30) {
            // A plain read-and-write peer in the same run, for the byte copy.
            clearTarget();
            QElapsedTimer timer;
            timer.start();
            QProcess::execute(QStringLiteral("dd"),
                              {QStringLiteral("if=") + source,
                               QStringLiteral("of=") + work(QStringLiteral("dst/dd")),
                               QStringLiteral("bs=1048576"), QStringLiteral("status=none")});
            state.counters["pct_of_dd"] = 100.0 * double(timer.nsecsElapsed()) / 1e9 / run.seconds;
        }
    }
    FileOperationsPrivate::setByteCopyOnly(false);
}

void BM_BigFile(benchmark::State &state)
{
    copyAgainstCp(state, work(QStringLiteral("src/Movie.mov")), state.range(0) == 0, bigBytes);
}

void BM_SmallFiles(benchmark::State &state)
{
    copyAgainstCp(state, work(QStringLiteral("src/tree")), state.range(0) == 0, qint64(smallFiles) * 4096);
}

// Cancel a quarter into the big copy (byte path: the slowest to stop).
void BM_CancelBigFile(benchmark::State &state)
{
    makeSources();
    FileOperationsPrivate::setByteCopyOnly(true);
    for (auto _ : state) {
        const JobRun run = copyIn(work(QStringLiteral("src/Movie.mov")), 0.25);
        state.SetIterationTime(run.cancelToEndMSecs / 1000);
        state.counters["cancel_to_end_ms"] = run.cancelToEndMSecs;
        state.counters["items_left"] = run.leftBehind;
        state.counters["gui_stall_ms"] = run.worstStallMSecs;
    }
    FileOperationsPrivate::setByteCopyOnly(false);
}

} // namespace

// range(0): 0 the byte copy, 1 the fast path.
BENCHMARK(BM_BigFile)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallFiles)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CancelBigFile)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The data is large: never left behind.
    workFolder().remove();
    return 0;
}
