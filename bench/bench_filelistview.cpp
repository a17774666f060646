// The list view: from new entries to the first painted table at 10,000 and 100,000 rows, a
// refresh that brings an equal listing, and the memory the table adds per row.
#include "filestore/filetypes.h"
#include "fileviews/filelistmodel.h"
#include "fileviews/filelistview.h"

#include <QApplication>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include "widgetsbenchmain.h"

#include "heapusage.h"

namespace {

// `count` entries of one folder, as a listing makes them: one shared parent path, interned
// kinds and icons. `tag` makes the names of one list differ from another's.
QList<FileEntry> syntheticEntries(int count, const QString &tag = {})
{
    const char *suffixes[] = {".jpg", ".png", ".txt", ".pdf", ".mov", ""};
    const QString parent = QStringLiteral("/storage/Documents/");
    QList<FileEntry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("item %1%2%3")
                                 .arg(i, 6, 10, QLatin1Char('0'))
                                 .arg(tag, QLatin1String(suffixes[i % 6]));
        const bool isFolder = i % 6 == 5;
        const FileType &type = isFolder ? FileTypes::folder() : FileTypes::forFileName(name);
        entries << FileEntry(parent, name, isFolder, 1'700'000'000'000 + i * 1000LL, i * 10LL, type.kind,
                             type.icon);
    }
    return entries;
}

// A list shown in an offscreen window of a usual size.
struct ShownList
{
    FileListView view;

    ShownList()
    {
        view.resize(900, 700);
        view.show();
        QCoreApplication::processEvents();
    }
    // Paints now, which lays the rows out first.
    void paint() { view.repaint(); }
};

// New entries (another folder's) replace the shown ones, and the table is painted.
void BM_FirstPaint(benchmark::State &state)
{
    const int count = int(state.range(0));
    const QList<FileEntry> lists[2] = {syntheticEntries(count, QStringLiteral("a")),
                                       syntheticEntries(count, QStringLiteral("b"))};
    ShownList list;
    list.view.setEntries(lists[1]);
    list.paint();
    int next = 0;
    for (auto _ : state) {
        list.view.setEntries(lists[next]);
        list.paint();
        next = 1 - next;
    }
    if (list.view.model()->rowCount() != count)
        state.SkipWithError("the table does not show every entry");
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_FirstPaint)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A refresh of an unchanged folder: a new listing equal to the shown one. Nothing reloads.
void BM_RefreshUnchanged(benchmark::State &state)
{
    const int count = int(state.range(0));
    const QList<FileEntry> shown = syntheticEntries(count);
    const QList<FileEntry> again = syntheticEntries(count);
    ShownList list;
    list.view.setEntries(shown);
    list.paint();
    int resets = 0;
    QObject::connect(list.view.model(), &QAbstractItemModel::modelReset, [&resets] { ++resets; });
    for (auto _ : state) {
        list.view.setEntries(again);
        list.view.setEntries(shown);
    }
    state.counters["reloads"] = double(resets);
    if (resets != 0)
        state.SkipWithError("an equal listing reloaded the table");
}
BENCHMARK(BM_RefreshUnchanged)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the table (model, view, its laid-out rows) allocates per row, beyond the entries
// themselves, which the screen's state already holds and the model shares.
void BM_TableBytesPerRow(benchmark::State &state)
{
    const int count = int(state.range(0));
    const QList<FileEntry> entries = syntheticEntries(count);
    double bytesPerRow = 0;
    for (auto _ : state) {
        ShownList list;
        list.view.setEntries({});
        list.paint();
        const size_t empty = heapInUse();
        list.view.setEntries(entries);
        list.paint();
        bytesPerRow = (double(heapInUse()) - double(empty)) / count;
    }
    state.counters["bytes_per_row"] = bytesPerRow;
}
BENCHMARK(BM_TableBytesPerRow)->Arg(10'000)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

LANTHORN_WIDGETS_BENCHMARK_MAIN()
