#include "filestore/filesstate.h"
#include "filestore/folderwatch.h"
#include "filestore/listing.h"
#include "support/tempfolder.h"
#include "support/testfoldernotifier.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Probe = TestFolderNotifier::Probe;

namespace {

struct RecordingWorkspace final : Workspace
{
    QList<QUrl> opened;
    QList<QList<QUrl>> revealed;
    QList<QUrl> terminals;
    void open(const QUrl &url) override { opened.append(url); }
    void reveal(const QList<QUrl> &urls) override { revealed.append(urls); }
    void openInTerminal(const QUrl &folder) override { terminals.append(folder); }
};

struct FakePasteboard final : Pasteboard
{
    QList<QUrl> urls;
    std::optional<QString> text;
    void writeFileURLs(const QList<QUrl> &u) override
    {
        urls = u;
        text.reset();
    }
    void writeText(const QString &t) override
    {
        text = t;
        urls.clear();
    }
    QList<QUrl> readFileURLs() const override { return urls; }
    bool canReadFileURLs() const override { return !urls.isEmpty(); }
};

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

bool createSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), std::min(sizeof address.sun_path - 1, size_t(encoded.size())));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

QStringList namesOf(const LoadState &state)
{
    QStringList names;
    for (const FileEntry &entry : state.entries())
        names.append(entry.name());
    return names;
}

// Names with sizes: what a reload changes when a file is created, renamed, deleted or rewritten.
QStringList describe(const QList<FileEntry> &entries)
{
    QStringList items;
    for (const FileEntry &entry : entries)
        items.append(entry.name() + u':' + QString::number(entry.sizeBytes().value_or(-1)));
    return items;
}

QStringList treeOf(const QString &folder)
{
    QStringList items;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        items.append(QDir(folder).relativeFilePath(it.next()));
    items.sort();
    return items;
}

} // namespace

class TestFilesState : public QObject
{
    Q_OBJECT

    // The storage root of each test: <temp>/storage.
    std::unique_ptr<TempFolder> m_dir;
    std::shared_ptr<RecordingWorkspace> m_workspace;
    std::shared_ptr<FakePasteboard> m_pasteboard;
    std::shared_ptr<RecordingTrash> m_trash;
    std::shared_ptr<std::atomic<bool>> m_storageFound;

    QString root(const QString &relative = {}) const
    {
        return relative.isEmpty() ? m_dir->path(u"storage"_s) : m_dir->path(u"storage/"_s + relative);
    }
    QUrl rootUrl(const QString &relative = {}) const { return QUrl::fromLocalFile(root(relative)); }

    std::unique_ptr<FilesState> makeState()
    {
        auto found = m_storageFound;
        const QUrl storage = rootUrl();
        return std::make_unique<FilesState>(
            [found, storage]() -> std::optional<QUrl> {
                if (!found->load())
                    return std::nullopt;
                return storage;
            },
            FilesState::Services{m_workspace, m_pasteboard, m_trash});
    }

    // A state that has loaded the root once, as the screen has after it appeared.
    std::unique_ptr<FilesState> loadedState()
    {
        auto state = makeState();
        state->reload(true);
        waitForReload(*state);
        return state;
    }

    static bool waitForReload(FilesState &state)
    {
        return QTest::qWaitFor([&] { return !state.isReloading(); }, 10'000);
    }

    // A state shown at the root, as the screen has it, watching with the probe's notifications;
    // files being written are not followed unless `writing` says for how long.
    std::unique_ptr<FilesState> watchedState(const std::shared_ptr<Probe> &probe, const QString &anchor = {},
                                             std::chrono::milliseconds writing = 0ms)
    {
        auto found = m_storageFound;
        const QUrl storage = rootUrl();
        auto state = std::make_unique<FilesState>(
            [found, storage]() -> std::optional<QUrl> {
                if (!found->load())
                    return std::nullopt;
                return storage;
            },
            FilesState::Services{m_workspace, m_pasteboard, m_trash, TestFolderNotifier::factory(probe)});
        state->folderWatch()->setTiming({.quiet = 50ms, .longest = 500ms, .again = 50ms, .writing = writing});
        state->setStorageAnchor(anchor);
        state->setShown(true);
        state->reload(true);
        waitForReload(*state);
        state->setShownFolders({rootUrl()});
        return state;
    }

    // Nothing reported is left to check, and no read runs.
    static bool waitUntilQuiet(FilesState &state)
    {
        return QTest::qWaitFor([&] { return state.folderWatch()->isQuiet() && !state.isReloading(); },
                               10'000);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempFolder>();
        QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
        QVERIFY(m_dir->createDir(u"storage"_s));
        m_workspace = std::make_shared<RecordingWorkspace>();
        m_pasteboard = std::make_shared<FakePasteboard>();
        m_trash = std::make_shared<RecordingTrash>();
        m_storageFound = std::make_shared<std::atomic<bool>>(true);
    }

    void firstReloadFindsTheRoot()
    {
        QVERIFY(m_dir->createFile(u"storage/b.txt"_s, "b"));
        QVERIFY(m_dir->createDir(u"storage/a"_s));
        auto state = makeState();
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loading);
        QSignalSpy folderSpy(state.get(), &FilesState::currentDirectoryChanged);
        state->reload(true);
        QCOMPARE(state->reloadCount(), 1);
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loading);
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loaded);
        QCOMPARE(namesOf(state->loadState()), (QStringList{u"a"_s, u"b.txt"_s}));
        QCOMPARE(state->rootURL(), rootUrl());
        QCOMPARE(state->currentDirectory(), rootUrl());
        QCOMPARE(folderSpy.size(), 1);
    }

    // The screen reloads with the spinner when the folder changes; at first appearance that
    // makes the states run loading, loaded, loading, loaded.
    void firstAppearanceReadsTheRootTwice()
    {
        auto state = makeState();
        QList<LoadState::Kind> kinds;
        connect(state.get(), &FilesState::loadStateChanged, this, [&] { kinds.append(state->loadState().kind()); });
        connect(state.get(), &FilesState::currentDirectoryChanged, this, [&] { state->reload(true); });
        state->reload(true);
        QVERIFY(QTest::qWaitFor([&] { return kinds.size() == 3 && !state->isReloading(); }, 10'000));
        QCOMPARE(kinds, (QList<LoadState::Kind>{LoadState::Kind::loaded, LoadState::Kind::loading,
                                                  LoadState::Kind::loaded}));
        QCOMPARE(state->reloadCount(), 2);
    }

    void refreshKeepsListAndSelection()
    {
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s));
        auto state = loadedState();
        state->setSelection({rootUrl(u"a.txt"_s)});
        QVERIFY(m_dir->createFile(u"storage/b.txt"_s));
        state->reload(false);
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loaded);
        QCOMPARE(namesOf(state->loadState()), QStringList{u"a.txt"_s});
        QVERIFY(waitForReload(*state));
        QCOMPARE(namesOf(state->loadState()), (QStringList{u"a.txt"_s, u"b.txt"_s}));
        QCOMPARE(state->selection(), QSet<QUrl>{rootUrl(u"a.txt"_s)});

        state->reload(true);
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loading);
        QVERIFY(state->selection().isEmpty());
        QVERIFY(waitForReload(*state));
    }

    void storageThatDisappears()
    {
        QVERIFY(m_dir->createDir(u"storage/sub"_s));
        auto state = loadedState();
        state->open(rootUrl(u"sub"_s));
        QCOMPARE(state->currentDirectory(), rootUrl(u"sub"_s));
        state->setSelection({rootUrl(u"sub/x"_s)});

        m_storageFound->store(false);
        state->reload(false);
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->loadState().kind(), LoadState::Kind::storageMissing);
        QCOMPARE(state->currentDirectory(), rootUrl(u"sub"_s));
        QCOMPARE(state->rootURL(), rootUrl());

        // Not showing a list: even a refresh shows the spinner and clears the selection.
        // (The storage is back before the reload starts: its lookup runs on a worker at once.)
        state->setSelection({rootUrl(u"sub/x"_s)});
        m_storageFound->store(true);
        state->reload(false);
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loading);
        QVERIFY(state->selection().isEmpty());
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->loadState().kind(), LoadState::Kind::loaded);
    }

    void deletedFolderShowsEmpty()
    {
        QVERIFY(m_dir->createFile(u"storage/sub/a.txt"_s));
        auto state = loadedState();
        state->setCurrentDirectory(rootUrl(u"sub"_s));
        QVERIFY(QDir(root(u"sub"_s)).removeRecursively());
        state->reload(true);
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->loadState(), LoadState::loaded({}));
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
        state.reload(true); // lists the root, slowly
        QVERIFY(QTest::qWaitFor([&] { return calls->load() == 1; }, 10'000));
        state.setCurrentDirectory(rootUrl(u"sub"_s));
        state.reload(true); // lists "sub", at once
        QVERIFY(QTest::qWaitFor([&] { return state.loadState().isLoaded(); }, 10'000));
        QCOMPARE(namesOf(state.loadState()), QStringList{u"sub-item"_s});

        QSignalSpy changes(&state, &FilesState::loadStateChanged);
        gate->release();
        QVERIFY(waitForReload(state));
        QCOMPARE(calls->load(), 2);
        QCOMPARE(namesOf(state.loadState()), QStringList{u"sub-item"_s});
        QCOMPARE(changes.size(), 0);
        QCOMPARE(state.reloadCount(), 2);
    }

    void externalChangesAreReloaded_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("created") << u"create"_s;
        QTest::newRow("renamed") << u"rename"_s;
        QTest::newRow("deleted") << u"delete"_s;
        QTest::newRow("saved anew") << u"save"_s;
    }

    // Without a Refresh, keeping the selection, with no loading state in between.
    void externalChangesAreReloaded()
    {
        QFETCH(QString, change);
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s, "a") && m_dir->createFile(u"storage/b.txt"_s, "b"));
        auto probe = std::make_shared<Probe>();
        auto state = watchedState(probe);
        QCOMPARE(state->folderWatch()->watchedFolders(), QStringList{root()});
        QVERIFY(waitUntilQuiet(*state));
        state->setSelection({rootUrl(u"a.txt"_s)});
        QList<LoadState::Kind> kinds;
        connect(state.get(), &FilesState::loadStateChanged, this,
                [&] { kinds.append(state->loadState().kind()); });
        const int reloads = state->reloadCount();

        if (change == u"create"_s) {
            QVERIFY(m_dir->createFile(u"storage/new.txt"_s, "new"));
        } else if (change == u"rename"_s) {
            QVERIFY(QFile::rename(root(u"b.txt"_s), root(u"c.txt"_s)));
        } else if (change == u"delete"_s) {
            QVERIFY(QFile::remove(root(u"b.txt"_s)));
        } else {
            QSaveFile file(root(u"b.txt"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("longer content");
            QVERIFY(file.commit());
        }
        const QStringList expected = describe(listDirectory(root()));
        QVERIFY(describe(state->loadState().entries()) != expected);
        QTRY_COMPARE_WITH_TIMEOUT(describe(state->loadState().entries()), expected, 10'000);
        QVERIFY(state->reloadCount() > reloads);
        QVERIFY(!kinds.contains(LoadState::Kind::loading));
        QCOMPARE(state->selection(), QSet<QUrl>{rootUrl(u"a.txt"_s)});
    }

    // The platform may report a file's creation and not the writes into it that follow (Linux
    // does): a file still being written is read again until it has its size.
    void fileStillBeingWrittenIsReadAgain()
    {
        auto probe = std::make_shared<Probe>();
        auto state = watchedState(probe, {}, 10s);
        QFile file(root(u"copying.bin"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QTRY_COMPARE_WITH_TIMEOUT(describe(state->loadState().entries()), QStringList{u"copying.bin:0"_s},
                                  10'000);
        file.write("written later");
        file.close();
        QTRY_COMPARE_WITH_TIMEOUT(describe(state->loadState().entries()), QStringList{u"copying.bin:13"_s},
                                  10'000);
    }

    // However many changes come one after another, they are read together: a script that
    // writes one file after another, with time between them for reads to run.
    void burstOfChangesIsReadOnce()
    {
        auto probe = std::make_shared<Probe>();
        probe->mode = TestFolderNotifier::Mode::silent;
        auto state = watchedState(probe);
        state->folderWatch()->setTiming({.quiet = 300ms, .longest = 60s, .again = 50ms, .writing = 0ms});
        QVERIFY(waitUntilQuiet(*state));
        const int reloads = state->reloadCount();
        for (int i = 0; i < 300; ++i) {
            QVERIFY(m_dir->createFile(u"storage/file %1"_s.arg(i)));
            probe->report(root());
            QTest::qWait(1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(state->loadState().entries().size(), 300, 10'000);
        QVERIFY(waitUntilQuiet(*state));
        QVERIFY2(state->reloadCount() - reloads <= 2,
                 qPrintable(QString::number(state->reloadCount() - reloads)));
    }

    void ownOperationReloadsOnce_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *operation : {"new folder", "rename", "trash", "duplicate", "copy in"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }

    // The platform reports the operation's change too; the check it leads to finds what the
    // operation's own reload saw, and no second reload follows.
    void ownOperationReloadsOnce()
    {
        QFETCH(QString, operation);
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s, "a") && m_dir->createFile(u"outside.txt"_s, "o"));
        auto probe = std::make_shared<Probe>();
        auto state = watchedState(probe);
        QVERIFY(waitUntilQuiet(*state));
        const int reloads = state->reloadCount();
        const int reported = probe->reported;

        const QUrl a = rootUrl(u"a.txt"_s);
        if (operation == u"new folder"_s)
            state->newFolder();
        else if (operation == u"rename"_s)
            state->rename(a, u"b.txt"_s);
        else if (operation == u"trash"_s)
            state->moveToTrash({a});
        else if (operation == u"duplicate"_s)
            state->duplicate({a});
        else
            state->copyItemsIn({QUrl::fromLocalFile(m_dir->path(u"outside.txt"_s))});

        QTRY_VERIFY_WITH_TIMEOUT(probe->reported > reported, 10'000);
        QVERIFY(waitUntilQuiet(*state));
        QCOMPARE(state->reloadCount(), reloads + 1);
        QCOMPARE(describe(state->loadState().entries()), describe(listDirectory(root())));
    }

    // While the storage is missing, the place where it appears is watched, from the nearest
    // folder that exists down to the app-group folder and its containers.
    void storageThatAppearsIsLoaded()
    {
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s));
        m_storageFound->store(false);
        auto probe = std::make_shared<Probe>();
        const QString appGroup = m_dir->path(u"device/AppGroup"_s);
        auto state = watchedState(probe, appGroup);
        QCOMPARE(state->loadState().kind(), LoadState::Kind::storageMissing);
        QCOMPARE(state->folderWatch()->watchedFolders(), QStringList{m_dir->path()});

        QVERIFY(m_dir->createDir(u"device/AppGroup/container"_s));
        QTRY_COMPARE_WITH_TIMEOUT(state->folderWatch()->watchedFolders(),
                                  (QStringList{appGroup, appGroup + u"/container"_s}), 10'000);
        QCOMPARE(state->loadState().kind(), LoadState::Kind::storageMissing);

        m_storageFound->store(true);
        QVERIFY(m_dir->createFile(u"device/AppGroup/container/metadata.plist"_s));
        QTRY_COMPARE_WITH_TIMEOUT(state->loadState().kind(), LoadState::Kind::loaded, 10'000);
        QCOMPARE(namesOf(state->loadState()), QStringList{u"a.txt"_s});
        QCOMPARE(state->currentDirectory(), rootUrl());
        QCOMPARE(state->folderWatch()->watchedFolders(), QStringList{root()});
    }

    // Nothing is watched while the screen is away; coming back reads what changed meanwhile.
    void hiddenScreenWatchesNothing()
    {
        auto probe = std::make_shared<Probe>();
        auto state = watchedState(probe);
        QVERIFY(waitUntilQuiet(*state));
        state->setShown(false);
        QVERIFY(state->folderWatch()->watchedFolders().isEmpty());
        QVERIFY(m_dir->createFile(u"storage/while away.txt"_s));
        state->setShown(true);
        QCOMPARE(state->folderWatch()->watchedFolders(), QStringList{root()});
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(state->loadState()), QStringList{u"while away.txt"_s}, 10'000);
    }

    void open()
    {
        QVERIFY(m_dir->createDir(u"storage/folder"_s));
        QVERIFY(m_dir->createFile(u"storage/file.txt"_s));
        auto state = loadedState();
        state->open(rootUrl(u"folder"_s));
        QCOMPARE(state->currentDirectory(), rootUrl(u"folder"_s));
        QVERIFY(m_workspace->opened.isEmpty());
        QVERIFY(!state->isReloading()); // the screen reloads, not Open

        state->open(rootUrl(u"file.txt"_s));
        state->open(rootUrl(u"deleted-folder"_s));
        QCOMPARE(m_workspace->opened, (QList<QUrl>{rootUrl(u"file.txt"_s), rootUrl(u"deleted-folder"_s)}));
        QCOMPARE(state->currentDirectory(), rootUrl(u"folder"_s));
        QCOMPARE(state->errorMessage(), std::nullopt);
    }

    void renameRefusals_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::newRow("slash") << u"a/b"_s;
        QTest::newRow("only spaces") << u"   "_s;
        QTest::newRow("unchanged") << u"item.txt"_s;
        QTest::newRow("NUL") << u"cut\u0000here"_s;
    }

    void renameRefusals()
    {
        QFETCH(QString, proposed);
        QVERIFY(m_dir->createFile(u"storage/item.txt"_s, "x"));
        auto state = loadedState();
        const int before = state->reloadCount();
        state->rename(rootUrl(u"item.txt"_s), proposed);
        QCOMPARE(state->reloadCount(), before + 1);
        QCOMPARE(state->errorMessage(), std::nullopt);
        QVERIFY(state->selection().isEmpty());
        QCOMPARE(treeOf(root()), QStringList{u"item.txt"_s});
        QVERIFY(waitForReload(*state));
    }

    void renameMovesAndSelects()
    {
        QVERIFY(m_dir->createFile(u"storage/item.txt"_s, "x"));
        QVERIFY(m_dir->createFile(u"storage/taken.txt"_s, "keep"));
        auto state = loadedState();
        state->rename(rootUrl(u"item.txt"_s), u"  new name  "_s);
        QCOMPARE(state->selection(), QSet<QUrl>{rootUrl(u"new name"_s)});
        QCOMPARE(treeOf(root()), (QStringList{u"new name"_s, u"taken.txt"_s}));

        state->rename(rootUrl(u"new name"_s), u"taken.txt"_s);
        QVERIFY(state->errorMessage().has_value());
        QVERIFY2(state->errorMessage()->contains(u"already exists"_s), qPrintable(*state->errorMessage()));
        QCOMPARE(treeOf(root()), (QStringList{u"new name"_s, u"taken.txt"_s}));
        QCOMPARE(m_dir->read(u"storage/taken.txt"_s), "keep");
        QVERIFY(waitForReload(*state));
    }

    void newFolder()
    {
        auto state = makeState();
        QSignalSpy requests(state.get(), &FilesState::renameRequestChanged);
        state->newFolder(); // no current folder yet
        QCOMPARE(state->reloadCount(), 0);
        QVERIFY(treeOf(root()).isEmpty());

        state->reload(true);
        QVERIFY(waitForReload(*state));
        QVERIFY(m_dir->createDir(u"storage/untitled folder"_s));
        QVERIFY(m_dir->createDir(u"storage/untitled folder 2"_s));
        state->newFolder();
        QCOMPARE(state->renameRequest(), rootUrl(u"untitled folder 3"_s));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(state->reloadCount(), 2);
        QVERIFY(waitForReload(*state));
        QVERIFY(namesOf(state->loadState()).contains(u"untitled folder 3"_s));

        for (int n = 4; n <= 99; ++n)
            QVERIFY(m_dir->createDir(u"storage/untitled folder "_s + QString::number(n)));
        state->newFolder();
        QCOMPARE(state->reloadCount(), 2);
        QCOMPARE(treeOf(root()).size(), 99);
        QCOMPARE(state->errorMessage(), std::nullopt);
    }

    void duplicateLeavesSelection()
    {
        QVERIFY(m_dir->createFile(u"storage/photo.jpg"_s, "jpg"));
        QVERIFY(m_dir->createFile(u"storage/photo copy.jpg"_s, "older copy"));
        QVERIFY(m_dir->createFile(u"storage/site.bundle/index.html"_s, "<html>"));
        auto state = loadedState();
        const QSet<QUrl> both{rootUrl(u"photo.jpg"_s), rootUrl(u"site.bundle"_s)};
        state->setSelection(both);
        state->duplicate(both);
        QCOMPARE(state->selection(), both);
        QCOMPARE(state->errorMessage(), std::nullopt);
        QCOMPARE(treeOf(root()), (QStringList{u"photo copy 2.jpg"_s, u"photo copy.jpg"_s, u"photo.jpg"_s,
                                              u"site copy.bundle"_s, u"site copy.bundle/index.html"_s,
                                              u"site.bundle"_s, u"site.bundle/index.html"_s}));
        QCOMPARE(m_dir->read(u"storage/photo copy 2.jpg"_s), "jpg");
        QCOMPARE(m_dir->read(u"storage/photo copy.jpg"_s), "older copy");
        QVERIFY(waitForReload(*state));
    }

    void copyInReplacesWithoutAsking()
    {
        QVERIFY(m_dir->createFile(u"host/a.txt"_s, "new a"));
        QVERIFY(m_dir->createFile(u"host/Docs/new.txt"_s, "new doc"));
        QVERIFY(m_dir->createFile(u"storage/a.txt"_s, "old a"));
        QVERIFY(m_dir->createFile(u"storage/Docs/old.txt"_s, "old doc"));
        auto state = loadedState();
        m_pasteboard->urls = {QUrl::fromLocalFile(m_dir->path(u"host/a.txt"_s)),
                              QUrl::fromLocalFile(m_dir->path(u"host/Docs"_s))};
        state->setSelection({rootUrl(u"a.txt"_s)});
        state->paste();
        QCOMPARE(state->errorMessage(), std::nullopt);
        QCOMPARE(treeOf(root()), (QStringList{u"Docs"_s, u"Docs/new.txt"_s, u"a.txt"_s}));
        QCOMPARE(m_dir->read(u"storage/a.txt"_s), "new a");
        QCOMPARE(state->selection(), QSet<QUrl>{rootUrl(u"a.txt"_s)});
        QCOMPARE(treeOf(m_dir->path(u"host"_s)), (QStringList{u"Docs"_s, u"Docs/new.txt"_s, u"a.txt"_s}));
        QVERIFY(waitForReload(*state));
    }

    void copyInPartialFailure()
    {
        QVERIFY(m_dir->createFile(u"host/first.txt"_s, "1"));
        QVERIFY(m_dir->createFile(u"host/third.txt"_s, "3"));
        auto state = loadedState();
        const int before = state->reloadCount();
        state->copyItemsIn({QUrl::fromLocalFile(m_dir->path(u"host/first.txt"_s)),
                            QUrl::fromLocalFile(m_dir->path(u"host/second.txt"_s)),
                            QUrl::fromLocalFile(m_dir->path(u"host/third.txt"_s))});
        QCOMPARE(treeOf(root()), (QStringList{u"first.txt"_s, u"third.txt"_s}));
        QVERIFY(state->errorMessage().has_value());
        QVERIFY2(state->errorMessage()->startsWith(u"second.txt: "_s), qPrintable(*state->errorMessage()));
        QCOMPARE(state->reloadCount(), before + 1);

        // The last failure's message wins.
        state->copyItemsIn({QUrl::fromLocalFile(m_dir->path(u"host/gone-1"_s)),
                            QUrl::fromLocalFile(m_dir->path(u"host/gone-2"_s))});
        QVERIFY2(state->errorMessage()->startsWith(u"gone-2: "_s), qPrintable(*state->errorMessage()));
        QVERIFY(waitForReload(*state));
    }

    // A failed copy must not cost the user the item it was meant to replace.
    void failedCopyKeepsTheExistingItem()
    {
        QVERIFY(m_dir->createFile(u"host/Docs/ok.txt"_s, "ok"));
        QVERIFY(createSocket(m_dir->path(u"host/Docs/s.sock"_s)));
        QVERIFY(m_dir->createFile(u"storage/Docs/precious.txt"_s, "precious"));
        auto state = loadedState();
        state->copyItemsIn({QUrl::fromLocalFile(m_dir->path(u"host/Docs"_s))});
        QVERIFY(state->errorMessage().has_value());
        QVERIFY2(state->errorMessage()->startsWith(u"Docs: "_s), qPrintable(*state->errorMessage()));
        QCOMPARE(treeOf(root()), (QStringList{u"Docs"_s, u"Docs/precious.txt"_s}));
        QVERIFY(waitForReload(*state));
    }

    // Pasting an item back into its own folder (or dropping it there) duplicates it.
    void copyInOfAnItemIntoItsOwnFolder()
    {
        QVERIFY(m_dir->createFile(u"storage/photo.jpg"_s, "jpg"));
        QVERIFY(m_dir->createFile(u"storage/Album/a.jpg"_s, "a"));
        QVERIFY(m_dir->createFile(u"host/other.txt"_s, "other"));
        auto state = loadedState();
        state->copyItemsIn({rootUrl(u"photo.jpg"_s), rootUrl(u"Album/"_s),
                            QUrl::fromLocalFile(m_dir->path(u"host/other.txt"_s))});
        QCOMPARE(state->errorMessage(), std::nullopt);
        QCOMPARE(treeOf(root()), (QStringList{u"Album"_s, u"Album copy"_s, u"Album copy/a.jpg"_s, u"Album/a.jpg"_s,
                                              u"other.txt"_s, u"photo copy.jpg"_s, u"photo.jpg"_s}));
        QCOMPARE(m_dir->read(u"storage/photo.jpg"_s), "jpg");
        QVERIFY(waitForReload(*state));
    }

    void copyInOfAFolderIntoItself()
    {
        QVERIFY(m_dir->createFile(u"storage/Outer/Inner/x.txt"_s, "x"));
        QVERIFY(m_dir->createFile(u"host/next.txt"_s, "next"));
        auto state = loadedState();
        state->setCurrentDirectory(rootUrl(u"Outer/Inner"_s));
        state->copyItemsIn({rootUrl(u"Outer"_s), QUrl::fromLocalFile(m_dir->path(u"host/next.txt"_s))});
        QVERIFY(state->errorMessage().has_value());
        QVERIFY2(state->errorMessage()->startsWith(u"Outer: "_s) && state->errorMessage()->contains(u"itself"_s),
                 qPrintable(*state->errorMessage()));
        QCOMPARE(treeOf(root(u"Outer"_s)), (QStringList{u"Inner"_s, u"Inner/next.txt"_s, u"Inner/x.txt"_s}));
        QVERIFY(waitForReload(*state));
    }

    // Replacing a folder that holds the source would delete the source and its neighbours.
    void copyInOntoAFolderHoldingTheSource_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("refused");
        QTest::newRow("inner folder onto the outer") << QString() << u"Photos/Photos"_s << true;
        QTest::newRow("file onto a folder two levels up") << QString() << u"Docs/a/Docs"_s << true;
        QTest::newRow("current folder reached through a link") << u"view"_s << u"Photos/Photos"_s << true;
        QTest::newRow("a name prefix is another folder") << QString() << u"Photos2/Photos"_s << false;
        QTest::newRow("a link to the holding folder is only a link") << QString() << u"Real/Album"_s << false;
    }

    void copyInOntoAFolderHoldingTheSource()
    {
        QFETCH(QString, folder);
        QFETCH(QString, source);
        QFETCH(bool, refused);
        QVERIFY(m_dir->createFile(u"storage/Photos/Photos/deep.jpg"_s, "deep"));
        QVERIFY(m_dir->createFile(u"storage/Photos/sibling.jpg"_s, "sibling"));
        QVERIFY(m_dir->createFile(u"storage/Docs/a/Docs"_s, "inner"));
        QVERIFY(m_dir->createFile(u"storage/Photos2/Photos/other.jpg"_s, "other"));
        QVERIFY(m_dir->createFile(u"storage/Real/Album/pic.jpg"_s, "pic"));
        QVERIFY(m_dir->createSymlink(root(u"Real"_s), u"storage/Album"_s));
        QVERIFY(m_dir->createSymlink(root(), u"storage/view"_s));
        const QStringList before = treeOf(root());
        auto state = loadedState();
        state->setCurrentDirectory(rootUrl(folder));
        const QString name = QFileInfo(source).fileName();
        state->copyItemsIn({rootUrl(source)});
        if (refused) {
            QCOMPARE(state->errorMessage(), name + u": An item can’t replace the folder that contains it."_s);
            QCOMPARE(treeOf(root()), before);
        } else {
            QCOMPARE(state->errorMessage(), std::nullopt);
            const QString destination = QDir(root(folder)).filePath(name);
            QVERIFY(!QFileInfo(destination).isSymLink());
            QVERIFY(!treeOf(root(source)).isEmpty());
            QCOMPARE(treeOf(destination), treeOf(root(source)));
        }
        QVERIFY(waitForReload(*state));
    }

    void copyInWithoutAFolderDoesNothing()
    {
        QVERIFY(m_dir->createFile(u"host/a.txt"_s));
        auto state = makeState();
        state->copyItemsIn({QUrl::fromLocalFile(m_dir->path(u"host/a.txt"_s))});
        m_pasteboard->urls = {QUrl::fromLocalFile(m_dir->path(u"host/a.txt"_s))};
        state->paste();
        QCOMPARE(state->reloadCount(), 0);
        QVERIFY(treeOf(root()).isEmpty());
    }

    void emptyPasteOnlyReloads()
    {
        auto state = loadedState();
        state->paste();
        QCOMPARE(state->reloadCount(), 2);
        QCOMPARE(state->errorMessage(), std::nullopt);
        QVERIFY(waitForReload(*state));
    }

    void moveToTrashGoesOnAfterAFailure()
    {
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
            QVERIFY(m_dir->createFile(u"storage/"_s + name));
        auto state = loadedState();
        state->moveToTrash({});
        QCOMPARE(state->reloadCount(), 2);
        QVERIFY(m_trash->asked.isEmpty());

        m_trash->failFor = {root(u"b"_s)};
        const QSet<QUrl> all{rootUrl(u"a"_s), rootUrl(u"b"_s), rootUrl(u"c"_s)};
        state->setSelection(all);
        state->moveToTrash(all);
        QCOMPARE(m_trash->asked.size(), 3);
        QCOMPARE(treeOf(root()), QStringList{u"b"_s});
        QCOMPARE(state->errorMessage(), std::nullopt);
        QCOMPARE(state->selection(), all);
        QCOMPARE(state->reloadCount(), 3);
        QVERIFY(waitForReload(*state));
    }

    void pathAndTerminal()
    {
        auto state = makeState();
        state->copyCurrentPath();
        QCOMPARE(m_pasteboard->text, std::nullopt);

        QVERIFY(m_dir->createDir(u"storage/with space"_s));
        state->setCurrentDirectory(rootUrl(u"with space/"_s));
        state->copyCurrentPath();
        QCOMPARE(m_pasteboard->text, root(u"with space"_s));

        state->openInTerminal(rootUrl(u"with space"_s));
        QCOMPARE(m_workspace->terminals, QList<QUrl>{rootUrl(u"with space"_s)});
    }

    void settersSignalOnlyRealChanges()
    {
        auto state = makeState();
        QSignalSpy selection(state.get(), &FilesState::selectionChanged);
        QSignalSpy folder(state.get(), &FilesState::currentDirectoryChanged);
        QSignalSpy message(state.get(), &FilesState::errorMessageChanged);
        state->setSelection({rootUrl(u"a"_s)});
        state->setSelection({rootUrl(u"a"_s)});
        state->setCurrentDirectory(rootUrl());
        state->setCurrentDirectory(rootUrl());
        state->setErrorMessage(u"x"_s);
        state->setErrorMessage(u"x"_s);
        state->setErrorMessage(std::nullopt);
        QCOMPARE(selection.size(), 1);
        QCOMPARE(folder.size(), 1);
        QCOMPARE(message.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestFilesState)
#include "tst_filesstate.moc"
