// Quick look and thumbnails: time from a request to the first painted preview and to the
// complete one for a 4000 × 3000 JPEG, a 1 MB binary plist and a 50 MB SQLite database, the heap
// they hold while shown, thumbnails for 1,000 images with the GUI thread's longest stall, and
// what sniffing costs a listing in which every name is sniffed.
#include "filestore/listing.h"
#include "filestore/preview/thumbnailprovider.h"
#include "fileviews/previewpanel.h"
#include "heapusage.h"
#include "widgetsbenchmain.h"

#include "plistcompat.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QTemporaryDir &samples()
{
    static QTemporaryDir dir;
    return dir;
}

QString jpeg()
{
    QString path = samples().filePath(u"photo.jpg"_s);
    if (!QFile::exists(path)) {
        QImage image(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb((x * 7 + y) & 255, (y * 3) & 255, (x ^ y) & 255);
        }
        image.save(path, "jpg", 90);
    }
    return path;
}

QString binaryPlist()
{
    QString path = samples().filePath(u"big.plist"_s);
    if (!QFile::exists(path)) {
        plist_t root = plist_new_dict();
        for (int i = 0; i < 6000; ++i) {
            plist_t item = plist_new_dict();
            plist_dict_set_item(item, "title",
                                plist_new_string(QByteArray::number(i).repeated(20).constData()));
            plist_dict_set_item(item, "count", plist_new_uint(uint64_t(i) * 7919));
            plist_dict_set_item(item, "when", plist_new_date(700'000'000 + i, 0));
            plist_dict_set_item(item, "blob", plist_new_data("0123456789abcdef0123456789abcdef", 32));
            plist_dict_set_item(root, QByteArray("key" + QByteArray::number(i)).constData(), item);
        }
        char *bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(root, &bytes, &length);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes, length);
        PlistCompat::freeBuffer(bytes, true);
        plist_free(root);
    }
    return path;
}

QString database()
{
    QString path = samples().filePath(u"store.sqlite"_s);
    if (!QFile::exists(path)) {
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE ZEVENT (Z_PK INTEGER PRIMARY KEY, ZNAME TEXT, ZPAYLOAD BLOB, ZWHEN REAL);"
                     "CREATE INDEX ZEVENT_NAME ON ZEVENT (ZNAME);"
                     "CREATE TABLE ZTAG (Z_PK INTEGER PRIMARY KEY, ZLABEL TEXT);"
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 350000) "
                     "INSERT INTO ZEVENT (ZNAME, ZPAYLOAD, ZWHEN) SELECT 'event ' || i, randomblob(80), i * "
                     "1.5 FROM n;"
                     "INSERT INTO ZTAG (ZLABEL) VALUES ('a'), ('b');",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    return path;
}

// Request to the first painted stage (name, kind, size), to the first painted content (a
// picture, the outline, the tables) and to the complete preview, and the heap held while shown.
void lookAt(benchmark::State &state, const QString &path)
{
    double firstMs = 0, contentMs = 0, completeMs = 0, heapMB = 0;
    for (auto _ : state) {
        const size_t heapBefore = heapInUse();
        auto *panel = new PreviewPanel;
        panel->resize(900, 600);
        panel->show();
        QEventLoop loop;
        QElapsedTimer timer;
        bool first = true, content = false;
        QObject::connect(panel, &PreviewPanel::contentShown, &loop, [&](bool complete) {
            panel->repaint();
            if (first)
                firstMs += double(timer.nsecsElapsed()) / 1e6;
            first = false;
            const PreviewContent &c = panel->content();
            if (!content && (!c.image.isNull() || c.outline || !c.tables.isEmpty() || !c.text.isEmpty())) {
                contentMs += double(timer.nsecsElapsed()) / 1e6;
                content = true;
            }
            if (complete) {
                completeMs += double(timer.nsecsElapsed()) / 1e6;
                heapMB += double(heapInUse() - heapBefore) / (1024 * 1024);
                loop.quit();
            }
        });
        timer.start();
        panel->showFile(path);
        loop.exec();
        delete panel;
    }
    state.counters["first_ms"] = benchmark::Counter(firstMs / double(state.iterations()));
    state.counters["content_ms"] = benchmark::Counter(contentMs / double(state.iterations()));
    state.counters["complete_ms"] = benchmark::Counter(completeMs / double(state.iterations()));
    state.counters["heap_MB"] = benchmark::Counter(heapMB / double(state.iterations()));
}

void BM_QuickLookJpeg(benchmark::State &state)
{
    lookAt(state, jpeg());
}

void BM_QuickLookBinaryPlist(benchmark::State &state)
{
    lookAt(state, binaryPlist());
}

void BM_QuickLookSqlite(benchmark::State &state)
{
    lookAt(state, database());
}

// 1,000 images thumbnailed into an empty cache; the GUI thread turns each into a pixmap, as the
// icon grid would. The longest gap between 1 ms timer ticks is its worst stall.
void BM_Thumbnails(benchmark::State &state)
{
    const QString folder = samples().filePath(u"images"_s);
    if (!QDir(folder).exists()) {
        QDir().mkpath(folder);
        QImage image(640, 480, QImage::Format_RGB32);
        for (int i = 0; i < 1000; ++i) {
            image.fill(QColor::fromHsv(i % 360, 200, 200));
            image.save(folder + u"/img%1.jpg"_s.arg(i), "jpg", 85);
        }
    }
    double stallMs = 0;
    for (auto _ : state) {
        QTemporaryDir cache;
        ThumbnailProvider provider;
        provider.setCacheRoot(cache.filePath(u"thumbnails"_s));
        int received = 0;
        QEventLoop loop;
        QObject::connect(&provider, &ThumbnailProvider::thumbnailReady, &loop,
                         [&](const QUrl &, const QImage &image) {
                             QPixmap::fromImage(image);
                             if (++received == 1000)
                                 loop.quit();
                         });
        QElapsedTimer gap;
        qint64 worst = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            worst = std::max(worst, gap.nsecsElapsed());
            gap.restart();
        });
        gap.start();
        tick.start();
        for (int i = 0; i < 1000; ++i)
            provider.request(QUrl::fromLocalFile(folder + u"/img%1.jpg"_s.arg(i)), 128);
        loop.exec();
        stallMs = std::max(stallMs, double(worst) / 1e6);
    }
    state.counters["worst_gui_stall_ms"] = benchmark::Counter(stallMs);
}

// Every name sniffed (".plist") against none (".txt"): what reading first bytes adds to a listing.
void BM_ListingSniffed(benchmark::State &state)
{
    const QString suffix = state.range(0) ? u".plist"_s : u".txt"_s;
    const QString folder = samples().filePath(u"list"_s + suffix);
    if (!QDir(folder).exists()) {
        QDir().mkpath(folder);
        for (int i = 0; i < 10'000; ++i) {
            QFile file(folder + u"/item%1"_s.arg(i) + suffix);
            file.open(QIODevice::WriteOnly);
            file.write("bplist00\xd0\x08\x00\x00\x00\x00\x00\x00\x01\x01", 14);
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(listDirectory(folder));
}

} // namespace

BENCHMARK(BM_QuickLookJpeg)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QuickLookBinaryPlist)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QuickLookSqlite)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Thumbnails)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ListingSniffed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(3);

LANTHORN_WIDGETS_BENCHMARK_MAIN();
