// The Files operations against a hostile file system: a full disk, a read-only volume, denied
// permissions, a trash on another device, named pipes, items that vanish after the listing, link
// loops, links that lead out of the storage, and awkward names. Every case checks the message
// the user gets, that nothing outside the operation's target changed, that no partial or
// temporary item is left, and that no existing item was lost.
//
// The tmpfs cases need root: main() moves the process into a private mount namespace first, so
// the mounts are invisible to the rest of the machine and vanish with the process.
#include "filestore/filesstate.h"
#include "filestore/listing.h"
#include "filestore/trash.h"
#include "support/tempfolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#endif
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Why the tmpfs cases cannot run here; empty when they can.
QString g_mountRefusal;

void enterPrivateMountNamespace()
{
#ifndef Q_OS_LINUX
    g_mountRefusal = u"small tmpfs volumes are mounted only on Linux"_s;
    return;
#else
    if (::geteuid() != 0) {
        g_mountRefusal = u"mounting a small tmpfs needs root"_s;
        return;
    }
    if (::unshare(CLONE_NEWNS) != 0) {
        g_mountRefusal = u"no private mount namespace (unshare: %1)"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        g_mountRefusal =
            u"mounts would not stay private (%1)"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
#endif
}

QByteArray bytesOf(const QString &path)
{
    return QFile::encodeName(path);
}

// Every item below a folder, links not followed: raw relative path to what the item is.
using Tree = QMap<QByteArray, QByteArray>;

void collect(const QByteArray &root, const QByteArray &relative, Tree &tree)
{
    const QByteArray folder = relative.isEmpty() ? root : QByteArray(root + '/' + relative);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray full = root + '/' + rel;
        struct stat st;
        if (::lstat(full.constData(), &st) != 0) {
            tree[rel] = "gone";
        } else if (S_ISDIR(st.st_mode)) {
            tree[rel] = "folder " + QByteArray::number(st.st_mode & 07777, 8);
            collect(root, rel, tree);
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink(full.constData(), target, sizeof target);
            tree[rel] = "link -> " + QByteArray(target, n > 0 ? n : 0);
        } else if (S_ISFIFO(st.st_mode)) {
            tree[rel] = "fifo";
        } else if (S_ISREG(st.st_mode)) {
            QFile file(QFile::decodeName(full));
            const int fd = ::open(full.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            QByteArray content;
            if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle))
                content = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
            else if (fd >= 0)
                ::close(fd);
            tree[rel] = "file " + QByteArray::number(qlonglong(st.st_size)) + ' ' +
                        (content.isEmpty() ? QByteArray("unreadable") : content);
        } else {
            tree[rel] = "other";
        }
    }
    ::closedir(dir);
}

Tree treeOf(const QString &root)
{
    Tree tree;
    collect(bytesOf(root), {}, tree);
    return tree;
}

// What differs between the trees, one line per item; empty when they are equal.
QString differences(const Tree &expected, const Tree &actual)
{
    QStringList lines;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            lines << u"missing: "_s + QString::fromUtf8(it.key());
        else if (actual.value(it.key()) != it.value())
            lines << u"changed: "_s + QString::fromUtf8(it.key() + " (" + it.value() + " -> " +
                                                      actual.value(it.key()) + ')');
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (!expected.contains(it.key()))
            lines << u"unexpected: "_s + QString::fromUtf8(it.key() + " (" + it.value() + ')');
    }
    return lines.join(u'\n');
}

QByteArray fileDescription(const QByteArray &content)
{
    return "file " + QByteArray::number(content.size()) + ' ' +
           QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex();
}

// The items below `prefix`, with the prefix taken off.
Tree subtree(const Tree &tree, const QByteArray &prefix)
{
    Tree out;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key().startsWith(QByteArray(prefix + '/')))
            out[it.key().mid(prefix.size() + 1)] = it.value();
    }
    return out;
}

Tree without(Tree tree, const QByteArray &prefix)
{
    for (auto it = tree.begin(); it != tree.end();) {
        if (it.key() == prefix || it.key().startsWith(QByteArray(prefix + '/')))
            it = tree.erase(it);
        else
            ++it;
    }
    return tree;
}

// Removes a tree by its raw names; QTemporaryDir cannot name items that are not UTF-8.
void removeAll(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        ::chmod(path.constData(), 0700);
        if (DIR *dir = ::opendir(path.constData())) {
            QList<QByteArray> names;
            while (const dirent *item = ::readdir(dir)) {
                if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
                    names.append(item->d_name);
            }
            ::closedir(dir);
            for (const QByteArray &name : names)
                removeAll(path + '/' + name);
        }
        ::rmdir(path.constData());
    } else {
        ::unlink(path.constData());
    }
}

bool writeRaw(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && written;
}

// Writes to a new file until the volume refuses; the volume is then full.
bool fillVolume(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray chunk(4096, 'f');
    while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

bool createSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = bytesOf(path);
    if (fd < 0 || size_t(encoded.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
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

// A small tmpfs mounted on a folder for the lifetime of the object.
class Tmpfs
{
public:
    Tmpfs(const QString &path, [[maybe_unused]] const QByteArray &options) : m_path(bytesOf(path))
    {
#ifdef Q_OS_LINUX
        if (::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) != 0)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
#else
        m_error = u"Linux only"_s;
#endif
    }
    ~Tmpfs()
    {
#ifdef Q_OS_LINUX
        if (m_error.isEmpty())
            ::umount2(m_path.constData(), MNT_DETACH);
#endif
    }
    Q_DISABLE_COPY_MOVE(Tmpfs)

    const QString &error() const { return m_error; }
    bool makeReadOnly()
    {
#ifdef Q_OS_LINUX
        return ::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                       nullptr) == 0;
#else
        return false;
#endif
    }

private:
    QByteArray m_path;
    QString m_error;
};

#define MOUNT_OR_SKIP(tmpfs)                                                                                  \
    do {                                                                                                      \
        if (!g_mountRefusal.isEmpty())                                                                        \
            QSKIP(qPrintable(u"tmpfs case skipped: "_s + g_mountRefusal));                                    \
        if (!(tmpfs).error().isEmpty())                                                                       \
            QSKIP(qPrintable(u"tmpfs case skipped: mount refused (%1)"_s.arg((tmpfs).error())));              \
    } while (false)

// Lets a reader blocked on a named pipe go on if the operation has not finished within the
// limit, so that a hang fails the test instead of stopping the suite.
class PipeWatchdog
{
public:
    PipeWatchdog(QList<QByteArray> pipes, std::chrono::seconds limit)
        : m_thread([this, pipes = std::move(pipes), limit] {
              std::unique_lock lock(m_mutex);
              if (m_finished.wait_for(lock, limit, [this] { return m_done; }))
                  return;
              m_fired = true;
              // Each opened pipe may be followed by the next; keep freeing them until the end.
              do {
                  for (const QByteArray &pipe : pipes) {
                      const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                      if (fd >= 0)
                          ::close(fd);
                  }
              } while (!m_finished.wait_for(lock, 100ms, [this] { return m_done; }));
          })
    {
    }
    ~PipeWatchdog() { finish(); }

    // Whether the operation had to be freed.
    bool finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_finished.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

struct RecordingWorkspace final : Workspace
{
    QList<QUrl> opened;
    void open(const QUrl &url) override { opened.append(url); }
    void reveal(const QList<QUrl> &) override {}
    void openInTerminal(const QUrl &) override {}
};

struct NoPasteboard final : Pasteboard
{
    void writeFileURLs(const QList<QUrl> &) override {}
    void writeText(const QString &) override {}
    QList<QUrl> readFileURLs() const override { return {}; }
    bool canReadFileURLs() const override { return false; }
};

// What an operation run in a child process left in its state.
struct Outcome
{
    std::optional<QString> message;
    int reloads = 0;
};

constexpr uid_t nobody = 65534;

} // namespace

class TestFaultInjection : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_dir;
    std::unique_ptr<ScopedEnv> m_dataHome;
    std::shared_ptr<RecordingWorkspace> m_workspace;
    QStringList m_restoreModes; // folders a test made unreadable, opened again in cleanup()

    QString path(const QString &relative) const { return m_dir->path(relative); }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(path(relative)); }

    // A Files state whose storage root is `root` (default: storage/) showing `folder`.
    std::unique_ptr<FilesState> stateIn(const QString &folder, const QString &root = {})
    {
        const QUrl rootUrl = QUrl::fromLocalFile(root.isEmpty() ? path(u"storage"_s) : root);
        auto state = std::make_unique<FilesState>([rootUrl]() -> std::optional<QUrl> { return rootUrl; },
                                                  FilesState::Services{m_workspace, std::make_shared<NoPasteboard>(),
                                                                       makeDefaultTrash()});
        state->setCurrentDirectory(QUrl::fromLocalFile(folder));
        return state;
    }

    static bool waitForReload(FilesState &state)
    {
        return QTest::qWaitFor([&] { return !state.isReloading(); }, 10'000);
    }

    // Runs the operation where permission bits apply (as "nobody" when we are root) on a state
    // showing `folder`, and gives its message and reload count.
    std::optional<Outcome> unprivileged(const QString &folder, const std::function<void(FilesState &)> &operation)
    {
        const bool inProcess = !permissionsAreIgnored();
        const auto bytes = runWithPermissionsApplied([&] {
            auto state = stateIn(folder);
            operation(*state);
            // A forked child has no pool threads to finish the reload; it only reports.
            if (inProcess)
                waitForReload(*state);
            QByteArray out;
            QDataStream stream(&out, QIODevice::WriteOnly);
            stream << state->errorMessage().has_value() << state->errorMessage().value_or(QString())
                   << state->reloadCount();
            return out;
        });
        if (!bytes)
            return std::nullopt;
        QDataStream stream(*bytes);
        bool hasMessage = false;
        QString message;
        Outcome outcome;
        stream >> hasMessage >> message >> outcome.reloads;
        if (hasMessage)
            outcome.message = message;
        return outcome;
    }

    bool giveToNobody(const QString &relative)
    {
        return !permissionsAreIgnored() || ::chown(bytesOf(path(relative)).constData(), nobody, nobody) == 0;
    }

    bool setMode(const QString &relative, mode_t mode)
    {
        return ::chmod(bytesOf(path(relative)).constData(), mode) == 0;
    }

    static QStringList trashInfoFiles(const QString &trash)
    {
        QStringList names;
        const Tree tree = treeOf(trash + u"/info"_s);
        for (auto it = tree.cbegin(); it != tree.cend(); ++it)
            names << QFile::decodeName(it.key());
        return names;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempFolder>();
        QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
        // "nobody" must reach the folders the unprivileged cases work in.
        QVERIFY(setMode({}, 0755));
        QVERIFY(m_dir->createDir(u"storage"_s) && m_dir->createDir(u"host"_s) && m_dir->createDir(u"data"_s) &&
                m_dir->createDir(u"mnt"_s));
        m_dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", bytesOf(path(u"data"_s)));
        m_workspace = std::make_shared<RecordingWorkspace>();
    }

    void cleanup()
    {
        for (const QString &relative : std::as_const(m_restoreModes))
            setMode(relative, 0755);
        m_restoreModes.clear();
        m_dataHome.reset();
        if (m_dir)
            removeAll(bytesOf(m_dir->path()));
        m_dir.reset();
    }

    // A 1 MiB volume: copies and duplicates that do not fit fail with the disk's reason and
    // leave neither a partial item nor a temporary, and a replaced item survives.
    void fullDisk()
    {
        Tmpfs volume(path(u"mnt"_s), "size=1m,mode=0755");
        MOUNT_OR_SKIP(volume);
        const QString mnt = path(u"mnt"_s);
        QVERIFY(m_dir->createFile(u"mnt/keep.txt"_s, QByteArray(100 << 10, 'k')));
        QVERIFY(m_dir->createFile(u"mnt/Album/a.jpg"_s, QByteArray(200 << 10, 'a')));
        QVERIFY(m_dir->createFile(u"host/big.bin"_s, QByteArray(2 << 20, 'b')));
        QVERIFY(m_dir->createFile(u"host/keep.txt"_s, QByteArray(2 << 20, 'n')));
        QVERIFY(m_dir->createFile(u"host/small.txt"_s, QByteArray(10 << 10, 's')));
        for (int i = 1; i <= 5; ++i)
            QVERIFY(m_dir->createFile(u"host/Folder/%1.bin"_s.arg(i), QByteArray(300 << 10, char('0' + i))));
        const Tree host = treeOf(path(u"host"_s));
        auto state = stateIn(mnt, mnt);
        const QString noSpace = u"there isn’t enough space on the disk."_s;

        // The small file still goes in before the big one fails.
        Tree expected = treeOf(mnt);
        expected["small.txt"] = fileDescription(QByteArray(10 << 10, 's'));
        state->copyItemsIn({url(u"host/small.txt"_s), url(u"host/big.bin"_s)});
        QCOMPARE(state->errorMessage(), u"big.bin: “big.bin” couldn’t be copied because "_s + noSpace);
        QVERIFY2(differences(expected, treeOf(mnt)).isEmpty(), qPrintable(differences(expected, treeOf(mnt))));

        state->copyItemsIn({url(u"host/keep.txt"_s)});
        QCOMPARE(state->errorMessage(), u"keep.txt: “keep.txt” couldn’t be copied because "_s + noSpace);
        QVERIFY2(differences(expected, treeOf(mnt)).isEmpty(), qPrintable(differences(expected, treeOf(mnt))));

        // A folder that fills the disk half way.
        state->copyItemsIn({url(u"host/Folder"_s)});
        QCOMPARE(state->errorMessage(), u"Folder: “Folder” couldn’t be copied because "_s + noSpace);
        QVERIFY2(differences(expected, treeOf(mnt)).isEmpty(), qPrintable(differences(expected, treeOf(mnt))));

        // Leave less room than the album needs.
        struct statvfs fs;
        QCOMPARE(::statvfs(bytesOf(mnt).constData(), &fs), 0);
        const qint64 room = qint64(fs.f_bavail) * qint64(fs.f_frsize);
        QVERIFY(room > (64 << 10));
        QVERIFY(m_dir->createFile(u"mnt/filler"_s, QByteArray(room - (64 << 10), 'f')));
        expected = treeOf(mnt);
        state->setErrorMessage(std::nullopt);
        state->duplicate({url(u"mnt/Album"_s)});
        QCOMPARE(state->errorMessage(), u"“Album” couldn’t be copied because "_s + noSpace);
        QVERIFY2(differences(expected, treeOf(mnt)).isEmpty(), qPrintable(differences(expected, treeOf(mnt))));
        QVERIFY2(differences(host, treeOf(path(u"host"_s))).isEmpty(), "the sources changed");
        QVERIFY(waitForReload(*state));
    }

    // Moving to the trash on a full disk fails silently, as every trash failure does, without
    // losing the item or leaving half an entry in the trash.
    void trashOnAFullDisk()
    {
        Tmpfs volume(path(u"mnt"_s), "size=1m,mode=0755");
        MOUNT_OR_SKIP(volume);
        const QString mnt = path(u"mnt"_s);
        QVERIFY(m_dir->createFile(u"mnt/storage/keep.txt"_s, "keep"));
        QVERIFY(m_dir->createDir(u"mnt/data/Trash/files"_s) && m_dir->createDir(u"mnt/data/Trash/info"_s));
        ScopedEnv dataHome("XDG_DATA_HOME", bytesOf(path(u"mnt/data"_s)));
        QVERIFY(fillVolume(bytesOf(path(u"mnt/filler"_s))));
        const Tree before = treeOf(mnt);
        auto state = stateIn(path(u"mnt/storage"_s), path(u"mnt/storage"_s));
        state->moveToTrash({url(u"mnt/storage/keep.txt"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        QVERIFY2(differences(before, treeOf(mnt)).isEmpty(), qPrintable(differences(before, treeOf(mnt))));
        QVERIFY(waitForReload(*state));
    }

    // No inode left: the new folder cannot be made; the message says why and nothing reloads.
    void newFolderWithoutFreeInodes()
    {
        Tmpfs volume(path(u"mnt"_s), "size=1m,nr_inodes=8,mode=0755");
        MOUNT_OR_SKIP(volume);
        const QString mnt = path(u"mnt"_s);
        for (int i = 0;; ++i) {
            const int fd = ::open(bytesOf(mnt + u"/f%1"_s.arg(i)).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd < 0) {
                QCOMPARE(errno, ENOSPC);
                break;
            }
            ::close(fd);
            QVERIFY(i < 100);
        }
        const Tree before = treeOf(mnt);
        auto state = stateIn(mnt, mnt);
        state->newFolder();
        QCOMPARE(state->errorMessage(), u"“untitled folder” couldn’t be created because there isn’t enough space on the disk."_s);
        QCOMPARE(state->reloadCount(), 0);
        QCOMPARE(state->renameRequest(), std::nullopt);
        QVERIFY2(differences(before, treeOf(mnt)).isEmpty(), qPrintable(differences(before, treeOf(mnt))));
    }

    // A read-only volume refuses every change, root included; the trash cannot take the items
    // either, and they stay.
    void readOnlyVolume()
    {
        Tmpfs volume(path(u"mnt"_s), "size=1m,mode=0755");
        MOUNT_OR_SKIP(volume);
        const QString mnt = path(u"mnt"_s);
        QVERIFY(m_dir->createFile(u"mnt/a.txt"_s, "a"));
        QVERIFY(m_dir->createFile(u"mnt/Docs/old.txt"_s, "old"));
        QVERIFY(m_dir->createFile(u"host/new.txt"_s, "new"));
        QVERIFY(m_dir->createFile(u"host/a.txt"_s, "new a"));
        QVERIFY(volume.makeReadOnly());
        const Tree before = treeOf(mnt);
        const QString readOnly = u"because the volume is read-only."_s;
        auto state = stateIn(mnt, mnt);

        state->newFolder();
        QCOMPARE(state->errorMessage(), u"“untitled folder” couldn’t be created "_s + readOnly);
        QCOMPARE(state->reloadCount(), 0);
        state->rename(url(u"mnt/a.txt"_s), u"b.txt"_s);
        QCOMPARE(state->errorMessage(), u"“a.txt” couldn’t be renamed “b.txt” "_s + readOnly);
        state->duplicate({url(u"mnt/a.txt"_s)});
        QCOMPARE(state->errorMessage(), u"“a.txt” couldn’t be copied "_s + readOnly);
        state->copyItemsIn({url(u"host/new.txt"_s)});
        QCOMPARE(state->errorMessage(), u"new.txt: “new.txt” couldn’t be copied "_s + readOnly);
        state->copyItemsIn({url(u"host/a.txt"_s)});
        QCOMPARE(state->errorMessage(), u"a.txt: “a.txt” couldn’t be copied "_s + readOnly);
        state->setErrorMessage(std::nullopt);
        state->moveToTrash({url(u"mnt/a.txt"_s), url(u"mnt/Docs"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);

        QVERIFY2(differences(before, treeOf(mnt)).isEmpty(), qPrintable(differences(before, treeOf(mnt))));
        QCOMPARE(treeOf(path(u"data"_s)), Tree());
        QVERIFY(waitForReload(*state));
    }

    // The storage on its own volume and the home trash elsewhere: items go to the volume's own
    // trash, whole and recorded, and the home trash is not touched.
    void crossDeviceTrashAndCopy()
    {
        Tmpfs volume(path(u"mnt"_s), "size=1m,mode=0755");
        MOUNT_OR_SKIP(volume);
        const QString mnt = path(u"mnt"_s);
        QVERIFY(m_dir->createFile(u"mnt/a.txt"_s, "a"));
        QVERIFY(m_dir->createFile(u"mnt/Folder/inner.txt"_s, "inner"));
        QVERIFY(m_dir->createFile(u"mnt/with space & 100%.txt"_s, "odd"));
        const Tree before = treeOf(mnt);
        auto state = stateIn(mnt, mnt);
        state->moveToTrash({url(u"mnt/a.txt"_s), url(u"mnt/Folder"_s), url(u"mnt/with space & 100%.txt"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);

        const QByteArray trash = ".Trash-" + QByteArray::number(::getuid());
        const Tree after = treeOf(mnt);
        QVERIFY2(differences(before, subtree(after, trash + "/files")).isEmpty(),
                 qPrintable(differences(before, subtree(after, trash + "/files"))));
        QCOMPARE(Tree(without(after, trash)), Tree());
        QFile info(mnt + u'/' + QString::fromLatin1(trash) + u"/info/with space & 100%.txt.trashinfo"_s);
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY2(info.readAll().contains("\nPath=with%20space%20%26%20100%25.txt\n"), "the volume trash records paths relative to its volume");
        QCOMPARE(treeOf(path(u"data"_s)), Tree());
        QVERIFY(waitForReload(*state));

        // Copying in from another volume copies the bytes, not a reference.
        QVERIFY(m_dir->createFile(u"mnt/from-volume.bin"_s, QByteArray(300 << 10, 'v')));
        auto storage = stateIn(path(u"storage"_s));
        storage->copyItemsIn({url(u"mnt/from-volume.bin"_s)});
        QCOMPARE(storage->errorMessage(), std::nullopt);
        QCOMPARE(m_dir->read(u"storage/from-volume.bin"_s), QByteArray(300 << 10, 'v'));
        QVERIFY(waitForReload(*storage));
    }

    // A read-only folder and unreadable sources, with permission bits applied (as "nobody"
    // when we are root).
    void permissionDenied()
    {
        QVERIFY(m_dir->createFile(u"storage/locked/keep.txt"_s, "keep"));
        QVERIFY(m_dir->createFile(u"storage/Docs/old.txt"_s, "old"));
        QVERIFY(m_dir->createFile(u"host/a.txt"_s, "a"));
        QVERIFY(m_dir->createFile(u"host/keep.txt"_s, "new keep"));
        QVERIFY(m_dir->createFile(u"host/secret.txt"_s, "secret"));
        QVERIFY(m_dir->createFile(u"host/Docs/new.txt"_s, "new"));
        QVERIFY(m_dir->createFile(u"host/Docs/sub/x.txt"_s, "x"));
        QVERIFY(m_dir->createFile(u"storage/Albums/old.jpg"_s, "old"));
        QVERIFY(m_dir->createFile(u"storage/Albums/kept/keep.jpg"_s, "keep"));
        QVERIFY(m_dir->createFile(u"host/Albums/new.jpg"_s, "new"));
        for (const QString &item :
             {u"storage"_s, u"storage/locked"_s, u"storage/locked/keep.txt"_s, u"storage/Docs"_s,
              u"storage/Docs/old.txt"_s, u"storage/Albums"_s, u"storage/Albums/old.jpg"_s,
              u"storage/Albums/kept"_s, u"storage/Albums/kept/keep.jpg"_s, u"data"_s})
            QVERIFY(giveToNobody(item));
        QVERIFY(setMode(u"storage/locked"_s, 0555));
        QVERIFY(setMode(u"storage/Albums/kept"_s, 0555));
        QVERIFY(setMode(u"host/secret.txt"_s, 0000));
        QVERIFY(setMode(u"host/Docs/sub"_s, 0000));
        m_restoreModes << u"storage/locked"_s << u"storage/Albums/kept"_s << u"host/Docs/sub"_s;
        // As root: a file of root's in a shared (sticky) folder passes every permission check up
        // front but still cannot be removed, so the old folder must be put back afterwards. The
        // new copy holds a read-only folder that must go too.
        const bool withStickyCase = permissionsAreIgnored();
        if (withStickyCase) {
            QVERIFY(m_dir->createFile(u"storage/Shared/public/root.txt"_s, "root's"));
            QVERIFY(m_dir->createFile(u"host/Shared/read-only/new.txt"_s, "new"));
            QVERIFY(giveToNobody(u"storage/Shared"_s));
            QVERIFY(setMode(u"storage/Shared/public"_s, 01777));
            QVERIFY(setMode(u"host/Shared/read-only"_s, 0555));
        }
        // A TMPDIR below a private home keeps "nobody" out of everything.
        const QByteArray storagePath = bytesOf(path(u"storage"_s));
        const auto reachable = runWithPermissionsApplied(
            [&] { return QByteArray(::access(storagePath.constData(), W_OK | X_OK) == 0 ? "yes" : "no"); });
        if (reachable != QByteArray("yes"))
            QSKIP("the temporary folder cannot be reached with dropped privileges; set TMPDIR to /tmp");
        const Tree storage = treeOf(path(u"storage"_s));
        const Tree host = treeOf(path(u"host"_s));
        const QString denied = u"because you don’t have permission to access it."_s;
        const QString locked = path(u"storage/locked"_s);

        struct Case
        {
            const char *name;
            QString folder;
            std::function<void(FilesState &)> operation;
            std::optional<QString> message;
            int reloads;
        };
        QList<Case> cases{
            {"new folder", locked, [](FilesState &s) { s.newFolder(); },
             u"“untitled folder” couldn’t be created "_s + denied, 0},
            {"rename", locked, [&](FilesState &s) { s.rename(url(u"storage/locked/keep.txt"_s), u"renamed.txt"_s); },
             u"“keep.txt” couldn’t be renamed “renamed.txt” "_s + denied, 1},
            {"duplicate", locked, [&](FilesState &s) { s.duplicate({url(u"storage/locked/keep.txt"_s)}); },
             u"“keep.txt” couldn’t be copied "_s + denied, 1},
            {"copy in", locked, [&](FilesState &s) { s.copyItemsIn({url(u"host/a.txt"_s)}); },
             u"a.txt: “a.txt” couldn’t be copied "_s + denied, 1},
            {"copy in over an item", locked, [&](FilesState &s) { s.copyItemsIn({url(u"host/keep.txt"_s)}); },
             u"keep.txt: “keep.txt” couldn’t be copied "_s + denied, 1},
            {"trash", locked, [&](FilesState &s) { s.moveToTrash({url(u"storage/locked/keep.txt"_s)}); },
             std::nullopt, 1},
            {"unreadable source", path(u"storage"_s),
             [&](FilesState &s) { s.copyItemsIn({url(u"host/secret.txt"_s)}); },
             u"secret.txt: “secret.txt” couldn’t be copied "_s + denied, 1},
            {"folder with an unreadable part over a folder", path(u"storage"_s),
             [&](FilesState &s) { s.copyItemsIn({url(u"host/Docs"_s)}); },
             u"Docs: “Docs” couldn’t be copied "_s + denied, 1},
            {"folder with a read-only folder inside replaced", path(u"storage"_s),
             [&](FilesState &s) { s.copyItemsIn({url(u"host/Albums"_s)}); },
             u"Albums: “Albums” couldn’t be replaced "_s + denied, 1},
        };
        if (withStickyCase) {
            cases.append({"folder with another user's file in a shared folder replaced", path(u"storage"_s),
                          [&](FilesState &s) { s.copyItemsIn({url(u"host/Shared"_s)}); },
                          u"Shared: “Shared” couldn’t be replaced "_s + denied, 1});
        }
        for (const Case &c : cases) {
            const auto outcome = unprivileged(c.folder, c.operation);
            QVERIFY2(outcome, c.name);
            QVERIFY2(outcome->message == c.message,
                     qPrintable(QString::fromLatin1(c.name) + u": "_s + outcome->message.value_or(u"(none)"_s)));
            QVERIFY2(outcome->reloads == c.reloads, c.name);
            const QString changed = differences(storage, treeOf(path(u"storage"_s)));
            QVERIFY2(changed.isEmpty(), qPrintable(QString::fromLatin1(c.name) + u":\n"_s + changed));
            QVERIFY2(differences(host, treeOf(path(u"host"_s))).isEmpty(), c.name);
            QVERIFY2(trashInfoFiles(path(u"data/Trash"_s)).isEmpty(), c.name);
        }
    }

    // Named pipes are copied as pipes: nothing opens them, so nothing waits for a writer.
    void namedPipes()
    {
        QVERIFY(m_dir->createDir(u"host/Folder"_s));
        QCOMPARE(::mkfifo(bytesOf(path(u"host/pipe"_s)).constData(), 0644), 0);
        QCOMPARE(::mkfifo(bytesOf(path(u"host/Folder/inner pipe"_s)).constData(), 0600), 0);
        QCOMPARE(::mkfifo(bytesOf(path(u"storage/stored pipe"_s)).constData(), 0644), 0);
        QVERIFY(m_dir->createFile(u"storage/pipe"_s, "a file where the pipe goes"));
        const Tree host = treeOf(path(u"host"_s));
        auto state = stateIn(path(u"storage"_s));
        {
            PipeWatchdog watchdog({bytesOf(path(u"host/pipe"_s)), bytesOf(path(u"host/Folder/inner pipe"_s)),
                                   bytesOf(path(u"storage/stored pipe"_s))},
                                  20s);
            state->copyItemsIn({url(u"host/pipe"_s), url(u"host/Folder"_s)});
            state->duplicate({url(u"storage/stored pipe"_s)});
            QVERIFY2(!watchdog.finish(), "an operation waited on a named pipe");
        }
        QCOMPARE(state->errorMessage(), std::nullopt);
        const Tree expected{{"pipe", "fifo"},
                            {"Folder", "folder 755"},
                            {"Folder/inner pipe", "fifo"},
                            {"stored pipe", "fifo"},
                            {"stored pipe copy", "fifo"}};
        QVERIFY2(differences(expected, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(expected, treeOf(path(u"storage"_s)))));
        QVERIFY(differences(host, treeOf(path(u"host"_s))).isEmpty());

        // The listing does not open them either.
        state->reload(true);
        QVERIFY(waitForReload(*state));
        QCOMPARE(namesOf(state->loadState()), (QStringList{u"Folder"_s, u"pipe"_s, u"stored pipe"_s, u"stored pipe copy"_s}));
    }

    // Items removed after the listing showed them: each operation says so, touches nothing
    // else, and a copy meant to replace a vanished source keeps the item it would replace.
    void itemsThatVanishAfterTheListing()
    {
        for (const QString &name : {u"gone.txt"_s, u"present.txt"_s, u"replaced.txt"_s})
            QVERIFY(m_dir->createFile(u"storage/"_s + name, name.toUtf8()));
        QVERIFY(m_dir->createFile(u"storage/Gone/inner.txt"_s, "inner"));
        QVERIFY(m_dir->createFile(u"host/replaced.txt"_s, "new"));
        auto state = stateIn(path(u"storage"_s));
        state->reload(true);
        QVERIFY(waitForReload(*state));
        QCOMPARE(namesOf(state->loadState()),
                 (QStringList{u"Gone"_s, u"gone.txt"_s, u"present.txt"_s, u"replaced.txt"_s}));

        QVERIFY(QFile::remove(path(u"storage/gone.txt"_s)));
        QVERIFY(QDir(path(u"storage/Gone"_s)).removeRecursively());
        QVERIFY(QFile::remove(path(u"host/replaced.txt"_s)));
        Tree expected = treeOf(path(u"storage"_s));

        state->rename(url(u"storage/gone.txt"_s), u"new.txt"_s);
        QCOMPARE(state->errorMessage(), u"“gone.txt” couldn’t be renamed “new.txt” because it doesn’t exist."_s);
        state->duplicate({url(u"storage/gone.txt"_s)});
        QCOMPARE(state->errorMessage(), u"“gone.txt” couldn’t be copied because it doesn’t exist."_s);
        state->copyItemsIn({url(u"host/replaced.txt"_s)});
        QCOMPARE(state->errorMessage(), u"replaced.txt: “replaced.txt” couldn’t be copied because it doesn’t exist."_s);
        QVERIFY2(differences(expected, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(expected, treeOf(path(u"storage"_s)))));

        state->setErrorMessage(std::nullopt);
        state->moveToTrash({url(u"storage/gone.txt"_s), url(u"storage/present.txt"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        expected.remove("present.txt");
        QVERIFY2(differences(expected, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(expected, treeOf(path(u"storage"_s)))));
        QCOMPARE(trashInfoFiles(path(u"data/Trash"_s)), QStringList{u"present.txt.trashinfo"_s});

        // A folder that vanished is handed to the workspace like a file, without a message.
        state->open(url(u"storage/Gone"_s));
        QCOMPARE(m_workspace->opened, QList<QUrl>{url(u"storage/Gone"_s)});
        QCOMPARE(state->currentDirectory(), url(u"storage"_s));
        QVERIFY(waitForReload(*state));
    }

    // The folder on screen was deleted behind the program's back: the message names the
    // missing folder rather than blaming the item.
    void currentFolderThatVanished()
    {
        QVERIFY(m_dir->createDir(u"storage/Shown"_s));
        QVERIFY(m_dir->createFile(u"host/a.txt"_s, "a"));
        QVERIFY(m_dir->createFile(u"storage/b.txt"_s, "b"));
        auto state = stateIn(path(u"storage/Shown"_s));
        QVERIFY(QDir(path(u"storage/Shown"_s)).removeRecursively());
        const Tree before = treeOf(path(u"storage"_s));

        state->newFolder();
        QCOMPARE(state->errorMessage(), u"“untitled folder” couldn’t be created because the folder “Shown” doesn’t exist."_s);
        state->copyItemsIn({url(u"host/a.txt"_s)});
        QCOMPARE(state->errorMessage(), u"a.txt: “a.txt” couldn’t be copied because the folder “Shown” doesn’t exist."_s);
        QVERIFY2(differences(before, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(before, treeOf(path(u"storage"_s)))));
        QCOMPARE(m_dir->read(u"host/a.txt"_s), "a");
        QVERIFY(waitForReload(*state));
    }

    // Links that loop are copied as links: the copy ends, holds the same links, and the
    // listing still shows them.
    void symbolicLinkLoops()
    {
        QVERIFY(m_dir->createFile(u"host/Tree/file.txt"_s, "file"));
        QVERIFY(m_dir->createFile(u"host/Tree/sub/deep.txt"_s, "deep"));
        QVERIFY(m_dir->createSymlink(u"."_s, u"host/Tree/self"_s));
        QVERIFY(m_dir->createSymlink(u"b"_s, u"host/Tree/a"_s));
        QVERIFY(m_dir->createSymlink(u"a"_s, u"host/Tree/b"_s));
        QVERIFY(m_dir->createSymlink(u".."_s, u"host/Tree/sub/up"_s));
        QVERIFY(m_dir->createSymlink(path(u"host/Tree"_s), u"host/Tree/sub/absolute"_s));
        const Tree host = treeOf(path(u"host"_s));
        auto state = stateIn(path(u"storage"_s));

        state->copyItemsIn({url(u"host/Tree"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        state->duplicate({url(u"storage/Tree"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        const Tree storage = treeOf(path(u"storage"_s));
        QVERIFY2(differences(subtree(host, "Tree"), subtree(storage, "Tree")).isEmpty(),
                 qPrintable(differences(subtree(host, "Tree"), subtree(storage, "Tree"))));
        QVERIFY2(differences(subtree(host, "Tree"), subtree(storage, "Tree copy")).isEmpty(),
                 qPrintable(differences(subtree(host, "Tree"), subtree(storage, "Tree copy"))));
        QCOMPARE(storage.size(), 2 * subtree(host, "Tree").size() + 2);
        QVERIFY(differences(host, treeOf(path(u"host"_s))).isEmpty());

        state->setCurrentDirectory(url(u"storage/Tree"_s));
        state->reload(true);
        QVERIFY(waitForReload(*state));
        QCOMPARE(namesOf(state->loadState()), (QStringList{u"a"_s, u"b"_s, u"file.txt"_s, u"self"_s, u"sub"_s}));
    }

    // An item in the storage that is a link to something outside it: replacing, duplicating
    // or trashing the item works on the link and never on what it points to.
    void linksLeadingOutOfTheStorage()
    {
        QVERIFY(m_dir->createFile(u"outside/Docs/secret.txt"_s, "secret"));
        QVERIFY(m_dir->createFile(u"outside/notes.txt"_s, "outside notes"));
        QVERIFY(m_dir->createFile(u"outside/Photos/p.jpg"_s, "p"));
        QVERIFY(m_dir->createSymlink(path(u"outside/Docs"_s), u"storage/Docs"_s));
        QVERIFY(m_dir->createSymlink(path(u"outside/notes.txt"_s), u"storage/notes.txt"_s));
        QVERIFY(m_dir->createSymlink(u"../outside/Photos"_s, u"storage/Photos"_s));
        QVERIFY(m_dir->createFile(u"host/Docs/new.txt"_s, "new"));
        QVERIFY(m_dir->createFile(u"host/notes.txt"_s, "host notes"));
        QVERIFY(m_dir->createFile(u"host/Photos/ok.jpg"_s, "ok"));
        QVERIFY(createSocket(path(u"host/Photos/zz.sock"_s))); // makes that copy fail part way
        const Tree outside = treeOf(path(u"outside"_s));
        auto state = stateIn(path(u"storage"_s));

        // A copy that fails keeps the link it was to replace.
        state->copyItemsIn({url(u"host/Photos"_s)});
        QVERIFY(state->errorMessage().has_value());
        QVERIFY2(state->errorMessage()->startsWith(u"Photos: “Photos” couldn’t be copied because"_s),
                 qPrintable(*state->errorMessage()));
        QCOMPARE(treeOf(path(u"storage"_s)).value("Photos"), "link -> ../outside/Photos");

        state->setErrorMessage(std::nullopt);
        state->copyItemsIn({url(u"host/Docs"_s), url(u"host/notes.txt"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        state->duplicate({url(u"storage/Photos"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        const Tree expected{{"Docs", "folder 755"},
                            {"Docs/new.txt", fileDescription("new")},
                            {"notes.txt", fileDescription("host notes")},
                            {"Photos", "link -> ../outside/Photos"},
                            {"Photos copy", "link -> ../outside/Photos"}};
        QVERIFY2(differences(expected, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(expected, treeOf(path(u"storage"_s)))));

        state->moveToTrash({url(u"storage/Photos copy"_s)});
        QCOMPARE(treeOf(path(u"data/Trash/files"_s)), (Tree{{"Photos copy", "link -> ../outside/Photos"}}));
        QVERIFY2(differences(outside, treeOf(path(u"outside"_s))).isEmpty(),
                 qPrintable(differences(outside, treeOf(path(u"outside"_s)))));
        QVERIFY(waitForReload(*state));
    }

    // Names a shell or a URL would trip over go through every operation unchanged.
    void awkwardNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("duplicateName");
        QTest::newRow("spaces") << u"with  two  spaces.txt"_s << u"with  two  spaces copy.txt"_s;
        QTest::newRow("quotes") << u"say \"cheese\" it's.jpg"_s << u"say \"cheese\" it's copy.jpg"_s;
        QTest::newRow("newline") << u"line\nbreak.txt"_s << u"line\nbreak copy.txt"_s;
        QTest::newRow("leading dash") << u"-rf"_s << u"-rf copy"_s;
        QTest::newRow("leading dashes") << u"--help.md"_s << u"--help copy.md"_s;
        QTest::newRow("non-ASCII") << u"Ölberg – 東京 😀.heic"_s << u"Ölberg – 東京 😀 copy.heic"_s;
        QTest::newRow("URL and glob characters") << u"100% #1 ?[a-z]*.txt"_s << u"100% #1 ?[a-z]* copy.txt"_s;
        QTest::newRow("backslash and tab") << u"back\\slash\tTab"_s << u"back\\slash\tTab copy"_s;
    }

    void awkwardNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, duplicateName);
        QVERIFY(m_dir->createFile(u"host/"_s + name, "content"));
        QVERIFY(m_dir->createFile(u"storage/plain.txt"_s, "plain"));
        auto state = stateIn(path(u"storage"_s));
        // Shown first: a rename into a folder not yet listed would lose its selection to the reload.
        state->reload(true);
        QVERIFY(waitForReload(*state));

        state->copyItemsIn({url(u"host/"_s + name)});
        state->duplicate({url(u"storage/"_s + name)});
        state->rename(url(u"storage/plain.txt"_s), u"  "_s + name + u".renamed \n"_s);
        QCOMPARE(state->errorMessage(), std::nullopt);
        const QByteArray encoded = bytesOf(name);
        Tree expected{{encoded, fileDescription("content")},
                      {bytesOf(duplicateName), fileDescription("content")},
                      {encoded + ".renamed", fileDescription("plain")}};
        QVERIFY2(differences(expected, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(expected, treeOf(path(u"storage"_s)))));
        QCOMPARE(state->selection(), QSet<QUrl>{url(u"storage/"_s + name + u".renamed"_s)});

        QVERIFY(m_dir->createDir(u"storage/folder "_s + name));
        state->setCurrentDirectory(url(u"storage/folder "_s + name));
        state->newFolder();
        QCOMPARE(state->errorMessage(), std::nullopt);
        QVERIFY(QFileInfo(path(u"storage/folder "_s + name + u"/untitled folder"_s)).isDir());

        state->moveToTrash({url(u"storage/"_s + name)});
        expected.remove(encoded);
        expected["folder " + encoded] = "folder 755";
        expected["folder " + encoded + "/untitled folder"] = "folder 755";
        QVERIFY2(differences(expected, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(expected, treeOf(path(u"storage"_s)))));
        QCOMPARE(treeOf(path(u"data/Trash/files"_s)), (Tree{{encoded, fileDescription("content")}}));
        QFile info(path(u"data/Trash/info/"_s + name + u".trashinfo"_s));
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY(info.readAll().contains(QByteArray("\nPath=" + QUrl::toPercentEncoding(path(u"storage/"_s + name), "/") + '\n')));
        QVERIFY(waitForReload(*state));
    }

    // Names that are not UTF-8 (made with POSIX calls: QString cannot hold them). Inside a
    // folder they are copied, duplicated and trashed byte for byte; as the item itself they are
    // listed, and an operation that cannot reach them says so and changes nothing.
    void namesThatAreNotUtf8()
    {
        const QList<QByteArray> names{"caf\xE9.txt", "bad\xFF\xFE", "\xC0\x80overlong", "cut\xE2\x80"};
        QVERIFY(m_dir->createDir(u"host/Mixed"_s) && m_dir->createDir(u"storage/Stored"_s));
        for (const QByteArray &name : names) {
            QVERIFY(writeRaw(bytesOf(path(u"host/Mixed"_s)) + '/' + name, name));
            QVERIFY(writeRaw(bytesOf(path(u"storage"_s)) + '/' + name, name));
            QVERIFY(writeRaw(bytesOf(path(u"storage/Stored"_s)) + '/' + name, name));
        }
        const Tree host = treeOf(path(u"host"_s));
        auto state = stateIn(path(u"storage"_s));

        state->copyItemsIn({url(u"host/Mixed"_s)});
        state->duplicate({url(u"storage/Stored"_s)});
        QCOMPARE(state->errorMessage(), std::nullopt);
        Tree storage = treeOf(path(u"storage"_s));
        QVERIFY2(differences(subtree(host, "Mixed"), subtree(storage, "Mixed")).isEmpty(),
                 qPrintable(differences(subtree(host, "Mixed"), subtree(storage, "Mixed"))));
        QVERIFY2(differences(subtree(storage, "Stored"), subtree(storage, "Stored copy")).isEmpty(),
                 qPrintable(differences(subtree(storage, "Stored"), subtree(storage, "Stored copy"))));
        QCOMPARE(subtree(storage, "Mixed").size(), names.size());

        state->moveToTrash({url(u"storage/Stored copy"_s)});
        QVERIFY2(differences(subtree(storage, "Stored copy"), subtree(treeOf(path(u"data/Trash/files"_s)), "Stored copy"))
                     .isEmpty(),
                 "the trashed folder lost or changed items");
        QVERIFY(waitForReload(*state));
        storage = treeOf(path(u"storage"_s));

        // The listing shows every item, with U+FFFD for what cannot be decoded.
        state->reload(true);
        QVERIFY(waitForReload(*state));
        const QStringList listed = namesOf(state->loadState());
        QCOMPARE(listed.size(), names.size() + 2);
        QCOMPARE(listed.filter(QString(QChar::ReplacementCharacter)).size(), names.size());

        for (const FileEntry &entry : state->loadState().entries()) {
            if (!entry.name().contains(QChar::ReplacementCharacter))
                continue;
            state->setErrorMessage(std::nullopt);
            state->duplicate({entry.url()});
            QCOMPARE(state->errorMessage(), u"“%1” couldn’t be copied because it doesn’t exist."_s.arg(entry.name()));
            state->rename(entry.url(), u"renamed"_s);
            QCOMPARE(state->errorMessage(),
                     u"“%1” couldn’t be renamed “renamed” because it doesn’t exist."_s.arg(entry.name()));
            state->setErrorMessage(std::nullopt);
            state->moveToTrash({entry.url()});
            QCOMPARE(state->errorMessage(), std::nullopt);
        }
        QVERIFY2(differences(storage, treeOf(path(u"storage"_s))).isEmpty(),
                 qPrintable(differences(storage, treeOf(path(u"storage"_s)))));
        QVERIFY(differences(host, treeOf(path(u"host"_s))).isEmpty());
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
