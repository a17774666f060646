// Listing a folder: listDirectory against a bare readdir + fstatat loop, the per-entry cost of
// kind and icon, the name sort against QCollator::compare, and the memory of a listing. The
// ratios are printed at the end, from the figures of this one run.
#include "filestore/filetypes.h"
#include "filestore/listing.h"
#include "filestore/namecollation.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "heapusage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int sizes[] = {1'000, 10'000, 100'000};

QString nameFor(int i)
{
    static const char *const patterns[] = {"IMG_%1.JPG",   "Document %1.pdf",   "notes-%1.txt",
                                           "Clip %1.mov",  "archive %1.tar.gz", "Screenshot %1.png",
                                           "data_%1.json", "README %1"};
    return QString::fromLatin1(patterns[i % 8]).arg(i);
}

// One folder per size, made once: mixed types, some with content, one item in 50 a folder.
const QString &folderOf(int count)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    static std::map<int, QString> paths;
    auto &dir = folders[count];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/lanthorn-bench-XXXXXX"_s);
        for (int i = 0; i < count; ++i) {
            const QByteArray path = QFile::encodeName(dir->filePath(nameFor(i)));
            if (i % 50 == 0) {
                ::mkdir(path.constData(), 0755);
                continue;
            }
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (i % 3 == 0)
                (void)!::write(fd, "some content", 12);
            ::close(fd);
        }
        paths[count] = dir->path();
    }
    return paths[count];
}

QStringList shuffledNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(nameFor((i * 7919) % count));
    return names;
}

QCollator fileManagerCollator()
{
    QCollator collator(QLocale().language() == QLocale::C ? QLocale(u"en_US"_s) : QLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

void BM_RawListing(benchmark::State &state)
{
    const QByteArray folder = QFile::encodeName(folderOf(int(state.range(0))));
    for (auto _ : state) {
        DIR *dir = ::opendir(folder.constData());
        const int fd = ::dirfd(dir);
        qint64 total = 0;
        while (const dirent *item = ::readdir(dir)) {
            struct stat st;
            if (item->d_name[0] != '.' && ::fstatat(fd, item->d_name, &st, 0) == 0)
                total += st.st_size + st.st_mtime;
        }
        ::closedir(dir);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ListDirectory(benchmark::State &state)
{
    const QString folder = folderOf(int(state.range(0)));
    for (auto _ : state) {
        const QList<FileEntry> entries = listDirectory(folder);
        benchmark::DoNotOptimize(entries.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_KindAndIcon(benchmark::State &state)
{
    const QStringList names = shuffledNames(int(state.range(0)));
    for (const QString &name : names) // the first listing pays for the lookups
        FileTypes::forFileName(name);
    for (auto _ : state) {
        for (const QString &name : names)
            benchmark::DoNotOptimize(FileTypes::forFileName(name).icon.get());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SortNames(benchmark::State &state)
{
    const QStringList names = shuffledNames(int(state.range(0)));
    for (auto _ : state) {
        const auto order =
            NameCollation::sortedOrder(names.size(), [&names](qsizetype i) { return QStringView(names[i]); });
        benchmark::DoNotOptimize(order.data());
    }
    state.counters["ascii_keys"] = NameCollation::usesAsciiKeys();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SortQCollatorCompare(benchmark::State &state)
{
    const QStringList names = shuffledNames(int(state.range(0)));
    const QCollator collator = fileManagerCollator();
    for (auto _ : state) {
        QStringList sorted = names;
        std::stable_sort(sorted.begin(), sorted.end(), [&collator](const QString &a, const QString &b) {
            return collator.compare(a, b) < 0;
        });
        benchmark::DoNotOptimize(sorted.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Repeated, and compared by the fastest repetition's CPU time: the machine is shared, and
// other processes stretch wall-clock times unevenly.
BENCHMARK(BM_RawListing)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);
BENCHMARK(BM_ListDirectory)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);
BENCHMARK(BM_KindAndIcon)->Arg(100'000)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_SortNames)->Arg(100'000)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_SortQCollatorCompare)->Arg(100'000)->Unit(benchmark::kMillisecond)->Repetitions(3);

// Keeps each benchmark's best CPU time per iteration, for the ratios.
class RecordingReporter final : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            const std::string name = run.run_name.function_name + '/' + run.run_name.args;
            const double perIteration = run.cpu_accumulated_time / double(run.iterations);
            const auto it = times.find(name);
            if (it == times.end() || perIteration < it->second)
                times[name] = perIteration;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times; // CPU seconds per iteration
};

// Heap bytes a listing holds per entry, beyond the same names held in a plain list.
void reportMemory(int count)
{
    const QString folder = folderOf(count);
    listDirectory(folder); // type cache and collator made
    const size_t base = heapInUse();
    QList<FileEntry> entries = listDirectory(folder);
    const size_t withEntries = heapInUse();
    QStringList names;
    for (const FileEntry &entry : entries)
        names.append(QString(entry.name().constData(), entry.name().size())); // own copies
    const size_t withNames = heapInUse();
    const double entryBytes = double(withEntries - base) / count;
    const double nameBytes = double(withNames - withEntries) / count;
    std::printf("memory, %d entries: %.1f bytes per entry, %.1f of them the name (string object and text); "
                "%.1f beyond the name (sizeof(FileEntry) = %zu)\n",
                count, entryBytes, nameBytes, entryBytes - nameBytes, sizeof(FileEntry));
}

bool numericOrderHolds()
{
    const QStringList names{u"file10"_s, u"file2"_s, u"File1"_s};
    const auto order =
        NameCollation::sortedOrder(names.size(), [&](qsizetype i) { return QStringView(names[i]); });
    return order == std::vector<qsizetype>{2, 1, 0};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    for (int count : sizes)
        folderOf(count);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nlocale %s, numeric order (File1, file2, file10): %s\n", qPrintable(QLocale().name()),
                numericOrderHolds() ? "holds" : "BROKEN");
    auto time = [&](const std::string &name) {
        const auto it = reporter.times.find(name);
        return it == reporter.times.end() ? 0.0 : it->second;
    };
    for (int count : sizes) {
        const double raw = time("BM_RawListing/" + std::to_string(count));
        const double ours = time("BM_ListDirectory/" + std::to_string(count));
        if (raw > 0 && ours > 0)
            std::printf("listDirectory / raw readdir+fstatat, %6d files: %.2fx (target <= 1.6x)\n", count,
                        ours / raw);
    }
    if (const double kinds = time("BM_KindAndIcon/100000"); kinds > 0)
        std::printf("kind and icon: %.0f ns per entry (target <= 500 ns)\n", kinds / 100'000 * 1e9);
    const double sortOurs = time("BM_SortNames/100000");
    const double sortCollator = time("BM_SortQCollatorCompare/100000");
    if (sortOurs > 0 && sortCollator > 0)
        std::printf("sorting 100000 names / QCollator::compare sort: %.2fx (target <= 0.3x)\n",
                    sortOurs / sortCollator);
    for (int count : sizes)
        reportMemory(count);
    benchmark::Shutdown();
    return 0;
}
