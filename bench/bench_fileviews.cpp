// The icon grid's resize of 10,000 items, and the column browser's opening of a folder of
// 100,000 entries against the listing of that folder alone.
#include "filestore/filetypes.h"
#include "filestore/listing.h"
#include "fileviews/filecolumnview.h"
#include "fileviews/fileiconview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "widgetsbenchmain.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

QList<FileEntry> syntheticEntries(int count)
{
    const char *suffixes[] = {".jpg", ".png", ".txt", ".pdf", ".mov", ""};
    QList<FileEntry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name =
            QStringLiteral("item %1%2").arg(i, 6, 10, QLatin1Char('0')).arg(QLatin1String(suffixes[i % 6]));
        const FileType &type = i % 6 == 5 ? FileTypes::folder() : FileTypes::forFileName(name);
        entries << FileEntry(QStringLiteral("/storage/"), name, i % 6 == 5, 1'700'000'000'000 + i, i * 10,
                             type.kind, type.icon);
    }
    return entries;
}

// Changing the icon size from 64 to 128 points on 10,000 items: the update, the relayout and
// the repaint of what is on screen.
void BM_IconGridResize(benchmark::State &state)
{
    FileIconView view;
    const QList<FileEntry> entries = syntheticEntries(int(state.range(0)));
    double iconSize = 64;
    view.setEntries(entries);
    view.setIconSize(iconSize);
    view.resize(1000, 700);
    view.show();
    QCoreApplication::processEvents();
    auto *grid = view.findChild<QAbstractItemView *>();
    const QModelIndex last = grid->model()->index(int(entries.size()) - 1, 0);
    for (auto _ : state) {
        iconSize = iconSize == 64 ? 128 : 64;
        view.setIconSize(iconSize);
        benchmark::DoNotOptimize(grid->visualRect(last));
        grid->viewport()->repaint();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IconGridResize)->Arg(10'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A folder with `count` empty files beside nothing else, made once per process.
const QString &bigFolderRoot(int count)
{
    static QTemporaryDir dir;
    static int made = 0;
    if (made != count) {
        QDir(dir.path()).mkpath(QStringLiteral("big"));
        const QByteArray base = QFile::encodeName(dir.filePath(QStringLiteral("big"))) + "/";
        const char *suffixes[] = {".jpg", ".png", ".txt", ".pdf", ".mov", ".heic"};
        for (int i = made; i < count; ++i) {
            const QByteArray path = base + "file " + QByteArray::number(i) + suffixes[i % 6];
            const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0)
                ::close(fd);
        }
        made = count;
    }
    static QString path;
    path = dir.path();
    return path;
}

// Listing the folder alone.
void BM_ListBigFolder(benchmark::State &state)
{
    const QString folder = bigFolderRoot(int(state.range(0))) + QStringLiteral("/big");
    for (auto _ : state) {
        QList<FileEntry> entries = listDirectory(folder);
        benchmark::DoNotOptimize(entries.size());
        state.PauseTiming(); // the column keeps its listing: freeing it is no part of opening
        entries.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ListBigFolder)->Arg(100'000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// Selecting the folder in the first column, with its listing read elsewhere (the pool): what the
// window spends on the GUI thread until the new column shows its last row. The counter compares
// with the listing alone, timed in the same iterations.
void BM_OpenBigFolderColumn(benchmark::State &state)
{
    const QString root = bigFolderRoot(int(state.range(0)));
    const QUrl big = QUrl::fromLocalFile(root + QStringLiteral("/big"));
    FileColumnView view;
    QList<QUrl> wanted;
    QObject::connect(&view, &FileView::listingsWanted, &view,
                     [&wanted](const QList<QUrl> &folders) { wanted << folders; });
    view.setRoot(QUrl::fromLocalFile(root), 0);
    view.setListing(QUrl::fromLocalFile(root), listDirectory(root), true);
    view.resize(1000, 700);
    view.show();
    QCoreApplication::processEvents();
    auto *first = view.findChild<QListView *>();
    const QModelIndex bigIndex = first->model()->index(0, 0);

    double openSeconds = 0;
    double listSeconds = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        state.PauseTiming();
        first->selectionModel()->clearSelection();
        QCoreApplication::processEvents();
        timer.start();
        const QList<FileEntry> listed = listDirectory(big.toLocalFile());
        listSeconds += timer.nsecsElapsed() / 1e9;
        wanted.clear();
        state.ResumeTiming();

        timer.start();
        first->selectionModel()->setCurrentIndex(bigIndex, QItemSelectionModel::ClearAndSelect);
        view.setListing(big, listed, true);
        QListView *column = nullptr;
        for (QListView *list : view.findChildren<QListView *>())
            if (!list->isHidden() && list != first)
                column = list;
        benchmark::DoNotOptimize(
            column->visualRect(column->model()->index(column->model()->rowCount() - 1, 0)));
        column->viewport()->repaint();
        openSeconds += timer.nsecsElapsed() / 1e9;
        if (wanted != QList<QUrl>{big})
            state.SkipWithError("the column asked for no listing");
    }
    state.counters["vs_listing"] = listSeconds > 0 ? openSeconds / listSeconds : 0;
}
BENCHMARK(BM_OpenBigFolderColumn)->Arg(100'000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

LANTHORN_WIDGETS_BENCHMARK_MAIN()
