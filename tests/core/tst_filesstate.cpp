#include "filestore/filejobqueue.h"
#include "filestore/fileoperations_p.h"
#include "filestore/filesstate.h"
#include "filestore/folderwatch.h"
#include "filestore/listing.h"
#include "filestore/namerules.h"
#include "simulator/appcatalogue.h"
#include "simulator/storagelocator.h"
#include "support/recordingservices.h"
#include "support/simulatordevice.h"
#include "support/testfoldernotifier.h"
#include "support/treesnapshot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <sys/stat.h>

#include <atomic>
#include <chrono>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Probe = TestFolderNotifier::Probe;

namespace {

// Records every request and fails for the paths it is told to.
struct RecordingTrash final : Trash
{
    QStringList asked;
    QStringList failFor;
    Status moveToTrash(const QString &path) override
    {
        asked.append(path);
        if (failFor.contains(path))
            return Status::failure(u"refused"_s);
        return QFile::remove(path) ? Status::success({}) : Status::failure(u"could not remove"_s);
    }
};

// Names with sizes: what a reload changes when a file is created, renamed, deleted or rewritten.
QStringList describe(const QList<FileEntry> &entries)
{
    QStringList items;
    for (const FileEntry &entry : entries)
        items.append(entry.name() + u':' + QString::number(entry.sizeBytes().value_or(-1)));
    return items;
}

} // namespace

class TestFilesState : public QObject
{
    Q_OBJECT

    // The storage root of each test: <temp>/storage.
    std::unique_ptr<TempFolder> m_dir;
    std::shared_ptr<RecordingWorkspace> m_workspace;
    std::shared_ptr<RecordingPasteboard> m_pasteboard;
    std::shared_ptr<RecordingTrash> m_trash;
    std::shared_ptr<Probe> m_probe; // the folder notifications of watchedState()

    QString root(const QString &relative = {}) const
    {
        return relative.isEmpty() ? m_dir->path(u"storage"_s) : m_dir->path(u"storage/"_s + relative);
    }
    QUrl rootUrl(const QString &relative = {}) const { return QUrl::fromLocalFile(root(relative)); }

    std::unique_ptr<FilesState> makeState(bool notified = false, const QUrl &storage = {})
    {
        FilesState::Services services{m_workspace, m_pasteboard, m_trash};
        if (notified)
            services.folderNotifier = TestFolderNotifier::factory(m_probe);
        return std::make_unique<FilesState>(
            [root = storage.isEmpty() ? rootUrl() : storage] { return std::optional(root); }, services);
    }

    // The state once it has loaded its root, as the screen's has after it appeared.
    static std::unique_ptr<FilesState> loaded(std::unique_ptr<FilesState> state)
    {
        state->reload(true);
        waitForReload(*state);
        return state;
    }
    std::unique_ptr<FilesState> loadedState() { return loaded(makeState()); }

    static bool waitForReload(FilesState &state)
    {
        return QTest::qWaitFor([&] { return !state.isWriting() && !state.isReloading(); }, 10'000);
    }

    // A state shown at the root, as the screen has it, watching with m_probe's notifications.
    std::unique_ptr<FilesState> watchedState()
    {
        auto state = makeState(true);
        state->folderWatch()->setTiming({.quiet = 50ms, .longest = 500ms, .again = 50ms, .writing = 0ms});
        state->setShown(true);
        state = loaded(std::move(state));
        state->setShownFolders({rootUrl()});
        return state;
    }

    // A loaded state over <temp>/device/group/storage, held inside <temp>/device.
    std::unique_ptr<FilesState> deviceState()
    {
        auto state = makeState(false, m_dir->url(u"device/group/storage"_s));
        state->setBoundary(m_dir->path(u"device"_s));
        return loaded(std::move(state));
    }

    // Nothing reported is left to check, and no read runs.
    static bool waitUntilQuiet(FilesState &state)
    {
        return QTest::qWaitFor(
            [&] { return state.folderWatch()->isQuiet() && !state.isWriting() && !state.isReloading(); },
            10'000);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempFolder>();
        QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
        QVERIFY(m_dir->createDir(u"storage"_s));
        m_workspace = std::make_shared<RecordingWorkspace>();
        m_pasteboard = std::make_shared<RecordingPasteboard>();
        m_trash = std::make_shared<RecordingTrash>();
        m_probe = std::make_shared<Probe>();
    }

    // An older reload that ends after a newer one must not put its folder's items on screen.
    void staleReloadIsDiscarded()
    {
        QVERIFY(m_dir->createFile(u"storage/root-item"_s));
        QVERIFY(m_dir->createFile(u"storage/sub/sub-item"_s));
        auto gate = std::make_shared<QSemaphore>(0);
        auto calls = std::make_shared<std::atomic<int>>(0);
        const QUrl storage = rootUrl();
        FilesState state(
            [gate, calls, storage]() -> std::optional<QUrl> {
                if (calls->fetch_add(1) == 0)
                    gate->acquire(); // the first reload is slow
                return storage;
            },
            {m_workspace, m_pasteboard, m_trash});
        // Whatever happens below, the blocked pool thread is let go.
        const auto release = qScopeGuard([gate] { gate->release(); });
        state.setCurrentDirectory(rootUrl());
        state.reload(true);
        QVERIFY(QTest::qWaitFor([&] { return calls->load() == 1; }, 10'000));
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0); // Qt paints with that one
        state.setCurrentDirectory(rootUrl(u"sub"_s));
        state.reload(true);
        QVERIFY(QTest::qWaitFor([&] { return state.loadState().isLoaded(); }, 10'000));
        QSignalSpy changes(&state, &FilesState::loadStateChanged);
        gate->release();
        QVERIFY(waitForReload(state));
        QCOMPARE(calls->load(), 2);
        QCOMPARE(describe(state.loadState().entries()), QStringList{u"sub-item:0"_s});
        QCOMPARE(changes.size(), 0);
    }

    void externalChangesAreReloaded_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"create", "rename", "delete", "save anew", "write in place"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    // Without a Refresh, keeping the selection, with no loading state in between.
    void externalChangesAreReloaded()
    {
        QFETCH(QString, change);
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s, "a") && m_dir->createFile(u"storage/b.txt"_s, "b"));
        auto state = watchedState();
        QCOMPARE(state->folderWatch()->watchedFolders(), QStringList{root()});
        QVERIFY(waitUntilQuiet(*state));
        state->setSelection({rootUrl(u"a.txt"_s)});
        QList<LoadState::Kind> kinds;
        connect(state.get(), &FilesState::loadStateChanged, this,
                [&] { kinds.append(state->loadState().kind()); });

        if (change == u"create"_s) {
            QVERIFY(m_dir->createFile(u"storage/new.txt"_s, "new"));
        } else if (change == u"rename"_s) {
            QVERIFY(QFile::rename(root(u"b.txt"_s), root(u"c.txt"_s)));
        } else if (change == u"delete"_s) {
            QVERIFY(QFile::remove(root(u"b.txt"_s)));
        } else if (change == u"write in place"_s) {
            QFile file(root(u"b.txt"_s));
            QVERIFY(file.open(QIODevice::Append) && file.write(" and more") == 9);
        } else {
            QSaveFile file(root(u"b.txt"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("longer content");
            QVERIFY(file.commit());
        }
        const QStringList expected = describe(listDirectory(root()));
        QVERIFY(describe(state->loadState().entries()) != expected);
        QTRY_COMPARE_WITH_TIMEOUT(describe(state->loadState().entries()), expected, 10'000);
        QVERIFY(!kinds.contains(LoadState::Kind::loading));
        QCOMPARE(state->selection(), QSet<QUrl>{rootUrl(u"a.txt"_s)});
    }

    // However many changes come one after another, they are read together.
    void burstOfChangesIsReadOnce()
    {
        m_probe->mode = TestFolderNotifier::Mode::silent;
        auto state = watchedState();
        state->folderWatch()->setTiming({.quiet = 300ms, .longest = 60s, .again = 50ms, .writing = 0ms});
        QVERIFY(waitUntilQuiet(*state));
        const int reloads = state->reloadCount();
        for (int i = 0; i < 60; ++i) {
            QVERIFY(m_dir->createFile(u"storage/file %1"_s.arg(i)));
            m_probe->report(root());
            QTest::qWait(1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(state->loadState().entries().size(), 60, 10'000);
        QVERIFY(waitUntilQuiet(*state));
        QVERIFY2(state->reloadCount() - reloads <= 2,
                 qPrintable(QString::number(state->reloadCount() - reloads)));
    }

    void ownOperationReloadsOnce_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *operation : {"new folder", "rename", "copy in"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }

    // The platform reports the operation's change too; the check it leads to finds what the
    // operation's own reload saw, and no second reload follows.
    void ownOperationReloadsOnce()
    {
        QFETCH(QString, operation);
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s, "a") && m_dir->createFile(u"outside.txt"_s, "o"));
        auto state = watchedState();
        QVERIFY(waitUntilQuiet(*state));
        const int reloads = state->reloadCount();
        const int reported = m_probe->reported;
        const QUrl a = rootUrl(u"a.txt"_s);
        if (operation == u"new folder"_s)
            state->newFolder();
        else if (operation == u"rename"_s)
            state->rename(a, u"b.txt"_s);
        else
            state->copyItemsIn({m_dir->url(u"outside.txt"_s)});
        QTRY_VERIFY_WITH_TIMEOUT(m_probe->reported > reported, 10'000);
        QVERIFY(waitUntilQuiet(*state));
        QCOMPARE(state->reloadCount(), reloads + 1);
        QCOMPARE(describe(state->loadState().entries()), describe(listDirectory(root())));
    }

    void rootThatLeadsOutIsGone_data()
    {
        QTest::addColumn<QString>("replaced"); // below device/
        QTest::addColumn<QString>("by");       // "/", "outside", "file" or "nothing"
        QTest::addColumn<QString>("operation");
        const QString storage = u"group/storage"_s;
        QTest::newRow("storage linked to /, read") << storage << u"/"_s << u"read"_s;
        QTest::newRow("storage linked out, new folder") << storage << u"outside"_s << u"new folder"_s;
        QTest::newRow("storage linked out, copy in") << storage << u"outside"_s << u"copy in"_s;
        QTest::newRow("storage linked out, duplicate") << storage << u"outside"_s << u"duplicate"_s;
        QTest::newRow("storage linked out, trash") << storage << u"outside"_s << u"trash"_s;
        QTest::newRow("its parent linked out, rename") << u"group"_s << u"outside"_s << u"rename"_s;
        QTest::newRow("storage made a file, new folder") << storage << u"file"_s << u"new folder"_s;
        QTest::newRow("storage deleted, new folder") << storage << u"nothing"_s << u"new folder"_s;
    }

    // The root replaced while shown: nothing is read or written through what took its place,
    // and the screen says the storage is gone.
    void rootThatLeadsOutIsGone()
    {
        QFETCH(QString, replaced);
        QFETCH(QString, by);
        QFETCH(QString, operation);
        QVERIFY(m_dir->createFile(u"device/group/storage/a.txt"_s, "a") &&
                m_dir->createFile(u"host/new.txt"_s));
        // Where a link in the root's place leads: the same names, outside the device.
        QVERIFY(m_dir->createFile(u"outside/a.txt"_s, "o") &&
                m_dir->createFile(u"outside/storage/a.txt"_s, "o"));
        auto state = deviceState();
        QCOMPARE(describe(state->loadState().entries()), QStringList{u"a.txt:1"_s});
        const QString place = m_dir->path(u"device/"_s + replaced);
        QVERIFY(QDir().rename(place, place + u".old"_s));
        if (by == u"/"_s || by == u"outside"_s)
            QVERIFY(QFile::link(by == u"/"_s ? by : m_dir->path(by), place));
        else if (by == u"file"_s)
            QVERIFY(m_dir->createFile(u"device/"_s + replaced, "file"));
        const Tree outside = treeOf(m_dir->path(u"outside"_s));
        const QUrl a = m_dir->url(u"device/group/storage/a.txt"_s);
        const std::map<QString, std::function<void()>> operations{
            {u"read"_s, [&] { state->reload(false); }},
            {u"new folder"_s, [&] { state->newFolder(); }},
            {u"copy in"_s, [&] { state->copyItemsIn({m_dir->url(u"host/new.txt"_s)}); }},
            {u"duplicate"_s, [&] { state->duplicate({a}); }},
            {u"trash"_s, [&] { state->moveToTrash({a}); }},
            {u"rename"_s, [&] { state->rename(a, u"b.txt"_s); }}};
        operations.at(operation)();
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->loadState().kind(), LoadState::Kind::storageMissing);
        QCOMPARE_TREE(outside, treeOf(m_dir->path(u"outside"_s)));
        QVERIFY(m_trash->asked.isEmpty());
        QCOMPARE(state->errorMessage(), std::nullopt);
    }

    void linkInsideTheRootOpens_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("to a folder of the device") << u"device/other"_s;
        QTest::newRow("out of the device") << u"outside"_s;
    }

    // A link the user opens is followed, as in any file manager; but only a folder that really
    // lies inside the device is written into.
    void linkInsideTheRootOpens()
    {
        QFETCH(QString, target);
        const bool inside = target.startsWith(u"device/"_s);
        QVERIFY(m_dir->createDir(u"device/group/storage"_s) && m_dir->createFile(target + u"/item.txt"_s));
        QVERIFY(m_dir->createSymlink(m_dir->path(target), u"device/group/storage/link"_s));
        auto state = deviceState();
        state->open(m_dir->url(u"device/group/storage/link"_s));
        state->reload(true);
        QVERIFY(waitForReload(*state));
        QCOMPARE(describe(state->loadState().entries()), QStringList{u"item.txt:0"_s});
        state->newFolder();
        QCOMPARE(m_dir->exists(target + u"/untitled folder"_s), inside);
        QCOMPARE(state->errorMessage().has_value(), !inside);
        QVERIFY(waitForReload(*state));
        QVERIFY(state->loadState().isLoaded());
    }

    void vanishedFolderGivesWay_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("shown"); // the folder shown afterwards, below the root
        QTest::newRow("deleted") << u"deleted"_s << u"sub"_s;
        QTest::newRow("replaced by a file") << u"file"_s << u"sub"_s;
        QTest::newRow("its parent deleted") << u"parent"_s << QString();
        QTest::newRow("made unreadable") << u"unreadable"_s << u"sub/deeper"_s;
    }

    // The current folder changed from outside: the nearest folder that still exists is shown
    // and written into, without a word; one that cannot be read says so instead of looking empty.
    void vanishedFolderGivesWay()
    {
        QFETCH(QString, change);
        QFETCH(QString, shown);
        QVERIFY(m_dir->createFile(u"storage/sub/deeper/x.txt"_s) &&
                m_dir->createFile(u"storage/sub/y.txt"_s));
        m_probe->mode = TestFolderNotifier::Mode::silent;
        auto state = watchedState();
        const QString deeper = root(u"sub/deeper"_s);
        state->setCurrentDirectory(rootUrl(u"sub/deeper"_s));
        state->reload(true);
        QVERIFY(waitForReload(*state));
        state->setSelection({rootUrl(u"sub/deeper/x.txt"_s)});
        const auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(deeper).constData(), 0755); });
        if (change == u"deleted"_s || change == u"file"_s)
            QVERIFY(QDir(deeper).removeRecursively());
        if (change == u"file"_s)
            QVERIFY(m_dir->createFile(u"storage/sub/deeper"_s));
        if (change == u"parent"_s)
            QVERIFY(QDir(root(u"sub"_s)).removeRecursively());
        if (change == u"unreadable"_s && permissionsAreIgnored()) {
            // Permissions do not stop this process: a link that loops cannot be read either.
            QVERIFY(QDir(deeper).removeRecursively() && QFile::link(u"deeper"_s, deeper));
        } else if (change == u"unreadable"_s) {
            QCOMPARE(::chmod(QFile::encodeName(deeper).constData(), 0), 0);
        }
        m_probe->report(deeper);
        const auto expected = std::optional(rootUrl(shown));
        QTRY_COMPARE_WITH_TIMEOUT(state->currentDirectory(), expected, 10'000);
        QVERIFY(waitUntilQuiet(*state));
        if (change == u"unreadable"_s) {
            QCOMPARE(state->loadState().kind(), LoadState::Kind::unreadable);
            return;
        }
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loaded);
        QCOMPARE(describe(state->loadState().entries()), describe(listDirectory(root(shown))));
        QVERIFY(state->selection().isEmpty());
        state->newFolder();
        QVERIFY(m_dir->exists(u"storage/"_s + (shown.isEmpty() ? QString() : shown + u'/') +
                              u"untitled folder"_s));
        QCOMPARE(state->errorMessage(), std::nullopt);
        QVERIFY(waitForReload(*state));
    }

    // A folder deleted and made again, as a build step does, is watched again: the platform
    // forgets a deleted folder, however alike the new one looks.
    void folderMadeAgainIsWatchedAgain()
    {
        QVERIFY(m_dir->createDir(u"storage/build"_s));
        auto state = watchedState();
        state->setCurrentDirectory(rootUrl(u"build"_s));
        state->reload(true);
        QVERIFY(waitForReload(*state));
        state->setShownFolders({rootUrl(u"build"_s)});
        QVERIFY(waitUntilQuiet(*state));
        const int reported = m_probe->reported;
        QVERIFY(QDir(root(u"build"_s)).removeRecursively() && m_dir->createDir(u"storage/build"_s));
        QTRY_VERIFY_WITH_TIMEOUT(m_probe->reported > reported, 10'000);
        QVERIFY(waitUntilQuiet(*state));
        QVERIFY(m_dir->createFile(u"storage/build/product.o"_s));
        QTRY_COMPARE_WITH_TIMEOUT(describe(state->loadState().entries()), QStringList{u"product.o:0"_s},
                                  10'000);
        QCOMPARE(state->currentDirectory(), std::optional(rootUrl(u"build"_s)));
    }

    // While the storage is missing, where it appears is watched, from the nearest folder that exists
    // down to the containers: the Files app makes its container, its metadata, then the storage
    // folder, and the screen notices each at once among many other groups.
    void storageAppearsWithItsFolder()
    {
        const QString udid = u"5D3A0C2E-0000-4000-8000-000000000001"_s;
        const QString home = m_dir->path();
        const QString appGroup = StorageLocator::appGroupFolder(home, udid);
        SimulatorDevice device(*m_dir, udid);
        const QString containers = QFileInfo(QFileInfo(appGroup).path()).path(); // the nearest that exists
        QVERIFY(QDir().mkpath(containers));
        FilesState state(
            [home, udid]() -> std::optional<QUrl> {
                const auto path = StorageLocator::findFilesStorage(home, udid);
                return path ? std::optional(QUrl::fromLocalFile(*path)) : std::nullopt;
            },
            {m_workspace, m_pasteboard, m_trash, TestFolderNotifier::factory(m_probe)});
        state.folderWatch()->setTiming({.quiet = 50ms, .longest = 500ms, .again = 50ms, .writing = 0ms});
        state.setBoundary(AppCatalogue::deviceDataFolder(home, udid));
        state.setStorageAnchor(appGroup);
        state.setShown(true);
        state.reload(true);
        QVERIFY(waitForReload(state));
        QCOMPARE(state.loadState().kind(), LoadState::Kind::storageMissing);
        QCOMPARE(state.folderWatch()->watchedFolders(), QStringList{containers});

        for (int i = 0; i < 70; ++i)
            QVERIFY(device.build({u"group G%1 group.example.%1"_s.arg(i)}));
        QVERIFY(m_dir->createDir(device.data(u"Containers/Shared/AppGroup/ZZ"_s)));
        const QStringList waiting{appGroup, appGroup + u"/ZZ"_s};
        QTRY_COMPARE_WITH_TIMEOUT(state.folderWatch()->watchedFolders(), waiting, 10'000);
        QVERIFY(device.build({u"group ZZ group.com.apple.FileProvider.LocalStorage"_s}));
        QVERIFY(waitUntilQuiet(state));
        QCOMPARE(state.loadState().kind(), LoadState::Kind::storageMissing);
        QCOMPARE(state.folderWatch()->watchedFolders(), waiting);

        QVERIFY(device.build({u"file Containers/Shared/AppGroup/ZZ/File Provider Storage/a.txt"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(state.loadState().kind(), LoadState::Kind::loaded, 10'000);
        QCOMPARE(describe(state.loadState().entries()), QStringList{u"a.txt:0"_s});
        QCOMPARE(state.folderWatch()->watchedFolders(),
                 QStringList{appGroup + u"/ZZ/File Provider Storage"_s});
    }

    void open()
    {
        QVERIFY(m_dir->createDir(u"storage/folder"_s));
        QVERIFY(m_dir->createFile(u"storage/file.txt"_s));
        auto state = loadedState();
        state->open(rootUrl(u"folder"_s));
        QCOMPARE(state->currentDirectory(), rootUrl(u"folder"_s));
        state->open(rootUrl(u"file.txt"_s));
        state->open(rootUrl(u"deleted-folder"_s));
        QCOMPARE(m_workspace->opened, (QList<QUrl>{rootUrl(u"file.txt"_s), rootUrl(u"deleted-folder"_s)}));
        QCOMPARE(state->currentDirectory(), rootUrl(u"folder"_s));
    }

    void renameRefusals_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::newRow("slash") << u"a/b"_s;
        QTest::newRow("taken") << u"taken.txt"_s;
    }

    // A refused name changes nothing, never replaces; only a taken name says so.
    void renameRefusals()
    {
        QFETCH(QString, proposed);
        QVERIFY(m_dir->createFile(u"storage/item.txt"_s, "x") &&
                m_dir->createFile(u"storage/taken.txt"_s, "keep"));
        auto state = loadedState();
        const Tree before = treeOf(root());
        const int reloads = state->reloadCount();
        state->rename(rootUrl(u"item.txt"_s), proposed);
        QCOMPARE(state->reloadCount(), reloads + 1);
        QCOMPARE(state->errorMessage().value_or(QString()).contains(u"already exists"_s),
                 proposed == u"taken.txt"_s);
        QVERIFY(state->selection().isEmpty());
        QCOMPARE_TREE(before, treeOf(root()));
        QVERIFY(waitForReload(*state));
    }

    // The first free number is offered for renaming (a file takes a name as a folder does); at
    // the last one the request goes quietly.
    void newFolder()
    {
        auto state = loadedState();
        for (int n = 1; n <= 98; ++n) {
            const QString taken = NameRules::untitledFolderName(n).prepend(u"storage/"_s);
            QVERIFY(n == 1 ? m_dir->createFile(taken) : m_dir->createDir(taken));
        }
        state->newFolder();
        QCOMPARE(state->renameRequest(), rootUrl(u"untitled folder 99"_s));
        QVERIFY(waitForReload(*state));
        const int reloads = state->reloadCount();
        state->newFolder();
        QCOMPARE(state->reloadCount(), reloads);
        QCOMPARE(treeOf(root()).size(), 99);
        QCOMPARE(state->errorMessage(), std::nullopt);
    }

    // Paste (as any copy in): replaces only once the copy succeeded, goes on after a failure,
    // duplicates in its own folder, never puts a folder into itself or onto what holds it.
    // `changes`: "path=content" a file, "path/" a folder, "-path" gone; the rest stays.
    void copyIn_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QString>("message"); // a pattern; empty for none
        QTest::addColumn<QStringList>("changes");
        const QString holder = u"^%1: An item can’t replace the folder that contains it\\.$"_s;
        QTest::newRow("replaces without asking")
            << QString() << QStringList{u"host/a.txt"_s, u"host/Docs"_s} << QString()
            << QStringList{u"a.txt=new a"_s, u"-Docs/old.txt"_s, u"Docs/new.txt=new doc"_s};
        QTest::newRow("goes on after a failure")
            << QString()
            << QStringList{u"host/first.txt"_s, u"host/gone-1"_s, u"host/third.txt"_s, u"host/gone-2"_s}
            << u"^gone-2: "_s << QStringList{u"first.txt=1"_s, u"third.txt=3"_s};
        QTest::newRow("into its own folder")
            << QString() << QStringList{u"storage/a.txt"_s, u"storage/Docs/"_s} << QString()
            << QStringList{u"a copy.txt=old a"_s, u"Docs copy/"_s, u"Docs copy/old.txt=old doc"_s};
        QTest::newRow("folder into itself")
            << u"Outer/Inner"_s << QStringList{u"storage/Outer"_s, u"host/first.txt"_s}
            << u"^Outer: .*itself"_s << QStringList{u"Outer/Inner/first.txt=1"_s};
        QTest::newRow("inner folder onto the outer") << QString() << QStringList{u"storage/Photos/Photos"_s}
                                                     << holder.arg(u"Photos"_s) << QStringList{};
        QTest::newRow("file onto a folder two levels up")
            << QString() << QStringList{u"storage/Keep/a/Keep"_s} << holder.arg(u"Keep"_s) << QStringList{};
        QTest::newRow("current folder reached through a link")
            << u"view"_s << QStringList{u"storage/Photos/Photos"_s} << holder.arg(u"Photos"_s)
            << QStringList{};
        QTest::newRow("a link to the holding folder is only a link")
            << QString() << QStringList{u"storage/Real/Album"_s} << QString()
            << QStringList{u"Album/"_s, u"Album/pic.jpg=pic"_s};
    }

    void copyIn()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, sources);
        QFETCH(QString, message);
        QFETCH(QStringList, changes);
        for (const auto &[file, content] : {std::pair{"storage/a.txt", "old a"},
                                            {"storage/Docs/old.txt", "old doc"},
                                            {"storage/Photos/Photos/deep.jpg", "deep"},
                                            {"storage/Photos/sibling.jpg", "sibling"},
                                            {"storage/Real/Album/pic.jpg", "pic"},
                                            {"storage/Keep/a/Keep", "inner"},
                                            {"storage/Outer/Inner/x.txt", "x"},
                                            {"host/a.txt", "new a"},
                                            {"host/Docs/new.txt", "new doc"},
                                            {"host/first.txt", "1"},
                                            {"host/third.txt", "3"}})
            QVERIFY(m_dir->createFile(QString::fromUtf8(file), content));
        QVERIFY(m_dir->createSymlink(root(u"Real"_s), u"storage/Album"_s));
        QVERIFY(m_dir->createSymlink(root(), u"storage/view"_s));
        Tree expected = treeOf(root());
        const Tree host = treeOf(m_dir->path(u"host"_s));
        for (const QString &change : changes) {
            if (change.startsWith(u'-'))
                expected.remove(change.mid(1).toUtf8());
            else if (change.endsWith(u'/'))
                expected[change.chopped(1).toUtf8()] = "folder 755";
            else
                expected[change.section(u'=', 0, 0).toUtf8()] =
                    fileDescription(change.section(u'=', 1).toUtf8());
        }
        auto state = loadedState();
        state->setCurrentDirectory(rootUrl(folder));
        state->setSelection({rootUrl(u"a.txt"_s)});
        QList<QUrl> urls;
        for (const QString &source : sources)
            urls.append(m_dir->url(source));
        m_pasteboard->fileURLs = urls;
        state->paste();
        QVERIFY(waitForReload(*state));
        if (message.isEmpty())
            QCOMPARE(state->errorMessage(), std::nullopt);
        else
            QVERIFY2(QRegularExpression(message).match(state->errorMessage().value_or(QString())).hasMatch(),
                     qPrintable(state->errorMessage().value_or(u"(none)"_s)));
        QCOMPARE_TREE(expected, treeOf(root()));
        QCOMPARE_TREE(host, treeOf(m_dir->path(u"host"_s)));
        QCOMPARE(state->selection(), QSet<QUrl>{rootUrl(u"a.txt"_s)});
    }

    void stoppedJob_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("message"); // a pattern; empty for none
        QTest::addColumn<bool>("note");       // no failure, only how far it got
        const QString stay = u"The items already copied stay\\.$"_s;
        QTest::newRow("copy in") << u"copy in"_s << QStringList{u"first.txt"_s}
                                 << u"^Stopped after 1 of 3 items\\. "_s + stay << true;
        QTest::newRow("replace") << u"replace"_s << QStringList{u"first.txt"_s}
                                 << u"^Stopped after 1 of 3 items\\. "_s + stay << true;
        QTest::newRow("copy in after a failure")
            << u"failing copy in"_s << QStringList{u"first.txt"_s}
            << u"^missing: .*\n\nStopped after 1 of 4 items\\. "_s + stay << false;
        QTest::newRow("duplicate") << u"duplicate"_s << QStringList{} << QString() << false;
    }

    // Stopped inside its big item, a job leaves that item's destination as it was (a replaced
    // item kept, no temporaries) and starts no further item; the items done before stay and the
    // message says so, as a note unless something failed too.
    void stoppedJob()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, changes);
        QFETCH(QString, message);
        QFETCH(bool, note);
        QVERIFY(m_dir->createFile(u"host/first.txt"_s, "1") && m_dir->createFile(u"host/last.txt"_s, "3"));
        QVERIFY(m_dir->createFile(u"host/big"_s, QByteArray(qsizetype(64) << 20, 'b')));
        if (operation == u"replace"_s)
            QVERIFY(m_dir->createFile(u"storage/big"_s, "old"));
        if (operation == u"duplicate"_s)
            QVERIFY(QFile::copy(m_dir->path(u"host/big"_s), root(u"big"_s)));
        Tree expected = treeOf(root());
        for (const QString &name : changes)
            expected[name.toUtf8()] = treeOf(m_dir->path(u"host"_s)).value(name.toUtf8());
        auto state = loadedState();
        QStringList messages;
        connect(state.get(), &FilesState::errorMessageChanged, this,
                [&] { messages << state->errorMessage().value_or(QString()); });
        FileOperationsPrivate::setByteCopyOnly(true);
        const auto restore = qScopeGuard([] { FileOperationsPrivate::setByteCopyOnly(false); });
        QList<QUrl> sources{m_dir->url(u"host/first.txt"_s), m_dir->url(u"host/big"_s),
                            m_dir->url(u"host/last.txt"_s)};
        if (operation == u"failing copy in"_s)
            sources.insert(1, m_dir->url(u"host/missing"_s));
        if (operation == u"duplicate"_s)
            state->duplicate({rootUrl(u"big"_s)});
        else
            state->copyItemsIn(sources);
        FileJobQueue *queue = FileJobQueue::shared();
        // Read as the strip does; stopped once the big item is on its way.
        QElapsedTimer waited;
        waited.start();
        while (!queue->jobs().isEmpty() && queue->jobs().first().bytesDone < 2 && waited.elapsed() < 10'000)
            QThread::yieldCurrentThread();
        queue->cancelAll();
        QVERIFY(waitForReload(*state));
        QVERIFY(queue->jobs().isEmpty());
        QCOMPARE_TREE(expected, treeOf(root()));
        // A stop is no failure: the note is all there is to say.
        QCOMPARE(messages.size(), message.isEmpty() ? 0 : note ? 1 : 2);
        QVERIFY2(message.isEmpty() || QRegularExpression(message).match(messages.last()).hasMatch(),
                 qPrintable(messages.join(u" | "_s)));
        QCOMPARE(state->errorMessageIsStopNote(), note);
    }

    // Jobs run in the order given; their outcomes apply on the GUI thread in that order.
    void jobsApplyInOrder()
    {
        for (const QString &n : {u"1"_s, u"2"_s, u"3"_s})
            QVERIFY(m_dir->createFile(u"host/"_s + n + u"/a.txt"_s,
                                      QByteArray(n == u"1"_s ? 32 << 20 : 4096, n.at(0).toLatin1())));
        auto state = loadedState();
        // The first the slowest by far: run side by side, the others would end first.
        FileOperationsPrivate::setByteCopyOnly(true);
        const auto restore = qScopeGuard([] { FileOperationsPrivate::setByteCopyOnly(false); });
        QStringList messages;
        connect(state.get(), &FilesState::errorMessageChanged, this, [&] {
            if (QThread::currentThread() == thread() && state->errorMessage())
                messages << state->errorMessage()->section(u':', 0, 0);
        });
        for (const QString &n : {u"1"_s, u"2"_s, u"3"_s})
            state->copyItemsIn(
                {m_dir->url(u"host/"_s + n + u"/a.txt"_s), m_dir->url(u"host/missing-"_s + n)});
        QVERIFY(waitForReload(*state));
        QCOMPARE(messages, (QStringList{u"missing-1"_s, u"missing-2"_s, u"missing-3"_s}));
        QCOMPARE(m_dir->read(u"storage/a.txt"_s), QByteArray(4096, '3'));
    }

    // Trash failures are silent and the rest still goes.
    void moveToTrashGoesOnAfterAFailure()
    {
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
            QVERIFY(m_dir->createFile(u"storage/"_s + name));
        auto state = loadedState();
        m_trash->failFor = {root(u"b"_s)};
        const QSet<QUrl> all{rootUrl(u"a"_s), rootUrl(u"b"_s), rootUrl(u"c"_s)};
        state->setSelection(all);
        state->moveToTrash(all);
        QVERIFY(waitForReload(*state));
        QCOMPARE(m_trash->asked.size(), 3);
        QCOMPARE(treeOf(root()).keys(), QList<QByteArray>{"b"});
        QCOMPARE(state->errorMessage(), std::nullopt);
        QCOMPARE(state->selection(), all);
    }
};

QTEST_GUILESS_MAIN(TestFilesState)
#include "tst_filesstate.moc"
