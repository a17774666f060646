// The Files operations against a hostile file system: the message, nothing changed outside the
// target, no partial or temporary item left. Mounts need root and a private mount namespace.
#include "filestore/filejobqueue.h"
#include "filestore/filesstate.h"
#include "filestore/listing.h"
#include "filestore/trash.h"
#include "support/recordingservices.h"
#include "support/tempfolder.h"
#include "support/treesnapshot.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Why the tmpfs cases cannot run here; empty when they can.
QString g_mountRefusal;

void enterPrivateMountNamespace()
{
#ifdef Q_OS_LINUX
    if (::geteuid() != 0)
        g_mountRefusal = u"mounting a small tmpfs needs root"_s;
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        g_mountRefusal = u"no private mount namespace: "_s + QString::fromLocal8Bit(std::strerror(errno));
#endif
}

QByteArray bytesOf(const QString &path)
{
    return QFile::encodeName(path);
}

constexpr uid_t nobody = 65534;

// A case-insensitive volume at `mountPoint` while the object lives: on Linux an exFAT image
// through FUSE (root, in the private mount namespace); on macOS the temporary folder itself,
// when its volume ignores case as APFS does by default. `refusal` says why there is none.
struct CaseInsensitiveVolume
{
    QString refusal;
    QString device;
    QString mountPoint;

    static QString run(const QString &tool, const QStringList &arguments, QString *output = nullptr)
    {
        const QString path =
            QStandardPaths::findExecutable(tool, {u"/usr/sbin"_s, u"/sbin"_s, u"/usr/bin"_s});
        if (path.isEmpty())
            return tool + u" is missing (Debian: exfat-fuse, exfatprogs)"_s;
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(path, arguments);
        // The FUSE daemon keeps our pipes: the tool's end is what counts.
        if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return tool + u" failed: "_s + QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        if (output)
            *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        return {};
    }

    CaseInsensitiveVolume(const QString &image, const QString &folder) : mountPoint(folder)
    {
#if defined(Q_OS_LINUX)
        if (!g_mountRefusal.isEmpty()) {
            refusal = g_mountRefusal;
            return;
        }
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(8 << 20)) {
            refusal = file.errorString();
            return;
        }
        file.close();
        // Run as root, the FUSE driver wants a block device: the image goes through a loop device.
        if ((refusal = run(u"mkfs.exfat"_s, {image})).isEmpty() &&
            (refusal = run(u"losetup"_s, {u"--find"_s, u"--show"_s, image}, &device)).isEmpty())
            refusal = run(u"mount.exfat-fuse"_s, {device, folder});
#else
        Q_UNUSED(image);
        QFile probe(folder + u"/probe"_s);
        if (!probe.open(QIODevice::WriteOnly) || !QFile::exists(folder + u"/PROBE"_s))
            refusal = u"the temporary folder's volume tells letter case apart"_s;
        probe.remove();
#endif
    }
    ~CaseInsensitiveVolume()
    {
#ifdef Q_OS_LINUX
        if (::umount2(bytesOf(mountPoint).constData(), 0) != 0)
            ::umount2(bytesOf(mountPoint).constData(), MNT_DETACH);
        if (!device.isEmpty())
            run(u"losetup"_s, {u"--detach"_s, device});
#endif
    }
};

} // namespace

class TestFaultInjection : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_dir;
    std::unique_ptr<ScopedEnv> m_dataHome;
    std::shared_ptr<RecordingWorkspace> m_workspace;

    QString path(const QString &relative) const { return m_dir->path(relative); }
    QUrl url(const QString &relative) const { return m_dir->url(relative); }

    // A Files state whose storage root is `root` (default: storage/) showing `folder`.
    std::unique_ptr<FilesState> stateIn(const QString &folder, const QString &root = {},
                                        FileJobQueue *jobs = nullptr)
    {
        const QUrl rootUrl = QUrl::fromLocalFile(root.isEmpty() ? path(u"storage"_s) : root);
        auto state =
            std::make_unique<FilesState>([rootUrl]() -> std::optional<QUrl> { return rootUrl; },
                                         FilesState::Services{m_workspace,
                                                              std::make_shared<RecordingPasteboard>(),
                                                              std::make_shared<FreedesktopTrash>(),
                                                              {},
                                                              jobs});
        state->setCurrentDirectory(QUrl::fromLocalFile(folder));
        return state;
    }

    static bool waitForReload(FilesState &state)
    {
        return QTest::qWaitFor([&] { return !state.isWriting() && !state.isReloading(); }, 10'000);
    }

    // Runs the operation where permission bits apply (as "nobody" for root) on a state showing
    // `folder`; gives its message ("(none)" for none) and reload count, as text.
    std::optional<QString> unprivileged(const QString &folder,
                                        const std::function<void(FilesState &)> &operation)
    {
        const bool inProcess = !permissionsAreIgnored();
        const auto bytes = runWithPermissionsApplied([&] {
            // A forked child has no threads of ours: its jobs get a queue of its own, and it
            // does not wait for the reload's pool thread, only reports.
            auto state = stateIn(folder, {}, inProcess ? nullptr : new FileJobQueue);
            operation(*state);
            (void)QTest::qWaitFor([&] { return !state->isWriting(); }, 10'000);
            if (inProcess)
                waitForReload(*state);
            return (state->errorMessage().value_or(u"(none)"_s) + u" / reloads "_s +
                    QString::number(state->reloadCount()))
                .toUtf8();
        });
        return bytes ? std::optional(QString::fromUtf8(*bytes)) : std::nullopt;
    }

    bool setMode(const QString &relative, mode_t mode)
    {
        return ::chmod(bytesOf(path(relative)).constData(), mode) == 0;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempFolder>();
        QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
        // "nobody" must reach the folders the unprivileged cases work in.
        QVERIFY(setMode({}, 0755));
        QVERIFY(m_dir->createDir(u"storage"_s) && m_dir->createDir(u"host"_s) &&
                m_dir->createDir(u"data"_s) && m_dir->createDir(u"mnt"_s));
        m_dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", bytesOf(path(u"data"_s)));
        m_workspace = std::make_shared<RecordingWorkspace>();
    }

    void cleanup()
    {
        m_dataHome.reset();
        if (m_dir) // or their contents would outlive the temporary folder
            setMode(u"host/Docs/sub"_s, 0755), setMode(u"storage/Albums/kept"_s, 0755);
        m_dir.reset();
    }

    // A full disk: copies that do not fit fail with its reason; the item they would replace stays.
    void fullDisk()
    {
        const QString mnt = path(u"mnt"_s);
#ifdef Q_OS_LINUX
        if (!g_mountRefusal.isEmpty())
            QSKIP(qPrintable(u"tmpfs case skipped: "_s + g_mountRefusal));
        QVERIFY2(::mount("tmpfs", bytesOf(mnt).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                         "size=1m,mode=0755") == 0,
                 std::strerror(errno));
        const auto unmount = qScopeGuard([&] { ::umount2(bytesOf(mnt).constData(), MNT_DETACH); });
#else
        QSKIP("a small tmpfs volume is mounted only on Linux");
#endif
        QVERIFY(m_dir->createFile(u"mnt/keep.txt"_s, QByteArray(100 << 10, 'k')));
        QVERIFY(m_dir->createFile(u"host/keep.txt"_s, QByteArray(2 << 20, 'n')));
        QVERIFY(m_dir->createFile(u"host/small.txt"_s, "small"));
        for (int i = 1; i <= 5; ++i)
            QVERIFY(m_dir->createFile(u"host/Folder/%1.bin"_s.arg(i), QByteArray(300 << 10, char('0' + i))));
        const Tree host = treeOf(path(u"host"_s));
        auto state = stateIn(mnt, mnt);
        const QString noSpace = u"there isn’t enough space on the disk."_s;

        // The small file still goes in before the big one fails; the old keep.txt stays.
        Tree expected = treeOf(mnt);
        expected["small.txt"] = fileDescription("small");
        state->copyItemsIn({url(u"host/small.txt"_s), url(u"host/keep.txt"_s)});
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->errorMessage(), u"keep.txt: “keep.txt” couldn’t be copied because "_s + noSpace);
        QCOMPARE_TREE(expected, treeOf(mnt));
        state->copyItemsIn({url(u"host/Folder"_s)}); // fills the disk half way
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->errorMessage(), u"Folder: “Folder” couldn’t be copied because "_s + noSpace);
        QCOMPARE_TREE(expected, treeOf(mnt));
        QCOMPARE_TREE(host, treeOf(path(u"host"_s)));
        QVERIFY(waitForReload(*state));
    }

    // Unreadable sources, and a folder whose old contents cannot all go: nothing changes.
    void permissionDenied_data()
    {
        QTest::addColumn<QString>("source"); // in host/, copied into the storage
        QTest::addColumn<QString>("failed");
        QTest::newRow("unreadable file") << u"secret.txt"_s << u"copied"_s;
        QTest::newRow("folder with an unreadable part over a folder") << u"Docs"_s << u"copied"_s;
        QTest::newRow("folder whose old contents cannot all go") << u"Albums"_s << u"replaced"_s;
    }

    void permissionDenied()
    {
        QFETCH(QString, source);
        QFETCH(QString, failed);
        for (const char *file :
             {"storage/Docs/old.txt", "storage/Albums/old.jpg", "storage/Albums/kept/keep.jpg",
              "host/secret.txt", "host/Docs/new.txt", "host/Docs/sub/x.txt", "host/Albums/new.jpg"})
            QVERIFY(m_dir->createFile(QString::fromUtf8(file), "x"));
        if (permissionsAreIgnored()) {
            for (const QString &item :
                 {u"storage"_s, u"storage/Docs"_s, u"storage/Docs/old.txt"_s, u"storage/Albums"_s,
                  u"storage/Albums/old.jpg"_s, u"storage/Albums/kept"_s, u"storage/Albums/kept/keep.jpg"_s,
                  u"data"_s})
                QCOMPARE(::chown(bytesOf(path(item)).constData(), nobody, nobody), 0);
        }
        QVERIFY(setMode(u"storage/Albums/kept"_s, 0555));
        QVERIFY(setMode(u"host/secret.txt"_s, 0000) && setMode(u"host/Docs/sub"_s, 0000));
        // A TMPDIR below a private home keeps "nobody" out of everything.
        const QByteArray storagePath = bytesOf(path(u"storage"_s));
        if (runWithPermissionsApplied([&] {
                return QByteArray(::access(storagePath.constData(), W_OK) ? "no" : "yes");
            }) != QByteArray("yes"))
            QSKIP("the temporary folder cannot be reached with dropped privileges; set TMPDIR to /tmp");
        const Tree storage = treeOf(path(u"storage"_s));
        const Tree host = treeOf(path(u"host"_s));
        const QUrl from = url(u"host/"_s + source);
        QCOMPARE(unprivileged(path(u"storage"_s), [&](FilesState &s) { s.copyItemsIn({from}); }),
                 u"%1: “%1” couldn’t be %2 because you don’t have permission to access it. / reloads 1"_s.arg(
                     source, failed));
        QCOMPARE_TREE(storage, treeOf(path(u"storage"_s)));
        QCOMPARE_TREE(host, treeOf(path(u"host"_s)));
    }

    // Ignoring case: a copy in replaces the item and takes the copy's spelling; a rename changes
    // the case; new names skip those taken in other case; a folder is never replaced by its inside.
    // `before` and `after`: the volume's items, "path=content" a file, "path/" a folder.
    void caseInsensitiveVolume_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("message");
        QTest::newRow("copy in a file") << u"copy in host/readme.txt"_s << QStringList{u"README.txt=old"_s}
                                        << QStringList{u"readme.txt=new"_s} << QString();
        QTest::newRow("copy in a folder")
            << u"copy in host/docs"_s << QStringList{u"Docs/"_s, u"Docs/old.txt=old"_s}
            << QStringList{u"docs/"_s, u"docs/new.txt=new"_s} << QString();
        const QStringList nested{u"Photos/"_s, u"Photos/photos/"_s, u"Photos/photos/deep.jpg=deep"_s,
                                 u"Photos/sibling.jpg=sibling"_s};
        QTest::newRow("copy in a folder onto the folder holding it")
            << u"copy in mnt/Photos/photos"_s << nested << nested
            << u"photos: An item can’t replace the folder that contains it."_s;
        QTest::newRow("rename changing case only")
            << u"rename"_s << QStringList{u"notes.txt=n"_s} << QStringList{u"Notes.txt=n"_s} << QString();
        QTest::newRow("duplicate") << u"duplicate"_s << QStringList{u"a.txt=a"_s, u"A Copy.txt=b"_s}
                                   << QStringList{u"A Copy.txt=b"_s, u"a copy 2.txt=a"_s, u"a.txt=a"_s}
                                   << QString();
        QTest::newRow("new folder") << u"new folder"_s << QStringList{u"Untitled Folder/"_s}
                                    << QStringList{u"Untitled Folder/"_s, u"untitled folder 2/"_s}
                                    << QString();
    }

    void caseInsensitiveVolume()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QString, message);
        const CaseInsensitiveVolume volume(path(u"exfat.img"_s), path(u"mnt"_s));
        if (!volume.refusal.isEmpty())
            QSKIP(qPrintable(u"no case-insensitive volume: "_s + volume.refusal));
        const QString mnt = volume.mountPoint;
        const auto item = [&](const QString &name, bool folder) -> QString {
            return name + (folder ? u"/"_s : u"="_s + m_dir->read(u"mnt/"_s + name));
        };
        for (const QString &item : before)
            QVERIFY(item.endsWith(u'/') ? m_dir->createDir(u"mnt/"_s + item)
                                        : m_dir->createFile(u"mnt/"_s + item.section(u'=', 0, 0),
                                                            item.section(u'=', 1).toUtf8()));
        QVERIFY(m_dir->createFile(u"host/readme.txt"_s, "new") &&
                m_dir->createFile(u"host/docs/new.txt"_s, "new"));
        auto state = stateIn(mnt, mnt);
        QVERIFY(waitForReload(*state));
        if (operation.startsWith(u"copy in "_s))
            state->copyItemsIn({url(operation.mid(8))});
        else if (operation == u"rename"_s)
            state->rename(QUrl::fromLocalFile(mnt + u"/notes.txt"_s), u"Notes.txt"_s);
        else if (operation == u"duplicate"_s)
            state->duplicate({QUrl::fromLocalFile(mnt + u"/a.txt"_s)});
        else
            state->newFolder();
        QVERIFY(waitForReload(*state));
        QCOMPARE(state->errorMessage().value_or(QString()), message);
        QStringList found, listed;
        const Tree tree = treeOf(mnt); // outlives the range below
        for (const auto &[name, description] : tree.asKeyValueRange())
            found << item(QString::fromUtf8(name), description.startsWith("folder"));
        for (const FileEntry &entry : listDirectory(mnt))
            listed << item(entry.name(), entry.isDirectory());
        found.sort(), listed.sort();
        QCOMPARE(found, after);
        QCOMPARE(listed, after.filter(QRegularExpression(u"^[^/]*(/|=.*)$"_s)));
    }

    // Names a shell or a URL would trip over go through every operation unchanged.
    void awkwardNames()
    {
        const QString name = u"say \"cheese\"\nit's 100% #1 ?[a-z]* 東京.txt"_s;
        const QString duplicateName = u"say \"cheese\"\nit's 100% #1 ?[a-z]* 東京 copy.txt"_s;
        QVERIFY(m_dir->createFile(u"host/"_s + name, "content"));
        QVERIFY(m_dir->createFile(u"storage/plain.txt"_s, "plain"));
        auto state = stateIn(path(u"storage"_s));
        state->reload(true);
        QVERIFY(waitForReload(*state));

        state->copyItemsIn({url(u"host/"_s + name)});
        state->duplicate({url(u"storage/"_s + name)});
        QVERIFY(waitForReload(*state));
        state->rename(url(u"storage/plain.txt"_s), u"  "_s + name + u".renamed \n"_s);
        QCOMPARE(state->errorMessage(), std::nullopt);
        QCOMPARE(state->selection(), QSet<QUrl>{url(u"storage/"_s + name + u".renamed"_s)});
        state->moveToTrash({url(u"storage/"_s + name)});
        QVERIFY(waitForReload(*state));
        QCOMPARE_TREE((Tree{{bytesOf(duplicateName), fileDescription("content")},
                            {bytesOf(name + u".renamed"_s), fileDescription("plain")}}),
                      treeOf(path(u"storage"_s)));
        QVERIFY(waitForReload(*state));
    }
};

int main(int argc, char **argv)
{
    // Before any thread exists, so that every thread of the test shares the namespace.
    enterPrivateMountNamespace();
    QCoreApplication app(argc, argv);
    TestFaultInjection test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faultinjection.moc"
